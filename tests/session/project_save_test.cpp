// Saving into the open project, killed at any moment: the file is always
// one session or the other, whole.

#include "core/list_headers.h"
#include "session/project_file.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/types.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

constexpr int rows = 20000;
constexpr int kills = 20;

// The save child writes "旧" and "新" sessions in turn, starting with "新";
// the file starts as "旧". A kill lands anywhere in a save: before, while or
// after the new file is written, moved or synced.
TEST(ProjectSave, AKillAtAnyMomentLeavesTheOldOrTheNewSessionWhole) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = QDir(folder.path()).filePath(u"p.quilla"_s);
    // The child's first session, as it writes it.
    SessionSnapshot first;
    first.candidates = {Row{candidateHeader()}};
    first.results = {Row{resultHeader()}};
    for (int i = 0; i < rows; ++i)
        first.results.push_back(Row{
            {u"旧"_s + QString::number(i), QString::number(i * 7), QString::number(i), u"+1%"_s}});
    first.state.keyword = u"旧"_s;
    ASSERT_EQ(saveProject(first, path).kind, NewFileResult::Kind::Written);

    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(seed);
    QRandomGenerator dice(seed);
    int seenNew = 0, saves = 0;
    for (int kill = 0; kill < kills; ++kill) {
        QProcess child;
        child.start(QStringLiteral(SAVE_CHILD), {path, QString::number(rows)});
        ASSERT_TRUE(child.waitForStarted(10000));
        QThread::msleep(dice.bounded(50, 1500));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(10000));
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAllStandardError().data();
        saves += static_cast<int>(child.readAllStandardOutput().count("saved\n"));

        const auto read = readSession(path);
        const auto* found = std::get_if<SessionSnapshot>(&read);
        ASSERT_NE(found, nullptr) << "kill " << kill << ": the file does not read";
        const QString tag = found->state.keyword;
        ASSERT_TRUE(tag == u"旧"_s || tag == u"新"_s) << tag.toStdString();
        // Whole: every row of that session, none of the other.
        ASSERT_EQ(found->results.size(), static_cast<std::size_t>(rows) + 1);
        for (int i = 0; i < rows; ++i)
            ASSERT_EQ(found->results[i + 1].fields.value(0), tag + QString::number(i));
        seenNew += tag == u"新"_s;
    }
    // Saves got done, and the kills found the new session in place too.
    EXPECT_GT(saves, 0);
    EXPECT_GT(seenNew, 0);
    const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    RecordProperty("leftover_files", static_cast<int>(left.size()));
}

} // namespace
} // namespace quilla
