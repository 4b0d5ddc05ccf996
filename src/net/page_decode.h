#pragma once

// Turning the bytes of a fetched page into text. The whole body is decoded in
// one go, so a character never breaks where the network happened to split it.

#include <QByteArray>
#include <QString>

namespace quilla {

// The character set a page is decoded with, by the name its decoder is
// opened with (a QStringDecoder opened by that name is the one decodePage
// uses): a byte-order mark, else the charset of the Content-Type header, else
// the one a <meta> tag near the top of the page declares, else GB18030. The
// GBK family (gbk, gb2312, cp936, ...) reads as GB18030, its superset; the
// Thai names (tis-620, cp874, iso-8859-11, ...) as windows-874, as browsers
// read them; a name that no decoder knows counts as no declaration.
QByteArray pageCharset(const QByteArray& body, const QByteArray& contentTypeHeader);

// The body as text in that character set; bytes that are not valid in it,
// including a character cut off at the very end, become U+FFFD.
QString decodePage(const QByteArray& body, const QByteArray& contentTypeHeader);

} // namespace quilla
