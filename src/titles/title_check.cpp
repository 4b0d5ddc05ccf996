#include "titles/title_check.h"

#include "results/cell_values.h"
#include "segmenter/segmenter.h"
#include "titles/root_table.h"
#include "titles/title_composer.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace quilla {
namespace {

// Far above any title; a paste beyond it is not a title.
constexpr qsizetype longestTitle = 6000;

double opportunityRank(const RootFigures& f) {
    const Opportunity o = f.opportunity();
    return o.kind == Opportunity::Kind::NoCompetition ? std::numeric_limits<double>::infinity()
                                                      : o.perThousand;
}

} // namespace

TitleCheck checkTitle(QStringView title, const std::vector<Row>& rows, const Segmenter& segmenter,
                      int missedCount) {
    if (title.size() > longestTitle) {
        title = title.first(longestTitle);
        if (title.back().isHighSurrogate())
            title.chop(1);
    }
    TitleCheck check;
    check.bytes = titleBytes(title);
    check.roots = distinctRoots(segmenter, title);
    QSet<QString> held;
    for (const QString& root : check.roots)
        held.insert(Segmenter::rootKey(root));

    std::vector<double> demand(rows.size(), 0);
    double total = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        demand[i] = indexValue(rows[i].fields.value(column::searchYesterday)).value_or(0);
        total += demand[i];
        const QStringList roots = distinctRoots(segmenter, rows[i].keyword());
        const bool covered =
            !roots.isEmpty() && std::all_of(roots.begin(), roots.end(), [&](const QString& r) {
                return held.contains(Segmenter::rootKey(r));
            });
        if (covered) {
            check.covered.push_back(i);
            check.demand += demand[i];
        }
    }
    std::stable_sort(check.covered.begin(), check.covered.end(),
                     [&](std::size_t a, std::size_t b) { return demand[a] > demand[b]; });
    check.share = total > 0 ? check.demand / total : 0;

    std::vector<RootFigures> missed;
    for (RootFigures& f : rootTable(rows, segmenter))
        if (f.opportunity().kind != Opportunity::Kind::Unknown &&
            !held.contains(Segmenter::rootKey(f.root)))
            missed.push_back(std::move(f));
    std::stable_sort(missed.begin(), missed.end(), [](const RootFigures& a, const RootFigures& b) {
        const double x = opportunityRank(a), y = opportunityRank(b);
        if (x != y)
            return x > y;
        if (a.bothSearch != b.bothSearch)
            return a.bothSearch > b.bothSearch;
        return a.root < b.root;
    });
    for (std::size_t i = 0; i < missed.size() && i < static_cast<std::size_t>(missedCount); ++i)
        check.missed.append(missed[i].root);
    return check;
}

} // namespace quilla
