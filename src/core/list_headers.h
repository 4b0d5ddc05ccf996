#pragma once

// The header rows of the two lists, as fields.

#include <QStringList>

namespace quilla {

// {"关键词", "宝贝数"}: keyword, item count.
QStringList candidateHeader();

// The eleven columns of a result row: keyword, item count, then the nine
// index figures in the order the index run appends them.
QStringList resultHeader();

} // namespace quilla
