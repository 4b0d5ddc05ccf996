#pragma once

// A seller's own keyword list, pasted or read from a file, as rows for the
// result table.

#include "core/row_list.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace quilla {

// A keyword list is a few megabytes at most; anything larger is no list.
inline constexpr qsizetype maxKeywordFileBytes = 32 * 1024 * 1024;

// A text file's bytes as text. A byte-order mark (UTF-8, UTF-16, UTF-32)
// decides; UTF-16 without one is told by its zero bytes. UTF-8 with enough
// non-ASCII bytes is UTF-8. Otherwise GB18030 and, for a longer text, the
// charset the detector names are read too: the one giving the most CJK
// characters wins, and replaces a short UTF-8 reading only when it is CJK
// throughout and the UTF-8 one holds no CJK (the GB18030 bytes of "猫" are
// also the UTF-8 of "è").
QString decodeKeywordFile(const QByteArray& bytes);

struct KeywordImport {
    QStringList added;     // in the order given
    qsizetype skipped = 0; // header lines and keywords already there or given twice
    QString refused;       // why nothing was read; empty when the text was read
};

// One keyword per record; in comma- or tab-separated text the first field,
// quotes understood. The separator is a tab when the first non-blank record
// holds one outside quotes, else a comma. Records end at any line break
// (also vertical tab, form feed, U+0085, U+2028, U+2029); inside a keyword a
// line break or tab becomes a space, byte-order marks and control characters
// are dropped, and spaces around it are trimmed. Blank records, a record
// equal to `headerCaption`, and keywords for which `present` holds or that
// came earlier in the text are left out.
KeywordImport keywordsFrom(const QString& text, const QString& headerCaption,
                           const std::function<bool(const QString&)>& present);

// Han, kana, hangul, bopomofo, CJK punctuation and full-width forms: what
// makes a reading of a short text the likelier one.
bool isCjkCharacter(char32_t u);

// One file's keywords, decoded and split on their own: a window importing
// several files calls it once per file, appending each file's rows before the
// next so that `present` sees them. A file larger than maxKeywordFileBytes is
// refused.
KeywordImport keywordsFromFile(const QByteArray& bytes, const QString& headerCaption,
                               const std::function<bool(const QString&)>& present);

// Appends the keywords as rows of the keyword and an empty item count, so
// that index figures land in their own columns; a table without rows gets
// its header row first.
void appendKeywordRows(RowList& table, const QStringList& keywords);

} // namespace quilla
