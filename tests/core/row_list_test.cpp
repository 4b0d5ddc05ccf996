#include "core/interval_timer.h"
#include "core/row_list.h"
#include "core/step_gate.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

Row row(std::initializer_list<const char*> fields) {
    Row r;
    for (const char* f : fields)
        r.fields.append(QString::fromUtf8(f));
    return r;
}

TEST(RowList, MissingRowsReadEmptyAndRefuseWrites) {
    RowList list;
    list.append(row({"关键词", "宝贝数"}));
    list.append(row({"qq"}));
    EXPECT_EQ(list.rowText(0), QString::fromUtf8("关键词,宝贝数"));
    for (std::int64_t missing : {std::int64_t{-1}, std::int64_t{2}, std::int64_t{40000}}) {
        EXPECT_EQ(list.rowText(missing), QString()) << missing;
        EXPECT_FALSE(list.setRow(missing, row({"x"}))) << missing;
    }
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.rowText(1), QStringLiteral("qq"));
    EXPECT_TRUE(list.setRow(1, row({"qq", "5"})));
    EXPECT_EQ(list.rowText(1), QStringLiteral("qq,5"));
}

TEST(RowList, AKeywordWithACommaStaysWhole) {
    RowList list;
    list.append(row({"h"}));
    list.append(row({"a,b", "1,234"}));
    EXPECT_EQ(list.row(1).keyword(), QStringLiteral("a,b"));
    EXPECT_EQ(list.rowText(1), QStringLiteral("a,b,1,234"));
    EXPECT_TRUE(list.containsKeyword(QStringLiteral("a,b")));
    EXPECT_FALSE(list.containsKeyword(QStringLiteral("a")));
}

TEST(RowList, KeywordIndexFollowsEveryChangeButSkipsTheHeader) {
    RowList list;
    list.append(row({"关键词", "宝贝数"}));
    EXPECT_FALSE(list.containsKeyword(QString::fromUtf8("关键词")));
    list.append(row({"a"}));
    list.append(row({"a"}));
    list.append(row({"b"}));
    EXPECT_TRUE(list.setRow(1, row({"c", "1"})));
    EXPECT_TRUE(list.containsKeyword(QStringLiteral("a"))); // row 2 still holds it
    EXPECT_TRUE(list.setRow(2, row({"d"})));
    EXPECT_FALSE(list.containsKeyword(QStringLiteral("a")));
    EXPECT_TRUE(list.containsKeyword(QStringLiteral("c")));
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(list.containsKeyword(QStringLiteral("c")));
}

// A row whose page never loaded keeps its text, but is told apart and counted
// through every kind of change.
TEST(RowList, FailedRowsKeepTheirTextAndAreCounted) {
    RowList list;
    Row failed = row({"a", "未找到"});
    failed.failure = QStringLiteral("连接中断");
    EXPECT_EQ(failed.text(), row({"a", "未找到"}).text());
    EXPECT_FALSE(failed == row({"a", "未找到"}));
    list.append(row({"关键词", "宝贝数"}));
    list.append(failed);
    list.append(std::vector<Row>{row({"b", "1"}), failed, failed});
    const struct {
        const char* change;
        std::function<void()> apply;
        std::int64_t failedRows;
    } steps[] = {
        {"appended", [] {}, 3},
        {"one mended",
         [&] {
             list.setRow(3, row({"a", "5"}));
         },
         2},
        {"one marked", [&] { list.setRow(2, failed); }, 3},
        {"marked again", [&] { list.setRow(2, failed); }, 3},
        {"two removed",
         [&] {
             list.remove({1, 4});
         },
         1},
        {"cleared", [&] { list.clear(); }, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.change);
        step.apply();
        EXPECT_EQ(list.failedRows(), step.failedRows);
        std::int64_t marked = 0;
        for (int i = 0; i < list.rowCount(); ++i)
            marked += list.data(list.index(i), RowList::failedRole).toBool() ? 1 : 0;
        EXPECT_EQ(marked, step.failedRows);
    }
}

// Each row below the header is read once as it is written (appended, set,
// or there already when the reader comes) and never while it is only read.
int readings = 0;
Figures lengthOf(const QStringList& fields) {
    ++readings;
    return {static_cast<double>(fields.value(1).size())};
}

TEST(RowList, FiguresAreReadOnceAsRowsAreWritten) {
    RowList list;
    list.append(Row{{u"header"_s, u"h"_s}});
    list.append(Row{{u"a"_s, u"xx"_s}});
    readings = 0;
    const auto figure = [&](std::int64_t i) {
        const Row row = list.row(i);
        return row.figures ? row.figures->front() : std::nullopt;
    };
    struct Case {
        const char* what;
        std::function<void()> change;
        int readings;
        std::vector<std::optional<double>> figures; // rows 0..
    };
    const Case cases[] = {
        {"rows already there", [&] { list.readFiguresWith(&lengthOf); }, 1, {{}, 2}},
        {"an appended row", [&] { list.append(Row{{u"b"_s, u"xxx"_s}}); }, 1, {{}, 2, 3}},
        {"appended rows",
         [&] { list.append(std::vector<Row>{Row{{u"c"_s}}, Row{{u"d"_s, u"x"_s}}}); }, 2,
         {{}, 2, 3, 0, 1}},
        {"a row set anew", [&] { list.setRow(1, Row{{u"a"_s, u"xxxxx"_s}}); }, 1,
         {{}, 5, 3, 0, 1}},
        {"a removal reads nothing", [&] { list.remove({2}); }, 0, {{}, 5, 0, 1}},
        {"reading reads nothing", [&] { (void)list.row(1); }, 0, {{}, 5, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        readings = 0;
        c.change();
        EXPECT_EQ(readings, c.readings);
        ASSERT_EQ(list.count(), static_cast<std::int64_t>(c.figures.size()));
        for (std::size_t i = 0; i < c.figures.size(); ++i)
            EXPECT_EQ(figure(static_cast<std::int64_t>(i)), c.figures[i]) << i;
    }
}

TEST(RowList, ModelShowsTheJoinedText) {
    RowList list;
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
    list.append(row({"qq", "5"}));
    list.setRow(0, row({"qq", "6"}));
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.data(list.index(0), Qt::DisplayRole).toString(), QStringLiteral("qq,6"));
}

// A row too long to draw shows its start and "…", the whole text as its
// tooltip; the data stays whole. Lengths around the cut, a surrogate pair at
// it, and a word of ten million characters.
TEST(RowList, ALongRowShowsItsStartAndKeepsItsText) {
    const qsizetype n = RowList::shownLength;
    const QString emoji = QString::fromUtf8("😀");
    const struct {
        const char* name;
        QStringList fields;
        QString shown; // empty: the whole text, no tooltip
    } cases[] = {
        {"exactly the limit", {QString(n - 2, u'a'), u"1"_s}, {}},
        {"one past the limit", {QString(n - 1, u'a'), u"1"_s}, QString(n - 1, u'a') + u",…"},
        {"the cut in a pair", {QString(n - 1, u'a') + emoji}, QString(n - 1, u'a') + u'…'},
        {"ten million characters",
         {QString(10'000'000, u'词'), u"未找到"_s},
         QString(n, u'词') + u'…'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowList list;
        list.append(Row{c.fields});
        const QModelIndex at = list.index(0);
        const QString whole = c.fields.join(u',');
        EXPECT_EQ(list.rowText(0), whole);
        if (c.shown.isEmpty()) {
            EXPECT_EQ(list.data(at, Qt::DisplayRole).toString(), whole);
            EXPECT_FALSE(list.data(at, Qt::ToolTipRole).isValid());
        } else {
            EXPECT_EQ(list.data(at, Qt::DisplayRole).toString(), c.shown);
            EXPECT_EQ(list.data(at, Qt::ToolTipRole).toString(), whole);
        }
    }
}

TEST(IntervalTimer, RefusesIntervalsOutsideTheRangeAndKeepsItsOwn) {
    IntervalTimer timer;
    EXPECT_EQ(timer.interval(), 0);
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(timer.setInterval(6000));
    EXPECT_TRUE(timer.isActive());
    for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{65536}, std::int64_t{1} << 40}) {
        EXPECT_FALSE(timer.setInterval(bad)) << bad;
        EXPECT_EQ(timer.interval(), 6000);
        EXPECT_TRUE(timer.isActive());
    }
    EXPECT_TRUE(timer.setInterval(65535));
    EXPECT_TRUE(timer.setInterval(0));
    EXPECT_FALSE(timer.isActive());
}

TEST(IntervalTimer, TicksWhileItHasAnInterval) {
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::ticked);
    timer.setInterval(5);
    EXPECT_TRUE(ticks.wait(2000));
    timer.setInterval(0);
    const auto seen = ticks.count();
    QTest::qWait(30);
    EXPECT_EQ(ticks.count(), seen);
}

TEST(StepGate, DefersWhatArrivesDuringAStepAndKeepsItsOrder) {
    StepGate gate;
    QStringList log;
    gate.run([&] { log << QStringLiteral("now"); });
    gate.begin();
    gate.run([&] { log << QStringLiteral("click"); });
    gate.runOnce(QStringLiteral("tick"), [&] { log << QStringLiteral("tick"); });
    gate.runOnce(QStringLiteral("tick"), [&] { log << QStringLiteral("tick again"); });
    EXPECT_EQ(log, QStringList{QStringLiteral("now")});
    gate.end();
    EXPECT_EQ(
        log, (QStringList{QStringLiteral("now"), QStringLiteral("click"), QStringLiteral("tick")}));
}

TEST(StepGate, TicksWaitForTheClicksThatCameDuringAStep) {
    StepGate gate;
    QStringList log;
    gate.begin();
    gate.runOnce(QStringLiteral("tick"), [&] { log << QStringLiteral("tick"); });
    gate.run([&] { log << QStringLiteral("stop"); });
    gate.end();
    EXPECT_EQ(log, (QStringList{QStringLiteral("stop"), QStringLiteral("tick")}));
}

TEST(StepGate, ADeferredActionThatStartsAStepHoldsTheRest) {
    StepGate gate;
    QStringList log;
    gate.begin();
    gate.run([&] {
        log << QStringLiteral("first");
        gate.begin();
    });
    gate.run([&] { log << QStringLiteral("second"); });
    gate.end();
    EXPECT_EQ(log, QStringList{QStringLiteral("first")});
    gate.end();
    EXPECT_EQ(log, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    // A step that begins and ends at once inside a deferred action.
    gate.begin();
    gate.run([&] {
        gate.begin();
        gate.end();
        log << QStringLiteral("third");
    });
    gate.run([&] { log << QStringLiteral("fourth"); });
    gate.end();
    EXPECT_EQ(log.mid(2), (QStringList{QStringLiteral("third"), QStringLiteral("fourth")}));
}

} // namespace
} // namespace quilla
