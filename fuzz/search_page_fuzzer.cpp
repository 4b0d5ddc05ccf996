// Search page reading against the rules as written: any page text gives at
// most fourteen words and a count, and both agree with a plain re-reading that
// copies the text at every cut and removes spaces each time the rules say so.

#include "fuzz_support.h"

#include "mining/search_page.h"

#include <QStringDecoder>

#include <string>
#include <vector>

namespace {

using namespace quilla::fuzz;
using Str = std::u32string;

namespace plain {

Str withoutSpaces(Str s) {
    std::erase(s, U' ');
    return s;
}

long findIn(const Str& s, const Str& marker) {
    const auto at = s.find(marker);
    return at == Str::npos ? 0 : static_cast<long>(at) + 1;
}

// Keeps length - p characters from p on; fails, changing nothing, when that is negative.
void cut(Str& s, long p) {
    const long length = static_cast<long>(s.size()) - p;
    if (p < 1 || length < 0)
        return;
    s = s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(length));
}

std::vector<QString> related(const QString& page) {
    std::vector<QString> words;
    Str s = withoutSpaces(codePoints(page));
    long p = findIn(s, U"你是不是想找");
    if (p == 0)
        return words;
    cut(s, p);
    for (int round = 0; round < 14; ++round) {
        s = withoutSpaces(s);
        p = findIn(s, U"rsclick=");
        if (p <= 0)
            continue;
        cut(s, p);
        s = withoutSpaces(s);
        p = findIn(s, U">") + 1;
        if (p <= 1)
            continue;
        cut(s, p);
        const long q = findIn(s, U"<");
        if (q <= 0)
            continue;
        words.push_back(fromCodePoints(s.substr(0, static_cast<std::size_t>(q - 1))));
    }
    return words;
}

QString count(const QString& page) {
    const QString none = QStringLiteral("未找到");
    Str s = withoutSpaces(codePoints(page));
    for (const char32_t* marker : {U"该条件下", U"共"}) {
        const long p = findIn(s, marker);
        if (p <= 0)
            return none;
        cut(s, p);
        s = withoutSpaces(s);
    }
    const long p = findIn(s, U">") + 1;
    if (p <= 1)
        return none;
    cut(s, p);
    const long q = findIn(s, U"</");
    if (q <= 0)
        return none;
    return fromCodePoints(s.substr(0, static_cast<std::size_t>(q - 1)));
}

} // namespace plain

const QString searchPrefix = QStringLiteral("http://s.taobao.com/search?tab=all&stats_click="
                                            "search_radio_all%3A1&cat=0&cd=false&v=auction&q=");

bool unreserved(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

int hexValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1; // lower case is not what the address uses
}

// The keyword's address: the fixed prefix, then only unreserved characters and
// %XX escapes, which read back through GB18030 to the keyword itself.
void checkAddress(const QString& keyword) {
    const QString address = quilla::searchAddress(keyword);
    FUZZ_CHECK(address.startsWith(searchPrefix));
    const QStringView query = QStringView(address).sliced(searchPrefix.size());
    QByteArray bytes;
    for (qsizetype i = 0; i < query.size(); ++i) {
        if (query[i] == u'%') {
            FUZZ_CHECK(i + 2 < query.size());
            const int high = hexValue(query[i + 1]);
            const int low = hexValue(query[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            const char byte = static_cast<char>(high * 16 + low);
            FUZZ_CHECK(!unreserved(QChar(static_cast<char16_t>(high * 16 + low))));
            bytes.append(byte);
            i += 2;
        } else {
            FUZZ_CHECK(unreserved(query[i]));
            bytes.append(static_cast<char>(query[i].unicode()));
        }
    }
    QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
    FUZZ_CHECK(gb18030.decode(bytes) == keyword);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString page = textOf(bytesOf(data, size));
    const quilla::SearchPage read = quilla::readSearchPage(page);

    FUZZ_CHECK(read.related.size() <= static_cast<std::size_t>(quilla::maxRelatedWords));
    for (const QString& word : read.related) {
        FUZZ_CHECK(!word.contains(u'<'));
        FUZZ_CHECK(!word.contains(u' '));
        FUZZ_CHECK(!hasLoneSurrogate(word));
    }
    FUZZ_CHECK(read.count == QStringLiteral("未找到") ||
               !read.count.contains(QStringLiteral("</")));
    FUZZ_CHECK(!read.count.contains(u' '));
    FUZZ_CHECK(!hasLoneSurrogate(read.count));

    // The one-pass reading and the two separate ones give the same.
    FUZZ_CHECK(read.related == quilla::relatedWords(page));
    FUZZ_CHECK(read.count == quilla::countText(page));

    FUZZ_CHECK(read.related == plain::related(page));
    FUZZ_CHECK(read.count == plain::count(page));

    // Every word found becomes a keyword to fetch; so may any typed text.
    for (const QString& word : read.related)
        checkAddress(word);
    if (const QString typed = page.left(40); !hasLoneSurrogate(typed))
        checkAddress(typed);
    return 0;
}
