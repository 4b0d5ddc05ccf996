#include "export/xlsx_export.h"

#include "core/list_headers.h"
#include "results/cell_values.h"

#include <QDate>
#include <QFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

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

class SheetWriter {
public:
    SheetWriter(lxw_workbook* wb, lxw_worksheet* sheet) : sheet_(sheet) {
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
        widths_.fill(narrowest);
    }

    void header(const QStringList& captions) {
        for (int col = 0; col < captions.size(); ++col)
            text(0, col, captions[col], bold_);
    }

    void row(lxw_row_t at, const Row& row) {
        for (int col = 0; col < column::opportunity; ++col) {
            const QString field = row.fields.value(col);
            const ColumnKind kind = columnKind(col);
            const auto value = cellValue(kind, field);
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
    }

    void finish(lxw_row_t lastRow) {
        worksheet_freeze_panes(sheet_, 1, 0);
        note(worksheet_autofilter(sheet_, 0, 0, lastRow, column::shown - 1));
        for (int col = 0; col < column::shown; ++col)
            note(worksheet_set_column(
                sheet_, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                std::min(widest, widths_[static_cast<std::size_t>(col)] + 2), nullptr));
    }

    lxw_error error() const { return error_; }

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
    void fit(int col, const QString& shown) {
        double& width = widths_[static_cast<std::size_t>(col)];
        width = std::max(width, displayWidth(shown.left(static_cast<qsizetype>(widest))));
    }
    void note(lxw_error e) {
        if (error_ == LXW_NO_ERROR)
            error_ = e;
    }

    lxw_worksheet* sheet_;
    lxw_format* bold_ = nullptr;
    lxw_format* count_ = nullptr;
    lxw_format* opportunity_ = nullptr;
    std::array<lxw_format*, 5> percent_{};
    std::array<double, column::shown> widths_{};
    lxw_error error_ = LXW_NO_ERROR;
};

QStringList captionsOf(const RowList& table) {
    QStringList captions = table.count() > 0 ? table.row(0).fields : resultHeader();
    captions = captions.mid(0, column::opportunity);
    while (captions.size() < column::opportunity)
        captions.append(QString());
    captions.append(QStringLiteral("机会"));
    return captions;
}

// The second sheet: one column per keyword in the first sheet's order, one
// row per day, the search index. Days are dates when every series states its
// end date, else counted back from the last; a line chart shows the first
// ten keywords that have a series.
class TrendSheetWriter {
public:
    static constexpr int chartedKeywords = 10;
    static constexpr lxw_col_t maxColumns = 16383; // Excel's, less the day column

    TrendSheetWriter(lxw_workbook* wb, lxw_worksheet* sheet) : wb_(wb), sheet_(sheet) {
        bold_ = workbook_add_format(wb);
        format_set_bold(bold_);
        date_ = workbook_add_format(wb);
        format_set_num_format(date_, "yyyy-mm-dd");
    }

    void write(const RowList& table, const std::vector<std::int64_t>& order) {
        std::vector<Row> rows;
        for (const std::int64_t listRow : order)
            if (rows.size() < maxColumns)
                rows.push_back(table.row(listRow));
        bool dated = false, undated = false;
        std::optional<QDate> first, last;
        std::size_t longest = 0;
        for (const Row& row : rows) {
            if (!row.series || row.series->search.empty())
                continue;
            const auto n = static_cast<qint64>(row.series->search.size());
            longest = std::max(longest, row.series->search.size());
            if (const auto end = row.series->endDate) {
                dated = true;
                first = first ? std::min(*first, end->addDays(1 - n)) : end->addDays(1 - n);
                last = last ? std::max(*last, *end) : *end;
            } else {
                undated = true;
            }
        }
        const bool byDate = dated && !undated;
        const std::size_t days =
            byDate ? static_cast<std::size_t>(first->daysTo(*last) + 1) : longest;
        note(worksheet_write_string(sheet_, 0, 0, byDate ? "日期" : "天前", bold_));
        // Row by row, as the workbook's constant-memory mode wants it: where
        // each series' first day stands among the rows.
        std::vector<std::optional<std::size_t>> firstAt(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const auto col = static_cast<lxw_col_t>(k + 1);
            note(worksheet_write_string(sheet_, 0, col, cellText(rows[k].keyword()).constData(),
                                        bold_));
            if (!rows[k].series || rows[k].series->search.empty())
                continue;
            const std::size_t n = rows[k].series->search.size();
            const std::size_t lastAt =
                byDate ? static_cast<std::size_t>(first->daysTo(*rows[k].series->endDate))
                       : days - 1;
            firstAt[k] = lastAt + 1 - n;
        }
        for (std::size_t d = 0; d < days; ++d) {
            const auto at = static_cast<lxw_row_t>(d + 1);
            if (byDate) {
                const QDate day = first->addDays(static_cast<qint64>(d));
                lxw_datetime when{day.year(), day.month(), day.day(), 0, 0, 0};
                note(worksheet_write_datetime(sheet_, at, 0, &when, date_));
            } else {
                note(worksheet_write_number(sheet_, at, 0, -static_cast<double>(days - 1 - d),
                                            nullptr));
            }
            for (std::size_t k = 0; k < rows.size(); ++k) {
                if (!firstAt[k] || d < *firstAt[k])
                    continue;
                if (const auto v = rows[k].series->search.at(d - *firstAt[k]))
                    note(worksheet_write_number(sheet_, at, static_cast<lxw_col_t>(k + 1), *v,
                                                nullptr));
            }
        }
        lxw_chart* chart = nullptr;
        int charted = 0;
        for (std::size_t k = 0; k < rows.size() && charted < chartedKeywords; ++k) {
            if (!firstAt[k])
                continue;
            if (!chart) {
                chart = workbook_add_chart(wb_, LXW_CHART_LINE);
                chart_title_set_name(chart, "搜索指数");
            }
            const auto col = static_cast<lxw_col_t>(k + 1);
            const auto lastRow = static_cast<lxw_row_t>(days);
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            chart_series_set_categories(series, "趋势", 1, 0, lastRow, 0);
            chart_series_set_values(series, "趋势", 1, col, lastRow, col);
            chart_series_set_name_range(series, "趋势", 0, col);
            ++charted;
        }
        note(worksheet_set_column(sheet_, 0, 0, 12, nullptr));
        worksheet_freeze_panes(sheet_, 1, 1);
        if (chart)
            note(worksheet_insert_chart(
                sheet_, 1, static_cast<lxw_col_t>(std::min<std::size_t>(rows.size(), 10) + 2),
                chart));
    }

    lxw_error error() const { return error_; }

private:
    void note(lxw_error e) {
        if (error_ == LXW_NO_ERROR)
            error_ = e;
    }

    lxw_workbook* wb_;
    lxw_worksheet* sheet_;
    lxw_format* bold_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_error error_ = LXW_NO_ERROR;
};

QString reasonOf(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

bool writeWorkbook(const QString& path, const RowList& table,
                   const std::vector<std::int64_t>& order, QString& reason) {
    // Constant memory: rows go to the file as they are written, a row at a
    // time, so 10,000 series by 365 days need no table in memory.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!wb) {
        reason = reasonOf(LXW_ERROR_CREATING_XLSX_FILE);
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(wb, "关键词");
    SheetWriter writer(wb, sheet);
    writer.header(captionsOf(table));
    lxw_row_t at = 0;
    for (const std::int64_t listRow : order)
        writer.row(++at, table.row(listRow));
    writer.finish(at);
    TrendSheetWriter trend(wb, workbook_add_worksheet(wb, "趋势"));
    trend.write(table, order);
    errno = 0;
    const lxw_error closed = workbook_close(wb);
    // The system's reason says more than the library's ("usually a permissions error").
    const int systemError = errno;
    const lxw_error first = writer.error() != LXW_NO_ERROR  ? writer.error()
                            : trend.error() != LXW_NO_ERROR ? trend.error()
                                                            : closed;
    if (first != LXW_NO_ERROR) {
        reason = reasonOf(first);
        if (closed != LXW_NO_ERROR && systemError != 0)
            reason += u"（" + qt_error_string(systemError) + u"）";
        return false;
    }
    return true;
}

ExportOutcome exportWorkbook(const RowList& table, const std::vector<std::int64_t>& order,
                             const QString& keyword, const QString& folder,
                             const NewFileOptions& options) {
    if (!keywordNamesAFile(keyword))
        return {ExportOutcome::Kind::BadName, {}};
    const FileWriter write = [&](const QString& path, QString& reason) {
        return writeWorkbook(path, table, order, reason);
    };
    return outcomeOf(writeNewFile(folder, keyword + u".xlsx", write, options));
}

} // namespace quilla
