#pragma once

// A seller's own keyword list, pasted or read from a file, as rows for the
// result table.

#include "core/row_list.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace quilla {

// A text file's bytes as text: UTF-8 (with or without a byte-order mark),
// UTF-16 with a byte-order mark, or GB18030 when the bytes are not UTF-8.
QString decodeKeywordFile(const QByteArray& bytes);

struct KeywordImport {
    QStringList added;     // in the order given
    qsizetype skipped = 0; // header lines and keywords already there or given twice
};

// One keyword per line; in comma- or tab-separated text the first field,
// quotes understood. Spaces around a keyword are trimmed; blank lines, a line
// equal to `headerCaption`, and keywords for which `present` holds or that
// came earlier in the text are left out.
KeywordImport keywordsFrom(const QString& text, const QString& headerCaption,
                           const std::function<bool(const QString&)>& present);

// Appends the keywords as rows of the keyword and an empty item count, so
// that index figures land in their own columns; a table without rows gets
// its header row first.
void appendKeywordRows(RowList& table, const QStringList& keywords);

} // namespace quilla
