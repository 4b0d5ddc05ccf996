// The window's journal and project files: a session that did not end
// normally is offered back at the next start (是 restores, 否 discards), a
// damaged journal is moved aside, and a saved project opens again as it was.

#include "app/main_window.h"

#include "core/list_headers.h"
#include "session/session_journal.h"
#include "session/session_store.h"
#include "support/app_dialogs.h"
#include "support/export_support.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

class SessionWindow : public ::testing::Test {
protected:
    std::unique_ptr<MainWindow> open() {
        auto w = std::make_unique<MainWindow>(shell, std::make_shared<test::FakePageFetcher>(),
                                              nullptr, folder.path());
        w->show();
        return w;
    }
    // The session a run leaves: a few rows, the boxes typed in, a mining
    // run that was started; waits until the journal holds all of it.
    void work(MainWindow& w) {
        w.findChild<QLineEdit*>(u"keywordBox"_s)->setText(u8("连衣裙"));
        w.findChild<QLineEdit*>(u"quantityBox"_s)->setText(u"40"_s);
        w.workbench().startMining(); // the fake fetcher answers empty pages: the run ends
        ASSERT_EVENTUALLY(!w.workbench().runsGoing(), 5000);
        w.workbench().candidates().append(Row{{u8("等待中")}});
        w.workbench().results().append(Row{{u8("导入"), QString()}});
        const SessionSnapshot now = w.workbench().snapshot();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const auto read = readSession(w.workbench().journal()->path());
                const auto* s = std::get_if<SessionSnapshot>(&read);
                return s && s->candidates == now.candidates && s->results == now.results &&
                       s->state.keyword == u8("连衣裙");
            },
            5000));
    }
    // Ends the window the way a crash would: its journal stays.
    static void crash(std::unique_ptr<MainWindow>& w) { w.reset(); }

    QTemporaryDir folder;
    test::FakeOpener shell;
};

TEST_F(SessionWindow, ALeftOverSessionIsOfferedBackOrDiscarded) {
    for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        SCOPED_TRACE(answer == QMessageBox::Yes ? "是" : "否");
        auto first = open();
        first->offerRecovery();
        work(*first);
        const SessionSnapshot before = first->workbench().snapshot();
        crash(first);

        auto next = open();
        QString asked;
        bool yesIsDefault = false;
        test::answerNextMessageBox(
            [&](QMessageBox& box) {
                asked = box.text();
                yesIsDefault = static_cast<QAbstractButton*>(box.defaultButton()) ==
                               box.button(QMessageBox::Yes);
            },
            400, answer);
        next->offerRecovery();
        EXPECT_EQ(asked, u8("上次的运行没有正常结束。要恢复上次的关键词和结果吗？"));
        EXPECT_TRUE(yesIsDefault);
        EXPECT_FALSE(next->workbench().runsGoing());
        if (answer == QMessageBox::Yes) {
            EXPECT_EQ(next->workbench().snapshot().candidates, before.candidates);
            EXPECT_EQ(next->workbench().snapshot().results, before.results);
            EXPECT_EQ(next->findChild<QLineEdit*>(u"keywordBox"_s)->text(), u8("连衣裙"));
        } else {
            EXPECT_EQ(next->workbench().candidates().count(), 1); // a fresh start
            EXPECT_EQ(next->workbench().results().count(), 0);
        }
        // A normal end keeps nothing: the next start asks nothing.
        if (answer == QMessageBox::Yes) // the restored rows are in no project
            test::answerNextMessageBox({}, 400, QMessageBox::Discard);
        next->close();
        next.reset();
        auto last = open();
        EXPECT_FALSE(last->workbench().journal()->leftOver());
        last->close();
    }
}

// Killed before anything happened, a window leaves a journal of the fresh
// session; bringing it back would change nothing, so nothing is asked.
TEST_F(SessionWindow, AJournalOfNothingDoneAsksNothing) {
    auto first = open();
    first->offerRecovery();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return first->workbench().journal()->waitUntilWritten(0); }, 5000));
    crash(first);
    ASSERT_TRUE(QFile::exists(folder.filePath(u"journal-0.sqlite"_s)));

    auto next = open();
    auto asked = std::make_shared<bool>(false), over = std::make_shared<bool>(false);
    test::answerNextMessageBox([asked](QMessageBox&) { *asked = true; }, 30, QMessageBox::No, over);
    next->offerRecovery();
    // Until the answerer has given up: a later test's box is not its to answer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return *over; }, 10000));
    EXPECT_FALSE(*asked);
    EXPECT_EQ(next->workbench().candidates().count(), 1);
}

TEST_F(SessionWindow, ADamagedJournalIsMovedAsideAndSaidOnce) {
    ASSERT_TRUE(test::writeFileBytes(folder.filePath(u"journal-0.sqlite"_s),
                                     QByteArray("SQLite format 3") + QByteArray(4000, 'Z')));
    auto w = open();
    QString said;
    test::answerNextMessageBox([&](QMessageBox& box) { said = box.text(); });
    w->offerRecovery();
    ASSERT_EVENTUALLY(!said.isEmpty(), 5000);
    EXPECT_TRUE(said.startsWith(u8("上次的会话记录已损坏，无法恢复，已移到 ")))
        << said.toStdString();
    const QStringList aside = QDir(folder.path()).entryList({u"journal-0.damaged-*.sqlite"_s});
    EXPECT_EQ(aside.size(), 1);
    EXPECT_EQ(w->workbench().candidates().count(), 1);
}

TEST_F(SessionWindow, AProjectSavedOpensAgainAsItWasAndAForeignFileChangesNothing) {
    auto w = open();
    w->offerRecovery();
    work(*w);
    const QString path = folder.filePath(u8("连衣裙.quilla"));
    w->saveProjectTo(path, false);
    ASSERT_EVENTUALLY(QFile::exists(path), 5000);
    EXPECT_TRUE(w->windowTitle().endsWith(u8(" - 连衣裙"))) << w->windowTitle().toStdString();
    const SessionSnapshot saved = w->workbench().snapshot();

    auto other = std::make_unique<MainWindow>(shell, std::make_shared<test::FakePageFetcher>());
    // Not while the first window holds it.
    QString held;
    test::answerNextMessageBox([&](QMessageBox& box) { held = box.text(); });
    other->openProjectFrom(path);
    ASSERT_EVENTUALLY(!held.isEmpty(), 5000);
    EXPECT_EQ(held, u8("项目“连衣裙.quilla”已在另一个窗口或命令中打开。"));
    EXPECT_TRUE(other->workbench().projectPath().isEmpty());
    w.reset();
    other->openProjectFrom(path);
    EXPECT_EQ(other->workbench().snapshot().candidates, saved.candidates);
    EXPECT_EQ(other->workbench().snapshot().results, saved.results);
    EXPECT_EQ(other->findChild<QLineEdit*>(u"quantityBox"_s)->text(), u"40"_s);
    EXPECT_EQ(other->workbench().projectPath(), path);

    const QString text = folder.filePath(u"notes.quilla"_s);
    ASSERT_TRUE(test::writeFileBytes(text, "keyword,count\r\n"));
    QString said;
    test::answerNextMessageBox([&](QMessageBox& box) { said = box.text(); });
    other->openProjectFrom(text);
    ASSERT_EVENTUALLY(!said.isEmpty(), 5000);
    EXPECT_EQ(said, u8("这个文件不是 Quilla 项目，没有打开。"));
    EXPECT_EQ(other->workbench().snapshot().candidates, saved.candidates);
    EXPECT_EQ(other->workbench().projectPath(), path);
}

} // namespace
} // namespace quilla
