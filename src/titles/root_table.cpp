#include "titles/root_table.h"

#include "segmenter/segmenter.h"

#include <algorithm>
#include <cmath>

namespace quilla {

std::optional<double> RootFigures::searchIndex() const {
    return searchRows ? std::optional(search) : std::nullopt;
}

std::optional<double> RootFigures::tradeIndex() const {
    return tradeRows ? std::optional(trade) : std::nullopt;
}

std::optional<double> RootFigures::itemCount() const {
    return itemRows ? std::optional(items) : std::nullopt;
}

Opportunity RootFigures::opportunity() const {
    if (bothRows == 0)
        return {};
    if (bothItems == 0)
        return bothSearch > 0 ? Opportunity{Opportunity::Kind::NoCompetition, 0} : Opportunity{};
    return {Opportunity::Kind::Figure, bothSearch / bothItems * 1000};
}

QStringList distinctRoots(const Segmenter& segmenter, QStringView keyword) {
    QStringList roots = segmenter.segment(keyword);
    // A keyword has a handful of roots: comparing them beats hashing.
    qsizetype kept = 0;
    for (qsizetype i = 0; i < roots.size(); ++i) {
        bool seen = false;
        for (qsizetype j = 0; j < kept && !seen; ++j)
            seen = roots[j].compare(roots[i], Qt::CaseInsensitive) == 0;
        if (!seen)
            roots[kept++] = roots[i];
    }
    roots.resize(kept);
    return roots;
}

void RootTotals::clear() {
    roots_.clear();
    byKey_.clear();
}

void RootTotals::apply(const Row& row, int sign) {
    const auto search = indexValue(row.fields.value(column::searchYesterday));
    const auto trade = indexValue(row.fields.value(column::tradeYesterday));
    const auto items = countValue(row.fields.value(column::count));
    for (const QString& root : distinctRoots(segmenter_, row.keyword())) {
        const QString key = Segmenter::rootKey(root);
        auto at = byKey_.constFind(key);
        if (at == byKey_.cend()) {
            at = byKey_.insert(key, static_cast<int>(roots_.size()));
            roots_.push_back({});
            roots_.back().root = root;
        }
        RootFigures& f = roots_[*at];
        f.keywords += sign;
        if (search) {
            f.search += sign * *search;
            f.searchRows += sign;
        }
        if (trade) {
            f.trade += sign * *trade;
            f.tradeRows += sign;
        }
        if (items) {
            f.items += sign * *items;
            f.itemRows += sign;
        }
        if (search && items) {
            f.bothSearch += sign * *search;
            f.bothItems += sign * *items;
            f.bothRows += sign;
        }
    }
}

std::vector<RootFigures> RootTotals::roots() const {
    std::vector<RootFigures> held;
    std::copy_if(roots_.begin(), roots_.end(), std::back_inserter(held),
                 [](const RootFigures& f) { return f.keywords > 0; });
    return held;
}

const RootFigures* RootTotals::find(QStringView root) const {
    const auto at = byKey_.constFind(Segmenter::rootKey(root));
    return at == byKey_.cend() || roots_[*at].keywords <= 0 ? nullptr : &roots_[*at];
}

std::vector<RootFigures> rootTable(const std::vector<Row>& rows, const Segmenter& segmenter) {
    RootTotals totals(segmenter);
    for (const Row& row : rows)
        totals.add(row);
    return totals.roots();
}

void sortBySearch(std::vector<RootFigures>& roots) {
    std::stable_sort(roots.begin(), roots.end(), [](const RootFigures& a, const RootFigures& b) {
        const auto x = a.searchIndex(), y = b.searchIndex();
        if (x.has_value() != y.has_value())
            return x.has_value();
        if (x && *x != *y)
            return *x > *y;
        return a.root < b.root;
    });
}

QStringList rootCaptions() {
    return {QStringLiteral("词根"),     QStringLiteral("关键词数"), QStringLiteral("搜索指数"),
            QStringLiteral("成交指数"), QStringLiteral("宝贝数"),   QStringLiteral("机会")};
}

QString figureText(double value) {
    if (std::nearbyint(value) == value && std::abs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'f', 2);
}

QStringList rootCells(const RootFigures& f) {
    const auto text = [](std::optional<double> v) { return v ? figureText(*v) : QString(); };
    return {f.root,
            QString::number(f.keywords),
            text(f.searchIndex()),
            text(f.tradeIndex()),
            text(f.itemCount()),
            opportunityText(f.opportunity())};
}

} // namespace quilla
