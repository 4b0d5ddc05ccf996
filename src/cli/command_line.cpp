#include "cli/command_line.h"

#include "cli/output.h"
#include "cli/requery.h"
#include "cli/schedule.h"

#include "export/csv_export.h"
#include "export/xlsx_export.h"
#include "segmenter/segmenter.h"
#include "session/project_file.h"
#include "titles/root_table.h"
#include "titles/title_composer.h"
#include "workbench/workbench.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace quilla::cli {
namespace {

using namespace Qt::StringLiterals;

const QStringList commands = {u"export"_s, u"roots"_s,    u"title"_s,
                               u"new"_s,    u"requery"_s, u"schedule"_s};

bool isProjectFile(const QString& argument) {
    return argument.endsWith(QLatin1StringView(projectSuffix), Qt::CaseInsensitive);
}

QString usage() {
    return u"Usage: quilla [FILE.quilla]\n"
           u"       quilla COMMAND [OPTIONS]\n"
           u"\n"
           u"Without a command, opens the window (with the project FILE.quilla when given).\n"
           u"\n"
           u"Commands:\n"
           u"  new FILE.quilla --keywords LIST.txt [--seed TEXT]\n"
           u"      Makes a project of the keywords in LIST.txt, read as the window's\n"
           u"      import reads a list (its encodings and separators, a header skipped,\n"
           u"      repeats once). TEXT is the project's keyword, which names its exports\n"
           u"      (FILE's name when not given). FILE is never replaced. Prints FILE and\n"
           u"      \"rows=N\".\n"
           u"  export FILE.quilla [--csv] [--xlsx] [--out DIR]\n"
           u"      Writes the project's table as the window's exports do: <keyword>.csv\n"
           u"      (the default) and/or <keyword>.xlsx into DIR (the working folder when\n"
           u"      not given). An existing file is never replaced. Prints each file written.\n"
           u"  roots FILE.quilla\n"
           u"      Prints the root words of the project's keywords as UTF-8 CSV: 词根,\n"
           u"      关键词数, 搜索指数, 成交指数, 宝贝数, 机会; by 搜索指数, largest first.\n"
           u"  title FILE.quilla --must ROOT [--must ROOT] [--not ROOT] [--budget BYTES]\n"
           u"      Prints the title that covers the most search demand within BYTES (60\n"
           u"      when not given; a Chinese character counts 2), then\n"
           u"      \"bytes=N covered=SHARE\", then each keyword it covers.\n"
           u"  requery FILE.quilla [--interval MS] [--counts]\n"
           u"      Queries every row's index figures again in the browser, without a\n"
           u"      window, as the window's 指数 does (MS between queries, 6000 when not\n"
           u"      given), and saves the project in place. Progress on stderr, a summary\n"
           u"      on stdout. Exits 3 when the marketplace asks for a login or a check\n"
           u"      (the rows done are saved), 1 while the project is open elsewhere.\n"
           u"  schedule FILE.quilla --daily HH:MM | schedule FILE.quilla --off\n"
           u"  schedule --list\n"
           u"      Runs requery of the project every day at HH:MM (a run missed while the\n"
           u"      computer was off comes at the next start): a systemd user timer, or a\n"
           u"      Task Scheduler task on Windows; --off removes it, --list shows them.\n"
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

// The one project file a command names after its word; nothing, with the
// reason said and `status` set, when the arguments do not fit.
std::optional<QString> projectArgument(QCommandLineParser& parser, const QStringList& arguments,
                                       const QString& usage, std::FILE* err, int& status) {
    if (!parser.parse(arguments)) {
        status = fail(err, parser.errorText(), BadArguments);
        return std::nullopt;
    }
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() != 1) {
        status = fail(err, usage, BadArguments);
        return std::nullopt;
    }
    return files.first();
}

std::unique_ptr<Workbench> openTable(const QString& project, std::FILE* err, int& status) {
    if (!QFileInfo(project).isFile()) {
        status = fail(err, u"no such project file: "_s + project);
        return nullptr;
    }
    auto bench = std::make_unique<Workbench>(Workbench::Parts{});
    QString refused;
    QObject::connect(bench.get(), &Workbench::message,
                     [&](const QString& text) { refused = text; });
    if (!bench->openProject(project)) {
        status = fail(err, project + u": "_s + refused);
        return nullptr;
    }
    return bench;
}

// A project from a keyword list, for tracking keywords no mining run found.
int newProject(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption keywords(u"keywords"_s, u"list"_s, u"LIST"_s),
        seed(u"seed"_s, u"keyword"_s, u"TEXT"_s);
    parser.addOptions({keywords, seed});
    const QString usage = u"new takes one project file and a keyword list (quilla new "
                          u"FILE.quilla --keywords LIST.txt)"_s;
    int status = Ok;
    const auto project = projectArgument(parser, arguments, usage, err, status);
    if (!project)
        return status;
    if (!parser.isSet(keywords) || parser.values(keywords).size() != 1 ||
        parser.values(seed).size() > 1)
        return fail(err, usage, BadArguments);
    if (QFileInfo::exists(*project))
        return fail(err, *project + u" exists already; nothing was written"_s);
    const QString list = parser.value(keywords);
    if (!QFileInfo(list).isFile())
        return fail(err, u"no such keyword list: "_s + list);

    Workbench bench(Workbench::Parts{});
    QString said;
    QObject::connect(&bench, &Workbench::message, [&](const QString& text) { said = text; });
    Settings settings = Workbench::startSettings();
    settings.keyword =
        parser.isSet(seed) ? parser.value(seed) : QFileInfo(*project).completeBaseName();
    bench.setSettings(settings);
    bench.importKeywordFiles({list});
    if (!said.isEmpty())
        return fail(err, list + u": "_s + said);
    const std::int64_t rows = std::max<std::int64_t>(0, bench.results().count() - 1);
    if (rows == 0)
        return fail(err, list + u" holds no keywords; nothing was written"_s);
    const NewFileResult saved = bench.saveProject(*project, false);
    switch (saved.kind) {
    case NewFileResult::Kind::Written:
        break;
    case NewFileResult::Kind::Exists:
        return fail(err, *project + u" exists already; nothing was written"_s);
    case NewFileResult::Kind::Failed:
        return fail(err, u"writing "_s + *project + u" failed: "_s + saved.reason);
    }
    say(out, *project);
    say(out, u"rows="_s + QString::number(rows));
    return Ok;
}

int exportProject(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption csv(u"csv"_s), xlsx(u"xlsx"_s),
        folder(u"out"_s, u"folder"_s, u"DIR"_s);
    parser.addOptions({csv, xlsx, folder});
    int status = Ok;
    const auto project = projectArgument(parser, arguments,
                                         u"export takes one project file (quilla export "
                                         u"FILE.quilla)"_s,
                                         err, status);
    if (!project)
        return status;
    const QString target = parser.isSet(folder) ? parser.value(folder) : QDir::currentPath();
    if (!QFileInfo(target).isDir() && QFileInfo(*project).isFile())
        return fail(err, u"no such folder: "_s + target);
    const auto opened = openTable(*project, err, status);
    if (!opened)
        return status;
    Workbench& bench = *opened;

    const QString name = QDir(target).filePath(bench.settings().keyword);
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

// Opens the project for a command that reads its table; the failure's status
// in `status` otherwise.
std::vector<Row> tableRows(const Workbench& bench) {
    std::vector<Row> rows;
    for (std::int64_t i = 1; i < bench.results().count(); ++i)
        rows.push_back(bench.results().row(i));
    return rows;
}

// The user's merged and split words, from the program's data folder.
Segmenter userSegmenter(std::FILE* err) {
    Segmenter segmenter(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QString why;
    if (!segmenter.reload(&why))
        say(err, u"quilla: "_s + why);
    return segmenter;
}

QString csvField(const QString& field) {
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') &&
        !field.contains(u'\r'))
        return field;
    QString quoted = field;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

int printRoots(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    int status = Ok;
    const auto project =
        projectArgument(parser, arguments,
                        u"roots takes one project file (quilla roots FILE.quilla)"_s, err, status);
    if (!project)
        return status;
    const auto bench = openTable(*project, err, status);
    if (!bench)
        return status;
    const Segmenter segmenter = userSegmenter(err);
    std::vector<RootFigures> roots = rootTable(tableRows(*bench), segmenter);
    sortBySearch(roots);
    QByteArray text;
    const auto line = [&](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells)
            fields.append(csvField(cell));
        text += fields.join(u',').toUtf8() + '\n';
    };
    line(rootCaptions());
    for (const RootFigures& root : roots)
        line(rootCells(root));
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), out);
    std::fflush(out);
    return Ok;
}

int composeTitle(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption must(u"must"_s, u"root"_s, u"ROOT"_s),
        exclude(u"not"_s, u"root"_s, u"ROOT"_s), budget(u"budget"_s, u"bytes"_s, u"BYTES"_s);
    parser.addOptions({must, exclude, budget});
    const QString usage = u"title takes one project file and at least one root it must hold "
                          u"(quilla title FILE.quilla --must ROOT)"_s;
    int status = Ok;
    const auto project = projectArgument(parser, arguments, usage, err, status);
    if (!project)
        return status;
    if (!parser.isSet(must))
        return fail(err, usage, BadArguments);
    TitleRequest request;
    request.must = parser.values(must);
    request.exclude = parser.values(exclude);
    if (parser.isSet(budget)) {
        bool ok = false;
        request.budget = parser.value(budget).toInt(&ok);
        if (!ok || request.budget < 1 || request.budget > 1000)
            return fail(err,
                        u"the budget is a whole number of bytes from 1 to 1000, not "_s +
                            parser.value(budget),
                        BadArguments);
    }
    const auto bench = openTable(*project, err, status);
    if (!bench)
        return status;
    const Segmenter segmenter = userSegmenter(err);
    const std::vector<Row> rows = tableRows(*bench);
    QString why;
    const auto problem = titleProblem(rows, segmenter, request, &why);
    if (!problem)
        return fail(err, why, BadArguments);
    const Composition composition = compose(*problem, 1);
    if (composition.titles.empty())
        return fail(err, composition.capHit ? u"no title found within the 1 s search cap"_s
                                            : u"no title fits in "_s +
                                                  QString::number(request.budget) + u" bytes"_s);
    if (composition.capHit)
        say(err, u"quilla: the search stopped at its 1 s cap: the best title found, not "
                 u"proven the best"_s);
    const Title& best = composition.titles.front();
    const double total = totalDemand(*problem);
    QByteArray text = best.text.toUtf8() + '\n';
    text += "bytes=" + QByteArray::number(best.bytes) +
            " covered=" + QByteArray::number(total > 0 ? best.demand / total : 0.0, 'f', 4) + '\n';
    for (const int k : best.covered)
        text += rows[k].keyword().toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), out);
    std::fflush(out);
    return Ok;
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

bool needsBrowser(const QStringList& arguments) {
    return arguments.value(1) == u"requery"_s;
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
    if (first == u"roots"_s)
        return printRoots(arguments, out, err);
    if (first == u"new"_s)
        return newProject(arguments, out, err);
    if (first == u"title"_s)
        return composeTitle(arguments, out, err);
    if (first == u"requery"_s)
        return requery(arguments, out, err);
    if (first == u"schedule"_s)
        return schedule(arguments, out, err);
    if (first.startsWith(u'-'))
        return fail(err, u"unknown option "_s + first + u" (see quilla --help)"_s, BadArguments);
    return fail(err, u"unknown command "_s + first + u" (see quilla --help)"_s, BadArguments);
}

} // namespace quilla::cli
