// How the result table sorts and what its opportunity figure says.

#include "results/cell_values.h"
#include "results/result_order.h"

#include "core/list_headers.h"
#include "support/qstring_print.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

TEST(CellValues, ReadEachKindOfCell) {
    const struct {
        ColumnKind kind;
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {ColumnKind::Count, "12,345", 12345},
        {ColumnKind::Count, "12345", 12345},
        {ColumnKind::Count, " 1,234,567 ", 1234567},
        {ColumnKind::Count, "1.2万", 12000},
        {ColumnKind::Count, "3亿", 3e8},
        {ColumnKind::Count, "0", 0},
        {ColumnKind::Count, "未找到", std::nullopt},
        {ColumnKind::Count, "", std::nullopt},
        {ColumnKind::Count, ",12", std::nullopt},
        {ColumnKind::Count, "12件", std::nullopt},
        {ColumnKind::Count, "-5", std::nullopt},
        {ColumnKind::Index, "22023", 22023},
        {ColumnKind::Index, "1,024.5", 1024.5},
        {ColumnKind::Index, "[7", std::nullopt},
        {ColumnKind::Index, "1.2.3", std::nullopt},
        {ColumnKind::Percent, "+27%", 0.27},
        {ColumnKind::Percent, "-45%", -0.45},
        {ColumnKind::Percent, "3%", 0.03},
        {ColumnKind::Percent, "+1.5%", 0.015},
        {ColumnKind::Percent, "0%", 0},
        {ColumnKind::Percent, "27", std::nullopt},
        {ColumnKind::Percent, "+%", std::nullopt},
        {ColumnKind::Percent, "<SPANclass=up>12%", std::nullopt},
        {ColumnKind::Keyword, "12", std::nullopt},
        {ColumnKind::Forecast, "上升", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = cellValue(c.kind, u8(c.text));
        ASSERT_EQ(got.has_value(), c.value.has_value()) << c.text;
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.value) << c.text;
        }
    }
}

Row resultRow(const char* keyword, const char* count, const char* searchIndex) {
    QStringList fields{u8(keyword), u8(count)};
    if (searchIndex)
        fields << u8(searchIndex) << u"1"_s << u"2"_s << u"3"_s << u"+1%"_s << u"-1%"_s << u"+2%"_s
               << u"-2%"_s << u"上升"_s;
    return Row{fields};
}

TEST(Opportunity, WeighsSearchesAgainstListings) {
    const struct {
        Row row;
        const char* text;
    } cases[] = {
        {resultRow("a", "2,000", "500"), "250.0"},
        {resultRow("a", "3", "1"), "333.3"},
        {resultRow("a", "1.2万", "6"), "0.5"},
        {resultRow("a", "0", "12"), "无竞品"},
        {resultRow("a", "0", "0"), ""},
        {resultRow("a", "未找到", "500"), ""},
        {resultRow("a", "100", nullptr), ""}, // not indexed yet
        {resultRow("a", "", "500"), ""},      // an imported keyword
        {resultRow("a", "100", ""), ""},      // the page gave no figure
        {resultRow("a", "100", "[7"), ""},    // nor a number
    };
    for (const auto& c : cases)
        EXPECT_EQ(opportunityText(opportunityOf(c.row)), u8(c.text)) << c.row.text().toStdString();
}

class ResultOrderTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.append(Row{resultHeader()});
        for (const auto& [keyword, count, search] : rows)
            table.append(resultRow(keyword, count, search));
    }
    QStringList shownKeywords() const {
        QStringList out;
        for (const std::int64_t row : order.listRowsInOrder())
            out.append(table.row(row).keyword());
        return out;
    }

    const std::tuple<const char*, const char*, const char*> rows[7] = {
        {"猫粮", "12,345", "900"},  {"阿胶", "未找到", "800"}, {"爸爸装", "0", "10"},
        {"中老年", "500", nullptr}, {"qq10", "9,000", "90"},   {"qq2", "45", "45"},
        {"百货", "", "7"}};
    RowList table;
    ResultColumns columns{table};
    ResultOrder order{columns};
};

TEST_F(ResultOrderTest, NumbersByValueTextInPinyinMissingLastEitherWay) {
    const struct {
        int column;
        Qt::SortOrder direction;
        QStringList shown;
    } cases[] = {
        {column::count, Qt::DescendingOrder,
         test::listOf({"猫粮", "qq10", "中老年", "qq2", "爸爸装", "阿胶", "百货"})},
        {column::count, Qt::AscendingOrder,
         test::listOf({"爸爸装", "qq2", "中老年", "qq10", "猫粮", "阿胶", "百货"})},
        {column::searchYesterday, Qt::DescendingOrder,
         test::listOf({"猫粮", "阿胶", "qq10", "qq2", "爸爸装", "百货", "中老年"})},
        {column::opportunity, Qt::DescendingOrder,
         test::listOf({"爸爸装", "qq2", "猫粮", "qq10", "阿胶", "中老年", "百货"})},
        {column::opportunity, Qt::AscendingOrder,
         test::listOf({"qq10", "猫粮", "qq2", "爸爸装", "阿胶", "中老年", "百货"})},
        // Pinyin for Chinese, which comes first; digits by value.
        {column::keyword, Qt::AscendingOrder,
         test::listOf({"阿胶", "爸爸装", "百货", "猫粮", "中老年", "qq2", "qq10"})},
        {column::forecast, Qt::AscendingOrder, // equal or missing: mining order
         test::listOf({"猫粮", "阿胶", "爸爸装", "qq10", "qq2", "百货", "中老年"})},
    };
    for (const auto& c : cases) {
        order.sort(c.column, c.direction);
        EXPECT_EQ(shownKeywords(), c.shown) << c.column << " " << c.direction;
    }
}

TEST_F(ResultOrderTest, ThreeClicksSortReverseAndRestoreMiningOrder) {
    const QStringList mining = shownKeywords();
    const struct {
        int column;
        std::optional<std::pair<int, Qt::SortOrder>> after;
    } clicks[] = {
        {column::count, std::pair{column::count, Qt::DescendingOrder}},
        {column::count, std::pair{column::count, Qt::AscendingOrder}},
        {column::count, std::nullopt},
        {column::keyword, std::pair{column::keyword, Qt::AscendingOrder}},
        {column::opportunity, std::pair{column::opportunity, Qt::DescendingOrder}},
        {column::opportunity, std::pair{column::opportunity, Qt::AscendingOrder}},
        {column::opportunity, std::nullopt},
    };
    for (const auto& c : clicks) {
        order.cycle(c.column);
        EXPECT_EQ(order.sorting(), c.after) << c.column;
    }
    EXPECT_EQ(shownKeywords(), mining);
}

// Rows that arrive or change while the view is sorted take their sorted
// place; the list keeps mining order.
TEST_F(ResultOrderTest, ASortedViewFollowsTheListAsARunWritesIt) {
    order.sort(column::opportunity, Qt::DescendingOrder);
    table.append(resultRow("新词", "1", "5000"));
    EXPECT_EQ(shownKeywords().mid(0, 2), test::listOf({"爸爸装", "新词"}));
    ASSERT_TRUE(table.setRow(1, resultRow("猫粮", "0", "1"))); // no competition, earlier row
    EXPECT_EQ(shownKeywords().mid(0, 3), test::listOf({"猫粮", "爸爸装", "新词"}));
    EXPECT_EQ(table.row(1).keyword(), u"猫粮"_s);
    EXPECT_EQ(table.row(8).keyword(), u"新词"_s);
    table.remove({2, 3});
    EXPECT_EQ(order.rowCount(), 6);
    EXPECT_FALSE(shownKeywords().contains(u"阿胶"_s));
}

// A row must not pass for done when an index query found no figure or its
// search page never loaded: it is greyed, and the tooltip says why.
TEST(ResultColumns, GreysRowsThatAreNotDoneAndSaysWhy) {
    RowList rows;
    rows.append(Row{resultHeader()});
    Row failed{{u8("qq币"), u8("未找到")}};
    failed.failure = u8("页面未能读取：网络错误（连接中断），已试 4 次");
    rows.append(std::vector<Row>{
        Row{{u8("连衣裙"), u"12,345"_s, u"3"_s, u"1"_s, u"2"_s, u"2"_s, u"+1%"_s, u"-1%"_s,
             u"+2%"_s, u"-2%"_s, u8("上升")}},
        Row{{u8("空"), u"5"_s, {}, {}, {}, {}, {}, {}, {}, {}, {}}}, failed});
    ResultColumns columns(rows);
    struct Case {
        int row;
        bool greyed;
        QString tooltip;
    };
    const Case cases[] = {
        {0, false, {}},
        {1, true, u8("查询指数时页面没有给出任何数字；可用“重查空行”再查一次")},
        {2, true, failed.failure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const QModelIndex at = columns.index(c.row, 0);
        EXPECT_EQ(at.data(ResultColumns::greyedRole).toBool(), c.greyed);
        EXPECT_EQ(at.data(Qt::ToolTipRole).toString(), c.tooltip);
    }
}

} // namespace
} // namespace quilla
