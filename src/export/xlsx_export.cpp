#include "export/xlsx_export.h"

#include "core/list_headers.h"
#include "results/cell_values.h"

#include <QFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>

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

QString reasonOf(lxw_error error) {
    return QString::fromUtf8(lxw_strerror(error));
}

} // namespace

bool writeWorkbook(const QString& path, const RowList& table,
                   const std::vector<std::int64_t>& order, QString& reason) {
    lxw_workbook* wb = workbook_new(QFile::encodeName(path).constData());
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
    errno = 0;
    const lxw_error closed = workbook_close(wb);
    // The system's reason says more than the library's ("usually a permissions error").
    const int systemError = errno;
    const lxw_error first = writer.error() != LXW_NO_ERROR ? writer.error() : closed;
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
