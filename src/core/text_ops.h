#pragma once

// Text operations with 1-based character positions. A character is a Unicode
// code point, so a cut never splits a surrogate pair. A search that finds
// nothing gives 0; an operation that cannot be done gives std::nullopt and the
// caller keeps its old value.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilla {

using Text = std::u32string;
using TextView = std::u32string_view;

Text toText(const QString& s);
// The same in one pass, leaving out every character of `dropped`; a lone
// surrogate becomes U+FFFD.
Text toTextWithout(const QString& s, TextView dropped);
QString toQString(TextView t);

// `s` without the characters of `dropped`, lone surrogates as U+FFFD.
QString copyWithout(QStringView s, std::u16string_view dropped);

// Position of the first occurrence of `m` in `s`, 0 when there is none.
std::int64_t find(TextView s, TextView m);

// Up to `n` characters from position `p`; empty when `p` is past the end.
// Fails when `p` is below 1 or `n` is negative.
std::optional<TextView> take(TextView s, std::int64_t p, std::int64_t n);

// The characters from `p` up to, not including, the last one. Fails when `p`
// is below 1 or past the last character; `p` at the last character gives "".
std::optional<TextView> cut(TextView s, std::int64_t p);

// The first `n` characters (all of `s` when `n` is at least its length).
// Fails when `n` is negative.
std::optional<TextView> left(TextView s, std::int64_t n);

// Pieces between commas; "" gives none, a text without a comma one piece.
std::vector<TextView> split(TextView t);

// Piece `i` of `pieces`; fails when `i` is negative or not below the count.
std::optional<TextView> piece(const std::vector<TextView>& pieces, std::int64_t i);

// Every U+0020 deleted, nothing else.
Text removeSpaces(TextView s);

// Every occurrence of `from` replaced by `to`.
Text replaceAll(TextView s, TextView from, TextView to);

} // namespace quilla
