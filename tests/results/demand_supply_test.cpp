// What the chart window draws: which rows are points, the medians, the
// scarce quarter and its list, and a series as points over time.

#include "results/demand_supply.h"

#include "core/list_headers.h"
#include "support/qstring_print.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::listOf;
using test::u8;

Row indexedRow(const char* keyword, const char* count, const char* search) {
    return Row{{u8(keyword), u8(count), u8(search), u"1"_s, u"2"_s, u"3"_s, u"+1%"_s, u"-1%"_s,
                u"+2%"_s, u"-2%"_s, u8("上升")}};
}

QStringList keywordsOf(const std::vector<DemandPoint>& points) {
    QStringList out;
    for (const DemandPoint& p : points)
        out.append(p.keyword);
    return out;
}

TEST(DemandSupply, PointsMediansAndTheScarceQuarter) {
    RowList table;
    table.append(Row{resultHeader()});
    table.append(indexedRow("大热", "100", "9000"));   // scarce, 90000 per thousand
    table.append(indexedRow("冷门", "50,000", "10"));  // plenty of supply
    table.append(indexedRow("稀缺", "200", "5000"));   // scarce, 25000
    table.append(indexedRow("均衡", "1,000", "1000")); // at the medians: not scarce
    table.append(indexedRow("饱和", "80,000", "6000"));
    table.append(indexedRow("无货", "0", "500"));        // left out: 0 on a log axis
    table.append(indexedRow("未找到", "未找到", "500")); // left out: no count
    table.append(indexedRow("无指数", "100", ""));       // left out: the page gave nothing
    table.append(Row{{u8("未查"), u"10"_s}});            // not indexed: neither point nor note
    table.append(Row{{u8("导入"), QString()}});

    const DemandSupply d = demandSupplyOf(table);
    EXPECT_EQ(keywordsOf(d.points), listOf({"大热", "冷门", "稀缺", "均衡", "饱和"}));
    EXPECT_EQ(d.points[0].listRow, 1);
    EXPECT_EQ(d.leftOut, 3);
    EXPECT_DOUBLE_EQ(d.medianCount, 1000);
    EXPECT_DOUBLE_EQ(d.medianSearch, 5000);
    // Strictly above the median demand and below the median supply, by opportunity.
    EXPECT_EQ(keywordsOf(d.scarce), listOf({"大热"}));

    table.append(indexedRow("新", "10", "8000")); // six points: medians between the middle two
    const DemandSupply even = demandSupplyOf(table);
    EXPECT_DOUBLE_EQ(even.medianCount, (200 + 1000) / 2.0);
    EXPECT_DOUBLE_EQ(even.medianSearch, (5000 + 6000) / 2.0);
    EXPECT_EQ(keywordsOf(even.scarce), listOf({"新", "大热"})); // 800000 then 90000

    RowList empty;
    EXPECT_TRUE(demandSupplyOf(empty).points.empty());
    EXPECT_EQ(demandSupplyOf(empty).medianCount, 0);
}

TEST(DemandSupply, ASeriesAsPointsOverTime) {
    const SeriesValues values({1, std::nullopt, 3});
    const auto days = seriesPoints(values, std::nullopt);
    EXPECT_EQ(days, (std::vector<QPointF>{{-2, 1}, {0, 3}}));
    const auto dated = seriesPoints(values, QDate(2024, 5, 31));
    ASSERT_EQ(dated.size(), 2u);
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(qint64(dated[0].x()), Qt::UTC).date(),
              QDate(2024, 5, 29));
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(qint64(dated[1].x()), Qt::UTC).date(),
              QDate(2024, 5, 31));
    EXPECT_TRUE(seriesPoints(SeriesValues(), QDate(2024, 1, 1)).empty());
}

} // namespace
} // namespace quilla
