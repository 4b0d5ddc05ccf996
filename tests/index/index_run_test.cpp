#include "index/index_run.h"

#include "support/fakes.h"
#include "support/index_fixture.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

using test::FakeBrowser;
using test::FakeTextBox;
using test::FakeTimer;

const Row header{
    QString::fromUtf8("关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,前天成交指数,"
                      "七天的搜索指数环比,与去年同期相比,三十天的搜索指数环比,"
                      "与去年同期相比,趋势预测")
        .split(u',')};

using test::keyword;

// A trend page whose four index figures all read `n`.
QString pageReading(int n) {
    const QString s = QString::number(n);
    return QStringLiteral("App.set({cityEndDate:1,a:[0,") + s + u',' + s +
           QStringLiteral("]},{cityEndDate:2,b:[0,") + s + u',' + s +
           QStringLiteral("]})\r\n最近七天的搜索指数环比<SPAN class=up>12%</SPAN>，"
                          "与去年同期相比<SPAN class=down>3%</SPAN>。\r\n"
                          "最近三十天的搜索指数环比<SPAN class=down>5%</SPAN>，"
                          "与去年同期相比<SPAN class=up>8%</SPAN>。\r\n"
                          "趋势预测：上升。wxyz去阿里指数查看");
}

QString indexedRow(int i, int n) {
    const QString s = QString::number(n);
    return keyword(i) + QStringLiteral(",%1,").arg(i) + s + u',' + s + u',' + s + u',' + s +
           QStringLiteral(",+12%,-3%,-5%,+8%,上升");
}

QString minedRow(int i) {
    return keyword(i) + QStringLiteral(",%1").arg(i);
}

QStringList keywords(int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i)
        out.append(keyword(i));
    return out;
}

class IndexRunTest : public test::IndexRunFixture {
protected:
    QStringList submitted() const { return browser.valuesOf(QStringLiteral("query")); }

    // Ticks while the timer runs, at most `limit` times; the wait after each.
    std::vector<int> tickWhileRunning(int limit) {
        std::vector<int> waits;
        for (int k = 0; k < limit && timer.interval() != 0; ++k) {
            browser.page = pageReading(run.queryRow());
            run.tick();
            waits.push_back(timer.interval());
        }
        return waits;
    }

    void stop() { timer.setInterval(0); }
};

struct Timeline {
    int rows;
    std::set<int> longWaitAfter; // ticks followed by the long wait
    int lastQueriesSinceLongWait;
};
void PrintTo(const Timeline& t, std::ostream* os) {
    *os << t.rows << " rows";
}

class IndexTimelineTest : public IndexRunTest, public ::testing::WithParamInterface<Timeline> {};

TEST_P(IndexTimelineTest, WalksEveryRowAtTheUsersPace) {
    const Timeline& t = GetParam();
    fill(t.rows);
    run.start();
    EXPECT_EQ(submitted(), keywords(1, 1));
    EXPECT_EQ(timer.interval(), 6000);

    std::vector<int> expected;
    for (int k = 1; k <= t.rows; ++k)
        expected.push_back(k == t.rows ? 0 : t.longWaitAfter.contains(k) ? 40000 : 6000);
    EXPECT_EQ(tickWhileRunning(t.rows + 5), expected);

    EXPECT_EQ(run.queryRow(), t.rows + 1);
    EXPECT_EQ(run.queriesSinceLongWait(), t.lastQueriesSinceLongWait);
    EXPECT_EQ(submitted(), keywords(1, t.rows));
    for (int i = 1; i <= t.rows; ++i)
        EXPECT_EQ(results.rowText(i), indexedRow(i, i)) << i;
    EXPECT_EQ(results.row(0), header);
}

INSTANTIATE_TEST_SUITE_P(Rows, IndexTimelineTest,
                         ::testing::Values(Timeline{3, {}, 3}, Timeline{41, {}, 41},
                                           Timeline{45, {41}, 4}, Timeline{90, {41, 82}, 8}));

TEST_F(IndexRunTest, StopsTheTimerOnEntryAndSetsItAgainAtTheEnd) {
    fill(3);
    run.start();
    tickWhileRunning(10);
    EXPECT_EQ(timer.history, (std::vector<int>{6000, 0, 6000, 0, 6000, 0}));
    EXPECT_EQ(run.queryRow(), 4);
}

class RefusedIntervalTest : public IndexRunTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedIntervalTest, AtTheStartSubmitsButLeavesAnIdleTimerStopped) {
    fill(3);
    interval.value = QString::fromUtf8(GetParam());
    run.start();
    EXPECT_EQ(submitted(), keywords(1, 1));
    EXPECT_EQ(browser.clicks, QStringList{QStringLiteral("query-btn")});
    EXPECT_TRUE(timer.history.empty());
    EXPECT_EQ(results.rowText(1), minedRow(1));
}

TEST_P(RefusedIntervalTest, AtTheStartKeepsAWaitingRunAtItsPace) {
    fill(3);
    run.start();
    tickWhileRunning(1);
    interval.value = QString::fromUtf8(GetParam());
    run.start();
    EXPECT_EQ(run.queryRow(), 1);
    EXPECT_EQ(run.queriesSinceLongWait(), 0);
    EXPECT_EQ(timer.interval(), 6000);
    EXPECT_EQ(submitted(), (QStringList{keyword(1), keyword(2), keyword(1)}));
}

TEST_P(RefusedIntervalTest, DuringTheRunHaltsAfterSubmittingTheNextKeyword) {
    fill(3);
    run.start();
    tickWhileRunning(1);
    interval.value = QString::fromUtf8(GetParam());
    EXPECT_EQ(tickWhileRunning(5), std::vector<int>{0});
    EXPECT_EQ(submitted(), keywords(1, 3));
    EXPECT_EQ(results.rowText(2), indexedRow(2, 2));
    EXPECT_EQ(results.rowText(3), minedRow(3));
}

INSTANTIATE_TEST_SUITE_P(Texts, RefusedIntervalTest,
                         ::testing::Values("abc", "65536", "", "-1", "12 s", "99999999999"));

TEST_F(IndexRunTest, AZeroIntervalHaltsTheRunToo) {
    fill(3);
    run.start();
    interval.value = QStringLiteral("0");
    EXPECT_EQ(tickWhileRunning(5), std::vector<int>{0});
    EXPECT_EQ(submitted(), keywords(1, 2));
}

TEST_F(IndexRunTest, StopThenStartReplacesTheFiguresOfEachRow) {
    fill(3);
    run.start();
    tickWhileRunning(2);
    stop();
    EXPECT_EQ(results.rowText(2), indexedRow(2, 2));

    run.start();
    for (int k = 0; k < 5 && timer.interval() != 0; ++k) {
        browser.page = pageReading(100 + run.queryRow());
        run.tick();
    }
    EXPECT_EQ(run.queryRow(), 4);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(results.rowText(i), indexedRow(i, 100 + i)) << i;
        EXPECT_EQ(results.row(i).fields.size(), 11);
    }
    EXPECT_EQ(submitted(), (keywords(1, 3) + keywords(1, 3)));
}

TEST_F(IndexRunTest, SubmitsEachRowsKeywordWhole) {
    results.append(header);
    results.append(Row{{QStringLiteral("solo")}});
    results.append(Row{{QStringLiteral("a,b"), QStringLiteral("7")}});
    browser.page = pageReading(1);
    run.start();
    run.tick();
    EXPECT_EQ(submitted(), (QStringList{QStringLiteral("solo"), QStringLiteral("a,b")}));
    EXPECT_EQ(results.rowText(1), QStringLiteral("solo,1,1,1,1,+12%,-3%,-5%,+8%,上升"));
}

TEST_F(IndexRunTest, ATableWithoutRowsEndsAtTheFirstTick) {
    for (const bool withHeader : {false, true}) {
        SCOPED_TRACE(withHeader);
        results.clear();
        if (withHeader)
            results.append(header);
        browser.values.clear();
        run.start();
        EXPECT_EQ(submitted(), QStringList{QString()});
        EXPECT_EQ(timer.interval(), 6000);
        EXPECT_EQ(tickWhileRunning(5), std::vector<int>{0});
        EXPECT_EQ(run.queryRow(), 2);
        EXPECT_EQ(results.count(), withHeader ? 1 : 0);
        EXPECT_EQ(results.row(0), withHeader ? header : Row{});
        EXPECT_EQ(submitted(), QStringList{QString()});
    }
}

TEST_F(IndexRunTest, ATickWhoseRowsAreGoneWritesNothingAndEnds) {
    fill(5);
    run.start();
    tickWhileRunning(2);
    // A new mining run has reset the table and found two rows so far.
    results.clear();
    results.append(header);
    results.append(Row{{QStringLiteral("new1"), QStringLiteral("1")}});
    results.append(Row{{QStringLiteral("new2"), QStringLiteral("2")}});
    run.tick();
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(run.queryRow(), 4);
    EXPECT_EQ(results.count(), 3);
    EXPECT_EQ(results.rowText(2), QStringLiteral("new2,2"));
    EXPECT_EQ(submitted(), keywords(1, 3));
}

struct Elements {
    const char* name;
    QSet<QString> present;
    QStringList typed;
    QStringList clicked;
};
void PrintTo(const Elements& e, std::ostream* os) {
    *os << e.name;
}

class MissingElementTest : public IndexRunTest, public ::testing::WithParamInterface<Elements> {};

TEST_P(MissingElementTest, EachSubmissionStepFailsAlone) {
    fill(2);
    browser.elements = GetParam().present;
    run.start();
    EXPECT_EQ(submitted(), GetParam().typed);
    EXPECT_EQ(browser.clicks, GetParam().clicked);
    EXPECT_EQ(timer.interval(), 6000);
    tickWhileRunning(1);
    EXPECT_EQ(results.rowText(1), indexedRow(1, 1));
    EXPECT_EQ(timer.interval(), 6000);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, MissingElementTest,
    ::testing::Values(
        Elements{"noQuery", {QStringLiteral("query-btn")}, {}, {QStringLiteral("query-btn")}},
        Elements{"noButton", {QStringLiteral("query")}, {keyword(1)}, {}},
        Elements{"neither", {}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A refused new window's link loads here when it is a web page; a page
// cannot make the browser show local files or run other schemes.
TEST_F(IndexRunTest, ANewWindowRequestLoadsOnlyAWebLinkHere) {
    const struct {
        std::optional<QString> href;
        bool loads;
    } cases[] = {
        {u"http://127.0.0.1:1/x?q=1"_s, true},
        {u"https://shu.taobao.com/trendindex"_s, true},
        {u"HTTP://S.TAOBAO.COM/"_s, true},
        {u"about:blank"_s, true},
        {std::nullopt, false},
        {QString(), false},
        {u"file:///etc/passwd"_s, false},
        {u"FILE:///C:/Windows/win.ini"_s, false},
        {u"javascript:alert(1)"_s, false},
        {u"data:text/html,<p>x</p>"_s, false},
        {u"ftp://127.0.0.1/x"_s, false},
        {u"about:config"_s, false},
        {u"/relative/path"_s, false},
    };
    for (const auto& c : cases) {
        browser.navigations.clear();
        browser.href = c.href;
        run.openRefusedWindowHere();
        EXPECT_EQ(browser.navigations, c.loads ? QStringList{*c.href} : QStringList{})
            << c.href.value_or(u"(none)"_s).toStdString();
    }
}

// The same run with a page that answers late, as a real one does.
class LateIndexRunTest : public IndexRunTest {
protected:
    void SetUp() override {
        browser.late = true;
        browser.page = pageReading(1);
        fill(3);
        run.start();
        browser.releaseAll();
        browser.log.clear();
    }
};

TEST_F(LateIndexRunTest, NothingRestartsTheTimerBeforeTheTickHasFinished) {
    run.tick();
    for (int answers = 0; browser.held() > 0 && answers < 10; ++answers) {
        EXPECT_EQ(timer.interval(), 0);
        EXPECT_TRUE(gate.busy());
        browser.releaseOne();
    }
    EXPECT_FALSE(gate.busy());
    EXPECT_EQ(timer.history, (std::vector<int>{6000, 0, 6000}));
    EXPECT_EQ(browser.log, (QStringList{QStringLiteral("page"), QStringLiteral("value query=kw2"),
                                        QStringLiteral("click query-btn")}));
}

TEST_F(LateIndexRunTest, StopDuringATickLetsItFinishWithoutANextWait) {
    run.tick();
    bool stopped = false;
    gate.run([&] {
        stop();
        stopped = true;
    });
    EXPECT_FALSE(stopped);
    browser.releaseAll();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(results.rowText(1), indexedRow(1, 1));
    EXPECT_EQ(submitted(), keywords(1, 2));
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(timer.history, (std::vector<int>{6000, 0, 6000, 0}));
}

TEST_F(LateIndexRunTest, AnIndexClickDuringATickStartsOverAfterIt) {
    tickWhileRunning(1);
    browser.releaseAll();
    run.tick(); // row 2 in flight
    gate.run([&] { run.start(); });
    EXPECT_EQ(run.queryRow(), 2);
    browser.releaseAll();
    EXPECT_EQ(results.rowText(2), indexedRow(2, 1));
    EXPECT_EQ(run.queryRow(), 1);
    EXPECT_EQ(run.queriesSinceLongWait(), 0);
    EXPECT_EQ(submitted(), (QStringList{keyword(1), keyword(2), keyword(3), keyword(1)}));
    EXPECT_EQ(timer.interval(), 6000);
    EXPECT_FALSE(gate.busy());
}

TEST_F(LateIndexRunTest, AMiningStartDuringATickTakesEffectAfterIt) {
    run.tick();
    gate.run([&] {
        stop();
        results.clear();
        results.append(header);
        results.append(Row{{QStringLiteral("seed"), QStringLiteral("9")}});
    });
    EXPECT_EQ(results.rowText(1), minedRow(1));
    browser.releaseAll();
    // The tick wrote into the old table, then the new one replaced it.
    EXPECT_EQ(results.count(), 2);
    EXPECT_EQ(results.rowText(1), QStringLiteral("seed,9"));
    EXPECT_EQ(submitted(), keywords(1, 2));
    EXPECT_EQ(timer.interval(), 0);
    // The stopped timer has no tick left to give.
    run.timerFired();
    EXPECT_EQ(browser.held(), 0u);
    EXPECT_EQ(browser.log.count(QStringLiteral("page")), 1);
}

TEST_F(LateIndexRunTest, TicksNeverOverlap) {
    run.timerFired();
    EXPECT_EQ(browser.held(), 1u);
    run.timerFired();
    run.timerFired();
    EXPECT_EQ(browser.held(), 1u);
    browser.releaseAll();
    EXPECT_EQ(browser.log.count(QStringLiteral("page")), 1);
    EXPECT_EQ(run.queryRow(), 2);
    EXPECT_EQ(timer.interval(), 6000);
    EXPECT_FALSE(gate.busy());
}

TEST_F(LateIndexRunTest, TheStartHoldsTheGateUntilItsSubmissionIsDone) {
    run.start();
    EXPECT_TRUE(gate.busy());
    run.timerFired(); // the old wait fell due meanwhile
    EXPECT_EQ(browser.held(), 1u);
    browser.releaseAll();
    EXPECT_FALSE(gate.busy());
    // The start set the timer anew, so the old wait's tick is gone.
    EXPECT_EQ(browser.log,
              (QStringList{QStringLiteral("value query=kw1"), QStringLiteral("click query-btn")}));
    EXPECT_EQ(timer.interval(), 6000);
    EXPECT_EQ(run.queryRow(), 1);
}

TEST_F(LateIndexRunTest, ATickThatFellDueDuringAStartThatKeptTheTimerRunsOnceAfterIt) {
    interval.value = QStringLiteral("abc");
    run.start();
    run.timerFired();
    run.timerFired();
    browser.releaseAll();
    EXPECT_EQ(browser.log,
              (QStringList{QStringLiteral("value query=kw1"), QStringLiteral("click query-btn"),
                           QStringLiteral("page"), QStringLiteral("value query=kw2"),
                           QStringLiteral("click query-btn")}));
    EXPECT_EQ(results.rowText(1), indexedRow(1, 1));
    EXPECT_EQ(run.queryRow(), 2);
}

TEST_F(LateIndexRunTest, StopDuringTheStartsSubmissionLeavesTheTimerStopped) {
    stop();
    run.start();
    gate.run([&] { stop(); });
    browser.releaseAll();
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(timer.history.back(), 0);
    EXPECT_EQ(timer.history[timer.history.size() - 2], 6000);
}

// The trend page turned into a login or a check: the tick writes nothing and
// the run waits; F5 goes back to the trend page, submits the row again on the
// next tick and goes on, so every row is queried once in the end.
TEST_F(IndexRunTest, ALoginPageStopsTheRunAndF5GoesOnFromThatRow) {
    test::FakeMessageBox messages;
    IndexRun guarded{results, timer, browser, interval, gate, &messages};
    fill(4);
    browser.shown = IndexRun::startAddress();
    guarded.start();
    browser.page = pageReading(1);
    guarded.tick();
    ASSERT_EQ(results.rowText(1), indexedRow(1, 1));
    browser.shown = u"https://login.taobao.com/member/login.jhtml"_s; // the page asked to log in
    browser.page = u"<form><input type=password></form>"_s;
    guarded.tick();
    EXPECT_EQ(results.rowText(2), u"kw2,2"_s); // not written
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(guarded.progress().end, IndexEnd::Blocked);
    EXPECT_EQ(guarded.progress().blockedBy, Verdict::Login);
    EXPECT_EQ(messages.shown.size(), 1);
    ASSERT_TRUE(guarded.progress().canContinue);

    ASSERT_TRUE(guarded.resume());
    EXPECT_EQ(browser.navigations.back(), IndexRun::startAddress());
    EXPECT_EQ(timer.interval(), 6000);
    const auto submittedBefore = submitted().size();
    guarded.tick(); // submits row 2 again, reads nothing
    EXPECT_EQ(submitted().size(), submittedBefore + 1);
    EXPECT_EQ(submitted().back(), keyword(2));
    EXPECT_EQ(results.rowText(2), u"kw2,2"_s);
    for (int row = 2; row <= 4; ++row) {
        browser.page = pageReading(row);
        guarded.tick();
    }
    for (int row = 1; row <= 4; ++row)
        EXPECT_EQ(results.rowText(row), indexedRow(row, row)) << row;
    EXPECT_EQ(guarded.progress().end, IndexEnd::Finished);
    EXPECT_FALSE(guarded.progress().canContinue);
}

// A mining run that met a login or a check leaves the browser on that page.
// Starting the index run brings the trend page back before any query, and
// stops only when the marketplace sends the browser to a block page again.
TEST(IndexStartAfterABlock, BringsTheTrendPageBackFirst) {
    const QString trend = IndexRun::startAddress();
    const QString login = u"https://login.taobao.com/member/login.jhtml?redirect=s.taobao.com"_s;
    const QString check = u"https://s.taobao.com/_____tmd_____/punish?x5step=1"_s;
    const struct {
        const char* name;
        QString leftOn;     // where the browser was when the run started
        bool emptyRowsOnly; // "重查空行" rather than "指数"
        QString sentTo;     // where the marketplace sends the trend page; empty: it shows
        Verdict stoppedBy;  // Passed: the run goes on
    } cases[] = {
        {"a login page", login, false, {}, Verdict::Passed},
        {"a slider check", check, false, {}, Verdict::Passed},
        {"another site", u"https://www.taobao.com/"_s, false, {}, Verdict::Passed},
        {"a login page, empty rows again", login, true, {}, Verdict::Passed},
        {"a login page, still not logged in", login, false, login, Verdict::Login},
        {"a slider check, checked again", check, true, check, Verdict::Verification},
        {"the trend page", trend, false, {}, Verdict::Passed},
    };
    for (const auto& c : cases) {
        RowList results;
        results.append(header);
        for (int i = 1; i <= 3; ++i)
            results.append(Row{{keyword(i), QString::number(i)}});
        FakeTimer timer;
        FakeBrowser browser;
        browser.shown = c.leftOn;
        FakeTextBox interval{u"6000"_s};
        StepGate gate;
        test::FakeMessageBox messages;
        IndexRun run{results, timer, browser, interval, gate, &messages};
        if (c.emptyRowsOnly)
            run.startWith({1, 2, 3});
        else
            run.start();
        const bool away = c.leftOn != trend;
        EXPECT_EQ(browser.navigations, away ? QStringList{trend} : QStringList{}) << c.name;
        EXPECT_EQ(browser.valuesOf(u"query"_s), away ? QStringList{} : QStringList{keyword(1)})
            << c.name; // nothing typed into the page that asked for a login
        EXPECT_EQ(timer.interval(), 6000) << c.name;
        EXPECT_TRUE(messages.shown.empty()) << c.name;
        if (!c.sentTo.isEmpty())
            browser.shown = c.sentTo;

        browser.page = pageReading(1);
        if (away)
            run.tick(); // submits row 1 on the trend page, or finds the block again
        if (c.stoppedBy != Verdict::Passed) {
            EXPECT_EQ(run.progress().end, IndexEnd::Blocked) << c.name;
            EXPECT_EQ(run.progress().blockedBy, c.stoppedBy) << c.name;
            EXPECT_EQ(timer.interval(), 0) << c.name;
            EXPECT_EQ(messages.shown.size(), 1u) << c.name;
            EXPECT_TRUE(browser.valuesOf(u"query"_s).isEmpty()) << c.name;
            EXPECT_TRUE(run.progress().canContinue) << c.name;
            continue;
        }
        EXPECT_EQ(browser.valuesOf(u"query"_s), QStringList{keyword(1)}) << c.name;
        run.tick();
        EXPECT_EQ(results.rowText(1), indexedRow(1, 1)) << c.name;
        EXPECT_EQ(run.progress().end, IndexEnd::None) << c.name;
        EXPECT_EQ(timer.interval(), 6000) << c.name;
        EXPECT_TRUE(messages.shown.empty()) << c.name;
    }
}

// "重查空行": only the rows without figures, never queried or queried in
// vain, are asked for again, in table order.
TEST_F(IndexRunTest, AskingAgainForTheEmptyRowsQueriesThoseOnly) {
    fill(5);
    run.start();
    const QString empties[] = {pageReading(1), QString(), pageReading(3), QString()};
    for (const QString& page : empties) {
        browser.page = page;
        run.tick();
    }
    ASSERT_EQ(run.queryRow(), 5); // row 5 never queried: the run was stopped
    stop();
    std::vector<std::int64_t> empty;
    for (std::int64_t i = 1; i < results.count(); ++i)
        if (results.row(i).fields.size() <= 2 ||
            results.row(i).fields.mid(2).join(QString()).isEmpty())
            empty.push_back(i);
    ASSERT_EQ(empty, (std::vector<std::int64_t>{2, 4, 5}));
    const auto before = submitted().size();
    run.startWith(empty);
    EXPECT_EQ(run.progress().rows, 3);
    EXPECT_EQ(run.progress().position, 1);
    for (const int row : {2, 4, 5}) {
        browser.page = pageReading(row);
        run.tick();
    }
    EXPECT_EQ(submitted().mid(before), (QStringList{keyword(2), keyword(4), keyword(5)}));
    for (int row = 1; row <= 5; ++row)
        EXPECT_EQ(results.rowText(row), indexedRow(row, row)) << row;
    EXPECT_EQ(run.progress().end, IndexEnd::Finished);
}

TEST(IndexRunLifetime, AnAnswerAfterTheRunIsGoneIsDropped) {
    RowList results;
    results.append(header);
    results.append(Row{{QStringLiteral("kw1"), QStringLiteral("1")}});
    FakeTimer timer;
    FakeBrowser browser;
    browser.late = true;
    browser.page = pageReading(1);
    FakeTextBox interval{QStringLiteral("6000")};
    StepGate gate;
    results.append(Row{{QStringLiteral("kw2"), QStringLiteral("2")}});
    auto run = std::make_unique<IndexRun>(results, timer, browser, interval, gate);
    run->start();
    browser.releaseAll();
    run->tick();
    run.reset();
    // Only the page read is answered: nothing is written and nothing submitted.
    EXPECT_EQ(browser.releaseAll(), 1);
    EXPECT_EQ(results.rowText(1), QStringLiteral("kw1,1"));
    EXPECT_EQ(browser.valuesOf(QStringLiteral("query")), QStringList{QStringLiteral("kw1")});
}

} // namespace
} // namespace quilla
