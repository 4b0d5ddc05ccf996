#include "mining/search_page.h"

#include "core/text_ops.h"

#include <QStringEncoder>

namespace quilla {

namespace {

constexpr auto npos = TextView::npos;

constexpr TextView headingMarker = U"你是不是想找";
constexpr TextView linkMarker = U"rsclick=";
constexpr TextView tagEndMarker = U">";
constexpr TextView wordEndMarker = U"<";
constexpr TextView countSentenceMarker = U"该条件下";
constexpr TextView countLeadMarker = U"共";
constexpr TextView countEndMarker = U"</";

QString notFound() {
    return QStringLiteral("未找到");
}

// Nothing the extraction does brings a space back, so removing them once is enough.
Text spacelessText(const QString& page) {
    return toTextWithout(page, U" ");
}

// The text being cut, as a window over the spaceless page: a cut moves the
// begin forward and drops the last character, so nothing is copied.
struct Window {
    TextView text;
    std::size_t begin = 0;
    std::size_t end = 0;

    TextView view() const { return text.substr(begin, end - begin); }

    // The cut at the character `offset` places past the begin. Fails, leaving
    // the window as it is, only one past the end (a ">" as the last character).
    bool cutAt(std::size_t offset) {
        if (offset >= end - begin)
            return false;
        begin += offset;
        --end;
        return true;
    }
};

// Finds one marker in a window whose begin only moves forward and whose end
// only moves back. The first hit (or its absence) is remembered until the
// begin passes it, so a page with a missing marker is not rescanned on each
// of the fourteen rounds.
class MarkerSearch {
public:
    explicit MarkerSearch(TextView marker) : marker_(marker) {}

    // Offset of the first occurrence from the window's begin, or npos.
    std::size_t in(const Window& w) {
        const bool remembered = searched_ && w.begin >= from_ && (hit_ == npos || w.begin <= hit_);
        if (!remembered) {
            searched_ = true;
            from_ = w.begin;
            const auto at = w.view().find(marker_);
            hit_ = at == npos ? npos : w.begin + at;
        }
        if (hit_ != npos && hit_ + marker_.size() > w.end)
            hit_ = npos; // the first hit now runs past the end: none is left
        return hit_ == npos ? npos : hit_ - w.begin;
    }

private:
    TextView marker_;
    bool searched_ = false;
    std::size_t from_ = 0;
    std::size_t hit_ = npos;
};

struct WordSearches {
    MarkerSearch link{linkMarker};
    MarkerSearch tagEnd{tagEndMarker};
    MarkerSearch wordEnd{wordEndMarker};
};

// One of the fourteen rounds. The window keeps what the round's completed
// cuts made of it, also when the round yields no word.
std::optional<QString> nextWord(Window& s, WordSearches& find) {
    const auto link = find.link.in(s);
    if (link == npos)
        return std::nullopt;
    s.cutAt(link);
    const auto tagEnd = find.tagEnd.in(s);
    if (tagEnd == npos)
        return std::nullopt;
    s.cutAt(tagEnd + 1);
    const auto wordEnd = find.wordEnd.in(s);
    if (wordEnd == npos)
        return std::nullopt;
    return toQString(s.view().substr(0, wordEnd));
}

std::vector<QString> relatedIn(TextView text) {
    std::vector<QString> words;
    Window s{text, 0, text.size()};
    const auto heading = s.view().find(headingMarker);
    if (heading == npos)
        return words;
    s.cutAt(heading);
    WordSearches find;
    for (int round = 0; round < maxRelatedWords; ++round) {
        if (auto word = nextWord(s, find))
            words.push_back(std::move(*word));
    }
    return words;
}

QString countIn(TextView text) {
    Window s{text, 0, text.size()};
    for (const TextView marker : {countSentenceMarker, countLeadMarker}) {
        const auto at = s.view().find(marker);
        if (at == npos)
            return notFound();
        s.cutAt(at);
    }
    const auto tagEnd = s.view().find(tagEndMarker);
    if (tagEnd == npos)
        return notFound();
    s.cutAt(tagEnd + 1);
    const auto end = s.view().find(countEndMarker);
    if (end == npos)
        return notFound();
    return toQString(s.view().substr(0, end));
}

bool isUnreserved(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
           b == '.' || b == '_' || b == '~';
}

} // namespace

std::vector<QString> relatedWords(const QString& page) {
    return relatedIn(spacelessText(page));
}

QString countText(const QString& page) {
    return countIn(spacelessText(page));
}

SearchPage readSearchPage(const QString& page) {
    const Text text = spacelessText(page);
    return {relatedIn(text), countIn(text)};
}

QString searchAddress(const QString& keyword) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QStringEncoder gb18030("GB18030");
    const QByteArray bytes = gb18030.encode(keyword);
    QString address = QStringLiteral("http://s.taobao.com/search?tab=all&stats_click="
                                     "search_radio_all%3A1&cat=0&cd=false&v=auction&q=");
    address.reserve(address.size() + 3 * bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (isUnreserved(b)) {
            address.append(QLatin1Char(static_cast<char>(b)));
        } else {
            address.append(u'%');
            address.append(QLatin1Char(hex[b >> 4]));
            address.append(QLatin1Char(hex[b & 0xF]));
        }
    }
    return address;
}

} // namespace quilla
