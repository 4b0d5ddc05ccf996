// Keyword import: whatever a file holds, every keyword comes out as a search
// box takes it (trimmed, non-empty, one line, no tab, control character or
// byte-order mark), each once, never the header nor one the table holds; and
// the same text saved as UTF-8, UTF-16 or GB18030 gives the same keywords.

#include "fuzz_support.h"

#include "core/list_headers.h"
#include "results/keyword_import.h"

#include <QSet>
#include <QStringEncoder>

#include <algorithm>

namespace {

using namespace quilla::fuzz;

bool isLineBreakOrTab(char16_t u) {
    return u == u'\n' || u == u'\r' || u == u'\t' || u == 0x0B || u == 0x0C || u == 0x85 ||
           u == 0x2028 || u == 0x2029;
}

bool isInvisible(char16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0xFEFF;
}

// What the table holds already, in the test: any keyword of a length divisible by three.
bool present(const QString& k) {
    return k.size() % 3 == 0;
}

QByteArray encoded(const QString& text, const char* encoding) {
    QStringEncoder encoder(encoding, QStringEncoder::Flag::Stateless);
    return encoder.encode(text);
}

QByteArray withUtf16Bom(const QString& text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

// The keywords of `bytes`, also with a table and without a header caption,
// which must agree: `present` and the caption only ever take keywords out.
QStringList checkedImport(const QByteArray& bytes) {
    const QString caption = quilla::resultHeader().value(0);
    const quilla::KeywordImport plain = quilla::keywordsFromFile(bytes, QString(), {});
    const quilla::KeywordImport all = quilla::keywordsFromFile(bytes, caption, {});
    const quilla::KeywordImport fresh = quilla::keywordsFromFile(bytes, caption, present);
    FUZZ_CHECK(plain.refused.isEmpty() && all.refused.isEmpty() && fresh.refused.isEmpty());

    QSet<QString> seen;
    for (const QString& k : plain.added) {
        FUZZ_CHECK(!k.isEmpty());
        FUZZ_CHECK(k == k.trimmed());
        FUZZ_CHECK(std::none_of(k.cbegin(), k.cend(), [](QChar c) {
            return isLineBreakOrTab(c.unicode()) || isInvisible(c.unicode());
        }));
        seen.insert(k);
    }
    FUZZ_CHECK(seen.size() == plain.added.size());

    QStringList withoutCaption = plain.added;
    const bool hadCaption = withoutCaption.removeOne(caption);
    FUZZ_CHECK(all.added == withoutCaption);
    FUZZ_CHECK(all.skipped == plain.skipped + (hadCaption ? 1 : 0));

    QStringList notPresent;
    std::copy_if(all.added.cbegin(), all.added.cend(), std::back_inserter(notPresent),
                 [](const QString& k) { return !present(k); });
    FUZZ_CHECK(fresh.added == notPresent);
    FUZZ_CHECK(fresh.skipped == all.skipped + (all.added.size() - notPresent.size()));
    return all.added;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = bytesOf(data, size);
    checkedImport(bytes);

    // The same text saved in another encoding. Only for texts that are plain
    // ASCII or hold CJK: for a short text without CJK the import deliberately
    // prefers a CJK reading of its bytes (the GB18030 of "猫" is the UTF-8 of
    // "è"). A text with U+0000 is no text file: its zero bytes read as UTF-16.
    const QString text = wellFormed(textOf(bytes));
    const std::u32string points = codePoints(text);
    const bool ascii =
        std::all_of(points.begin(), points.end(), [](char32_t u) { return u < 0x80; });
    const bool cjk = std::any_of(points.begin(), points.end(), quilla::isCjkCharacter);
    if (text.contains(QChar(0)) || !(ascii || cjk))
        return 0;
    const QStringList meant = quilla::keywordsFrom(text, quilla::resultHeader().value(0), {}).added;
    FUZZ_CHECK(checkedImport(encoded(text, "UTF-8")) == meant);
    FUZZ_CHECK(checkedImport(QByteArray("\xEF\xBB\xBF") + encoded(text, "UTF-8")) == meant);
    FUZZ_CHECK(checkedImport(withUtf16Bom(text, QStringConverter::Utf16LE)) == meant);
    FUZZ_CHECK(checkedImport(withUtf16Bom(text, QStringConverter::Utf16BE)) == meant);
    if (ascii) // without a byte-order mark UTF-16 is told by its zero bytes
        FUZZ_CHECK(checkedImport(encoded(text, "UTF-16LE")) == meant);
    // GB18030 bytes that are also valid UTF-8 are ambiguous: the import
    // settles them by its rule for UTF-8, which the checks above cover. A
    // character GB18030 cannot carry back (a mapping that changed between its
    // editions) leaves nothing to compare.
    const QByteArray gb18030 = encoded(text, "GB18030");
    QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
    utf8.decode(gb18030);
    QStringDecoder back("GB18030", QStringDecoder::Flag::Stateless);
    if (utf8.hasError() && back.decode(gb18030) == text)
        FUZZ_CHECK(checkedImport(gb18030) == meant);
    return 0;
}
