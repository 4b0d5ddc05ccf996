#pragma once

// The root table (词根): one line per root word of the result table's
// keywords, with the demand and supply of the rows that hold it.

#include "core/row_list.h"
#include "results/cell_values.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quilla {

class Segmenter;

struct RootFigures {
    QString root; // as first written
    qint64 keywords = 0;
    // Sums over the rows that have the figure, and how many do.
    double search = 0, trade = 0, items = 0;
    qint64 searchRows = 0, tradeRows = 0, itemRows = 0;
    // Search index and item count over the rows that have both.
    double bothSearch = 0, bothItems = 0;
    qint64 bothRows = 0;

    std::optional<double> searchIndex() const;
    std::optional<double> tradeIndex() const;
    std::optional<double> itemCount() const;
    // Searches per thousand listings over the rows with both figures.
    Opportunity opportunity() const;
};

// Totals that follow a table row by row: add a row when it arrives, remove
// it (as it was added) before adding its new state.
class RootTotals {
public:
    explicit RootTotals(const Segmenter& segmenter) : segmenter_(segmenter) {}

    void add(const Row& row) { apply(row, 1); }
    void remove(const Row& row) { apply(row, -1); }
    void clear();

    // The roots held by at least one row, in the order first met.
    std::vector<RootFigures> roots() const;
    const RootFigures* find(QStringView root) const;

private:
    void apply(const Row& row, int sign);

    const Segmenter& segmenter_;
    std::vector<RootFigures> roots_;
    QHash<QString, int> byKey_;
};

// The roots of `keyword`, each once (the first spelling kept).
QStringList distinctRoots(const Segmenter& segmenter, QStringView keyword);

// The totals of these rows (result rows, no header).
std::vector<RootFigures> rootTable(const std::vector<Row>& rows, const Segmenter& segmenter);
// By 搜索指数, largest first, rows without it last; then by 词根.
void sortBySearch(std::vector<RootFigures>& roots);

// 词根, 关键词数, 搜索指数, 成交指数, 宝贝数, 机会.
QStringList rootCaptions();
QStringList rootCells(const RootFigures& figures);
// A sum as the table shows it: whole numbers without decimals.
QString figureText(double value);

} // namespace quilla
