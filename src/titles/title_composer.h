#pragma once

// The title composer (标题): which root words go into a listing's title so
// that the keywords it covers (every root of the keyword in the title) carry
// the most demand within the title's byte budget.

#include "core/row_list.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quilla {

class Segmenter;

// Bytes as the marketplace counts them: 1 for an ASCII character, 2 for any
// other (a surrogate pair is one character).
int titleBytes(QStringView title);
// Roots written one after another; a space only where an ASCII letter or
// digit would otherwise run into the next one.
QString joinRoots(const QStringList& roots);

// The composer's input, roots by index.
struct TitleProblem {
    QStringList roots;                      // distinct (case-insensitively)
    std::vector<std::vector<int>> keywords; // each keyword's roots, in its order, each once
    std::vector<double> demand;             // each keyword's search index, 0 without one
    std::vector<int> must, exclude;         // roots a title must hold / must not hold
    int budget = 60;                        // bytes
};

struct Title {
    QStringList roots; // in title order
    QString text;
    int bytes = 0;
    double demand = 0;        // of the covered keywords
    std::vector<int> covered; // keywords whose roots are all in the title, most demand first
};

// The title these roots make: the most demanded covered keyword's roots first,
// in its order, then the others by their demand (the search index of the
// keywords that hold them), largest first.
Title titleOf(const TitleProblem& problem, const std::vector<int>& roots);

struct Composition {
    // The best title, then the next best ones, each differing from those
    // before by at least one root; empty when none fits.
    std::vector<Title> titles;
    // The time cap stopped the search: the titles are the best found, not
    // proven the best.
    bool capHit = false;
};

// Titles made only of must roots and roots of covered keywords with demand,
// within the budget, by covered demand. Exact (an integer program solved by
// CBC) unless `seconds` run out.
Composition compose(const TitleProblem& problem, int count = 3, double seconds = 1.0);

struct TitleRequest {
    QStringList must, exclude; // roots, or words that split into roots
    int budget = 60;
};

// The problem for these result rows (no header); a must or excluded word
// that is not a root of the table is taken as the roots it splits into (a
// must one is added when no keyword holds it). Nothing, with the reason, for
// a word that holds no root or is both required and excluded.
std::optional<TitleProblem> titleProblem(const std::vector<Row>& rows, const Segmenter& segmenter,
                                         const TitleRequest& request, QString* why = nullptr);

// The demand of all keywords: what a covered share is a share of.
double totalDemand(const TitleProblem& problem);

} // namespace quilla
