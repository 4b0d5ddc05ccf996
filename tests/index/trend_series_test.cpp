// The whole series beside the figures: every value, missing where a piece is
// no number, the end date when the page states one, and never a disagreement
// with the figures on the last two values.

#include "index/trend_page.h"

#include "support/qstring_print.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

using Values = std::vector<std::optional<double>>;

const QString sentences = u8("\r\n最近七天的搜索指数环比<SPAN "
                             "class=up>12%</SPAN>，与去年同期相比<SPAN class=down>3%</SPAN>。"
                             "\r\n最近三十天的搜索指数环比<SPAN "
                             "class=down>5%</SPAN>，与去年同期相比<SPAN class=up>8%</SPAN>。"
                             "\r\n趋势预测：上升。wxyz去阿里指数查看");

TEST(TrendSeries, EveryValueOfBothSeriesAndTheEndDate) {
    const auto none = std::nullopt;
    const struct {
        const char* name;
        QString page;
        Values search, trade;
        std::optional<QDate> end;
    } cases[] = {
        {"the test page",
         u"App.set({cityEndDate:1,a:[10,20,30]},{cityEndDate:2,b:[40,50,60]})"_s,
         {10, 20, 30},
         {40, 50, 60},
         none},
        {"dates, quoted",
         u"App.set({cityEndDate:\"2024-05-31\",cityStartDate:\"2024-05-02\",type:\"query\","
         "searchIndex:[1,2.5,3]},{cityEndDate:\"2024-05-31\",tradeIndex:[4,5]})"_s,
         {1, 2.5, 3},
         {4, 5},
         QDate(2024, 5, 31)},
        {"a date with slashes",
         u"App.set({cityEndDate:2024/12/01,a:[7,8]},{cityEndDate:2,b:[9]})"_s,
         {7, 8},
         {9},
         QDate(2024, 12, 1)},
        {"a date that is none",
         u"App.set({cityEndDate:\"2024-13-40\",a:[7]},{cityEndDate:2,b:[9]})"_s,
         {7},
         {9},
         none},
        // Found by fuzzing: a day no chart or sheet can count back from.
        {"a date before 2000 is none",
         u"App.set({cityEndDate:\"1999-12-31\",a:[7]},{cityEndDate:2,b:[9]})"_s,
         {7},
         {9},
         none},
        {"a date past 2100 is none",
         u"App.set({cityEndDate:99991231,a:[7]},{cityEndDate:2,b:[9]})"_s,
         {7},
         {9},
         none},
        {"non-numbers are missing, not 0",
         u"App.set({cityEndDate:1,a:[10,-,null,,1e3]},{cityEndDate:2,b:[x,40]})"_s,
         {10, none, none, none, 1000},
         {none, 40},
         none},
        {"spaces and line breaks inside",
         u"App.set({cityEndDate:1,a:[1 0,\r\n20 ]},{cityEndDate:2,b:[3\n0]})"_s,
         {10, 20},
         {30},
         none},
        {"the trade series missing",
         u"App.set({cityEndDate:1,a:[10,20,30]})"_s,
         {10, 20, 30},
         {},
         none},
        {"a series cut short", u"App.set({cityEndDate:1,a:[10,20,30"_s, {}, {}, none},
        {"no series call", u"[1,2,3]"_s, {}, {}, none},
        // The first piece keeps its bracket, as the figure does: "[[10" is no number.
        {"a piece with two brackets",
         u"App.set({cityEndDate:1,a:[[10,5]},{cityEndDate:2,b:[[7]})"_s,
         {none, 5},
         {none},
         none},
        {"empty brackets",
         u"App.set({cityEndDate:1,a:[]},{cityEndDate:2,b:[]})"_s,
         {none},
         {none},
         none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TrendReading got = readTrendPage(c.page + sentences);
        EXPECT_EQ(got.series.search.values(), c.search);
        EXPECT_EQ(got.series.trade.values(), c.trade);
        EXPECT_EQ(got.series.endDate, c.end);
        EXPECT_EQ(got.fields, trendFigures(c.page + sentences));
        // The last two values are the figures' numbers.
        const auto agree = [](const SeriesValues& s, const QString& last, const QString& before) {
            const auto n = s.size();
            EXPECT_EQ(n >= 1 ? s.at(n - 1) : std::nullopt, seriesNumber(last));
            EXPECT_EQ(n >= 2 ? s.at(n - 2) : std::nullopt, seriesNumber(before));
        };
        agree(got.series.search, got.fields[0], got.fields[1]);
        agree(got.series.trade, got.fields[2], got.fields[3]);
    }
}

// Whole numbers take four bytes a day, the rest eight; either way the
// values come back as they went in.
TEST(TrendSeries, ValuesKeepTheirValueInTheLeastRoom) {
    const Values whole{1, -5, std::nullopt, 2147483647};
    const Values fractions{1.5, std::nullopt, 3};
    const Values huge{1e12};
    EXPECT_EQ(SeriesValues(whole).values(), whole);
    EXPECT_EQ(SeriesValues(whole).bytes(), 4 * whole.size());
    EXPECT_EQ(SeriesValues(fractions).values(), fractions);
    EXPECT_EQ(SeriesValues(fractions).bytes(), 8 * fractions.size());
    EXPECT_EQ(SeriesValues(huge).values(), huge);
    EXPECT_TRUE(SeriesValues().empty());
}

} // namespace
} // namespace quilla
