// What the status line says at each stage of both runs, driven a tick at a time.

#include "workbench/status_line.h"

#include "core/list_headers.h"
#include "mining/search_page.h"
#include "support/fake_fetcher.h"
#include "support/fakes.h"
#include "support/index_fake_browser.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace quilla {
namespace {

using test::listOf;
using test::u8;

// A search page that suggests `related` and states `count`.
QString searchPage(const QStringList& related, const char* count) {
    QString page = u8("你是不是想找");
    for (const QString& word : related)
        page += u8("<a rsclick=1>") + word + u8("</a>");
    return page + u8("该条件下 共 <b>") + u8(count) + u8("</b> 件");
}

class MiningStatus : public ::testing::Test {
protected:
    void SetUp() override {
        fetcher.pages[searchAddress(u8("qq"))] = searchPage({u8("a"), u8("b")}, "5");
        fetcher.pages[searchAddress(u8("a"))] = searchPage({}, "6");
        fetcher.pages[searchAddress(u8("b"))] = searchPage({}, "7");
    }
    QString status() const { return miningStatus(run.progress()); }

    RowList candidates, results;
    test::FakeTimer timer;
    test::FakeFetcher fetcher;
    test::FakeMessageBox messages;
    test::FakeTextBox keyword{u8("qq")}, include, exclude, quantity{u8("2")};
    StepGate gate;
    MiningRun run{candidates,
                  results,
                  timer,
                  fetcher,
                  gate,
                  messages,
                  MiningRun::Boxes{keyword, include, exclude, quantity}};
};

TEST_F(MiningStatus, SaysNothingBeforeTheFirstStart) {
    EXPECT_EQ(status(), QString());
}

TEST_F(MiningStatus, CountsWhileRunningAndSaysTheQuantityWasReached) {
    ASSERT_TRUE(run.start());
    EXPECT_EQ(status(), u8("挖词中：已挖 0 个，待挖 1 个，结果 0/2 行"));
    run.step();
    EXPECT_EQ(status(), u8("挖词中：已挖 1 个，待挖 2 个，结果 1/2 行"));
    run.step();
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(status(), u8("挖词完成：结果已达 2 行（已挖 2 个关键词）"));
}

TEST_F(MiningStatus, SaysWhenTheCandidatesAreUsedUp) {
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    for (int step = 0; step < 4; ++step)
        run.step();
    EXPECT_EQ(status(), u8("挖词结束：关键词已全部挖完（已挖 3 个，结果 3 行）"));
}

// Keywords whose page never loaded are no results: the end says how many;
// a layout that dried the list says how many pages it read.
TEST(MiningEndStatus, SaysWhatNeverLoadedAndHowManyPagesLookedChanged) {
    MiningProgress p;
    p.started = true;
    p.mined = 3;
    p.results = 2;
    p.end = MiningEnd::CandidatesUsedUp;
    p.failed = 2;
    EXPECT_EQ(miningStatus(p), u8("挖词结束：关键词已全部挖完（已挖 3 个，结果 2 行）；"
                                  "2 个词未能读取（右键“重查失败的词”）"));
    p.running = true;
    EXPECT_FALSE(miningStatus(p).contains(u8("未能读取")));
    p = MiningProgress{};
    p.started = true;
    p.end = MiningEnd::PagesLookChanged;
    p.pagesLackingBoth = 3;
    EXPECT_EQ(miningStatus(p), u8("挖词暂停：搜索页面与预期不符（连续 3 页没有相关词和宝贝数）"));
}

// The pace shows while the marketplace holds the run below the tick's, and
// the mean rate once a held-back run ends; a run never held back reads as
// it always did.
TEST(MiningPaceStatus, ShowsThePaceWhileHeldBackAndTheMeanRateAtTheEnd) {
    const struct {
        bool running;
        std::optional<double> pace, mean;
        std::int64_t failed;
        const char* text;
    } cases[] = {
        {true, {}, {}, 0, "挖词中：已挖 3 个，待挖 4 个，结果 2/9 行"},
        {true, 2.84, 2.7, 0, "挖词中：已挖 3 个，待挖 4 个，结果 2/9 行，每秒 2.8 页"},
        {true, 0.625, {}, 0, "挖词中：已挖 3 个，待挖 4 个，结果 2/9 行，每秒 0.63 页"},
        {false, {}, {}, 0, "挖词已停止（已挖 3 个，待挖 4 个，结果 2 行）"},
        {false, 2.5, 2.91, 0, "挖词已停止（已挖 3 个，待挖 4 个，结果 2 行）；平均每秒 2.9 页"},
        {false,
         {},
         3.0,
         1,
         "挖词已停止（已挖 3 个，待挖 4 个，结果 2 行）；平均每秒 3.0 页；"
         "1 个词未能读取（右键“重查失败的词”）"},
    };
    for (const auto& c : cases) {
        MiningProgress p;
        p.started = true;
        p.running = c.running;
        p.mined = 3;
        p.waiting = 4;
        p.results = 2;
        p.quantity = 9;
        p.pacePerSecond = c.pace;
        p.meanPerSecond = c.mean;
        p.failed = c.failed;
        EXPECT_EQ(miningStatus(p), u8(c.text));
    }
}

TEST_F(MiningStatus, SaysWhenTheQuantityIsNotANumber) {
    ASSERT_TRUE(run.start());
    quantity.value = u8("许多");
    EXPECT_EQ(status(), u8("挖词中：已挖 0 个，待挖 1 个，结果 0/? 行"));
    run.step();
    EXPECT_EQ(status(), u8("挖词结束：数量不是数字（结果 1 行）"));
}

TEST_F(MiningStatus, SaysWhenStoppedAndForgetsTheEndAtARestart) {
    ASSERT_TRUE(run.start());
    run.step();
    timer.setInterval(0); // the Stop button
    EXPECT_EQ(status(), u8("挖词已停止（已挖 1 个，待挖 2 个，结果 1 行）"));
    quantity.value = u8("0");
    ASSERT_TRUE(run.start());
    run.step();
    EXPECT_EQ(status(), u8("挖词完成：结果已达 1 行（已挖 1 个关键词）"));
    ASSERT_TRUE(run.start());
    EXPECT_EQ(status(), u8("挖词中：已挖 0 个，待挖 1 个，结果 0/0 行"));
}

TEST(IndexTimeLeft, CountsTheWaitsStillAheadWithTheLongOnes) {
    const struct {
        std::int64_t rows;
        std::int32_t queryRow, queriesSinceLongWait;
        std::int64_t currentWait, interval, expected;
    } cases[] = {
        {45, 1, 0, 6000, 6000, 44 * 6000 + 40000}, // the long wait after tick 41
        {41, 1, 0, 6000, 6000, 41 * 6000},         // tick 41 is the last: no long wait
        {3, 1, 0, 6000, 6000, 18000},
        {3, 3, 2, 2500, 6000, 2500}, // the last row's wait, part gone
        {3, 4, 3, 0, 6000, 0},       // over
        {90, 42, 0, 40000, 1000, 40000 + 40 * 1000 + 40000 + 7 * 1000},
    };
    for (const auto& c : cases) {
        IndexProgress p;
        p.started = p.running = true;
        p.rows = c.rows;
        p.position = c.queryRow;
        p.queriesSinceLongWait = c.queriesSinceLongWait;
        EXPECT_EQ(QueryPacing::timeLeft(p, c.currentWait, c.interval), c.expected)
            << c.rows << " rows at row " << c.queryRow;
    }
}

TEST(DurationText, ReadsAsAPersonSaysIt) {
    EXPECT_EQ(durationText(0), u8("0秒"));
    EXPECT_EQ(durationText(1), u8("1秒"));
    EXPECT_EQ(durationText(59000), u8("59秒"));
    EXPECT_EQ(durationText(304000), u8("5分04秒"));
    EXPECT_EQ(durationText(3720000), u8("1小时02分"));
}

class IndexStatus : public ::testing::Test {
protected:
    void fill(int rows) {
        results.append(Row{resultHeader()});
        for (int i = 1; i <= rows; ++i)
            results.append(Row{{QStringLiteral("k%1").arg(i), QString::number(i)}});
    }
    QString status() const {
        const IndexProgress p = run.progress();
        return indexStatus(p, QueryPacing::timeLeft(p, timer.interval(), 6000));
    }

    RowList results;
    test::FakeTimer timer;
    test::FakeBrowser browser;
    test::FakeTextBox interval{u8("6000")};
    StepGate gate;
    IndexRun run{results, timer, browser, interval, gate};
};

TEST_F(IndexStatus, CountsRowsAndTimeIncludingTheLongWait) {
    fill(45);
    EXPECT_EQ(status(), QString());
    run.start();
    EXPECT_EQ(status(), u8("查询指数：第 1/45 行，剩余约 5分04秒"));
    for (int tick = 0; tick < 41; ++tick)
        run.tick();
    EXPECT_EQ(timer.interval(), 40000);
    EXPECT_EQ(status(), u8("查询指数：第 42/45 行，剩余约 58秒"));
    for (int tick = 0; tick < 4; ++tick)
        run.tick();
    EXPECT_EQ(status(), u8("指数查询完成：共 45 行，0 行有指数，45 行没有"));
}

// Rows whose page had not loaded within the interval stay empty: the end
// says how many, and keeps saying it while a later run fills the table.
TEST_F(IndexStatus, SaysHowManyRowsGotFigures) {
    const QString figures = u8("App.set({cityEndDate:1,a:[0,7,9]},{cityEndDate:2,b:[0,3,4]})");
    const struct {
        const char* name;
        int rows;
        std::set<int> loaded; // rows whose page showed figures
        const char* said;
    } cases[] = {
        {"most pages not loaded", 45, {1, 30}, "指数查询完成：共 45 行，2 行有指数，43 行没有"},
        {"every page loaded", 3, {1, 2, 3}, "指数查询完成：共 3 行，都有指数"},
        {"none loaded", 2, {}, "指数查询完成：共 2 行，0 行有指数，2 行没有"},
    };
    for (const auto& c : cases) {
        results.clear();
        fill(c.rows);
        run.start();
        for (int row = 1; row <= c.rows; ++row) {
            browser.page = c.loaded.contains(row) ? figures : QString();
            run.tick();
        }
        EXPECT_EQ(status(), u8(c.said)) << c.name;
        results.append(Row{{u8("新词"), u8("5")}}); // a mining run adds rows
        EXPECT_EQ(status(), u8(c.said)) << c.name;
    }
    run.forgetProgress(); // the rows were edited
    EXPECT_EQ(status(), QString());
}

TEST_F(IndexStatus, SaysWhichIntervalHaltedTheRun) {
    fill(3);
    interval.value = u8("6秒");
    run.start();
    EXPECT_EQ(status(), u8("指数查询中断：间隔“6秒”无效，请填写 1–65535 之间的毫秒数"));
    interval.value = u8("6000");
    run.start();
    EXPECT_EQ(status(), u8("查询指数：第 1/3 行，剩余约 18秒"));
    interval.value = u8("70000");
    run.tick();
    EXPECT_EQ(status(), u8("指数查询中断：间隔“70000”无效，请填写 1–65535 之间的毫秒数"));
}

TEST_F(IndexStatus, SaysWhenStoppedAndStaysRunningDuringATick) {
    fill(3);
    run.start();
    browser.late = true;
    run.tick(); // waits for the page text, the timer stopped meanwhile
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(status(), u8("查询指数：第 1/3 行，剩余约 12秒"));
    browser.releaseAll();
    timer.setInterval(0); // the Stop button, after the tick
    EXPECT_EQ(status(), u8("指数查询已停止（第 2/3 行）"));
}

// A finished run's text is not carried into the next run or over an edit;
// a run that is going or can be continued keeps its say.
TEST(StatusScope, DropsTheTextOfARunThatEndedBeforeWhatFollowed) {
    MiningProgress miningDone;
    miningDone.started = true;
    miningDone.end = MiningEnd::QuantityReached;
    miningDone.results = 7;
    miningDone.mined = 3;
    MiningProgress miningGoing;
    miningGoing.started = miningGoing.running = true;
    miningGoing.waiting = 1;
    miningGoing.quantity = 10;
    IndexProgress indexDone;
    indexDone.started = true;
    indexDone.end = IndexEnd::Finished;
    indexDone.rows = indexDone.withFigures = 45;
    IndexProgress indexBlocked;
    indexBlocked.started = indexBlocked.canContinue = true;
    indexBlocked.end = IndexEnd::Blocked;
    indexBlocked.blockedBy = Verdict::Login;
    indexBlocked.position = 3;
    indexBlocked.rows = 45;

    enum Event { MiningStart, IndexStart, Edit };
    const QString mined = u8("挖词完成：结果已达 7 行（已挖 3 个关键词）");
    const QString mining = u8("挖词中：已挖 0 个，待挖 1 个，结果 0/10 行");
    const QString indexed = u8("指数查询完成：共 45 行，都有指数");
    const QString blocked =
        u8("指数查询暂停：淘宝要求登录，第 3 行未查。请在浏览器中登录后按 F5 继续");
    const struct {
        const char* name;
        std::vector<Event> events;
        const MiningProgress& mining;
        const IndexProgress& index;
        QString said;
    } cases[] = {
        {"both ended, nothing since (a restored session)",
         {},
         miningDone,
         indexDone,
         statusLine(mined, indexed)},
        {"an index run, then mining again",
         {IndexStart, MiningStart},
         miningGoing,
         indexDone,
         mining},
        {"mining, then an index run", {MiningStart, IndexStart}, miningDone, indexDone, indexed},
        {"mining, then rows deleted and pasted", {MiningStart, Edit}, miningDone, {}, QString()},
        {"an index run, then rows pasted", {IndexStart, Edit}, {}, indexDone, QString()},
        {"a blocked index run keeps its say",
         {IndexStart, MiningStart},
         miningGoing,
         indexBlocked,
         statusLine(mining, blocked)},
    };
    for (const auto& c : cases) {
        StatusScope scope;
        for (const Event e : c.events)
            e == MiningStart  ? scope.miningStarted()
            : e == IndexStart ? scope.indexStarted()
                              : scope.rowsEdited();
        EXPECT_EQ(scope.line(c.mining, c.index, 0), c.said) << c.name;
    }
}

TEST(StatusLine, JoinsWhatBothRunsSay) {
    EXPECT_EQ(statusLine(u8("甲"), QString()), u8("甲"));
    EXPECT_EQ(statusLine(QString(), u8("乙")), u8("乙"));
    EXPECT_EQ(statusLine(u8("甲"), u8("乙")), u8("甲　｜　乙"));
    EXPECT_EQ(statusLine(QString(), QString()), QString());
}

} // namespace
} // namespace quilla
