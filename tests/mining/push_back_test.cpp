// A mining run against a marketplace that throttles, fails, asks for a login
// or a check, or changes its pages: waits and tries again, stops where it
// must, and, once let go on, ends with the same lists as an unhindered run.

#include "mining/mining_run.h"

#include "core/list_headers.h"
#include "mining/search_page.h"
#include "support/fake_fetcher.h"
#include "support/fakes.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::listOf;
using test::u8;

QString pageFor(const QStringList& related, const QString& count) {
    QString page = u8("<div>你是不是想找：");
    for (const QString& w : related)
        page += u"<a href=\"/s?rsclick=1\">"_s + w + u"</a>"_s;
    return page + u8("</div><p>该条件下 共 <span>") + count + u8("</span>件宝贝</p>");
}

FetchResult status(int code, std::optional<std::chrono::seconds> retryAfter = {}) {
    FetchResult r;
    r.status = code;
    r.retryAfter = retryAfter;
    r.failure = code == 0 ? FetchFailure::Reset : FetchFailure::None;
    r.text = code == 0 ? QString() : u"<html>busy</html>"_s;
    return r;
}

// A transfer that failed after part of a page, or none, had arrived.
FetchResult broken(FetchFailure failure, int code = 200) {
    FetchResult r;
    r.status = code;
    r.failure = failure;
    r.text = u8("<html><div>你是不是想找：<a href=\"/s?rsclick=1\">x");
    return r;
}

FetchResult redirectedTo(const QString& address, const QString& text) {
    FetchResult r;
    r.status = 200;
    r.finalAddress = address;
    r.text = text;
    return r;
}

// A run over a small keyword graph, with a clock the test moves.
struct Harness {
    Harness() {
        serve(u"qq"_s, listOf({"a", "b"}), u"1,000"_s);
        serve(u"a"_s, listOf({"c"}), u"20"_s);
        serve(u"b"_s, {}, u"30"_s);
        serve(u"c"_s, {}, u"0"_s);
    }
    void serve(const QString& keyword, const QStringList& related, const QString& count) {
        fetcher.pages.insert(searchAddress(keyword), pageFor(related, count));
    }
    void queue(const QString& keyword, FetchResult answer) {
        fetcher.queued[searchAddress(keyword)].push_back(std::move(answer));
    }
    // Ticks until the timer stops, moving the clock a tick, or over a wait;
    // the waits in order. Bounded.
    std::vector<std::int64_t> runToEnd(int limit = 500) {
        std::vector<std::int64_t> waits;
        for (int i = 0; i < limit && timer.interval() > 0; ++i) {
            if (const auto wait = run.progress().wait) {
                if (waits.empty() || wait->leftMs != 0)
                    waits.push_back(wait->leftMs);
                clock.now += wait->leftMs;
            } else {
                clock.now += MiningRun::tickInterval; // a tick takes its time
            }
            run.step();
        }
        return waits;
    }
    int fetchesOf(const QString& keyword) const {
        return static_cast<int>(fetcher.asked.count(searchAddress(keyword)));
    }
    QStringList texts(const RowList& list) const {
        QStringList out;
        for (std::int64_t i = 0; i < list.count(); ++i)
            out.append(list.rowText(i));
        return out;
    }

    RowList candidates, results;
    test::FakeTimer timer;
    test::FakeFetcher fetcher;
    StepGate gate;
    test::FakeMessageBox messages;
    test::FakeTextBox keyword{u"qq"_s}, include, exclude, quantity{u"100"_s};
    test::FakeClock clock;
    test::FakePageView pageView;
    test::FakeArchive archive;
    MiningRun run{candidates,
                  results,
                  timer,
                  fetcher,
                  gate,
                  messages,
                  {keyword, include, exclude, quantity},
                  PushBackTools{&clock, &pageView, &archive, [] { return 1.0; }}};
};

// What an unhindered run over the graph ends with.
struct Unhindered {
    Unhindered() {
        h.run.start();
        h.runToEnd();
    }
    Harness h;
};

class PushBack : public ::testing::Test {
protected:
    void expectSameListsAsUnhindered() {
        EXPECT_EQ(h.texts(h.candidates), plain.h.texts(plain.h.candidates));
        EXPECT_EQ(h.texts(h.results), plain.h.texts(plain.h.results));
        EXPECT_EQ(h.run.miningRow(), plain.h.run.miningRow());
    }
    Unhindered plain;
    Harness h;
};

TEST_F(PushBack, ThrottledTwiceThenFineEndsAsAnUnhinderedRun) {
    h.queue(u"a"_s, status(429));
    h.queue(u"a"_s, status(503));
    ASSERT_TRUE(h.run.start());
    const auto waits = h.runToEnd();
    EXPECT_EQ(waits, (std::vector<std::int64_t>{1500, 3000}));
    EXPECT_EQ(h.fetchesOf(u"a"_s), 3);
    EXPECT_EQ(h.fetchesOf(u"qq"_s), 1);
    EXPECT_EQ(h.run.progress().end, MiningEnd::CandidatesUsedUp);
    expectSameListsAsUnhindered();
}

TEST_F(PushBack, WaitsGrowUntilAPagePassesAndHonourACappedRetryAfter) {
    const struct {
        int level;
        std::optional<std::chrono::seconds> retryAfter;
        double jitter;
        std::int64_t ms;
    } cases[] = {
        {0, {}, 1.0, 30000},
        {1, {}, 1.0, 60000},
        {2, {}, 1.0, 120000},
        {4, {}, 1.0, 480000},
        {5, {}, 1.0, 600000},
        {9, {}, 1.2, 600000},
        {0, {}, 0.8, 24000},
        {0, {}, 1.2, 36000},
        {0, {}, 7.0, 36000},
        {3, std::chrono::seconds(5), 1.2, 5000},
        {0, std::chrono::seconds(900), 1.0, 600000},
        {0, std::chrono::seconds(0), 1.0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryPolicy::throttleWaitMs(c.level, c.retryAfter, c.jitter), c.ms)
            << c.level << " " << c.jitter;

    // After a page that passes, the waits start again from the shortest.
    h.queue(u"qq"_s, status(429));
    h.queue(u"a"_s, status(429, std::chrono::seconds(7)));
    h.queue(u"b"_s, status(429));
    ASSERT_TRUE(h.run.start());
    EXPECT_EQ(h.runToEnd(), (std::vector<std::int64_t>{1500, 7000, 1500}));
    expectSameListsAsUnhindered();
}

TEST_F(PushBack, FiveThrottledTriesOfOneKeywordStopTheRun) {
    for (int i = 0; i < 5; ++i)
        h.queue(u"a"_s, status(429));
    ASSERT_TRUE(h.run.start());
    EXPECT_EQ(h.runToEnd(), (std::vector<std::int64_t>{1500, 3000, 6000, 12000}));
    const MiningProgress p = h.run.progress();
    EXPECT_EQ(p.end, MiningEnd::ThrottledTooOften);
    EXPECT_EQ(h.candidates.rowText(2), u"a"_s); // not mined
    EXPECT_TRUE(p.canContinue);
    ASSERT_TRUE(h.run.resume());
    h.runToEnd();
    expectSameListsAsUnhindered();
}

// A keyword that never works must not hold the run up: after three more
// tries, 2, 4 and 8 s apart, the step goes on with what came.
TEST_F(PushBack, ServerErrorsAndLostAnswersAreTriedThreeMoreTimes) {
    for (const int code : {500, 502, 0, 500})
        h.queue(u"b"_s, status(code));
    ASSERT_TRUE(h.run.start());
    EXPECT_EQ(h.runToEnd(), (std::vector<std::int64_t>{2000, 4000, 8000}));
    EXPECT_EQ(h.fetchesOf(u"b"_s), 4);
    EXPECT_EQ(h.candidates.rowText(3), u8("b,未找到")); // the last answer, read as today
    EXPECT_EQ(h.run.progress().end, MiningEnd::CandidatesUsedUp);

    Harness twice;
    twice.queue(u"b"_s, status(500)); // once, then the page
    ASSERT_TRUE(twice.run.start());
    EXPECT_EQ(twice.runToEnd(), std::vector<std::int64_t>{2000});
    EXPECT_EQ(twice.texts(twice.results), plain.h.texts(plain.h.results));
}

// A transfer cut short, going round in redirects or stalled is no answer:
// tried three more times, then the step goes on with what came.
TEST_F(PushBack, AFailedTransferIsTriedThreeMoreTimesThenTheStepGoesOn) {
    h.queue(u"b"_s, broken(FetchFailure::Reset));
    h.queue(u"b"_s, broken(FetchFailure::TooManyRedirects, 302));
    h.queue(u"b"_s, broken(FetchFailure::TimedOut));
    h.queue(u"b"_s, broken(FetchFailure::Reset));
    ASSERT_TRUE(h.run.start());
    EXPECT_EQ(h.runToEnd(), (std::vector<std::int64_t>{2000, 4000, 8000}));
    EXPECT_EQ(h.fetchesOf(u"b"_s), 4);
    EXPECT_EQ(h.candidates.rowText(3), u8("b,未找到"));
    EXPECT_EQ(h.run.progress().end, MiningEnd::CandidatesUsedUp);
    EXPECT_EQ(h.run.miningRow(), plain.h.run.miningRow());
}

// A keyword whose page never loaded keeps the text it always had, but both
// lists mark it with the reason, the run counts it, and mining the failed
// keywords again, with the usual retries, mends its rows and brings its
// related words; F5 then ends as an unhindered run.
TEST_F(PushBack, AKeywordThatNeverLoadedIsMarkedCountedAndMinedAgain) {
    for (int i = 0; i < 4; ++i)
        h.queue(u"a"_s, broken(FetchFailure::Reset));
    ASSERT_TRUE(h.run.start());
    h.runToEnd();
    MiningProgress p = h.run.progress();
    EXPECT_EQ(p.end, MiningEnd::CandidatesUsedUp);
    EXPECT_EQ(p.failed, 1);
    EXPECT_EQ(h.texts(h.candidates),
              QStringList({u8("关键词,宝贝数"), u"qq,1,000"_s, u8("a,未找到"), u"b,30"_s}));
    const QString reason = h.candidates.row(2).failure;
    EXPECT_TRUE(reason.contains(u8("连接中断"))) << reason.toStdString();
    EXPECT_EQ(h.results.rowText(2), u8("a,未找到"));
    EXPECT_EQ(h.results.row(2).failure, reason);
    for (const RowList* list : {&h.candidates, &h.results}) {
        EXPECT_EQ(list->data(list->index(2), Qt::ToolTipRole).toString(), reason);
        EXPECT_TRUE(list->data(list->index(2), RowList::failedRole).toBool());
        EXPECT_FALSE(list->data(list->index(3), RowList::failedRole).toBool());
        EXPECT_FALSE(list->data(list->index(3), Qt::ToolTipRole).isValid());
        EXPECT_EQ(list->failedRows(), 1);
    }

    // Failing again leaves it marked.
    for (int i = 0; i < 4; ++i)
        h.queue(u"a"_s, broken(FetchFailure::TimedOut));
    ASSERT_TRUE(h.run.retryFailed());
    EXPECT_EQ(h.runToEnd(), (std::vector<std::int64_t>{2000, 4000, 8000}));
    p = h.run.progress();
    EXPECT_TRUE(p.retryingFailed && p.failedRetryDone);
    EXPECT_EQ(p.failed, 1);
    EXPECT_EQ(h.candidates.rowText(2), u8("a,未找到"));
    EXPECT_TRUE(h.candidates.row(2).failure.contains(u8("超时")));

    h.queue(u"a"_s, broken(FetchFailure::Reset)); // once, then the page
    ASSERT_TRUE(h.run.retryFailed());
    EXPECT_EQ(h.runToEnd(), std::vector<std::int64_t>{2000});
    EXPECT_EQ(h.fetchesOf(u"a"_s), 10);
    EXPECT_EQ(h.fetchesOf(u"qq"_s) + h.fetchesOf(u"b"_s), 2); // no other keyword fetched again
    p = h.run.progress();
    EXPECT_EQ(p.failed, 0);
    EXPECT_TRUE(p.failedRetryDone);
    EXPECT_EQ(h.texts(h.candidates),
              QStringList({u8("关键词,宝贝数"), u"qq,1,000"_s, u"a,20"_s, u"b,30"_s, u"c"_s}));
    EXPECT_EQ(h.results.rowText(2), u"a,20"_s);
    for (const RowList* list : {&h.candidates, &h.results}) {
        EXPECT_TRUE(list->row(2).failure.isEmpty());
        EXPECT_EQ(list->failedRows(), 0);
    }
    EXPECT_FALSE(h.run.retryFailed()); // nothing left to mine again
    EXPECT_TRUE(p.canContinue);
    ASSERT_TRUE(h.run.resume());
    h.runToEnd();
    EXPECT_EQ(h.run.progress().end, MiningEnd::CandidatesUsedUp);
    expectSameListsAsUnhindered();
}

TEST_F(PushBack, ALoginOrACheckStopsAtOnceAndF5GoesOnToTheSameEnd) {
    const struct {
        const char* name;
        FetchResult answer;
        QString shown;
        const char* message;
    } cases[] = {
        {"login", redirectedTo(u"http://login.taobao.com/member/login.jhtml"_s, u"<form>"_s),
         u"http://login.taobao.com/member/login.jhtml"_s,
         "淘宝要求登录，挖词已暂停。请在下方的浏览器中登录，然后按 F5 继续。"},
        {"slider",
         redirectedTo(u"http://s.taobao.com/search/_____tmd_____/punish?x=1"_s, u8("滑动验证")),
         u"http://s.taobao.com/search/_____tmd_____/punish?x=1"_s,
         "淘宝要求验证，挖词已暂停。请在下方的浏览器中完成验证，然后按 F5 继续。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness run;
        run.queue(u"a"_s, c.answer);
        ASSERT_TRUE(run.run.start());
        EXPECT_TRUE(run.runToEnd().empty());
        const MiningProgress p = run.run.progress();
        EXPECT_EQ(p.end, MiningEnd::Blocked);
        EXPECT_EQ(run.candidates.rowText(2), u"a"_s); // the keyword stays unmined
        EXPECT_EQ(run.run.miningRow(), 2);
        EXPECT_EQ(run.pageView.shown, QStringList{c.shown});
        EXPECT_EQ(run.messages.shown, QStringList{u8(c.message)});
        EXPECT_TRUE(p.canContinue);
        ASSERT_TRUE(run.run.resume()); // F5, once the user has logged in
        run.runToEnd();
        EXPECT_EQ(run.texts(run.candidates), plain.h.texts(plain.h.candidates));
        EXPECT_EQ(run.texts(run.results), plain.h.texts(plain.h.results));
        EXPECT_EQ(run.fetchesOf(u"qq"_s), 1); // no mined keyword was fetched again
        EXPECT_FALSE(run.run.resume());       // nothing left to go on with
    }
}

// Twenty pages in a row that give neither related words nor a count: the
// run pauses, keeps the last such page, and the steps made stay made.
TEST_F(PushBack, TwentyPagesThatYieldNothingPauseTheRun) {
    Harness run;
    QStringList first, second;
    for (int i = 1; i <= 14; ++i)
        first.append(u"k"_s + QString::number(i));
    for (int i = 15; i <= 28; ++i)
        second.append(u"k"_s + QString::number(i));
    run.serve(u"qq"_s, first, u"9"_s);
    run.serve(u"k1"_s, second, u"8"_s);
    for (int i = 2; i <= 28; ++i) // a changed layout: neither block nor count
        run.fetcher.pages.insert(searchAddress(u"k"_s + QString::number(i)),
                                 u8("<div class=suggest>猜你想搜</div>k") + QString::number(i));
    ASSERT_TRUE(run.run.start());
    run.runToEnd();
    const MiningProgress p = run.run.progress();
    EXPECT_EQ(p.end, MiningEnd::PagesLookChanged);
    EXPECT_EQ(run.run.miningRow(), 23); // qq, k1 and twenty more were mined
    EXPECT_EQ(run.candidates.rowText(22), u8("k21,未找到"));
    EXPECT_EQ(run.archive.kept, QStringList{u8("<div class=suggest>猜你想搜</div>k21")});
    EXPECT_EQ(p.keptPage, u"/cache/unexpected-search-page.html"_s);
    EXPECT_EQ(p.pagesLackingBoth, RetryPolicy::emptyPagesInARow);
    ASSERT_TRUE(run.run.resume());
    EXPECT_EQ(run.timer.interval(), MiningRun::tickInterval);
}

// A run that runs dry with every page it read lacking both the related words
// and the count says so, with the last such page kept; a page that never
// loaded was not read, and a run that read one good page ran dry for real.
TEST_F(PushBack, ARunThatDriesOnPagesLackingBothSaysThePageLooksChanged) {
    const QString changed = u8("<div class=suggest>猜你想搜</div>");
    const struct {
        const char* name;
        std::vector<FetchResult> seed; // the answers for the seed, before its page
        MiningEnd end;
        std::int64_t failed;
        QStringList kept;
    } cases[] = {
        {"changed", {}, MiningEnd::PagesLookChanged, 0, {changed}},
        {"changed after a failure",
         {broken(FetchFailure::Reset)},
         MiningEnd::PagesLookChanged,
         0,
         {changed}},
        {"never loaded",
         {broken(FetchFailure::Reset), broken(FetchFailure::Reset), broken(FetchFailure::Reset),
          broken(FetchFailure::Reset)},
         MiningEnd::CandidatesUsedUp,
         1,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness run;
        run.fetcher.pages.insert(searchAddress(u"qq"_s), changed);
        for (const FetchResult& answer : c.seed)
            run.queue(u"qq"_s, answer);
        ASSERT_TRUE(run.run.start());
        run.runToEnd();
        const MiningProgress p = run.run.progress();
        EXPECT_EQ(p.end, c.end);
        EXPECT_EQ(p.failed, c.failed);
        EXPECT_EQ(run.archive.kept, c.kept);
        EXPECT_EQ(p.keptPage.isEmpty(), c.kept.isEmpty());
        EXPECT_EQ(p.pagesLackingBoth, c.kept.size());
    }
}

} // namespace
} // namespace quilla
