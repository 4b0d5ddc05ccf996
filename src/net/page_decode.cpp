#include "net/page_decode.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <string_view>

namespace quilla {
namespace {

// Far enough into a page to pass the <meta> declarations of its head.
constexpr qsizetype metaScanLength = 4096;
// A declared name longer than this is no character set's.
constexpr qsizetype maxCharsetLength = 40;
// Bytes decoded at a time when looking for a character cut off at the end.
constexpr qsizetype tailSliceLength = 64 * 1024;

constexpr auto decodeFlags = QStringDecoder::Flag::Stateless;
constexpr const char* fallbackCharset = "GB18030";

// Names of the GBK family; GB18030 reads every page written in it.
constexpr std::string_view gbkFamily[] = {
    "gbk",   "gb2312",  "gb_2312",     "gb_2312-80",      "gb18030",  "cp936",
    "ms936", "x-gbk",   "windows-936", "euc-cn",          "x-euc-cn", "csgb2312",
    "csgbk", "chinese", "iso-ir-58",   "csiso58gb231280", "936"};

bool isCharsetChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

qsizetype skipWhile(QByteArrayView text, qsizetype i, bool (*skip)(char)) {
    while (i < text.size() && skip(text[i]))
        ++i;
    return i;
}

// The value of the first `charset=` in `text`, which is already lower case.
QByteArray charsetParameter(QByteArrayView text) {
    constexpr QByteArrayView key("charset");
    for (qsizetype at = text.indexOf(key); at >= 0; at = text.indexOf(key, at + 1)) {
        qsizetype i = skipWhile(text, at + key.size(), isSpace);
        if (i >= text.size() || text[i] != '=')
            continue;
        i = skipWhile(text, i + 1, [](char c) { return isSpace(c) || c == '"' || c == '\''; });
        const qsizetype end = skipWhile(text, i, isCharsetChar);
        if (end == i || end - i > maxCharsetLength)
            return {};
        return text.sliced(i, end - i).toByteArray();
    }
    return {};
}

// The charset that a <meta charset> or http-equiv declaration near the top names.
QByteArray metaCharset(const QByteArray& body) {
    std::array<char, metaScanLength> head; // on the stack: most pages are small
    const qsizetype length = std::min(body.size(), metaScanLength);
    std::transform(body.begin(), body.begin() + length, head.begin(), asciiLower);
    const QByteArrayView view(head.data(), length);
    for (qsizetype at = view.indexOf("<meta"); at >= 0; at = view.indexOf("<meta", at + 1)) {
        qsizetype end = view.indexOf('>', at);
        if (end < 0)
            end = view.size();
        QByteArray label = charsetParameter(view.sliced(at, end - at));
        if (!label.isEmpty())
            return label;
    }
    return {};
}

bool isGbkFamily(const QByteArray& label) {
    const std::string_view name(label.constData(), static_cast<std::size_t>(label.size()));
    return std::find(std::begin(gbkFamily), std::end(gbkFamily), name) != std::end(gbkFamily);
}

// A decoder for a declared name, when one knows it. Pages that say Latin-1 or
// ASCII are written in windows-1252, as every browser reads them.
std::optional<QStringDecoder> declaredDecoder(const QByteArray& label) {
    if (label.isEmpty())
        return std::nullopt;
    if (isGbkFamily(label))
        return QStringDecoder(fallbackCharset, decodeFlags);
    QStringDecoder decoder(label.constData(), decodeFlags);
    // Some of ICU's decoders (ISCII, LMBCS, ...) have no name to be opened by
    // again; the cut-off check would open the default one in their place.
    if (!decoder.isValid() || decoder.name() == nullptr)
        return std::nullopt;
    const QByteArrayView name(decoder.name());
    if (name == "GBK" || name == "GB2312" || name == "GB_2312-80")
        return QStringDecoder(fallbackCharset, decodeFlags);
    if (name == "ISO-8859-1" || name == "US-ASCII")
        return QStringDecoder("windows-1252", decodeFlags);
    // ICU also answers to names that Qt does not know for sets that Qt decodes
    // itself (x-utf-8, ucs-2, ...). Made as Qt's, the decoder is the one its
    // name opens, and the cut-off check, which goes by the name, holds for it.
    if (const auto own = QStringConverter::encodingForName(decoder.name()))
        return QStringDecoder(*own, decodeFlags);
    return decoder;
}

QStringDecoder decoderFor(const QByteArray& body, const QByteArray& contentType) {
    if (const auto bom = QStringConverter::encodingForData(body))
        return QStringDecoder(*bom, decodeFlags);
    if (auto decoder = declaredDecoder(charsetParameter(contentType.toLower())))
        return std::move(*decoder);
    if (auto decoder = declaredDecoder(metaCharset(body))) {
        // A page whose <meta> could be read as ASCII is not UTF-16.
        if (QByteArrayView(decoder->name()).startsWith("UTF-16"))
            return QStringDecoder(QStringDecoder::Utf8, decodeFlags);
        return std::move(*decoder);
    }
    return QStringDecoder(fallbackCharset, decodeFlags);
}

// No multi-byte character set of the web has these bytes inside a character.
bool standsAlone(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x30 || (byte >= 0x3A && byte <= 0x3F);
}

// Qt's ICU-backed decoders drop a character cut off at the end of the input
// rather than replacing it; its own (UTF-8, UTF-16, ...) replace it.
bool dropsCutOffEnd(const QStringDecoder& decoder) {
    return !QStringConverter::encodingForName(decoder.name()).has_value();
}

// Whether the last bytes are the start of a character that never ends: from
// the last byte that stands alone, where a character surely begins, decode
// with state kept, then see whether a space comes out on its own. Slices keep
// a long run of multi-byte text from costing more than a slice of memory.
bool endsInsideCharacter(const char* charset, QByteArrayView body) {
    if (body.isEmpty() || standsAlone(body[body.size() - 1]))
        return false;
    qsizetype start = body.size();
    while (start > 0 && !standsAlone(body[start - 1]))
        --start;
    QStringDecoder decoder(charset);
    QString scratch(decoder.requiredSpace(tailSliceLength), Qt::Uninitialized);
    for (qsizetype at = start; at < body.size(); at += tailSliceLength)
        decoder.appendToBuffer(scratch.data(),
                               body.sliced(at, std::min(tailSliceLength, body.size() - at)));
    const QString afterwards = decoder.decode(QByteArrayView(" "));
    return afterwards != u" ";
}

bool isSurrogate(char16_t c) {
    return (c & 0xF800) == 0xD800;
}

// Where the first surrogate stands, or `end`. Most pages hold none, so the
// text is read in blocks by a loop without an early exit, which the compiler
// makes vector code of.
QChar* firstSurrogate(QChar* begin, QChar* end) {
    constexpr qsizetype block = 64;
    const char16_t* at = reinterpret_cast<const char16_t*>(begin);
    const char16_t* const stop = reinterpret_cast<const char16_t*>(end);
    for (; stop - at >= block; at += block) {
        unsigned found = 0; // not a bool: that would keep the loop scalar
        for (qsizetype i = 0; i < block; ++i)
            found |= isSurrogate(at[i]) ? 1u : 0u;
        if (found != 0)
            break;
    }
    while (at != stop && !isSurrogate(*at))
        ++at;
    return begin + (at - reinterpret_cast<const char16_t*>(begin));
}

// Qt's UTF-16 and UTF-32 decoders pass ill-formed input through as lone
// surrogates, which are no text either.
void replaceLoneSurrogates(QChar* begin, QChar* end) {
    for (QChar* c = firstSurrogate(begin, end); c != end; ++c) {
        if (c->isHighSurrogate() && c + 1 != end && c[1].isLowSurrogate())
            ++c;
        else if (c->isSurrogate())
            *c = QChar::ReplacementCharacter;
    }
}

} // namespace

QByteArray pageCharset(const QByteArray& body, const QByteArray& contentTypeHeader) {
    return QByteArray(decoderFor(body, contentTypeHeader).name());
}

QString decodePage(const QByteArray& body, const QByteArray& contentTypeHeader) {
    if (body.isEmpty())
        return {};
    QStringDecoder decoder = decoderFor(body, contentTypeHeader);
    const bool cutOff = dropsCutOffEnd(decoder) && endsInsideCharacter(decoder.name(), body);
    // Room for the replacement up front: appending later would copy the text.
    QString text(decoder.requiredSpace(body.size()) + 1, Qt::Uninitialized);
    QChar* end = decoder.appendToBuffer(text.data(), body);
    replaceLoneSurrogates(text.data(), end);
    if (cutOff)
        *end++ = QChar::ReplacementCharacter;
    text.truncate(end - text.constData());
    return text;
}

} // namespace quilla
