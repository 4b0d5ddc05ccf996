// The Excel file, read back by openpyxl: numbers that sort and sum, text that
// stays text, the header frozen and filtered; written under the CSV's rules.

#include "export/xlsx_export.h"

#include "core/list_headers.h"
#include "support/export_support.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <memory>
#include <stop_token>
#include <thread>

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
    EXPECT_EQ(sheet[u"filter"_s].toString(), u"A1:N5"_s);
    const QJsonArray rows = sheet[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 5);
    const auto at = [&](int r, int c) { return rows[r].toArray()[c].toObject(); };

    const QStringList captions =
        resultHeader() + QStringList{u8("机会"), u8("搜索变化"), u8("宝贝变化")};
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

// The second sheet: the search series by day, under each keyword that has
// one; the third: a line chart of the first ten, covering no cell, its axis
// showing dates as dates.
TEST(ExcelFile, TheTrendSheetHoldsEachSeriesByDayAndAChart) {
    const auto none = std::nullopt;
    const struct {
        const char* name;
        std::optional<QDate> endA, endB;
        QJsonValue firstDay;
        QJsonArray columnA, columnB; // from the first day on
        QJsonValue axisFormat;
    } cases[] = {
        {"dated",
         QDate(2024, 5, 31),
         QDate(2024, 6, 1),
         u"2024-05-29T00:00:00"_s,
         {1, 2, 3, QJsonValue::Null},
         {QJsonValue::Null, QJsonValue::Null, 7, 8},
         u"yyyy-mm-dd"_s},
        // Counted back from the last day when any series lacks its date.
        {"undated", none, none, -2, {1, 2, 3}, {QJsonValue::Null, 7, 8}, QJsonValue::Null},
        {"one undated",
         QDate(2024, 5, 31),
         none,
         -2,
         {1, 2, 3},
         {QJsonValue::Null, 7, 8},
         QJsonValue::Null},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowList table;
        table.append(Row{resultHeader()});
        table.append(Row{{u8("未查"), u"1"_s}});
        table.append(Row{{u"a"_s, u"1"_s}, seriesOf({1, 2, 3}, c.endA)});
        table.append(Row{{u8("也未查"), u"1"_s}});
        table.append(Row{{u"b"_s, u"1"_s}, seriesOf({7, 8}, c.endB)});
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const auto outcome = exportWorkbook(table, {1, 2, 3, 4}, u"k"_s, folder.path());
        ASSERT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();
        EXPECT_EQ(outcome.note, QString());
        const QJsonObject book = readBack(folder.filePath(u"k.xlsx"_s));
        EXPECT_EQ(book[u"sheets"_s].toArray(),
                  (QJsonArray{u8("关键词"), u8("趋势"), u8("趋势图")}));
        const QJsonArray rows = book[u8("趋势")].toObject()[u"rows"_s].toArray();
        ASSERT_EQ(rows.size(), c.columnA.size() + 1);
        // Only the keywords that have a series get a column.
        EXPECT_EQ(rows[0].toArray().size(), 3);
        const auto value = [&](int r, int col) -> QJsonValue {
            return rows[r].toArray()[col].toObject()[u"value"_s];
        };
        EXPECT_EQ(value(0, 0),
                  c.firstDay.isString() ? QJsonValue(u8("日期")) : QJsonValue(u8("天前")));
        EXPECT_EQ(value(0, 1), u"a"_s);
        EXPECT_EQ(value(0, 2), u"b"_s);
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
        EXPECT_EQ(chart[u"category_format"_s], c.axisFormat);
        // Drawn on a sheet of its own: no worksheet has a drawing over its cells.
        EXPECT_EQ(charts[u"sheets_with_drawings"_s].toArray(),
                  QJsonArray{u"xl/chartsheets/_rels/sheet1.xml.rels"_s});
    }
}

// What the trend sheet cannot hold: dates far out of any real range, series
// longer than its days, keywords beyond Excel's columns. Each is written in
// moments, and said in the outcome's note when something is left out.
TEST(ExcelFile, TheTrendSheetStaysWithinItsBounds) {
    const QDate real(2024, 5, 31);
    const QDate largest(std::numeric_limits<int>::max(), 12, 31);
    ASSERT_TRUE(largest.isValid());
    const auto many = [](std::size_t n) {
        std::vector<std::optional<double>> values(n);
        for (std::size_t i = 0; i < n; ++i)
            values[i] = static_cast<double>(i);
        return values;
    };
    const struct {
        const char* name;
        std::vector<std::shared_ptr<const TrendSeries>> series; // one keyword each
        QString header;                                         // of the day column
        int days;
        int columns;
        QJsonValue lastOfFirst; // the first column's value on the last day
        QString note;
    } cases[] = {
        {"a billion days ahead",
         {seriesOf({1, 2, 3}, real), seriesOf({7, 8}, real.addDays(1'000'000'000))},
         u8("天前"),
         3,
         2,
         3,
         {}},
        {"the largest date there is",
         {seriesOf({1, 2, 3}, real), seriesOf({7, 8}, largest)},
         u8("天前"),
         3,
         2,
         3,
         {}},
        {"before Excel's first date",
         {seriesOf({1, 2, 3}, QDate(1899, 12, 31)), seriesOf({7, 8}, real)},
         u8("天前"),
         3,
         2,
         3,
         {}},
        {"eleven years apart",
         {seriesOf({1, 2, 3}, real), seriesOf({7, 8}, real.addYears(-11))},
         u8("天前"),
         3,
         2,
         3,
         {}},
        {"ten years apart still dated",
         {seriesOf({1, 2, 3}, real), seriesOf({7, 8}, real.addDays(-3655))},
         u8("日期"),
         3657,
         2,
         3,
         {}},
        {"a series longer than the days kept",
         {seriesOf(many(5000), real), seriesOf({7, 8}, std::nullopt)},
         u8("天前"),
         3660,
         2,
         4999,
         u8("趋势表只写了每个关键词最近 3660 天的数据")},
        {"more keywords than columns",
         std::vector<std::shared_ptr<const TrendSeries>>(16385, seriesOf({5}, real)), u8("日期"), 1,
         16383, 5, u8("趋势表只容得下 16383 个关键词，另有 2 个关键词的趋势没有写入")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowList table;
        table.append(Row{resultHeader()});
        std::vector<std::int64_t> order;
        for (std::size_t k = 0; k < c.series.size(); ++k) {
            table.append(Row{{u"k"_s + QString::number(k)}, c.series[k]});
            order.push_back(static_cast<std::int64_t>(k) + 1);
        }
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        QElapsedTimer timer;
        timer.start();
        const auto outcome = exportWorkbook(table, order, u"k"_s, folder.path());
        EXPECT_LT(timer.elapsed(), 20000);
        ASSERT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();
        EXPECT_EQ(outcome.note, c.note);
        const QJsonObject book = readBack(folder.filePath(u"k.xlsx"_s));
        const QJsonArray rows = book[u8("趋势")].toObject()[u"rows"_s].toArray();
        ASSERT_EQ(rows.size(), c.days + 1);
        const auto value = [&](int r, int col) -> QJsonValue {
            return rows[r].toArray()[col].toObject()[u"value"_s];
        };
        EXPECT_EQ(rows[0].toArray().size(), c.columns + 1);
        EXPECT_EQ(value(0, 0), c.header);
        EXPECT_EQ(value(0, 1), u"k0"_s);
        EXPECT_EQ(value(c.days, 1), c.lastOfFirst);
        if (c.header == u8("天前")) {
            EXPECT_EQ(value(c.days, 0), 0);
        }
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

// A table whose sheet is far larger than its packed file: repeated text packs well.
void fillWide(RowList& table, int rows) {
    table.append(Row{resultHeader()});
    for (int i = 0; i < rows; ++i)
        table.append(
            Row{{u8("连衣裙女夏季新款") + QString::number(i), u"12,345"_s, u"22023"_s, u"19799"_s,
                 u"6602"_s, u"7415"_s, u"+27%"_s, u"-45%"_s, u"+3.5%"_s, u"+36%"_s, u8("上升")}});
}

std::vector<std::int64_t> allRows(const RowList& table) {
    std::vector<std::int64_t> order;
    for (std::int64_t i = 1; i < table.count(); ++i)
        order.push_back(i);
    return order;
}

// $TMPDIR for as long as this lives.
class TemporaryFolderVariable {
public:
    explicit TemporaryFolderVariable(const QString& folder)
        : had_(qEnvironmentVariableIsSet("TMPDIR")), old_(qgetenv("TMPDIR")) {
        qputenv("TMPDIR", QFile::encodeName(folder));
    }
    ~TemporaryFolderVariable() {
        if (had_)
            qputenv("TMPDIR", old_);
        else
            qunsetenv("TMPDIR");
    }
    TemporaryFolderVariable(const TemporaryFolderVariable&) = delete;
    TemporaryFolderVariable& operator=(const TemporaryFolderVariable&) = delete;

private:
    bool had_;
    QByteArray old_;
};

// The workbook's temporary parts go beside it, and whether they were written
// whole is checked: a full temporary folder changes nothing, and a folder
// with room for the packed file but not for its parts fails the export and
// keeps nothing.
TEST(ExcelFile, ItsTemporaryPartsGoBesideItAndAreChecked) {
    // Its sheet takes 1.9 MB unpacked, twice over while it is packed, and its
    // file 160 KB.
    RowList table;
    fillWide(table, 4000);
    const struct {
        const char* name;
        bool temporaryFolderFull;
        QString targetDisk; // tmpfs options; empty: the ordinary disk
        ExportOutcome::Kind kind;
    } cases[] = {
        {"temporary folder full", true, {}, ExportOutcome::Kind::Written},
        {"room for the file, not for its parts", false, u"size=2560k"_s,
         ExportOutcome::Kind::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString temporary = dir.filePath(u"tmp"_s);
        const QString folder = dir.filePath(u"out"_s);
        ASSERT_TRUE(QDir().mkdir(temporary) && QDir().mkdir(folder));
        std::unique_ptr<test::TmpfsMount> temporaryDisk, targetDisk;
        std::unique_ptr<TemporaryFolderVariable> variable;
        if (c.temporaryFolderFull) {
            temporaryDisk = std::make_unique<test::TmpfsMount>(temporary, u"size=16k"_s, false);
            if (!temporaryDisk->mounted())
                GTEST_SKIP() << "cannot mount a tmpfs: " << temporaryDisk->reason().toStdString();
            QFile filler(QDir(temporary).filePath(u"filler"_s));
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(4096, 'f');
            for (int i = 0; i < 8 && filler.write(block) == block.size(); ++i) {
            }
            variable = std::make_unique<TemporaryFolderVariable>(temporary);
        }
        if (!c.targetDisk.isEmpty()) {
            targetDisk = std::make_unique<test::TmpfsMount>(folder, c.targetDisk, false);
            if (!targetDisk->mounted())
                GTEST_SKIP() << "cannot mount a tmpfs: " << targetDisk->reason().toStdString();
        }
        const auto outcome = exportWorkbook(table, allRows(table), u"k"_s, folder);
        variable.reset();
        ASSERT_EQ(outcome.kind, c.kind) << outcome.reason.toStdString();
        if (c.kind == ExportOutcome::Kind::Written) {
            const QJsonArray rows = readBack(QDir(folder).filePath(u"k.xlsx"_s))[u8("关键词")]
                                        .toObject()[u"rows"_s]
                                        .toArray();
            ASSERT_EQ(rows.size(), table.count());
            EXPECT_EQ(rows.last().toArray()[0].toObject()[u"value"_s],
                      table.row(table.count() - 1).keyword());
            EXPECT_EQ(entriesIn(folder), QStringList{u"k.xlsx"_s});
        } else {
            EXPECT_TRUE(exportMessage(outcome).startsWith(u8("导出失败：")));
            EXPECT_EQ(entriesIn(folder), QStringList());
        }
    }
}

// A stop request, before or while the workbook is written, ends the export
// at once and keeps nothing.
TEST(ExcelFile, ACancelledExportKeepsNothing) {
    RowList table;
    fillWide(table, 600);
    std::vector<std::optional<double>> days(trendSheetDays);
    for (std::size_t d = 0; d < days.size(); ++d)
        days[d] = static_cast<double>(d % 977);
    const auto series = seriesOf(days, std::nullopt);
    for (std::int64_t i = 1; i < table.count(); ++i) {
        Row row = table.row(i);
        row.series = series;
        ASSERT_TRUE(table.setRow(i, row));
    }
    const qsizetype descriptors = entriesIn(u"/proc/self/fd"_s).size();
    // Unstopped, the workbook takes this long.
    qint64 whole = 0;
    {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(exportWorkbook(table, allRows(table), u"k"_s, folder.path()).kind,
                  ExportOutcome::Kind::Written);
        whole = timer.elapsed();
    }
    for (const bool before : {true, false}) {
        SCOPED_TRACE(before ? "before" : "while writing");
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        std::stop_source stop;
        if (before)
            stop.request_stop();
        QElapsedTimer sinceStop;
        std::thread stopper;
        if (!before)
            stopper = std::thread([&] {
                // Once the export's temporary file is there, the writing has begun.
                for (int i = 0; i < 10000 && entriesIn(folder.path()).isEmpty(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                // Into the trend sheet, the bulk of the work.
                std::this_thread::sleep_for(std::chrono::milliseconds(whole / 5));
                sinceStop.start();
                stop.request_stop();
            });
        const auto outcome =
            exportWorkbook(table, allRows(table), u"k"_s, folder.path(), {}, stop.get_token());
        if (stopper.joinable()) {
            stopper.join();
            // What was written before the stop is still packed, then removed.
            EXPECT_LT(sinceStop.elapsed() * 2, whole);
        }
        EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Cancelled);
        EXPECT_EQ(exportMessage(outcome), u8("导出已取消，没有写入文件。"));
        EXPECT_EQ(entriesIn(folder.path()), QStringList());
        // Nor any of the workbook's temporary files, open or not.
        EXPECT_EQ(entriesIn(u"/proc/self/fd"_s).size(), descriptors);
    }
}

} // namespace
} // namespace quilla
