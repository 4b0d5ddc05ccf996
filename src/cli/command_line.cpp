#include "cli/command_line.h"

#include "export/csv_export.h"
#include "export/xlsx_export.h"
#include "session/project_file.h"
#include "workbench/workbench.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quilla::cli {
namespace {

using namespace Qt::StringLiterals;

const QStringList commands = {u"export"_s};

bool isProjectFile(const QString& argument) {
    return argument.endsWith(QLatin1StringView(projectSuffix), Qt::CaseInsensitive);
}

void say(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int fail(std::FILE* err, const QString& why, int status = Failed) {
    say(err, u"quilla: "_s + why);
    return status;
}

QString usage() {
    return u"Usage: quilla [FILE.quilla]\n"
           u"       quilla COMMAND [OPTIONS]\n"
           u"\n"
           u"Without a command, opens the window (with the project FILE.quilla when given).\n"
           u"\n"
           u"Commands:\n"
           u"  export FILE.quilla [--csv] [--xlsx] [--out DIR]\n"
           u"      Writes the project's table as the window's exports do: <keyword>.csv\n"
           u"      (the default) and/or <keyword>.xlsx into DIR (the working folder when\n"
           u"      not given). An existing file is never replaced. Prints each file written.\n"
           u"\n"
           u"Options:\n"
           u"  -h, --help     Shows this help.\n"
           u"  -v, --version  Shows the program's version.\n"_s;
}

QString outcomeText(const ExportOutcome& outcome, const QString& path) {
    switch (outcome.kind) {
    case ExportOutcome::Kind::Written:
        return path;
    case ExportOutcome::Kind::Exists:
        return path + u" exists already; nothing was written"_s;
    case ExportOutcome::Kind::BadName:
        return u"the project's keyword cannot name a file"_s;
    case ExportOutcome::Kind::Cancelled:
        return u"writing "_s + path + u" was cancelled"_s;
    case ExportOutcome::Kind::Failed:
        break;
    }
    return u"writing "_s + path + u" failed: "_s + outcome.reason;
}

int exportProject(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption csv(u"csv"_s), xlsx(u"xlsx"_s),
        folder(u"out"_s, u"folder"_s, u"DIR"_s);
    parser.addOptions({csv, xlsx, folder});
    if (!parser.parse(arguments))
        return fail(err, parser.errorText(), BadArguments);
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() != 1)
        return fail(err, u"export takes one project file (quilla export FILE.quilla)"_s,
                    BadArguments);
    const QString project = files.first();
    if (!QFileInfo(project).isFile())
        return fail(err, u"no such project file: "_s + project);
    const QString target = parser.isSet(folder) ? parser.value(folder) : QDir::currentPath();
    if (!QFileInfo(target).isDir())
        return fail(err, u"no such folder: "_s + target);

    Workbench bench({});
    QString refused;
    QObject::connect(&bench, &Workbench::message, [&](const QString& text) { refused = text; });
    if (!bench.openProject(project))
        return fail(err, project + u": "_s + refused);

    const QString name = QDir(target).filePath(bench.settings().keyword);
    int status = Ok;
    const auto report = [&](const ExportOutcome& outcome, const QString& path) {
        if (outcome.kind == ExportOutcome::Kind::Written) {
            say(out, path);
        } else {
            fail(err, outcomeText(outcome, path));
            status = Failed;
        }
    };
    if (parser.isSet(csv) || !parser.isSet(xlsx))
        report(bench.writeCsv(target), name + u".csv"_s);
    if (parser.isSet(xlsx))
        report(bench.writeWorkbook(target, bench.order().listRowsInOrder()), name + u".xlsx"_s);
    return status;
}

} // namespace

bool wantsCommand(const QStringList& arguments) {
    if (arguments.size() < 2)
        return false;
    const QString& first = arguments.at(1);
    if (first.startsWith(u"--"_s) || first == u"-h"_s || first == u"-v"_s ||
        commands.contains(first))
        return true;
    if (first.startsWith(u'-'))
        return false; // Qt's own options (-platform, -style ...) are the window's
    return !(arguments.size() == 2 && isProjectFile(first));
}

QString projectToOpen(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1))
        if (isProjectFile(argument))
            return argument;
    return {};
}

int run(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    const QString first = arguments.value(1);
    if (first == u"--help"_s || first == u"-h"_s || first == u"help"_s) {
        std::fputs(usage().toLocal8Bit().constData(), out);
        return Ok;
    }
    if (first == u"--version"_s || first == u"-v"_s) {
        say(out, u"quilla "_s + QCoreApplication::applicationVersion());
        return Ok;
    }
    if (first == u"export"_s)
        return exportProject(arguments, out, err);
    if (first.startsWith(u'-'))
        return fail(err, u"unknown option "_s + first + u" (see quilla --help)"_s, BadArguments);
    return fail(err, u"unknown command "_s + first + u" (see quilla --help)"_s, BadArguments);
}

} // namespace quilla::cli
