// `quilla schedule` as a user runs it: the real program writes the systemd
// user units (checked by systemd-analyze where it is installed) and calls a
// stand-in for systemctl that logs what it was asked.

#include "core/list_headers.h"
#include "session/project_file.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "support/program_run.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

using test::Ran;

class Schedule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        const QDir here(folder.path());
        // Spaces, CJK and the signs systemd reads as its own.
        ASSERT_TRUE(here.mkpath(u8("50% 月报 $HOME")));
        project = here.filePath(u8("50% 月报 $HOME/连衣裙 项目.quilla"));
        SessionSnapshot s;
        s.candidates = {Row{candidateHeader()}};
        s.results = {Row{resultHeader()}};
        ASSERT_EQ(saveProject(s, project).kind, NewFileResult::Kind::Written);
        units = here.filePath(u"config/systemd/user"_s);
        log = here.filePath(u"systemctl.log"_s);
        QFile script(here.filePath(u"systemctl"_s));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\necho \"$@\" >> \"$SYSTEMCTL_LOG\"\n"
            "[ -z \"$SYSTEMCTL_FAILS\" ] || { echo 'Failed to connect to bus' >&2; exit 1; }\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    Ran quilla(const QStringList& arguments, bool managerDown = false) {
        QProcessEnvironment env = test::withoutDisplay();
        env.insert(u"XDG_CONFIG_HOME"_s, folder.path() + u"/config"_s);
        env.insert(u"QUILLA_SYSTEMCTL"_s, folder.path() + u"/systemctl"_s);
        env.insert(u"SYSTEMCTL_LOG"_s, log);
        if (managerDown)
            env.insert(u"SYSTEMCTL_FAILS"_s, u"1"_s);
        QProcess program;
        test::startQuilla(program, QStringList{u"schedule"_s} + arguments, folder.path(), env);
        return test::finish(program, 60000);
    }

    QStringList unitFiles() const {
        return QDir(units).entryList({u"quilla-requery-*"_s}, QDir::Files, QDir::Name);
    }

    QString text(const QString& name) const {
        QFile file(QDir(units).filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QStringList takeLog() {
        QFile file(log);
        const QString all =
            file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        file.remove();
        return all.split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir folder;
    QString project, units, log;
};

TEST_F(Schedule, WritesEnablesListsAndRemovesADailyRequery) {
    Ran ran = quilla({u8("50% 月报 $HOME/连衣裙 项目.quilla"), u"--daily"_s, u"6:30"_s});
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    const QStringList files = unitFiles();
    ASSERT_EQ(files.size(), 2) << files.join(u' ').toStdString();
    const QString service = files[0], timer = files[1];
    ASSERT_TRUE(service.endsWith(u".service"_s) && timer.endsWith(u".timer"_s));
    EXPECT_EQ(takeLog(),
              (QStringList{u"--user daemon-reload"_s, u"--user enable --now "_s + timer}));
    EXPECT_TRUE(text(timer).contains(u"\nOnCalendar=*-*-* 06:30:00\nPersistent=true\n"_s));
    EXPECT_TRUE(text(service).contains(u"\nExecStart=\""_s +
                                       qEnvironmentVariable("QUILLA_BINARY_DIR") +
                                       u"/quilla\" requery \""_s));

    // systemd reads both as they are; only where its tools are installed.
    const QString analyze = QStandardPaths::findExecutable(u"systemd-analyze"_s);
    if (!analyze.isEmpty()) {
        QTemporaryDir runtime; // a user manager's folder, which verify wants
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        verify.setProcessEnvironment(env);
        verify.start(analyze, {u"verify"_s, u"--user"_s, QDir(units).filePath(timer),
                               QDir(units).filePath(service)});
        ASSERT_TRUE(verify.waitForFinished(60000));
        EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().toStdString();
        EXPECT_TRUE(verify.readAllStandardError().isEmpty());
    } else {
        std::puts("systemd-analyze is not installed: the unit files were not verified");
    }

    // Again at another time: the same units, the time replaced.
    ran = quilla({project, u"--daily"_s, u"07:05"_s});
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    EXPECT_EQ(unitFiles(), files);
    ran = quilla({u"--list"_s});
    EXPECT_EQ(ran.status, 0);
    EXPECT_EQ(ran.out, project + u"\t07:05\t"_s + QDir(units).filePath(timer) + u'\n');

    // No user manager: the files are written all the same, and how to enable
    // them is said.
    takeLog();
    ran = quilla({project, u"--daily"_s, u"23:59"_s}, true);
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(ran.err.contains(u"quilla: systemctl could not reach the user's service manager "
                                 u"(Failed to connect to bus)"_s))
        << ran.err.toStdString();
    EXPECT_TRUE(ran.err.contains(u"systemctl --user enable --now "_s + timer))
        << ran.err.toStdString();
    EXPECT_TRUE(text(timer).contains(u"OnCalendar=*-*-* 23:59:00"_s));

    takeLog();
    ran = quilla({project, u"--off"_s});
    EXPECT_EQ(ran.status, 0) << ran.err.toStdString();
    EXPECT_TRUE(unitFiles().isEmpty());
    EXPECT_EQ(takeLog(),
              (QStringList{u"--user disable --now "_s + timer, u"--user daemon-reload"_s}));
    ran = quilla({u"--list"_s});
    EXPECT_EQ(ran.status, 0);
    EXPECT_TRUE(ran.out.isEmpty());

    struct Case {
        const char* what;
        QStringList arguments;
        int status;
        QString errHas;
    };
    const Case refused[] = {
        {"off again", {project, u"--off"_s}, 1, u" has no schedule"_s},
        {"no such time", {project, u"--daily"_s, u"24:00"_s}, 2, u"quilla: the time is HH:MM"_s},
        {"no such file",
         {u"none.quilla"_s, u"--daily"_s, u"06:00"_s},
         1,
         u"quilla: no such project file: none.quilla"_s},
        {"daily and off",
         {project, u"--daily"_s, u"06:00"_s, u"--off"_s},
         2,
         u"quilla: schedule takes"_s},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ran = quilla(c.arguments);
        EXPECT_EQ(ran.status, c.status);
        EXPECT_TRUE(ran.err.contains(c.errHas)) << ran.err.toStdString();
        EXPECT_TRUE(unitFiles().isEmpty());
    }
}

} // namespace
} // namespace quilla
