#pragma once

// Byte and text conversions at the edges of the fake marketplace: query
// strings, the search page's GB18030 and texts placed into page scripts.

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace quilla::fake_market {

// The still-encoded value of the first parameter called `name` in a raw query
// string ("a=1&q=%C4%E3"); empty when there is none.
std::string rawQueryValue(std::string_view query, std::string_view name);

// %XX sequences to bytes and '+' to a space; a malformed % stays as it is.
QByteArray percentDecoded(std::string_view text);

QString fromGb18030(const QByteArray& bytes);
QByteArray toGb18030(const QString& text);

// Every byte of the GB18030 form except ASCII letters, digits and -._~ as
// %XX with upper-case hex: how the program puts a keyword into the address.
QString gb18030PercentEncoded(const QString& text);

// A double-quoted JavaScript string literal holding only printable ASCII:
// everything else, and quotes, backslashes and '<', as \uXXXX escapes.
QString jsStringLiteral(const QString& text);

} // namespace quilla::fake_market
