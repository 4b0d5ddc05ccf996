#include "cli/schedule.h"

#include "cli/command_line.h"
#include "cli/output.h"
#include "core/new_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <optional>

namespace quilla::cli {
namespace {

using namespace Qt::StringLiterals;

constexpr int systemctlMs = 30000;
const QString unitPrefix = u"quilla-requery-"_s;
const QString projectComment = u"# Quilla project: "_s;

QString absoluteProject(const QString& project) {
    const QFileInfo info(project);
    return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

// "7:05" and "07:05" alike, as HH:MM; nothing for anything else.
std::optional<QString> dailyTime(const QString& text) {
    const auto match = QRegularExpression(u"^([0-9]{1,2}):([0-9]{2})$"_s).match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int hours = match.captured(1).toInt(), minutes = match.captured(2).toInt();
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return QString::asprintf("%02d:%02d", hours, minutes);
}

// A unit file's lines hold no line breaks or other controls.
bool printable(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

// Specifiers in free text are taken as such unless doubled.
QString unitText(QString text) {
    return text.replace(u'%', u"%%"_s);
}

#ifndef Q_OS_WIN

struct Called {
    bool ok = false;
    QString said; // what it printed on stderr, or why it did not run
};

Called systemctl(const QStringList& arguments) {
    const QString program = qEnvironmentVariableIsSet("QUILLA_SYSTEMCTL")
                                ? qEnvironmentVariable("QUILLA_SYSTEMCTL")
                                : u"systemctl"_s;
    QProcess call;
    call.start(program, QStringList{u"--user"_s} + arguments);
    Called called;
    if (!call.waitForStarted(systemctlMs)) {
        called.said = program + u": "_s + call.errorString();
        return called;
    }
    if (!call.waitForFinished(systemctlMs)) {
        call.kill();
        call.waitForFinished();
        called.said = program + u" did not answer within 30 s"_s;
        return called;
    }
    called.ok = call.exitStatus() == QProcess::NormalExit && call.exitCode() == 0;
    called.said = QString::fromLocal8Bit(call.readAllStandardError()).trimmed();
    return called;
}

bool writeUnit(const QString& folder, const QString& name, const QString& text, std::FILE* err) {
    NewFileOptions replace;
    replace.replaceExisting = true;
    const NewFileResult written = writeNewFile(folder, name, text.toUtf8(), replace);
    if (written.kind == NewFileResult::Kind::Written)
        return true;
    fail(err, u"writing "_s + QDir(folder).filePath(name) + u" failed: "_s + written.reason);
    return false;
}

int scheduleDaily(const QString& project, const QString& time, std::FILE* out, std::FILE* err) {
    const QString folder = userUnitFolder();
    if (!QDir().mkpath(folder))
        return fail(err, u"cannot make the folder "_s + folder);
    const QString name = scheduleUnitName(project);
    const QString service = name + u".service"_s, timer = name + u".timer"_s;
    if (!writeUnit(folder, service,
                   serviceUnit(QCoreApplication::applicationFilePath(), absoluteProject(project)),
                   err) ||
        !writeUnit(folder, timer, timerUnit(absoluteProject(project), time, service), err))
        return Failed;
    Called called = systemctl({u"daemon-reload"_s});
    if (called.ok)
        called = systemctl({u"enable"_s, u"--now"_s, timer});
    if (!called.ok)
        return fail(err, u"systemctl could not reach the user's service manager ("_s + called.said +
                             u"); the unit files are written in "_s + folder +
                             u": enable them with \"systemctl --user daemon-reload && systemctl "
                             u"--user enable --now "_s +
                             timer + u"\" once it runs"_s);
    say(out, QDir(folder).filePath(timer) + u'\t' + time);
    return Ok;
}

int scheduleOff(const QString& project, std::FILE* out, std::FILE* err) {
    const QString folder = userUnitFolder();
    const QString name = scheduleUnitName(project);
    const QString timer = name + u".timer"_s;
    if (!QFileInfo::exists(QDir(folder).filePath(timer)))
        return fail(err, absoluteProject(project) + u" has no schedule"_s);
    const Called disabled = systemctl({u"disable"_s, u"--now"_s, timer});
    // What enable left behind goes too, when systemctl could not take it.
    QFile::remove(QDir(folder).filePath(u"timers.target.wants/"_s + timer));
    bool removed = true;
    for (const QString& file : QStringList{timer, name + u".service"_s}) {
        const QString path = QDir(folder).filePath(file);
        if (QFileInfo::exists(path) && !QFile::remove(path)) {
            fail(err, u"cannot remove "_s + path);
            removed = false;
        }
    }
    if (!removed)
        return Failed;
    const Called reloaded = systemctl({u"daemon-reload"_s});
    if (!disabled.ok || !reloaded.ok)
        return fail(err, u"the unit files are removed, but systemctl could not reach the user's "
                         u"service manager ("_s +
                             (disabled.ok ? reloaded.said : disabled.said) +
                             u"); run \"systemctl --user daemon-reload\" once it runs"_s);
    say(out, u"removed "_s + QDir(folder).filePath(timer));
    return Ok;
}

int listSchedules(std::FILE* out) {
    const QDir folder(userUnitFolder());
    const QStringList timers =
        folder.entryList({unitPrefix + u"*.timer"_s}, QDir::Files, QDir::Name);
    for (const QString& name : timers) {
        QFile file(folder.filePath(name));
        // A unit file of ours is a few hundred bytes.
        if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
            continue;
        QString project, time;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            if (line.startsWith(projectComment))
                project = line.mid(projectComment.size());
            const auto calendar =
                QRegularExpression(u"^OnCalendar=\\*-\\*-\\* ([0-9]{2}:[0-9]{2}):00$"_s)
                    .match(line);
            if (calendar.hasMatch())
                time = calendar.captured(1);
        }
        say(out, project + u'\t' + time + u'\t' + folder.filePath(name));
    }
    return Ok;
}

#else // Q_OS_WIN: a Task Scheduler task through schtasks.

QString taskName(const QString& project) {
    return u"Quilla\\"_s + scheduleUnitName(project);
}

int schtasks(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QProcess call;
    call.start(u"schtasks"_s, arguments);
    if (!call.waitForFinished(systemctlMs) || call.exitCode() != 0)
        return fail(err, u"schtasks failed: "_s +
                             QString::fromLocal8Bit(call.readAllStandardError()).trimmed());
    std::fputs(call.readAllStandardOutput().constData(), out);
    return Ok;
}

int scheduleDaily(const QString& project, const QString& time, std::FILE* out, std::FILE* err) {
    const QString command =
        u'"' + QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) +
        u"\" requery \""_s + QDir::toNativeSeparators(absoluteProject(project)) + u'"';
    return schtasks({u"/Create"_s, u"/F"_s, u"/SC"_s, u"DAILY"_s, u"/ST"_s, time, u"/TN"_s,
                     taskName(project), u"/TR"_s, command},
                    out, err);
}

int scheduleOff(const QString& project, std::FILE* out, std::FILE* err) {
    return schtasks({u"/Delete"_s, u"/F"_s, u"/TN"_s, taskName(project)}, out, err);
}

int listSchedules(std::FILE* out) {
    return schtasks({u"/Query"_s, u"/FO"_s, u"LIST"_s, u"/TN"_s, u"Quilla\\"_s}, out, stderr);
}

#endif

} // namespace

QString userUnitFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::home().filePath(u".config"_s);
    return QDir(config).filePath(u"systemd/user"_s);
}

QString scheduleUnitName(const QString& project) {
    const QByteArray hash =
        QCryptographicHash::hash(absoluteProject(project).toUtf8(), QCryptographicHash::Sha256);
    return unitPrefix + QString::fromLatin1(hash.toHex().left(16));
}

QString systemdQuoted(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'\\' || c == u'"')
            quoted += u'\\';
        else if (c == u'%' || c == u'$')
            quoted += c; // %% and $$ stand for the sign itself
        quoted += c;
    }
    return u'"' + quoted + u'"';
}

QString timerUnit(const QString& project, const QString& time, const QString& service) {
    return u"[Unit]\n"_s + u"Description=Quilla requery of "_s + unitText(project) +
           u" every day at "_s + time + u'\n' + projectComment + project +
           u"\n\n[Timer]\nOnCalendar=*-*-* "_s + time + u":00\nPersistent=true\nUnit="_s + service +
           u"\n\n[Install]\nWantedBy=timers.target\n"_s;
}

QString serviceUnit(const QString& program, const QString& project) {
    return u"[Unit]\nDescription=Quilla requery of "_s + unitText(project) +
           u"\n\n[Service]\nType=oneshot\nExecStart="_s + systemdQuoted(program) + u" requery "_s +
           systemdQuoted(project) + u'\n';
}

int schedule(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption daily(u"daily"_s, u"time"_s, u"HH:MM"_s), off(u"off"_s),
        list(u"list"_s);
    parser.addOptions({daily, off, list});
    const QString usage = u"schedule takes a project file and --daily HH:MM or --off, or "
                          u"--list alone (quilla schedule FILE.quilla --daily 06:30)"_s;
    if (!parser.parse(arguments))
        return fail(err, parser.errorText(), BadArguments);
    const QStringList files = parser.positionalArguments().mid(1);
    const int chosen = int(parser.isSet(daily)) + int(parser.isSet(off)) + int(parser.isSet(list));
    if (chosen != 1 || files.size() != (parser.isSet(list) ? 0 : 1))
        return fail(err, usage, BadArguments);
    if (parser.isSet(list))
        return listSchedules(out);
    const QString project = files.first();
    if (!printable(project))
        return fail(err, u"a project name with a line break cannot be scheduled"_s, BadArguments);
    if (parser.isSet(off))
        return scheduleOff(project, out, err);
    const auto time = dailyTime(parser.value(daily));
    if (!time)
        return fail(err, u"the time is HH:MM, from 00:00 to 23:59, not "_s + parser.value(daily),
                    BadArguments);
    if (!QFileInfo(project).isFile())
        return fail(err, u"no such project file: "_s + project);
    return scheduleDaily(project, *time, out, err);
}

} // namespace quilla::cli
