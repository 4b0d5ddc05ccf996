// Page decoding: the input's first line is the Content-Type header, the rest
// the body. Whatever the bytes and the declaration, decoding gives well-formed
// text (U+FFFD for what is not), in the character set the detection names, with a
// U+FFFD exactly where a character is cut off at the end; valid UTF-8 declared
// as UTF-8 and any text written in GB18030 read back unchanged.

#include "fuzz_support.h"

#include "net/page_decode.h"

#include <QStringEncoder>

#include <optional>

namespace {

using namespace quilla::fuzz;

constexpr qsizetype maxHeaderLength = 256;
const QString replacement(QChar::ReplacementCharacter);

// A strict UTF-8 reader of our own: no overlong forms, surrogates or values
// past U+10FFFF. Nothing when the bytes are not UTF-8.
std::optional<QString> strictUtf8(const QByteArray& bytes) {
    std::u32string out;
    for (qsizetype i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + extra >= bytes.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return std::nullopt;
            c = c << 6 | (t & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return std::nullopt;
        out.push_back(c);
        i += 1 + extra;
    }
    return fromCodePoints(out);
}

bool isAscii(const QByteArray& bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Markup and white space that no multi-byte character of these sets holds:
// garbage around them must not swallow them. (Control characters are left
// out: ICU writes some unmappable bytes as U+001A.)
bool markupByte(unsigned char b) {
    return b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b < 0x30) ||
           (b >= 0x3A && b <= 0x3F);
}

// Character sets of the web whose characters never hold a byte that stands
// alone, and whose decoders keep no shift state.
bool plainMultiByte(const QByteArray& charset) {
    for (const char* name : {"GB18030", "Big5", "Shift_JIS", "EUC-KR", "EUC-JP"})
        if (charset == name)
            return true;
    return false;
}

// What a decoder that keeps its state makes of the body, and whether it is
// still waiting for the rest of a character at the end.
QString statefulRead(const QByteArray& charset, const QByteArray& body, bool& waiting) {
    QStringDecoder decoder(charset.constData());
    const QString text = decoder.decode(body);
    waiting = decoder.decode(QByteArray(" ")) != QStringLiteral(" ");
    return text;
}

void checkDecoding(const QByteArray& body, const QByteArray& header) {
    const QString text = quilla::decodePage(body, header);
    const QByteArray charset = quilla::pageCharset(body, header);
    FUZZ_CHECK(!hasLoneSurrogate(text));
    FUZZ_CHECK(!body.isEmpty() || text.isEmpty());

    QStringDecoder named(charset.constData(), QStringDecoder::Flag::Stateless);
    FUZZ_CHECK(named.isValid());
    const QString plain = wellFormed(named.decode(body));
    FUZZ_CHECK(text == plain || text == plain + replacement);

    if (isAscii(body) && (charset == "GB18030" || charset == "UTF-8" || charset == "windows-1252"))
        FUZZ_CHECK(text == QString::fromLatin1(body));

    if (plainMultiByte(charset)) {
        bool waiting = false;
        const QString whole = wellFormed(statefulRead(charset, body, waiting));
        FUZZ_CHECK(text == (waiting ? whole + replacement : whole));
        for (int b = 0; b < 0x80; ++b) {
            if (markupByte(static_cast<unsigned char>(b)))
                FUZZ_CHECK(body.count(static_cast<char>(b)) == text.count(QChar(b)));
        }
    }
}

// Any text written in GB18030 and served undeclared reads back unchanged; cut
// inside its last character, it reads back with U+FFFD in that character's place.
void checkGb18030RoundTrip(const QString& text) {
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    if (quilla::pageCharset(bytes, {}) != "GB18030")
        return; // a byte-order mark or a <meta> of its own
    FUZZ_CHECK(quilla::decodePage(bytes, {}) == text);
    if (text.isEmpty())
        return;
    const qsizetype lastUnits = text.back().isLowSurrogate() && text.size() > 1 ? 2 : 1;
    QStringEncoder lastEncoder("GB18030");
    const QByteArray last = lastEncoder.encode(text.right(lastUnits));
    FUZZ_CHECK(bytes.endsWith(last));
    for (qsizetype k = 1; k < last.size(); ++k) {
        const QByteArray cutOff = bytes.chopped(k);
        if (quilla::pageCharset(cutOff, {}) == "GB18030")
            FUZZ_CHECK(quilla::decodePage(cutOff, {}) == text.chopped(lastUnits) + replacement);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input = bytesOf(data, size);
    const qsizetype newline = input.left(maxHeaderLength).indexOf('\n');
    const QByteArray header = newline < 0 ? QByteArray() : input.left(newline);
    const QByteArray body = newline < 0 ? input : input.sliced(newline + 1);
    checkDecoding(body, header);

    // The whole input as a body declared UTF-8.
    const QByteArray utf8Header("text/html; charset=utf-8");
    if (const auto exact = strictUtf8(input)) {
        const QString expected = input.startsWith("\xEF\xBB\xBF") ? exact->sliced(1) : *exact;
        FUZZ_CHECK(quilla::decodePage(input, utf8Header) == expected);
    }

    // The input read as UTF-8, written and served as GB18030 pages are.
    checkGb18030RoundTrip(QString::fromUtf8(input));
    return 0;
}
