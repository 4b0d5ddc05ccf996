// What moved since a row's previous snapshot: the change columns' figures and
// text, and the report that names the rows past the thresholds.

#include "history/changes.h"

#include "support/qstring_print.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

constexpr std::int64_t day = 24 * 3600 * 1000;
constexpr std::int64_t june = 1'717'200'000'000; // 2024-06-01 UTC

// A snapshot with this search index (none for -1) and item count.
Snapshot snap(std::int64_t at, const QString& keyword, double search, std::optional<double> items) {
    QStringList figures(snapshotFigureCount, u"1"_s);
    // As the page writes it: thousands separated.
    figures[0] = search < 0 ? QString() : QLocale(QLocale::English).toString(search, 'f', 0);
    return *makeSnapshot(at, keyword, items, figures, std::nullopt);
}

TEST(Changes, RowsMoveBySignedPercentAndTheReportNamesThosePastTheThresholds) {
    struct Step {
        const char* keyword;
        double search; // -1: the page gave none
        std::optional<double> items;
    };
    const struct {
        const char* what;
        std::vector<Step> steps; // one snapshot a day
        const char* search;      // the change columns' text for the last keyword
        const char* items;
        bool searchMoved, itemsRose; // in the report at 20 %
    } cases[] = {
        {"a rise by a quarter", {{"a", 1000, 100}, {"a", 1250, 120}}, "+25%", "+20%", true, true},
        {"a fall by a fifth", {{"a", 1000, 100}, {"a", 800, 100}}, "-20%", "0%", true, false},
        {"just under the threshold",
         {{"a", 1000, 100}, {"a", 1199, 119}},
         "+20%",
         "+19%",
         false,
         false},
        {"a fall in items is no rise",
         {{"a", 1000, 100}, {"a", 1000, 50}},
         "0%",
         "-50%",
         false,
         false},
        {"one snapshot", {{"a", 1000, 100}}, "", "", false, false},
        {"a zero base", {{"a", 0, 0}, {"a", 1000, 100}}, "", "", false, false},
        {"no item count", {{"a", 1000, std::nullopt}, {"a", 2000, 100}}, "+100%", "", true, false},
        {"a figure missing", {{"a", -1, 100}, {"a", 2000, 100}}, "", "0%", false, false},
        {"only the latest two count",
         {{"a", 10, 100}, {"a", 1000, 100}, {"b", 5, 1}, {"a", 1010, 100}},
         "+1%",
         "0%",
         false,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        History history;
        std::int64_t at = june;
        for (const Step& step : c.steps)
            history.append(
                snap(at += day, QString::fromUtf8(step.keyword), step.search, step.items));
        const RowChange change = changeOf(history, u"a"_s);
        EXPECT_EQ(changeText(change.search), QString::fromUtf8(c.search));
        EXPECT_EQ(changeText(change.items), QString::fromUtf8(c.items));

        const ChangeReport report = changeReport(history, {u"a"_s, u"gone"_s}, {});
        EXPECT_EQ(report.searchMoved.size(), c.searchMoved ? 1u : 0u);
        EXPECT_EQ(report.itemsRose.size(), c.itemsRose ? 1u : 0u);
        // A threshold of nothing names every row that has a move at all.
        const ChangeReport all = changeReport(history, {u"a"_s}, {}, {0, 0});
        EXPECT_EQ(all.searchMoved.size(), change.search ? 1u : 0u);
    }
}

// The report's order, offered words and text, as the command line prints it.
TEST(Changes, TheReportListsTheLargestMovesFirstAndOnlyOfferedWordsTheTableLacks) {
    History history;
    const struct {
        const char* keyword;
        double before, after;
    } rows[] = {{"small", 100, 130}, {"big", 100, 300}, {"fall", 1000, 500}, {"deleted", 1, 9}};
    for (const auto& r : rows) {
        history.append(snap(june, QString::fromUtf8(r.keyword), r.before, r.before));
        history.append(snap(june + day, QString::fromUtf8(r.keyword), r.after, r.before));
    }
    const ChangeReport report = changeReport(history, {u"small"_s, u"big"_s, u"fall"_s},
                                             {u"new"_s, u"big"_s, u"new"_s, QString(), u"other"_s});
    QStringList moved;
    for (const auto& line : report.searchMoved)
        moved.append(line.keyword);
    EXPECT_EQ(moved, (QStringList{u"big"_s, u"fall"_s, u"small"_s}));
    EXPECT_EQ(report.offeredWords, (std::vector<QString>{u"new"_s, u"other"_s}));
    EXPECT_EQ(changeReportText(report), u"自上次以来\n"
                                        u"搜索指数变化 ≥ 20%：\n"
                                        u"  big\t100 → 300\t+200%\n"
                                        u"  fall\t1000 → 500\t-50%\n"
                                        u"  small\t100 → 130\t+30%\n"
                                        u"页面给出、表中没有的相关词：\n"
                                        u"  new\n"
                                        u"  other\n"_s);
    EXPECT_EQ(changeReportText(changeReport(history, {}, {})),
              u"自上次以来\n没有达到阈值的变化。\n"_s);
}

} // namespace
} // namespace quilla
