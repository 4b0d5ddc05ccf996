// The Excel file, read back by openpyxl: numbers that sort and sum, text that
// stays text, the header frozen and filtered; written under the CSV's rules.

#include "export/xlsx_export.h"

#include "core/list_headers.h"
#include "support/export_support.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::entriesIn;
using test::fileBytes;
using test::u8;

// Debian's own Python, where python3-openpyxl lives, before any other on the path.
QString python() {
    return QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
}

// The workbook as openpyxl reads it; an empty object when it cannot.
QJsonObject readBack(const QString& path) {
    QProcess reader;
    reader.start(
        python(),
        {qEnvironmentVariable("QUILLA_SOURCE_DIR") + u"/tests/export/read_workbook.py"_s, path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        ADD_FAILURE() << "openpyxl could not read " << path.toStdString() << ": "
                      << reader.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

void fillSample(RowList& table) {
    test::appendRows(table, {resultHeader(),
                             {u8("连衣裙"), u"12,345"_s, u"22023"_s, u"19799"_s, u"6602"_s,
                              u"7415"_s, u"+27%"_s, u"-45%"_s, u"+3.5%"_s, u"+36%"_s, u8("上升")},
                             {u8("=SUM(A1:A9)"), u8("未找到")},
                             {u"+1"_s, u"0"_s, u"5"_s, u"4"_s, u"3"_s, u"2"_s, u"0%"_s, u"-1%"_s,
                              u"+2%"_s, u"-3%"_s, u8("平稳")},
                             {u8("@home"), QString(), u"x"_s}});
}

TEST(ExcelFile, HoldsNumbersTextAndFormatsAsTheTableShowsThem) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RowList table;
    fillSample(table);
    const std::vector<std::int64_t> order{3, 1, 2, 4}; // the view's order
    const auto outcome = exportWorkbook(table, order, u8("连衣裙"), folder.path());
    ASSERT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();
    EXPECT_EQ(entriesIn(folder.path()), QStringList{u8("连衣裙.xlsx")});

    const QJsonObject book = readBack(folder.filePath(u8("连衣裙.xlsx")));
    EXPECT_EQ(book[u"sheets"_s].toArray().first().toString(), u8("关键词"));
    const QJsonObject sheet = book[u8("关键词")].toObject();
    EXPECT_EQ(sheet[u"freeze"_s].toString(), u"A2"_s);
    EXPECT_EQ(sheet[u"filter"_s].toString(), u"A1:L5"_s);
    const QJsonArray rows = sheet[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 5);
    const auto at = [&](int r, int c) { return rows[r].toArray()[c].toObject(); };

    const QStringList captions = resultHeader() + QStringList{u8("机会")};
    for (int c = 0; c < captions.size(); ++c) {
        EXPECT_EQ(at(0, c)[u"value"_s].toString(), captions[c]) << c;
        EXPECT_TRUE(at(0, c)[u"bold"_s].toBool()) << c;
    }
    const struct {
        int row, column;
        QJsonValue value;
        const char* type; // openpyxl: n number, s string
        const char* format;
    } cells[] = {
        {1, 0, u"+1"_s, "s", "General"}, // the view's first row: row 3
        {1, 1, 0, "n", "#,##0"},
        {1, 2, 5, "n", "General"},
        {1, 6, 0, "n", "+0%;-0%;0%"},
        {1, 7, -0.01, "n", "+0%;-0%;0%"},
        {1, 11, u8("无竞品"), "s", "General"},
        {2, 0, u8("连衣裙"), "s", "General"},
        {2, 1, 12345, "n", "#,##0"},
        {2, 2, 22023, "n", "General"},
        {2, 6, 0.27, "n", "+0%;-0%;0%"},
        {2, 7, -0.45, "n", "+0%;-0%;0%"},
        {2, 8, 0.035, "n", "+0.0%;-0.0%;0.0%"},
        {2, 10, u8("上升"), "s", "General"},
        {2, 11, 22023.0 / 12345 * 1000, "n", "0.0"},
        {3, 0, u8("=SUM(A1:A9)"), "s", "General"}, // text, never a formula
        {3, 1, u8("未找到"), "s", "General"},
        {3, 11, QJsonValue::Null, "n", "General"},
        {4, 0, u8("@home"), "s", "General"},
        {4, 2, u"x"_s, "s", "General"},
    };
    for (const auto& c : cells) {
        const QJsonObject cell = at(c.row, c.column);
        SCOPED_TRACE(std::to_string(c.row) + "," + std::to_string(c.column));
        if (c.value.isDouble())
            EXPECT_NEAR(cell[u"value"_s].toDouble(), c.value.toDouble(), 1e-9);
        else
            EXPECT_EQ(cell[u"value"_s], c.value);
        EXPECT_EQ(cell[u"type"_s].toString(), QString::fromLatin1(c.type));
        EXPECT_EQ(cell[u"format"_s].toString(), QString::fromLatin1(c.format));
    }
    // The keyword column fits its header and its widest keyword.
    EXPECT_GE(sheet[u"widths"_s].toObject()[u"A"_s].toDouble(), 8.0);
}

std::shared_ptr<const TrendSeries> seriesOf(std::vector<std::optional<double>> search,
                                            std::optional<QDate> end) {
    auto s = std::make_shared<TrendSeries>();
    s->search = SeriesValues(search);
    s->trade = SeriesValues(search);
    s->endDate = end;
    return s;
}

// The second sheet: the search series by day, under each keyword, and a
// line chart of the first ten keywords.
TEST(ExcelFile, TheTrendSheetHoldsEachSeriesByDayAndAChart) {
    const auto none = std::nullopt;
    const struct {
        const char* name;
        std::optional<QDate> endA, endB;
        QJsonValue firstDay;
        QJsonArray columnA, columnB; // from the first day on
    } cases[] = {
        {"dated",
         QDate(2024, 5, 31),
         QDate(2024, 6, 1),
         u"2024-05-29T00:00:00"_s,
         {1, 2, 3, QJsonValue::Null},
         {QJsonValue::Null, QJsonValue::Null, 7, 8}},
        // Counted back from the last day when any series lacks its date.
        {"undated", none, none, -2, {1, 2, 3}, {QJsonValue::Null, 7, 8}},
        {"one undated", QDate(2024, 5, 31), none, -2, {1, 2, 3}, {QJsonValue::Null, 7, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowList table;
        table.append(Row{resultHeader()});
        table.append(Row{{u"a"_s, u"1"_s}, seriesOf({1, 2, 3}, c.endA)});
        table.append(Row{{u"b"_s, u"1"_s}, seriesOf({7, 8}, c.endB)});
        table.append(Row{{u8("未查"), u"1"_s}});
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        ASSERT_EQ(exportWorkbook(table, {1, 2, 3}, u"k"_s, folder.path()).kind,
                  ExportOutcome::Kind::Written);
        const QJsonObject book = readBack(folder.filePath(u"k.xlsx"_s));
        EXPECT_EQ(book[u"sheets"_s].toArray(), (QJsonArray{u8("关键词"), u8("趋势")}));
        const QJsonArray rows = book[u8("趋势")].toObject()[u"rows"_s].toArray();
        ASSERT_EQ(rows.size(), c.columnA.size() + 1);
        const auto value = [&](int r, int col) -> QJsonValue {
            return rows[r].toArray()[col].toObject()[u"value"_s];
        };
        EXPECT_EQ(value(0, 0),
                  c.firstDay.isString() ? QJsonValue(u8("日期")) : QJsonValue(u8("天前")));
        EXPECT_EQ(value(0, 1), u"a"_s);
        EXPECT_EQ(value(0, 2), u"b"_s);
        EXPECT_EQ(value(0, 3), u8("未查"));
        EXPECT_EQ(value(1, 0), c.firstDay);
        for (int d = 0; d < c.columnA.size(); ++d) {
            EXPECT_EQ(value(d + 1, 1), c.columnA[d]) << d;
            EXPECT_EQ(value(d + 1, 2), c.columnB[d]) << d;
        }
        const QString last = QString::number(c.columnA.size() + 1);
        const QJsonObject charts = book[u"charts"_s].toObject();
        const QJsonObject parts = charts[u"parts"_s].toObject();
        ASSERT_EQ(parts.size(), 1);
        const QJsonObject chart = parts.begin().value().toObject();
        EXPECT_EQ(chart[u"kinds"_s].toArray(), QJsonArray{u"lineChart"_s});
        EXPECT_EQ(chart[u"values"_s].toArray(),
                  (QJsonArray{QString(u8("'趋势'!$B$2:$B$") + last),
                              QString(u8("'趋势'!$C$2:$C$") + last)}));
        EXPECT_EQ(charts[u"sheets_with_drawings"_s].toArray(),
                  QJsonArray{u"xl/worksheets/_rels/sheet2.xml.rels"_s});
    }
}

// The same refusals and the same no-replace move as the CSV file.
TEST(ExcelFile, RefusesAsTheCsvFileDoesAndNeverReplaces) {
    RowList table;
    fillSample(table);
    for (const test::MoveWay way : test::allMoveWays) {
        SCOPED_TRACE(test::nameOf(way));
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString target = folder.filePath(u"k.xlsx"_s);
        for (const QString& keyword : {u"a/b"_s, QString()})
            EXPECT_EQ(exportWorkbook(table, {1}, keyword, folder.path()).kind,
                      ExportOutcome::Kind::BadName);
        NewFileOptions options = test::optionsFor(way);
        options.beforeMove = [&] { test::writeFileBytes(target, "intruder"); };
        EXPECT_EQ(exportWorkbook(table, {1}, u"k"_s, folder.path(), options).kind,
                  ExportOutcome::Kind::Exists);
        EXPECT_EQ(fileBytes(target), "intruder");
        EXPECT_EQ(exportWorkbook(table, {1}, u"k"_s, folder.path(), test::optionsFor(way)).kind,
                  ExportOutcome::Kind::Exists);
        EXPECT_EQ(entriesIn(folder.path()), QStringList{u"k.xlsx"_s});
        const auto written =
            exportWorkbook(table, {1, 2}, u"new"_s, folder.path(), test::optionsFor(way));
        EXPECT_EQ(written.kind, ExportOutcome::Kind::Written) << written.reason.toStdString();
        EXPECT_EQ(readBack(folder.filePath(u"new.xlsx"_s))[u8("关键词")]
                      .toObject()[u"rows"_s]
                      .toArray()
                      .size(),
                  3);
    }
}

// A full disk is a reported failure, and nothing is left behind.
TEST(ExcelFile, AFullDiskLeavesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(u"mnt"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    auto mount = std::make_unique<test::TmpfsMount>(folder, u"size=16k"_s, false);
    if (!mount->mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs: " << mount->reason().toStdString();
    RowList table;
    table.append(Row{resultHeader()});
    for (int i = 0; i < 20000; ++i)
        table.append(Row{{u8("连衣裙") + QString::number(i), QString::number(i * 7919 % 100003)}});
    std::vector<std::int64_t> order(20000);
    for (int i = 0; i < 20000; ++i)
        order[static_cast<std::size_t>(i)] = i + 1;
    const auto outcome = exportWorkbook(table, order, u"k"_s, folder);
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Failed);
    EXPECT_TRUE(exportMessage(outcome).startsWith(u8("导出失败：")));
    EXPECT_TRUE(outcome.reason.contains(qt_error_string(ENOSPC))) << outcome.reason.toStdString();
    EXPECT_EQ(entriesIn(folder), QStringList());
}

} // namespace
} // namespace quilla
