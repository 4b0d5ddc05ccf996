#include "mining/mining_run.h"

#include "core/list_headers.h"
#include "mining/search_page.h"
#include "support/fake_fetcher.h"
#include "support/fakes.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quilla {
namespace {

using test::listOf;
using test::u8;

using test::FakeFetcher;
using test::FakeMessageBox;
using test::FakeTextBox;
using test::FakeTimer;

// A search page suggesting `related` (an empty word as a wrapped link text)
// and stating `count`, or no count at all when it is null.
QString searchPage(std::initializer_list<const char*> related, const char* count) {
    QString page = u8("<html><body><div class=\"rel\">你是不是想找：");
    int n = 0;
    for (const char* word : related) {
        const QString text = *word ? u8(word) : u8("<b></b>");
        page += u8("<a href=\"/s?rsclick=%1\">%2</a>").arg(++n).arg(text);
    }
    page += u8("</div>");
    if (count)
        page += u8("<p>该条件下 共 <span class=\"num\">%1</span>件宝贝</p>").arg(u8(count));
    return page + u8("<div class=\"footer\">about us | help | contact | terms</div></body></html>");
}

QStringList texts(const RowList& list) {
    QStringList out;
    for (std::int64_t i = 0; i < list.count(); ++i)
        out.append(list.rowText(i));
    return out;
}

QStringList keywordsFrom1(const RowList& list) {
    QStringList out;
    for (std::int64_t i = 1; i < list.count(); ++i)
        out.append(list.row(i).keyword());
    return out;
}

class MiningRunTest : public ::testing::Test {
protected:
    void serve(const char* keyword, std::initializer_list<const char*> related,
               const char* count = "10") {
        fetcher.pages.insert(searchAddress(u8(keyword)), searchPage(related, count));
    }

    // Ticks while the timer runs, as the window would; at most `limit`.
    int ticksUntilStopped(int limit = 100) {
        int ticks = 0;
        while (timer.interval() > 0 && ticks < limit) {
            run.step();
            ++ticks;
        }
        return ticks;
    }

    QStringList askedKeywords() const {
        QStringList out;
        for (const QString& address : fetcher.asked)
            out.append(address.mid(searchAddress({}).size()));
        return out;
    }

    RowList candidates;
    RowList results;
    FakeTimer timer;
    FakeFetcher fetcher;
    FakeMessageBox messages;
    FakeTextBox keyword{QStringLiteral("qq")};
    FakeTextBox include;
    FakeTextBox exclude;
    FakeTextBox quantity{QStringLiteral("3")};
    StepGate gate;
    MiningRun run{
        candidates, results, timer, fetcher, gate, messages, {keyword, include, exclude, quantity}};
};

TEST_F(MiningRunTest, StartSetsUpBothListsAndTheTimer) {
    ASSERT_TRUE(run.start());
    EXPECT_EQ(texts(candidates), listOf({"关键词,宝贝数", "qq"}));
    EXPECT_EQ(candidates.row(0).fields, candidateHeader());
    EXPECT_EQ(candidates.row(1), Row{{u8("qq")}});
    EXPECT_EQ(texts(results), listOf({"关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,"
                                      "前天成交指数,七天的搜索指数环比,与去年同期相比,"
                                      "三十天的搜索指数环比,与去年同期相比,趋势预测"}));
    EXPECT_EQ(results.row(0).fields.size(), 11);
    EXPECT_EQ(run.miningRow(), 1);
    EXPECT_EQ(timer.interval(), 100);
    EXPECT_TRUE(messages.shown.isEmpty());
}

struct StartCase {
    const char* seed;
    const char* quantity;
    const char* message; // null when the start goes ahead
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << "seed \"" << c.seed << "\" quantity \"" << c.quantity << '"';
}

const StartCase startCases[] = {
    {"", "3", "关键词不能为空"}, {"", "", "关键词不能为空"}, {"qq", "", "请填写数量"},
    {" ", " ", nullptr},         {"qq", "abc", nullptr},
};

class StartChecks : public MiningRunTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartChecks, RefusedStartChangesNothing) {
    // A run already going on, one step in.
    serve("old", {"old1", "old2"});
    keyword.value = u8("old");
    ASSERT_TRUE(run.start());
    run.step();
    const QStringList candidatesBefore = texts(candidates);
    const QStringList resultsBefore = texts(results);
    const auto historyBefore = timer.history;

    const StartCase& c = GetParam();
    keyword.value = u8(c.seed);
    quantity.value = u8(c.quantity);
    const bool started = run.start();

    if (c.message) {
        EXPECT_FALSE(started);
        EXPECT_EQ(messages.shown, listOf({c.message}));
        EXPECT_EQ(texts(candidates), candidatesBefore);
        EXPECT_EQ(texts(results), resultsBefore);
        EXPECT_EQ(timer.history, historyBefore);
        EXPECT_EQ(run.miningRow(), 2);
    } else {
        EXPECT_TRUE(started);
        EXPECT_TRUE(messages.shown.isEmpty());
        EXPECT_EQ(texts(candidates), QStringList({u8("关键词,宝贝数"), u8(c.seed)}));
        EXPECT_EQ(results.count(), 1);
        EXPECT_EQ(run.miningRow(), 1);
        EXPECT_EQ(timer.interval(), 100);
    }
}

INSTANTIATE_TEST_SUITE_P(MiningRun, StartChecks, ::testing::ValuesIn(startCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(MiningRunTest, StopsWhenTheTableHoldsTheQuantity) {
    serve("qq", {"qq币", "qq号", "qq会员"}, "1,234");
    serve("qq币", {"qq", "qq会员"}, "88");
    serve("qq号", {}, "7");
    ASSERT_TRUE(run.start());
    EXPECT_EQ(ticksUntilStopped(), 3);
    EXPECT_EQ(texts(results).mid(1), listOf({"qq,1,234", "qq币,88", "qq号,7"}));
    EXPECT_EQ(results.row(1), (Row{{u8("qq"), u8("1,234")}}));
    EXPECT_EQ(askedKeywords(), listOf({"qq", "qq%B1%D2", "qq%BA%C5"}));
    // The last step has mined its row and moved on before the run stopped.
    EXPECT_EQ(run.miningRow(), 4);
    EXPECT_EQ(texts(candidates).mid(1), listOf({"qq,1,234", "qq币,88", "qq号,7", "qq会员"}));
    EXPECT_EQ(timer.history, (std::vector<int>{100, 0}));
}

struct QuantityCase {
    const char* quantity;
    int steps;
};

void PrintTo(const QuantityCase& c, std::ostream* os) {
    *os << "quantity \"" << c.quantity << '"';
}

const QuantityCase quantityCases[] = {
    {"0", 1}, {"-2", 1}, {"abc", 1}, {"2147483648", 1}, {" 2 ", 2}, {"4", 4},
};

class QuantityStops : public MiningRunTest, public ::testing::WithParamInterface<QuantityCase> {};

TEST_P(QuantityStops, AfterTheExpectedStep) {
    serve("qq", {"k1", "k2", "k3", "k4", "k5", "k6"});
    quantity.value = u8(GetParam().quantity);
    ASSERT_TRUE(run.start());
    EXPECT_EQ(ticksUntilStopped(), GetParam().steps);
    EXPECT_EQ(results.count(), GetParam().steps + 1);
}

INSTANTIATE_TEST_SUITE_P(MiningRun, QuantityStops, ::testing::ValuesIn(quantityCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

struct FilterCase {
    const char* include;
    const char* exclude;
    std::initializer_list<const char*> kept;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << "include \"" << c.include << "\" exclude \"" << c.exclude << '"';
}

const FilterCase filterCases[] = {
    {"", "", {"qq,5", "qq币,6", "QQ会员,7", "微信,qq12", "qq微信,9"}},
    {"", "微信", {"qq,5", "qq币,6", "QQ会员,7"}},
    // Case-sensitive, and the count is not looked at.
    {"qq", "", {"qq,5", "qq币,6", "qq微信,9"}},
    {"qq", "微信", {"qq,5", "qq币,6"}},
    {"qq", "qq", {}},
};

class Filters : public MiningRunTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(Filters, DecideWhichMinedRowsReachTheTable) {
    serve("qq", {"qq币", "QQ会员", "微信", "qq微信"}, "5");
    serve("qq币", {}, "6");
    serve("QQ会员", {}, "7");
    serve("微信", {}, "qq12");
    serve("qq微信", {}, "9");
    include.value = u8(GetParam().include);
    exclude.value = u8(GetParam().exclude);
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    ticksUntilStopped();
    EXPECT_EQ(texts(results).mid(1), listOf(GetParam().kept));
    EXPECT_EQ(candidates.count(), 6); // every candidate mined either way
}

INSTANTIATE_TEST_SUITE_P(MiningRun, Filters, ::testing::ValuesIn(filterCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(MiningRunTest, NoKeywordIsMinedTwice) {
    keyword.value = u8("a");
    quantity.value = u8("100");
    serve("a", {"a", "b", "", "c"});  // itself, while its row is still bare
    serve("b", {"a", "c", "d", "b"}); // mined, waiting, new, itself
    serve("c", {"b", "a", ""});
    serve("d", {"c"});
    ASSERT_TRUE(run.start());
    EXPECT_EQ(ticksUntilStopped(), 5); // four steps, then the list is dry
    EXPECT_EQ(keywordsFrom1(candidates), listOf({"a", "b", "c", "d"}));
    EXPECT_EQ(askedKeywords(), listOf({"a", "b", "c", "d"}));
    EXPECT_EQ(keywordsFrom1(results), listOf({"a", "b", "c", "d"}));
}

class DryList : public MiningRunTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DryList, StopsWithoutFetching) {
    // An include filter that nothing passes must not keep the run going.
    include.value = u8(GetParam());
    keyword.value = u8("solo");
    quantity.value = u8("100");
    ASSERT_TRUE(run.start()); // no page served: the fetch gives ""
    run.step();
    const QStringList candidatesBefore = texts(candidates);
    const QStringList resultsBefore = texts(results);
    EXPECT_EQ(candidatesBefore, listOf({"关键词,宝贝数", "solo,未找到"}));
    EXPECT_EQ(timer.interval(), 100);

    run.step();
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(fetcher.asked.size(), 1);
    EXPECT_EQ(texts(candidates), candidatesBefore);
    EXPECT_EQ(texts(results), resultsBefore);
    EXPECT_EQ(run.miningRow(), 2);
}

INSTANTIATE_TEST_SUITE_P(MiningRun, DryList, ::testing::Values("", "zzz"));

struct CommaCase {
    const char* include;
    const char* exclude;
    bool kept;
};

void PrintTo(const CommaCase& c, std::ostream* os) {
    *os << "include \"" << c.include << "\" exclude \"" << c.exclude << '"';
}

const CommaCase commaCases[] = {{"b", "", true}, {"", "b", false}, {"a,b", "", true}};

class CommaKeyword : public MiningRunTest, public ::testing::WithParamInterface<CommaCase> {};

TEST_P(CommaKeyword, StaysWholeInItsRow) {
    serve("qq", {"a,b"}, "1");
    serve("a,b", {"a,b", "a"}, "1,234");
    include.value = u8(GetParam().include);
    exclude.value = u8(GetParam().exclude);
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    run.step();
    run.step();

    const Row mined{{u8("a,b"), u8("1,234")}};
    EXPECT_EQ(candidates.row(2), mined);
    EXPECT_EQ(candidates.rowText(2), u8("a,b,1,234"));
    EXPECT_EQ(keywordsFrom1(candidates), listOf({"qq", "a,b", "a"}));
    EXPECT_EQ(fetcher.asked.value(1), searchAddress(u8("a,b")));
    EXPECT_EQ(results.count() > 1 && results.row(results.count() - 1) == mined, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(MiningRun, CommaKeyword, ::testing::ValuesIn(commaCases));

TEST_F(MiningRunTest, StopKeepsTheListsAndAStartBeginsAfresh) {
    serve("qq", {"qq币", "qq号"});
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    run.step();
    run.step();
    timer.setInterval(0); // the Stop button
    EXPECT_EQ(texts(candidates), listOf({"关键词,宝贝数", "qq,10", "qq币,未找到", "qq号"}));
    EXPECT_EQ(results.count(), 3);
    EXPECT_EQ(run.miningRow(), 3);

    ASSERT_TRUE(run.start());
    EXPECT_EQ(texts(candidates), listOf({"关键词,宝贝数", "qq"}));
    EXPECT_EQ(results.count(), 1);
    run.step();
    EXPECT_EQ(askedKeywords(), listOf({"qq", "qq%B1%D2", "qq"}));
}

TEST_F(MiningRunTest, RestartDuringARunUsesTheNewSeed) {
    serve("qq", {"qq币", "qq号"});
    serve("wx", {"wx1"});
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    run.step();
    keyword.value = u8("wx");
    ASSERT_TRUE(run.start());
    EXPECT_EQ(timer.interval(), 100);
    EXPECT_EQ(run.miningRow(), 1);
    run.step();
    EXPECT_EQ(askedKeywords(), listOf({"qq", "wx"}));
    EXPECT_EQ(texts(candidates), listOf({"关键词,宝贝数", "wx,10", "wx1"}));
    EXPECT_EQ(keywordsFrom1(results), listOf({"wx"}));
}

TEST_F(MiningRunTest, ClearingTheQuantityStopsAfterTheCurrentStep) {
    serve("qq", {"qq币", "qq号"});
    quantity.value = u8("100");
    ASSERT_TRUE(run.start());
    run.step();
    quantity.value.clear();
    run.step();
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_EQ(keywordsFrom1(results), listOf({"qq", "qq币"}));
    EXPECT_EQ(run.miningRow(), 3);
}

TEST_F(MiningRunTest, FetchesTheEncodedAddress) {
    keyword.value = u8("a&b #%+ 中文");
    ASSERT_TRUE(run.start());
    run.step();
    EXPECT_EQ(fetcher.asked,
              listOf({"http://s.taobao.com/search?tab=all&stats_click=search_radio_all%3A1&cat=0&"
                      "cd=false&v=auction&q=a%26b%20%23%25%2B%20%D6%D0%CE%C4"}));
}

// The page arrives after a while, as a real one does: the step holds the
// gate until then, so a click made meanwhile takes effect after it.
TEST_F(MiningRunTest, AStepHoldsTheGateUntilItsPageArrives) {
    fetcher.late = true;
    serve("qq", {"qq币"}, "3");
    ASSERT_TRUE(run.start());
    run.step();
    EXPECT_EQ(fetcher.asked, QStringList{searchAddress(u8("qq"))});
    EXPECT_TRUE(run.stepInFlight());
    EXPECT_TRUE(gate.busy());
    bool clicked = false;
    gate.run([&] {
        clicked = true;
        EXPECT_EQ(texts(candidates).mid(1), listOf({"qq,3", "qq币"}));
    });
    EXPECT_FALSE(clicked);
    EXPECT_EQ(texts(candidates).mid(1), listOf({"qq"}));

    ASSERT_TRUE(fetcher.releaseOne());
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(run.stepInFlight());
    EXPECT_FALSE(gate.busy());
    EXPECT_EQ(run.miningRow(), 2);
}

// Ticks that fall due while a step waits run once after it, and none at all
// once the timer was stopped or set anew meanwhile.
TEST_F(MiningRunTest, TicksDuringAStepRunOnceAndNotAfterAStop) {
    fetcher.late = true;
    serve("qq", {"qq币", "qq号"});
    quantity.value = u8("50");
    ASSERT_TRUE(run.start());
    run.timerFired();
    run.timerFired();
    run.timerFired();
    EXPECT_EQ(fetcher.asked.size(), 1);
    ASSERT_TRUE(fetcher.releaseOne());
    EXPECT_EQ(fetcher.asked.size(), 2); // the ticks that fell due: one step
    EXPECT_EQ(fetcher.held(), 1u);
    run.timerFired();
    gate.run([&] { timer.setInterval(0); }); // a stop, made while the step waits
    ASSERT_TRUE(fetcher.releaseOne());
    EXPECT_EQ(fetcher.asked.size(), 2);
    EXPECT_EQ(fetcher.held(), 0u);
    run.timerFired(); // a stopped timer fires no more
    EXPECT_EQ(fetcher.asked.size(), 2);
}

} // namespace
} // namespace quilla
