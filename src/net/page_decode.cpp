#include "net/page_decode.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>
#include <span>
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

// Labels that the web reads with another decoder than ICU's alias table
// gives, by the name that decoder is opened with. The GBK family reads as
// GB18030, its superset; Latin-1 and ASCII as windows-1252, as every browser
// reads them. ICU takes cp874 for IBM's Thai set and names that TIS-620, a
// name it opens as Windows' Thai set; Windows' Thai set and ISO-8859-11 it
// cannot name at all. The web reads all of them as windows-874.
constexpr std::string_view gbkFamily[] = {
    "gbk",   "gb2312",  "gb_2312",     "gb_2312-80",      "gb18030",  "cp936",
    "ms936", "x-gbk",   "windows-936", "euc-cn",          "x-euc-cn", "csgb2312",
    "csgbk", "chinese", "iso-ir-58",   "csiso58gb231280", "936"};
constexpr std::string_view latin1Names[] = {"iso-8859-1", "us-ascii"};
constexpr std::string_view thaiNames[] = {
    "windows-874", "tis-620",    "cp874",     "dos-874",       "ms874", "x-windows-874",
    "iso-8859-11", "iso8859-11", "iso885911", "x-iso-8859-11", "thai8"};

struct WebCharset {
    const char* charset;
    std::span<const std::string_view> labels;
};
constexpr WebCharset webCharsets[] = {
    {fallbackCharset, gbkFamily}, {"windows-1252", latin1Names}, {"windows-874", thaiNames}};

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

// The web's decoder for a label in lower case, where it is not ICU's.
const char* webCharset(QByteArrayView label) {
    const std::string_view name(label.data(), static_cast<std::size_t>(label.size()));
    for (const WebCharset& set : webCharsets)
        if (std::find(set.labels.begin(), set.labels.end(), name) != set.labels.end())
            return set.charset;
    return nullptr;
}

// A page's character set and its decoder, opened by that very name: what a
// page is said to be decoded with is what it is decoded with.
struct PageDecoder {
    QByteArray charset;
    QStringDecoder decoder;
};

std::optional<PageDecoder> openByName(QByteArray charset) {
    QStringDecoder decoder(charset.constData(), decodeFlags);
    if (!decoder.isValid())
        return std::nullopt;
    return PageDecoder{std::move(charset), std::move(decoder)};
}

// The character set a declared label names, when a decoder knows it. ICU's
// name for its decoder goes through the web's labels too (it names IBM's Thai
// set TIS-620). Opened by its name, a set that Qt decodes itself gets Qt's
// decoder even where the label reached ICU's (x-utf-8, ucs-2).
std::optional<PageDecoder> declaredDecoder(const QByteArray& label) {
    if (label.isEmpty())
        return std::nullopt;
    if (const char* web = webCharset(label))
        return openByName(web);
    const QStringDecoder decoder(label.constData(), decodeFlags);
    // Some of ICU's decoders (ISCII, LMBCS, ...) have no name to be opened by.
    if (!decoder.isValid() || decoder.name() == nullptr)
        return std::nullopt;
    const QByteArray name(decoder.name());
    if (const char* web = webCharset(name.toLower()))
        return openByName(web);
    return openByName(name);
}

// Qt's own sets and GB18030 always open.
PageDecoder decoderFor(const QByteArray& body, const QByteArray& contentType) {
    if (const auto bom = QStringConverter::encodingForData(body))
        return *openByName(QStringConverter::nameForEncoding(*bom));
    if (auto decoder = declaredDecoder(charsetParameter(contentType.toLower())))
        return std::move(*decoder);
    if (auto decoder = declaredDecoder(metaCharset(body))) {
        // A page whose <meta> could be read as ASCII is not UTF-16.
        if (decoder->charset.startsWith("UTF-16"))
            return *openByName(QStringConverter::nameForEncoding(QStringConverter::Utf8));
        return std::move(*decoder);
    }
    return *openByName(fallbackCharset);
}

// No multi-byte character set of the web has these bytes inside a character.
bool standsAlone(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x30 || (byte >= 0x3A && byte <= 0x3F);
}

// Qt's ICU-backed decoders drop a character cut off at the end of the input
// rather than replacing it; its own (UTF-8, UTF-16, ...) replace it.
bool dropsCutOffEnd(const QByteArray& charset) {
    return !QStringConverter::encodingForName(charset.constData()).has_value();
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
    return decoderFor(body, contentTypeHeader).charset;
}

QString decodePage(const QByteArray& body, const QByteArray& contentTypeHeader) {
    if (body.isEmpty())
        return {};
    auto [charset, decoder] = decoderFor(body, contentTypeHeader);
    const bool cutOff = dropsCutOffEnd(charset) && endsInsideCharacter(charset.constData(), body);
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
