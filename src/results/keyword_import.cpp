#include "results/keyword_import.h"

#include "core/list_headers.h"

#include <QSet>
#include <QStringDecoder>

#include <uchardet.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace quilla {
namespace {

// A text this many non-ASCII bytes long that is UTF-8 is UTF-8: GB18030 text
// that happens to be valid UTF-8 is short.
constexpr qsizetype utf8TrustedFrom = 16;
// Below this the charset detector guesses wildly; its answer is not asked.
constexpr qsizetype detectorFrom = 64;
// What the detector reads of a file.
constexpr qsizetype detectorSample = 64 * 1024;

std::optional<QString> decodedAs(QStringDecoder decoder, QByteArrayView bytes) {
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? std::nullopt : std::optional(std::move(text));
}

std::optional<QString> decodedAs(QStringConverter::Encoding encoding, QByteArrayView bytes) {
    return decodedAs(QStringDecoder(encoding, QStringDecoder::Flag::Stateless), bytes);
}

QString decodedLoosely(QStringDecoder decoder, QByteArrayView bytes) {
    return decoder.decode(bytes);
}

// UTF-16 without a byte-order mark: zero bytes, all on one side of the pairs.
std::optional<QStringConverter::Encoding> utf16ByZeros(QByteArrayView bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0)
        return std::nullopt;
    qsizetype even = 0, odd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == 0)
            ++(i % 2 == 0 ? even : odd);
    if (odd > 0 && even == 0)
        return QStringConverter::Utf16LE;
    if (even > 0 && odd == 0)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

// The charset the detector names for the bytes; empty when it has no answer.
QByteArray detectedCharset(QByteArrayView bytes) {
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(
        uchardet_new(), uchardet_delete);
    if (!detector)
        return {};
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), detectorSample));
    if (uchardet_handle_data(detector.get(), sample.data(), static_cast<size_t>(sample.size())) !=
        0)
        return {};
    uchardet_data_end(detector.get());
    return QByteArray(uchardet_get_charset(detector.get()));
}

// How many of a reading's non-ASCII characters are CJK.
struct CjkShare {
    qsizetype cjk = 0;
    qsizetype nonAscii = 0;

    explicit CjkShare(QStringView text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            char32_t u = text[i].unicode();
            if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                u = QChar::surrogateToUcs4(text[i], text[i + 1]);
                ++i;
            }
            if (u < 0x80)
                continue;
            ++nonAscii;
            if (isCjkCharacter(u))
                ++cjk;
        }
    }
    bool whole() const { return nonAscii > 0 && cjk == nonAscii; }
    bool above(const CjkShare& other) const {
        // cjk / nonAscii > other.cjk / other.nonAscii, without dividing
        return cjk * std::max<qsizetype>(other.nonAscii, 1) >
               other.cjk * std::max<qsizetype>(nonAscii, 1);
    }
};

bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case u'\n':
    case u'\r':
    case 0x0B: // vertical tab
    case 0x0C: // form feed
    case 0x85: // next line
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// Neither a line break, a tab, a control character nor a byte-order mark.
bool isPlain(char16_t u) {
    return (u >= 0x20 && u < 0x7F) || (u > 0x9F && u != 0xFEFF && u != 0x2028 && u != 0x2029);
}

// A keyword as a search box takes it: one line, no invisible characters,
// trimmed.
QString cleaned(QString field) {
    if (std::all_of(field.cbegin(), field.cend(), [](QChar c) { return isPlain(c.unicode()); }))
        return std::move(field).trimmed();
    QString out;
    out.reserve(field.size());
    bool gap = false;
    for (const QChar c : std::as_const(field)) {
        if (isLineBreak(c) || c == u'\t') {
            gap = true;
            continue;
        }
        if (!isPlain(c.unicode()))
            continue;
        if (gap && !out.isEmpty())
            out.append(u' ');
        gap = false;
        out.append(c);
    }
    return out.trimmed();
}

struct Record {
    QString first;     // its first field, quotes resolved
    bool blank = true; // nothing but spaces
    bool tabOutsideQuotes = false;
};

// Calls `take` with each record of the text until it returns false. A record
// ends at a line break outside quotes, a field at either separator. A
// quote at a field's start opens a quoted field, which keeps separators and
// line breaks, with "" inside it one quote; a quote never closed is a plain
// character, so one stray quote cannot swallow the rest of the file.
template <typename Take>
void forEachRecord(QStringView text, QChar separator, QChar alsoSeparator, Take take) {
    qsizetype plainQuotesFrom = text.size(); // quotes from here on open nothing
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        Record r;
        bool inFirst = true, quoted = false, atFieldStart = true;
        qsizetype openedAt = 0;
        for (; i < text.size(); ++i) {
            const QChar c = text[i];
            if (quoted) {
                if (c != u'"') {
                    if (inFirst)
                        r.first.append(c);
                } else if (i + 1 < text.size() && text[i + 1] == u'"') {
                    if (inFirst)
                        r.first.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (isLineBreak(c)) {
                if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                    ++i;
                ++i;
                break;
            }
            r.blank = r.blank && c.isSpace();
            if (c == separator || c == alsoSeparator) {
                r.tabOutsideQuotes = r.tabOutsideQuotes || c == u'\t';
                inFirst = false;
                atFieldStart = true;
                continue;
            }
            if (c == u'"' && atFieldStart && i < plainQuotesFrom) {
                quoted = true;
                openedAt = i;
                atFieldStart = false;
                continue;
            }
            // What a keyword never keeps (a stray byte-order mark, a control
            // character) opens no field, so a quote after it still does.
            atFieldStart = atFieldStart && (c == u' ' || !isPlain(c.unicode()));
            if (inFirst)
                r.first.append(c);
        }
        if (quoted) {
            // Read the record again with that quote and all after it plain.
            plainQuotesFrom = openedAt;
            i = start;
            continue;
        }
        if (!take(std::move(r)))
            return;
    }
}

// Tab-separated when the first non-blank record holds a tab outside quotes.
QChar separatorOf(QStringView text) {
    bool tab = false;
    forEachRecord(text, u',', u'\t', [&](Record r) {
        if (r.blank)
            return true;
        tab = r.tabOutsideQuotes;
        return false;
    });
    return tab ? QChar(u'\t') : QChar(u',');
}

} // namespace

QString decodeKeywordFile(const QByteArray& bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        // FF FE 00 00 is also UTF-16LE whose text begins with U+0000.
        const bool utf32 = *bom == QStringConverter::Utf32LE || *bom == QStringConverter::Utf32BE;
        if (!utf32 || bytes.size() % 4 == 0)
            if (auto text = decodedAs(*bom, bytes))
                return std::move(*text); // the decoder drops the byte-order mark
        if (*bom == QStringConverter::Utf32LE)
            return decodedLoosely(QStringDecoder(QStringConverter::Utf16LE), bytes);
        return decodedLoosely(QStringDecoder(*bom), bytes);
    }
    if (const auto utf16 = utf16ByZeros(bytes))
        if (auto text = decodedAs(*utf16, bytes))
            return std::move(*text);
    const auto high = std::count_if(bytes.begin(), bytes.end(),
                                    [](char b) { return static_cast<unsigned char>(b) >= 0x80; });
    if (high == 0)
        return QString::fromLatin1(bytes);

    std::optional<QString> utf8 = decodedAs(QStringConverter::Utf8, bytes);
    if (utf8 && high >= utf8TrustedFrom)
        return std::move(*utf8);
    std::vector<QString> others; // on a tie the earlier wins
    if (high >= detectorFrom) {
        const QByteArray charset = detectedCharset(bytes);
        // UTF-8 was tried, and GB18030 holds GBK and GB2312.
        const bool triedAnyway = charset.isEmpty() ||
                                 charset.compare("UTF-8", Qt::CaseInsensitive) == 0 ||
                                 charset.startsWith("GB") || charset.startsWith("gb");
        if (!triedAnyway)
            if (auto text = decodedAs(QStringDecoder(charset.constData()), bytes))
                others.push_back(std::move(*text));
    }
    if (auto gb18030 = decodedAs(QStringDecoder("GB18030"), bytes))
        others.push_back(std::move(*gb18030));
    if (others.empty())
        return utf8 ? std::move(*utf8) : decodedLoosely(QStringDecoder("GB18030"), bytes);
    if (!utf8 && others.size() == 1)
        return std::move(others.front());

    std::size_t best = 0;
    CjkShare bestShare(others.front());
    for (std::size_t k = 1; k < others.size(); ++k)
        if (const CjkShare share(others[k]); share.above(bestShare)) {
            best = k;
            bestShare = share;
        }
    // Short UTF-8 without CJK gives way to a reading that is CJK throughout:
    // C3 A8 is "猫" in GB18030 and "è" in UTF-8. UTF-8 that holds CJK itself
    // stays UTF-8 ("鞋子é" is not "闉嬪瓙茅").
    if (utf8 && !(bestShare.whole() && CjkShare(*utf8).cjk == 0))
        return std::move(*utf8);
    return std::move(others[best]);
}

KeywordImport keywordsFrom(const QString& text, const QString& headerCaption,
                           const std::function<bool(const QString&)>& present) {
    const QChar separator = separatorOf(text);
    KeywordImport result;
    QSet<QString> seen;
    forEachRecord(text, separator, separator, [&](Record r) {
        const QString keyword = cleaned(std::move(r.first));
        if (keyword.isEmpty())
            return true;
        if (keyword == headerCaption || seen.contains(keyword) || (present && present(keyword))) {
            ++result.skipped;
            return true;
        }
        seen.insert(keyword);
        result.added.append(keyword);
        return true;
    });
    return result;
}

bool isCjkCharacter(char32_t u) {
    switch (QChar::script(u)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return true;
    default:
        // CJK punctuation and full-width forms
        return (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF);
    }
}

KeywordImport keywordsFromFile(const QByteArray& bytes, const QString& headerCaption,
                               const std::function<bool(const QString&)>& present) {
    if (bytes.size() > maxKeywordFileBytes) {
        KeywordImport refused;
        refused.refused = QStringLiteral("文件太大（超过 %1 MB），不像关键词列表")
                              .arg(maxKeywordFileBytes / (1024 * 1024));
        return refused;
    }
    return keywordsFrom(decodeKeywordFile(bytes), headerCaption, present);
}

void appendKeywordRows(RowList& table, const QStringList& keywords) {
    if (keywords.isEmpty())
        return;
    if (table.count() == 0)
        table.append(Row{resultHeader()});
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(keywords.size()));
    for (const QString& keyword : keywords)
        rows.push_back(Row{{keyword, QString()}});
    table.append(std::move(rows));
}

} // namespace quilla
