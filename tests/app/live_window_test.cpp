// The window stays alive while a mining step waits for its page, and the
// step's effects and the clicks made meanwhile keep the one-step-at-a-time order.

#include "app/main_window.h"

#include "support/app_dialogs.h"
#include "support/blocking_fetcher.h"
#include "support/fake_opener.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

class LiveWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // One related word, so the run would go on after the first step.
        fetcher->page =
            QString::fromUtf8("你是不是想找<a rsclick=1>qq币</a> 该条件下 共 <b>12</b> 件");
        window = std::make_unique<MainWindow>(shell, fetcher);
        window->show();
    }
    void TearDown() override {
        for (int i = 0; i < 4; ++i)
            fetcher->releaseOne(); // no fetch thread outlives the test waiting
        window.reset();
    }
    void click(const char* name) {
        window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
    void type(const char* box, const QString& text) {
        window->findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
    }
    // Starts a run and waits until its first fetch is under way.
    void startAndWaitForTheFetch() {
        type("quantityBox", QStringLiteral("50"));
        click("mineButton");
        ASSERT_EVENTUALLY(fetcher->waiting() == 1, 5000);
        ASSERT_TRUE(window->workbench().fetching());
    }

    test::FakeOpener shell;
    std::shared_ptr<test::BlockingFetcher> fetcher = std::make_shared<test::BlockingFetcher>();
    std::unique_ptr<MainWindow> window;
};

TEST_F(LiveWindow, PaintsAndTakesClicksWhileAPageIsOnItsWay) {
    startAndWaitForTheFetch();
    PaintCounter counter;
    window->installEventFilter(&counter);
    window->update();
    ASSERT_EVENTUALLY(counter.paints > 0, 10000);
    EXPECT_EQ(fetcher->waiting(), 1); // still waiting: the window was not blocked
    // The step's effects are not there yet: row 1 is still bare.
    EXPECT_EQ(window->workbench().candidates().rowText(1), QStringLiteral("qq"));
    EXPECT_EQ(window->workbench().results().count(), 1);
    window->removeEventFilter(&counter);
}

TEST_F(LiveWindow, StopDuringAFetchLetsTheStepFinishAndNoOtherFollow) {
    startAndWaitForTheFetch();
    click("stopButton");
    EXPECT_EQ(window->workbench().miningTimer().interval(), 100); // Stop waits for the step
    fetcher->releaseOne();
    ASSERT_EVENTUALLY(
        !window->workbench().fetching() && window->workbench().miningTimer().interval() == 0, 5000);
    EXPECT_EQ(window->workbench().candidates().rowText(1), QStringLiteral("qq,12"));
    EXPECT_EQ(window->workbench().candidates().rowText(2), QString::fromUtf8("qq币"));
    EXPECT_EQ(window->workbench().results().rowText(1), QStringLiteral("qq,12"));
    EXPECT_EQ(window->workbench().mining().miningRow(), 2);
    QTest::qWait(400); // several ticks' time: none comes
    EXPECT_EQ(fetcher->asked().size(), 1);
    EXPECT_EQ(window->workbench().mining().miningRow(), 2);
}

TEST_F(LiveWindow, AStartDuringAFetchRestartsAfterTheStep) {
    startAndWaitForTheFetch();
    type("keywordBox", QStringLiteral("new"));
    click("mineButton");
    EXPECT_EQ(window->workbench().candidates().rowText(1), QStringLiteral("qq")); // not yet
    EXPECT_EQ(window->workbench().mining().miningRow(), 1);
    fetcher->releaseOne();
    // The old step finished first (row 1 of the old list was mined), then the
    // restart cleared both lists and began again from the new seed.
    ASSERT_EVENTUALLY(fetcher->asked().size() == 2, 5000);
    EXPECT_TRUE(fetcher->asked()[1].endsWith(QStringLiteral("&q=new")));
    EXPECT_EQ(window->workbench().candidates().count(), 2);
    EXPECT_EQ(window->workbench().candidates().rowText(1), QStringLiteral("new"));
    EXPECT_EQ(window->workbench().results().count(), 1);
    EXPECT_EQ(window->workbench().mining().miningRow(), 1);
}

// Closing returns at once; the fetch under way is told to stop and its
// thread is joined before the window's parts go.
TEST_F(LiveWindow, ClosingDuringAFetchStopsItAndJoinsItsThread) {
    startAndWaitForTheFetch();
    test::answerNextMessageBox({}, 400, QMessageBox::Discard); // the mined seed is in no project
    EXPECT_TRUE(window->close());
    EXPECT_EQ(shell.opened.size(), 1);
    window.reset();
    EXPECT_EQ(fetcher->waiting(), 0);
    EXPECT_EQ(fetcher->stopped(), 1);
    EXPECT_EQ(fetcher->asked().size(), 1);
}

TEST_F(LiveWindow, ListsFollowNewRowsUnlessScrolledAway) {
    auto* view = window->findChild<QAbstractItemView*>(QStringLiteral("resultTable"));
    RowList& rows = window->workbench().results();
    for (int i = 0; i < 60; ++i)
        rows.append(Row{{QString::number(i)}});
    QTest::qWait(50);
    QScrollBar* bar = view->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    for (int i = 0; i < 10; ++i)
        rows.append(Row{{QString::number(100 + i)}});
    QTest::qWait(50);
    EXPECT_EQ(bar->value(), 0);

    bar->setValue(bar->maximum());
    rows.append(Row{{QStringLiteral("last")}});
    QTest::qWait(50);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(LiveWindow, TheStatusLineSitsInTheFreeStripAndShowsTheRun) {
    auto* status = window->findChild<QLabel*>(QStringLiteral("statusLine"));
    ASSERT_NE(status, nullptr);
    // The strip, short of the 更多 button at its right end.
    EXPECT_EQ(status->geometry(), QRect(8, 708, 941, 28));
    EXPECT_EQ(window->findChild<QWidget*>(QStringLiteral("moreButton"))->geometry(),
              QRect(957, 709, 60, 26));
    EXPECT_TRUE(status->text().isEmpty());
    startAndWaitForTheFetch();
    ASSERT_EVENTUALLY((status->text()) ==
                          (QString::fromUtf8("挖词中：已挖 0 个，待挖 1 个，结果 0/50 行")),
                      2000);
    click("stopButton");
    fetcher->releaseOne();
    ASSERT_EVENTUALLY((status->text()) ==
                          (QString::fromUtf8("挖词已停止（已挖 1 个，待挖 1 个，结果 1 行）")),
                      5000);
}

} // namespace
} // namespace quilla
