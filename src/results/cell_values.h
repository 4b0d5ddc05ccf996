#pragma once

// The result table's cells read as the figures they state, and the
// opportunity figure that weighs demand against supply.

#include "core/row_list.h"
#include "history/changes.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace quilla {

// What a result column holds.
// The change columns hold the move since the row's previous snapshot.
enum class ColumnKind {
    Keyword,
    Count,
    Index,
    Percent,
    Forecast,
    Opportunity,
    SearchChange,
    CountChange
};

// The result table's columns by place, one entry a column: how each cell is
// read, shown, sorted and exported follows from its kind. The opportunity and
// the changes are shown, never part of the row's text (nor of the CSV file).
inline constexpr std::array<ColumnKind, 14> resultColumnKinds = {
    ColumnKind::Keyword,      ColumnKind::Count,      ColumnKind::Index,    ColumnKind::Index,
    ColumnKind::Index,        ColumnKind::Index,      ColumnKind::Percent,  ColumnKind::Percent,
    ColumnKind::Percent,      ColumnKind::Percent,    ColumnKind::Forecast, ColumnKind::Opportunity,
    ColumnKind::SearchChange, ColumnKind::CountChange};

namespace column {
inline constexpr int keyword = 0;
inline constexpr int count = 1;
inline constexpr int searchYesterday = 2;
inline constexpr int tradeYesterday = 4;
inline constexpr int forecast = 10;
inline constexpr int opportunity = 11;
inline constexpr int searchChange = 12;
inline constexpr int countChange = 13;
inline constexpr int shown = static_cast<int>(resultColumnKinds.size());
} // namespace column

ColumnKind columnKind(int column);
bool isNumeric(ColumnKind kind);
bool isChange(ColumnKind kind);
// The captions of the columns after the row's fields, from 机会 on.
QStringList shownCaptions();

// The rows' changes by keyword, for a writer that has no history at hand.
using TableChanges = QHash<QString, RowChange>;

// A change column's value in a row's change.
std::optional<double> changeIn(const RowChange& change, ColumnKind kind);

// "12,345", "12345", "1.2万" as a number; nothing for "未找到", "" and junk.
std::optional<double> countValue(QStringView text);
// An index figure: a plain number, thousands separators allowed.
std::optional<double> indexValue(QStringView text);
// "+27%" → 0.27, "-4.5%" → -0.045, "0%" → 0.
std::optional<double> percentValue(QStringView text);

// A cell's number by its column's kind; nothing for text columns.
std::optional<double> cellValue(ColumnKind kind, QStringView text);

// A result row's cells read as figures, once, as the row list stores them
// (see RowList::readFiguresWith).
Figures readResultFigures(const QStringList& fields);
// The figure in `column` of a result row: as read when the row was written,
// or read now for a row that never was in a list that reads them.
std::optional<double> figureOf(const Row& row, int column);

// An index query reached the row (it has its nine fields) but the page gave
// none of the figures.
bool queriedWithoutFigures(const Row& row);
// The rows "重查空行" asks for again: never queried, or queried without figures.
bool lacksFigures(const Row& row);

// Searches per thousand listings: yesterday's search index ÷ item count × 1000.
struct Opportunity {
    enum class Kind { Unknown, Figure, NoCompetition };
    Kind kind = Kind::Unknown;
    double perThousand = 0; // for Figure
};

// Unknown while the row has no search index or no readable count; a count of
// 0 with a search index above 0 has no competition.
Opportunity opportunityOf(const Row& row);
// "12.3", "无竞品", or "" while unknown.
QString opportunityText(const Opportunity& o);
// How the figure is made, for the column's tooltip.
QString opportunityExplanation();

} // namespace quilla
