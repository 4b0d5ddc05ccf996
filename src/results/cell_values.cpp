#include "results/cell_values.h"

#include "core/number_text.h"

#include <cmath>

namespace quilla {
ColumnKind columnKind(int column) {
    if (column < 0 || column >= column::shown)
        return ColumnKind::Forecast; // text, as any field past the table's
    return resultColumnKinds[static_cast<std::size_t>(column)];
}

bool isNumeric(ColumnKind kind) {
    return kind == ColumnKind::Count || kind == ColumnKind::Index || kind == ColumnKind::Percent ||
           kind == ColumnKind::Opportunity || isChange(kind);
}

bool isChange(ColumnKind kind) {
    return kind == ColumnKind::SearchChange || kind == ColumnKind::CountChange;
}

QStringList shownCaptions() {
    return {QStringLiteral("机会"), QStringLiteral("搜索变化"), QStringLiteral("宝贝变化")};
}

std::optional<double> changeIn(const RowChange& change, ColumnKind kind) {
    if (kind == ColumnKind::SearchChange)
        return change.search;
    if (kind == ColumnKind::CountChange)
        return change.items;
    return std::nullopt;
}

std::optional<double> countValue(QStringView text) {
    text = text.trimmed();
    double scale = 1;
    if (text.endsWith(u'万'))
        scale = 1e4;
    else if (text.endsWith(u'亿'))
        scale = 1e8;
    if (scale != 1)
        text.chop(1);
    const auto value = plainNumber(text);
    return value ? std::optional(std::round(*value * scale)) : std::nullopt;
}

std::optional<double> indexValue(QStringView text) {
    return plainNumber(text.trimmed());
}

std::optional<double> percentValue(QStringView text) {
    text = text.trimmed();
    if (!text.endsWith(u'%'))
        return std::nullopt;
    text.chop(1);
    double sign = 1;
    if (text.startsWith(u'+') || text.startsWith(u'-')) {
        sign = text.front() == u'-' ? -1 : 1;
        text = text.sliced(1);
    }
    const auto value = plainNumber(text);
    return value ? std::optional(sign * *value / 100) : std::nullopt;
}

std::optional<double> cellValue(ColumnKind kind, QStringView text) {
    switch (kind) {
    case ColumnKind::Count:
        return countValue(text);
    case ColumnKind::Index:
        return indexValue(text);
    case ColumnKind::Percent:
        return percentValue(text);
    default:
        return std::nullopt;
    }
}

Figures readResultFigures(const QStringList& fields) {
    Figures figures(static_cast<std::size_t>(column::shown));
    for (int c = 0; c < column::shown && c < fields.size(); ++c)
        figures[static_cast<std::size_t>(c)] = cellValue(columnKind(c), fields[c]);
    return figures;
}

std::optional<double> figureOf(const Row& row, int column) {
    if (row.figures && column >= 0 && static_cast<std::size_t>(column) < row.figures->size())
        return (*row.figures)[static_cast<std::size_t>(column)];
    return cellValue(columnKind(column), row.fields.value(column));
}

bool queriedWithoutFigures(const Row& row) {
    if (row.fields.size() <= column::searchYesterday)
        return false;
    for (qsizetype i = column::searchYesterday; i < row.fields.size(); ++i)
        if (!row.fields[i].isEmpty())
            return false;
    return true;
}

bool lacksFigures(const Row& row) {
    return row.fields.size() <= column::searchYesterday || queriedWithoutFigures(row);
}

Opportunity opportunityOf(const Row& row) {
    const auto search = figureOf(row, column::searchYesterday);
    const auto count = figureOf(row, column::count);
    if (!search || !count)
        return {};
    if (*count == 0)
        return *search > 0 ? Opportunity{Opportunity::Kind::NoCompetition, 0} : Opportunity{};
    return {Opportunity::Kind::Figure, *search / *count * 1000};
}

QString opportunityText(const Opportunity& o) {
    switch (o.kind) {
    case Opportunity::Kind::Figure:
        return QString::number(o.perThousand, 'f', 1);
    case Opportunity::Kind::NoCompetition:
        return QStringLiteral("无竞品");
    case Opportunity::Kind::Unknown:
        break;
    }
    return {};
}

QString opportunityExplanation() {
    return QStringLiteral("机会 = 昨天搜索指数 ÷ 宝贝数 × 1000：每一千件在售宝贝对应的搜索量，"
                          "越大越值得做。宝贝数为 0 而有搜索时为“无竞品”。");
}

} // namespace quilla
