#include "titles/title_composer.h"

#include "results/cell_values.h"
#include "segmenter/segmenter.h"
#include "titles/root_table.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <coin/Cbc_C_Interface.h>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

bool isAsciiAlnum(QChar c) {
    return c.unicode() < 128 && c.isLetterOrNumber();
}

std::vector<double> rootDemand(const TitleProblem& p) {
    std::vector<double> demand(p.roots.size(), 0.0);
    for (size_t k = 0; k < p.keywords.size(); ++k)
        for (const int r : p.keywords[k])
            demand[r] += p.demand[k];
    return demand;
}

struct Group {
    std::vector<int> roots; // sorted
    double demand = 0;
};

struct Model {
    std::unique_ptr<Cbc_Model, void (*)(Cbc_Model*)> cbc{Cbc_newModel(), Cbc_deleteModel};
};

enum class Outcome { Found, None, OutOfTime };

// One solve: the best valid root set not among `excluded`.
Outcome solveOnce(const std::vector<int>& candidates, const std::vector<Group>& groups,
                  const std::vector<int>& bytes, const std::vector<bool>& must, int budget,
                  const std::vector<std::vector<int>>& excluded, double seconds,
                  std::vector<int>& chosen, bool& capHit) {
    Model model;
    Cbc_Model* m = model.cbc.get();
    Cbc_setLogLevel(m, 0);
    Cbc_setParameter(m, "timeMode", "elapsed");
    Cbc_setMaximumSeconds(m, std::max(seconds, 0.01));
    Cbc_setAllowableGap(m, 0);
    Cbc_setAllowableFractionGap(m, 0);
    Cbc_setObjSense(m, -1);
    const int roots = static_cast<int>(candidates.size());
    for (int r = 0; r < roots; ++r)
        Cbc_addCol(m, "", must[r] ? 1 : 0, 1, 0, 1, 0, nullptr, nullptr);
    for (const Group& g : groups)
        Cbc_addCol(m, "", 0, 1, g.demand, 1, 0, nullptr, nullptr);

    std::vector<std::vector<int>> groupsOf(roots);
    for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
        for (const int r : groups[g].roots) {
            // Covered only with all its roots.
            const int cols[] = {roots + g, r};
            const double coefs[] = {1, -1};
            Cbc_addRow(m, "", 2, cols, coefs, 'L', 0);
            groupsOf[r].push_back(roots + g);
        }
    }
    // A root that is not a must is there for a covered keyword.
    for (int r = 0; r < roots; ++r) {
        if (must[r])
            continue;
        std::vector<int> cols{r};
        std::vector<double> coefs{1};
        for (const int g : groupsOf[r]) {
            cols.push_back(g);
            coefs.push_back(-1);
        }
        Cbc_addRow(m, "", static_cast<int>(cols.size()), cols.data(), coefs.data(), 'L', 0);
    }
    {
        std::vector<int> cols(roots);
        std::iota(cols.begin(), cols.end(), 0);
        std::vector<double> coefs(bytes.begin(), bytes.end());
        Cbc_addRow(m, "", roots, cols.data(), coefs.data(), 'L', budget);
    }
    // Differs from each set found or refused before by at least one root.
    for (const std::vector<int>& set : excluded) {
        std::vector<int> cols(roots);
        std::iota(cols.begin(), cols.end(), 0);
        std::vector<double> coefs(roots, 1);
        for (const int r : set)
            coefs[r] = -1;
        Cbc_addRow(m, "", roots, cols.data(), coefs.data(), 'G',
                   1 - static_cast<double>(set.size()));
    }

    Cbc_solve(m);
    const bool outOfTime = Cbc_isSecondsLimitReached(m);
    if (outOfTime)
        capHit = true;
    const double* x = Cbc_getColSolution(m);
    if (!x || Cbc_isProvenInfeasible(m))
        return outOfTime ? Outcome::OutOfTime : Outcome::None;

    // Take the roots only after checking that they make a valid title: the
    // solver's answer is not trusted further than that.
    chosen.clear();
    long used = 0;
    for (int r = 0; r < roots; ++r)
        if (x[r] > 0.5) {
            chosen.push_back(r);
            used += bytes[r];
        }
    std::vector<bool> in(roots, false);
    for (const int r : chosen)
        in[r] = true;
    bool valid = used <= budget;
    for (int r = 0; r < roots && valid; ++r) {
        if (must[r] && !in[r])
            valid = false;
        if (in[r] && !must[r]) {
            bool needed = false;
            for (const int g : groupsOf[r]) {
                const auto& gr = groups[g - roots].roots;
                needed = needed || std::all_of(gr.begin(), gr.end(), [&](int s) { return in[s]; });
            }
            valid = valid && needed;
        }
    }
    for (const std::vector<int>& set : excluded)
        valid = valid && set != chosen;
    if (!valid)
        return outOfTime ? Outcome::OutOfTime : Outcome::None;
    return Outcome::Found;
}

} // namespace

int titleBytes(QStringView title) {
    int bytes = 0;
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (title[i].isHighSurrogate() && i + 1 < title.size() && title[i + 1].isLowSurrogate())
            ++i;
        bytes += title[i].unicode() < 128 ? 1 : 2;
    }
    return bytes;
}

QString joinRoots(const QStringList& roots) {
    QString text;
    for (const QString& root : roots) {
        if (root.isEmpty())
            continue;
        if (!text.isEmpty() && isAsciiAlnum(text.back()) && isAsciiAlnum(root.front()))
            text += u' ';
        text += root;
    }
    return text;
}

Title titleOf(const TitleProblem& p, const std::vector<int>& roots) {
    std::vector<bool> in(p.roots.size(), false);
    for (const int r : roots)
        in[r] = true;
    Title title;
    for (size_t k = 0; k < p.keywords.size(); ++k) {
        const auto& kr = p.keywords[k];
        if (!kr.empty() && std::all_of(kr.begin(), kr.end(), [&](int r) { return in[r]; })) {
            title.covered.push_back(static_cast<int>(k));
            title.demand += p.demand[k];
        }
    }
    std::stable_sort(title.covered.begin(), title.covered.end(),
                     [&](int a, int b) { return p.demand[a] > p.demand[b]; });

    std::vector<int> order;
    std::vector<bool> placed(p.roots.size(), false);
    if (!title.covered.empty())
        for (const int r : p.keywords[title.covered.front()])
            if (!placed[r]) {
                order.push_back(r);
                placed[r] = true;
            }
    std::vector<int> rest;
    for (const int r : roots)
        if (!placed[r]) {
            rest.push_back(r);
            placed[r] = true;
        }
    const std::vector<double> demand = rootDemand(p);
    std::stable_sort(rest.begin(), rest.end(), [&](int a, int b) {
        if (demand[a] != demand[b])
            return demand[a] > demand[b];
        return p.roots[a] < p.roots[b];
    });
    order.insert(order.end(), rest.begin(), rest.end());
    for (const int r : order)
        title.roots.append(p.roots[r]);
    title.text = joinRoots(title.roots);
    title.bytes = titleBytes(title.text);
    return title;
}

Composition compose(const TitleProblem& p, int count, double seconds) {
    QElapsedTimer clock;
    clock.start();
    Composition result;
    const int all = static_cast<int>(p.roots.size());
    std::vector<bool> must(all, false), banned(all, false);
    for (const int r : p.must)
        must[r] = true;
    for (const int r : p.exclude)
        banned[r] = true;
    std::vector<int> rootBytes(all);
    int mustBytes = 0;
    for (int r = 0; r < all; ++r) {
        rootBytes[r] = titleBytes(p.roots[r]);
        if (must[r]) {
            if (banned[r])
                return result;
            mustBytes += rootBytes[r];
        }
    }

    // Keywords with demand that could fit, one group per set of roots.
    std::map<std::vector<int>, double> sets;
    for (size_t k = 0; k < p.keywords.size(); ++k) {
        if (!(p.demand[k] > 0) || p.keywords[k].empty())
            continue;
        std::vector<int> roots = p.keywords[k];
        std::sort(roots.begin(), roots.end());
        int extra = 0;
        bool allowed = true;
        for (const int r : roots) {
            allowed = allowed && !banned[r];
            if (!must[r])
                extra += rootBytes[r];
        }
        if (allowed && mustBytes + extra <= p.budget)
            sets[roots] += p.demand[k];
    }
    // The roots in play, numbered anew for the solver.
    std::vector<int> candidates;
    std::vector<int> local(all, -1);
    const auto take = [&](int r) {
        if (local[r] < 0) {
            local[r] = static_cast<int>(candidates.size());
            candidates.push_back(r);
        }
        return local[r];
    };
    for (int r = 0; r < all; ++r)
        if (must[r])
            take(r);
    std::vector<Group> groups;
    for (const auto& [roots, demand] : sets) {
        Group g;
        for (const int r : roots)
            g.roots.push_back(take(r));
        std::sort(g.roots.begin(), g.roots.end());
        g.demand = demand;
        groups.push_back(std::move(g));
    }
    std::vector<int> bytes;
    std::vector<bool> localMust;
    for (const int r : candidates) {
        bytes.push_back(rootBytes[r]);
        localMust.push_back(must[r]);
    }

    std::vector<std::vector<int>> excluded;
    // Each found set, and each refused because spaces between ASCII roots
    // took it over the budget, is excluded from the next solve.
    for (int solves = 0; solves < 1000 && static_cast<int>(result.titles.size()) < count;
         ++solves) {
        const double left = seconds - clock.elapsed() / 1000.0;
        if (left <= 0) {
            result.capHit = true;
            break;
        }
        std::vector<int> chosen;
        const Outcome outcome = solveOnce(candidates, groups, bytes, localMust, p.budget, excluded,
                                          left, chosen, result.capHit);
        if (outcome != Outcome::Found || chosen.empty())
            break;
        excluded.push_back(chosen);
        std::vector<int> roots;
        for (const int r : chosen)
            roots.push_back(candidates[r]);
        Title title = titleOf(p, roots);
        if (title.bytes <= p.budget)
            result.titles.push_back(std::move(title));
    }
    return result;
}

std::optional<TitleProblem> titleProblem(const std::vector<Row>& rows, const Segmenter& segmenter,
                                         const TitleRequest& request, QString* why) {
    TitleProblem p;
    p.budget = request.budget;
    QHash<QString, int> byKey;
    const auto rootIndex = [&](const QString& root) {
        const QString key = Segmenter::rootKey(root);
        auto at = byKey.constFind(key);
        if (at == byKey.cend()) {
            at = byKey.insert(key, static_cast<int>(p.roots.size()));
            p.roots.append(root);
        }
        return *at;
    };
    for (const Row& row : rows) {
        std::vector<int> roots;
        for (const QString& root : distinctRoots(segmenter, row.keyword()))
            roots.push_back(rootIndex(root));
        p.keywords.push_back(std::move(roots));
        p.demand.push_back(indexValue(row.fields.value(column::searchYesterday)).value_or(0));
    }
    const auto rootsOf = [&](const QString& word, bool add, std::vector<int>& into) {
        const QString trimmed = word.trimmed();
        if (const auto at = byKey.constFind(Segmenter::rootKey(trimmed)); at != byKey.cend()) {
            into.push_back(*at);
            return true;
        }
        const QStringList pieces = segmenter.segment(trimmed);
        for (const QString& piece : pieces) {
            if (add)
                into.push_back(rootIndex(piece));
            else if (const auto at = byKey.constFind(Segmenter::rootKey(piece)); at != byKey.cend())
                into.push_back(*at);
        }
        if (pieces.isEmpty() && why)
            *why = u"“"_s + word + u"” holds no word"_s;
        return !pieces.isEmpty();
    };
    for (const QString& word : request.must)
        if (!rootsOf(word, true, p.must))
            return std::nullopt;
    for (const QString& word : request.exclude)
        if (!rootsOf(word, false, p.exclude))
            return std::nullopt;
    for (const int r : p.must)
        if (std::find(p.exclude.begin(), p.exclude.end(), r) != p.exclude.end()) {
            if (why)
                *why = u"“"_s + p.roots[r] + u"” is both required and excluded"_s;
            return std::nullopt;
        }
    std::sort(p.must.begin(), p.must.end());
    p.must.erase(std::unique(p.must.begin(), p.must.end()), p.must.end());
    return p;
}

double totalDemand(const TitleProblem& p) {
    return std::accumulate(p.demand.begin(), p.demand.end(), 0.0);
}

} // namespace quilla
