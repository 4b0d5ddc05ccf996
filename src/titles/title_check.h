#pragma once

// "检查标题": how an existing title does against the table. A keyword is
// covered when each of its roots is among the title's roots (as the
// segmenter splits the title), in any order.

#include "core/row_list.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quilla {

class Segmenter;

struct TitleCheck {
    int bytes = 0;
    QStringList roots;                // the title's roots, each once
    std::vector<std::size_t> covered; // rows covered, most demand first
    double demand = 0;                // their search index
    double share = 0;                 // of the table's demand; 0 when it has none
    QStringList missed;               // roots of highest opportunity not in the title
};

// The title's bytes, the rows it covers and the `missedCount` roots of
// highest opportunity (无竞品 first) it lacks. A paste far longer than any
// title is cut, so that it costs no more than one.
TitleCheck checkTitle(QStringView title, const std::vector<Row>& rows, const Segmenter& segmenter,
                      int missedCount = 5);

} // namespace quilla
