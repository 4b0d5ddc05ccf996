#include "export/xlsx_export.h"

#include "core/list_headers.h"
#include "export/package_check.h"
#include "results/cell_values.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <vector>

namespace quilla {
namespace {

// Excel holds at most this many characters in a cell.
constexpr qsizetype cellLimit = 32767;
constexpr double narrowest = 6;
constexpr double widest = 60;

// Columns as wide as their widest text: a CJK character takes two places.
double displayWidth(const QString& text) {
    double width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    return width;
}

QByteArray cellText(const QString& text) {
    QStringView within(text);
    if (within.size() > cellLimit) {
        within = within.first(cellLimit);
        if (within.back().isHighSurrogate())
            within.chop(1);
    }
    return within.toUtf8();
}

// How many decimals a percentage shows, so "+12%" stays "+12%" and "+1.5%" "+1.5%".
int decimalsOf(const QString& text) {
    const qsizetype point = text.indexOf(u'.');
    if (point < 0)
        return 0;
    return static_cast<int>(std::min<qsizetype>(4, text.indexOf(u'%') - point - 1));
}

// The first error libxlsxwriter gave while a sheet was written: one failed
// call fails the whole export.
class SheetErrors {
public:
    lxw_error error() const { return error_; }

protected:
    void note(lxw_error e) {
        if (error_ == LXW_NO_ERROR)
            error_ = e;
    }

private:
    lxw_error error_ = LXW_NO_ERROR;
};

// A sheet whose columns grow to the widest text they show, within bounds.
class FittedColumns : public SheetErrors {
protected:
    FittedColumns(lxw_worksheet* sheet, std::size_t columns)
        : sheet_(sheet), widths_(columns, narrowest) {}

    void fit(int col, const QString& shown) {
        double& width = widths_[static_cast<std::size_t>(col)];
        width = std::max(width, displayWidth(shown.left(static_cast<qsizetype>(widest))));
    }
    void setWidths(int columns) {
        for (int col = 0; col < columns; ++col)
            note(worksheet_set_column(
                sheet_, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                std::min(widest, widths_[static_cast<std::size_t>(col)] + 2), nullptr));
    }

    lxw_worksheet* sheet_;

private:
    std::vector<double> widths_;
};

class SheetWriter : public FittedColumns {
public:
    SheetWriter(lxw_workbook* wb, lxw_worksheet* sheet) : FittedColumns(sheet, column::shown) {
        bold_ = workbook_add_format(wb);
        format_set_bold(bold_);
        count_ = workbook_add_format(wb);
        format_set_num_format(count_, "#,##0");
        opportunity_ = workbook_add_format(wb);
        format_set_num_format(opportunity_, "0.0");
        static constexpr const char* percentFormats[] = {
            "+0%;-0%;0%", "+0.0%;-0.0%;0.0%", "+0.00%;-0.00%;0.00%", "+0.000%;-0.000%;0.000%",
            "+0.0000%;-0.0000%;0.0000%"};
        for (std::size_t i = 0; i < percent_.size(); ++i) {
            percent_[i] = workbook_add_format(wb);
            format_set_num_format(percent_[i], percentFormats[i]);
        }
    }

    void header(const QStringList& captions) {
        for (int col = 0; col < captions.size(); ++col)
            text(0, col, captions[col], bold_);
    }

    void row(lxw_row_t at, const Row& row, const RowChange& change) {
        for (int col = 0; col < column::opportunity; ++col) {
            const QString field = row.fields.value(col);
            const ColumnKind kind = columnKind(col);
            const auto value = figureOf(row, col);
            if (!value)
                text(at, col, field, nullptr);
            else if (kind == ColumnKind::Percent)
                number(at, col, *value, percent_[static_cast<std::size_t>(decimalsOf(field))],
                       field);
            else
                number(at, col, *value, kind == ColumnKind::Count ? count_ : nullptr, field);
        }
        const Opportunity o = opportunityOf(row);
        if (o.kind == Opportunity::Kind::Figure)
            number(at, column::opportunity, o.perThousand, opportunity_, opportunityText(o));
        else
            text(at, column::opportunity, opportunityText(o), nullptr);
        for (const int col : {column::searchChange, column::countChange}) {
            const auto value = changeIn(change, columnKind(col));
            if (value)
                number(at, col, *value, percent_[0], changeText(value));
        }
    }

    void finish(lxw_row_t lastRow) {
        worksheet_freeze_panes(sheet_, 1, 0);
        note(worksheet_autofilter(sheet_, 0, 0, lastRow, column::shown - 1));
        setWidths(column::shown);
    }

private:
    void text(lxw_row_t at, int col, const QString& value, lxw_format* format) {
        fit(col, value);
        if (value.isEmpty())
            return;
        // A string cell, never a formula, whatever it begins with.
        note(worksheet_write_string(sheet_, at, static_cast<lxw_col_t>(col),
                                    cellText(value).constData(), format));
    }
    void number(lxw_row_t at, int col, double value, lxw_format* format, const QString& shown) {
        fit(col, shown);
        note(worksheet_write_number(sheet_, at, static_cast<lxw_col_t>(col), value, format));
    }

    lxw_format* bold_ = nullptr;
    lxw_format* count_ = nullptr;
    lxw_format* opportunity_ = nullptr;
    std::array<lxw_format*, 5> percent_{};
};

QStringList captionsOf(const RowList& table) {
    QStringList captions = table.count() > 0 ? table.row(0).fields : resultHeader();
    captions = captions.mid(0, column::opportunity);
    while (captions.size() < column::opportunity)
        captions.append(QString());
    captions.append(shownCaptions());
    return captions;
}

// Where the trend sheet puts each series: a column per keyword that has one,
// in the first sheet's order, and a row per day. Days are dates when every
// series states an end date Excel can show and they all fit the sheet's
// days; else they are counted back from each series' last day, the newest
// days kept.
struct TrendLayout {
    struct Column {
        Row row;
        std::size_t firstAt = 0; // the day of its first written value
        std::size_t skipped = 0; // its oldest values, left out
    };
    std::vector<Column> columns;
    bool byDate = false;
    QDate first;
    std::size_t days = 0;
    std::size_t leftOut = 0; // keywords with a series beyond the last column
    bool cut = false;        // some series lost its oldest days

    QString note() const {
        QStringList notes;
        if (leftOut > 0)
            notes.append(
                QStringLiteral("趋势表只容得下 %1 个关键词，另有 %2 个关键词的趋势没有写入")
                    .arg(trendSheetKeywords)
                    .arg(leftOut));
        if (cut)
            notes.append(
                QStringLiteral("趋势表只写了每个关键词最近 %1 天的数据").arg(trendSheetDays));
        return notes.join(u'；');
    }
};

// Dates Excel shows as dates.
const QDate earliestDate(1900, 1, 1);
const QDate latestDate(9999, 12, 31);

std::optional<std::pair<QDate, QDate>> datedSpan(const std::vector<TrendLayout::Column>& columns) {
    std::optional<QDate> first, last;
    for (const auto& column : columns) {
        const TrendSeries& series = *column.row.series;
        const std::size_t n = series.search.size();
        if (!series.endDate || !series.endDate->isValid() || n > trendSheetDays)
            return std::nullopt;
        const QDate end = *series.endDate;
        const QDate begin = end.addDays(1 - static_cast<qint64>(n));
        if (!begin.isValid() || begin < earliestDate || end > latestDate)
            return std::nullopt;
        first = first ? std::min(*first, begin) : begin;
        last = last ? std::max(*last, end) : end;
    }
    if (!first || first->daysTo(*last) >= static_cast<qint64>(trendSheetDays))
        return std::nullopt;
    return std::pair{*first, *last};
}

TrendLayout trendLayout(const RowList& table, const std::vector<std::int64_t>& order) {
    TrendLayout layout;
    for (const std::int64_t listRow : order) {
        Row row = table.row(listRow);
        if (!row.series || row.series->search.empty())
            continue;
        if (layout.columns.size() < trendSheetKeywords)
            layout.columns.push_back({std::move(row)});
        else
            ++layout.leftOut;
    }
    if (const auto span = datedSpan(layout.columns)) {
        layout.byDate = true;
        layout.first = span->first;
        layout.days = static_cast<std::size_t>(span->first.daysTo(span->second) + 1);
        for (auto& column : layout.columns) {
            const std::size_t n = column.row.series->search.size();
            column.firstAt =
                static_cast<std::size_t>(span->first.daysTo(*column.row.series->endDate)) + 1 - n;
        }
        return layout;
    }
    for (const auto& column : layout.columns)
        layout.days = std::max(layout.days, column.row.series->search.size());
    layout.days = std::min(layout.days, trendSheetDays);
    for (auto& column : layout.columns) {
        const std::size_t n = column.row.series->search.size();
        if (n > layout.days) {
            column.skipped = n - layout.days;
            layout.cut = true;
        } else {
            column.firstAt = layout.days - n;
        }
    }
    return layout;
}

// The second sheet, row by row as the workbook's constant-memory mode wants
// it, and the third: a line chart of the first ten keywords, on a sheet of
// its own so it covers no cell.
class TrendSheetWriter : public SheetErrors {
public:
    static constexpr std::size_t chartedKeywords = 10;

    TrendSheetWriter(lxw_workbook* wb, lxw_worksheet* sheet) : wb_(wb), sheet_(sheet) {
        bold_ = workbook_add_format(wb);
        format_set_bold(bold_);
        date_ = workbook_add_format(wb);
        format_set_num_format(date_, "yyyy-mm-dd");
    }

    // False when stopped before the last day.
    bool write(const TrendLayout& layout, const std::stop_token& stop) {
        const bool byDate = layout.byDate;
        note(worksheet_write_string(sheet_, 0, 0, byDate ? "日期" : "天前", bold_));
        const auto& columns = layout.columns;
        for (std::size_t k = 0; k < columns.size(); ++k)
            note(worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(k + 1),
                                        cellText(columns[k].row.keyword()).constData(), bold_));
        for (std::size_t d = 0; d < layout.days; ++d) {
            if (stop.stop_requested())
                return false;
            const auto at = static_cast<lxw_row_t>(d + 1);
            if (byDate) {
                const QDate day = layout.first.addDays(static_cast<qint64>(d));
                lxw_datetime when{day.year(), day.month(), day.day(), 0, 0, 0};
                note(worksheet_write_datetime(sheet_, at, 0, &when, date_));
            } else {
                note(worksheet_write_number(sheet_, at, 0,
                                            -static_cast<double>(layout.days - 1 - d), nullptr));
            }
            for (std::size_t k = 0; k < columns.size(); ++k) {
                const auto& column = columns[k];
                if (d < column.firstAt)
                    continue;
                if (const auto v =
                        column.row.series->search.at(column.skipped + d - column.firstAt))
                    note(worksheet_write_number(sheet_, at, static_cast<lxw_col_t>(k + 1), *v,
                                                nullptr));
            }
        }
        note(worksheet_set_column(sheet_, 0, 0, 12, nullptr));
        worksheet_freeze_panes(sheet_, 1, 1);
        chart(layout);
        return true;
    }

private:
    void chart(const TrendLayout& layout) {
        if (layout.columns.empty())
            return;
        lxw_chart* chart = workbook_add_chart(wb_, LXW_CHART_LINE);
        lxw_chartsheet* sheet = workbook_add_chartsheet(wb_, "趋势图");
        if (!chart || !sheet) {
            note(LXW_ERROR_MEMORY_MALLOC_FAILED);
            return;
        }
        chart_title_set_name(chart, "搜索指数");
        // Without it the axis shows the dates' serial numbers where the
        // reader does not take the cells' format (LibreOffice).
        if (layout.byDate)
            chart_axis_set_num_format(chart->x_axis, "yyyy-mm-dd");
        const auto lastRow = static_cast<lxw_row_t>(layout.days);
        const std::size_t charted = std::min(layout.columns.size(), chartedKeywords);
        for (std::size_t k = 0; k < charted; ++k) {
            const auto col = static_cast<lxw_col_t>(k + 1);
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            if (!series) {
                note(LXW_ERROR_MEMORY_MALLOC_FAILED);
                return;
            }
            chart_series_set_categories(series, "趋势", 1, 0, lastRow, 0);
            chart_series_set_values(series, "趋势", 1, col, lastRow, col);
            chart_series_set_name_range(series, "趋势", 0, col);
        }
        note(chartsheet_set_chart(sheet, chart));
    }

    lxw_workbook* wb_;
    lxw_worksheet* sheet_;
    lxw_format* bold_ = nullptr;
    lxw_format* date_ = nullptr;
};

// A plain sheet of a few columns: a bold header, text and numbers.
class PlainSheetWriter : public FittedColumns {
public:
    // Six columns at the most: the root sheet's.
    PlainSheetWriter(lxw_workbook* wb, lxw_worksheet* sheet) : FittedColumns(sheet, 6) {
        bold_ = workbook_add_format(wb);
        format_set_bold(bold_);
        count_ = workbook_add_format(wb);
        format_set_num_format(count_, "#,##0");
        decimal_ = workbook_add_format(wb);
        format_set_num_format(decimal_, "0.0");
        share_ = workbook_add_format(wb);
        format_set_num_format(share_, "0.00%");
    }

    void caption(lxw_row_t at, int col, const QString& value) { text(at, col, value, bold_); }
    void text(lxw_row_t at, int col, const QString& value, lxw_format* format = nullptr) {
        fit(col, value);
        if (!value.isEmpty())
            note(worksheet_write_string(sheet_, at, static_cast<lxw_col_t>(col),
                                        cellText(value).constData(), format));
    }
    void number(lxw_row_t at, int col, std::optional<double> value, lxw_format* format) {
        if (!value)
            return;
        fit(col, QString::number(*value, 'f', 1));
        note(worksheet_write_number(sheet_, at, static_cast<lxw_col_t>(col), *value, format));
    }

    void roots(const std::vector<RootSheetRow>& rows, const QStringList& captions) {
        for (int col = 0; col < captions.size(); ++col)
            caption(0, col, captions[col]);
        lxw_row_t at = 0;
        for (const RootSheetRow& r : rows) {
            text(++at, 0, r.root);
            number(at, 1, static_cast<double>(r.keywords), count_);
            number(at, 2, r.search, count_);
            number(at, 3, r.trade, count_);
            number(at, 4, r.items, count_);
            if (r.opportunity.kind == Opportunity::Kind::Figure)
                number(at, 5, r.opportunity.perThousand, decimal_);
            else
                text(at, 5, opportunityText(r.opportunity));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        note(worksheet_autofilter(sheet_, 0, 0, at, static_cast<lxw_col_t>(captions.size() - 1)));
        finish(static_cast<int>(captions.size()));
    }

    void title(const TitleSheet& t) {
        caption(0, 0, QStringLiteral("标题"));
        text(0, 1, t.title);
        caption(1, 0, QStringLiteral("字节"));
        number(1, 1, t.bytes, nullptr);
        caption(2, 0, QStringLiteral("覆盖搜索指数"));
        number(2, 1, t.share, share_);
        caption(3, 0, QStringLiteral("覆盖关键词"));
        lxw_row_t at = 3;
        for (const QString& keyword : t.keywords)
            text(at++, 1, keyword);
        finish(2);
    }

private:
    void finish(int columns) { setWidths(columns); }

    lxw_format* bold_ = nullptr;
    lxw_format* count_ = nullptr;
    lxw_format* decimal_ = nullptr;
    lxw_format* share_ = nullptr;
};

QString reasonOf(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

WorkbookWrite writeWorkbook(const QString& path, const RowList& table,
                            const std::vector<std::int64_t>& order, std::stop_token stop,
                            const RootSheets& extra, const TableChanges& changes) {
    using Kind = WorkbookWrite::Kind;
    const TrendLayout layout = trendLayout(table, order);
    // Constant memory: rows go to temporary files as they are written, a row
    // at a time, so 10,000 series by 365 days need no table in memory. Those
    // files go beside the workbook, on the disk that is to hold it anyway,
    // not into a temporary folder that may be small or full.
    QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    lxw_workbook* wb = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!wb)
        return {Kind::Failed, reasonOf(LXW_ERROR_CREATING_XLSX_FILE), {}};
    lxw_worksheet* sheet = workbook_add_worksheet(wb, "关键词");
    lxw_worksheet* trendSheet = workbook_add_worksheet(wb, "趋势");
    if (!sheet || !trendSheet) {
        workbook_close(wb);
        return {Kind::Failed, reasonOf(LXW_ERROR_MEMORY_MALLOC_FAILED), {}};
    }
    SheetWriter writer(wb, sheet);
    writer.header(captionsOf(table));
    lxw_row_t at = 0;
    bool stopped = false;
    for (const std::int64_t listRow : order) {
        if ((stopped = stop.stop_requested()))
            break;
        const Row row = table.row(listRow);
        writer.row(++at, row, changes.value(row.keyword()));
    }
    writer.finish(at);
    // Its header even when stopped: the library keeps the temporary file of
    // a sheet without cells open for good.
    TrendSheetWriter trend(wb, trendSheet);
    const bool trendWritten = trend.write(layout, stop);
    stopped = stopped || !trendWritten;
    lxw_error extraError = LXW_NO_ERROR;
    const auto addPlain = [&](const char* name) -> std::optional<PlainSheetWriter> {
        lxw_worksheet* plain = workbook_add_worksheet(wb, name);
        if (!plain) {
            extraError = LXW_ERROR_MEMORY_MALLOC_FAILED;
            return std::nullopt;
        }
        return PlainSheetWriter(wb, plain);
    };
    if (extra.roots && !stopped)
        if (auto w = addPlain("词根")) {
            w->roots(*extra.roots, {QStringLiteral("词根"), QStringLiteral("关键词数"),
                                    QStringLiteral("搜索指数"), QStringLiteral("成交指数"),
                                    QStringLiteral("宝贝数"), QStringLiteral("机会")});
            if (extraError == LXW_NO_ERROR)
                extraError = w->error();
        }
    if (extra.title && !stopped)
        if (auto w = addPlain("标题")) {
            w->title(*extra.title);
            if (extraError == LXW_NO_ERROR)
                extraError = w->error();
        }
    errno = 0;
    // Closing is the only way to let go of the workbook and its temporary
    // files; a stopped one is closed as far as it got, and removed by the caller.
    const lxw_error closed = workbook_close(wb);
    // The system's reason says more than the library's ("usually a permissions error").
    const int systemError = errno;
    if (stopped || stop.stop_requested())
        return {Kind::Cancelled, {}, {}};
    const lxw_error first = writer.error() != LXW_NO_ERROR  ? writer.error()
                            : trend.error() != LXW_NO_ERROR ? trend.error()
                            : extraError != LXW_NO_ERROR    ? extraError
                                                            : closed;
    if (first != LXW_NO_ERROR) {
        QString reason = reasonOf(first);
        if (closed != LXW_NO_ERROR && systemError != 0)
            reason += u"（" + qt_error_string(systemError) + u"）";
        return {Kind::Failed, reason, {}};
    }
    if (const auto fault = packageFault(path, stop))
        return {stop.stop_requested() ? Kind::Cancelled : Kind::Failed, *fault, {}};
    return {Kind::Written, {}, layout.note()};
}

ExportOutcome exportWorkbook(const RowList& table, const std::vector<std::int64_t>& order,
                             const QString& keyword, const QString& folder,
                             const NewFileOptions& options, std::stop_token stop,
                             const RootSheets& extra, const TableChanges& changes) {
    if (!keywordNamesAFile(keyword))
        return {ExportOutcome::Kind::BadName, {}};
    WorkbookWrite result;
    const FileWriter write = [&](const QString& path, QString& reason) {
        result = writeWorkbook(path, table, order, stop, extra, changes);
        reason = result.reason;
        return result.kind == WorkbookWrite::Kind::Written;
    };
    ExportOutcome outcome = outcomeOf(writeNewFile(folder, keyword + u".xlsx", write, options));
    if (result.kind == WorkbookWrite::Kind::Cancelled)
        return {ExportOutcome::Kind::Cancelled, {}};
    if (outcome.kind == ExportOutcome::Kind::Written)
        outcome.note = result.note;
    return outcome;
}

} // namespace quilla
