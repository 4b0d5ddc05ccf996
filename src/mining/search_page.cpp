#include "mining/search_page.h"

#include "core/marker_search.h"

#include <QStringEncoder>
#include <QStringView>

#include <optional>
#include <string_view>

namespace quilla {

namespace {

constexpr Marker headingMarker{u"你是不是想找"};
constexpr Marker linkMarker{u"rsclick=", 6}; // the 'k'
constexpr Marker tagEndMarker{u">"};
constexpr Marker wordEndMarker{u"<"};
constexpr Marker countSentenceMarker{u"该条件下"};
constexpr Marker countLeadMarker{u"共"};
constexpr Marker countEndMarker{u"</"};

QString notFound() {
    return QStringLiteral("未找到");
}

// The rules read the page with every space removed.
constexpr std::u16string_view spaces = u" ";

// The text being cut, as a window over the page: a cut moves the begin
// forward and drops the last character, so nothing is copied. The end never
// follows a space, so the window holds a character exactly when it is not
// empty.
struct Window {
    const SkippingPage& page;
    qsizetype begin;
    qsizetype end;

    explicit Window(const SkippingPage& p) : page(p), begin(0), end(p.trimmed(0, p.size())) {}

    // The cut at `at`. Fails, leaving the window as it is, when no character
    // is left from there on (a ">" as the last character).
    bool cutAt(qsizetype at) {
        if (at >= end)
            return false;
        begin = at;
        end = page.withoutLast(begin, end);
        return true;
    }

    std::optional<MarkerHit> find(const Marker& m) const { return page.find(begin, end, m); }
};

// Finds one marker in a window whose begin only moves forward and whose end
// only moves back. The first hit (or its absence) is remembered until the
// begin passes it, so a page with a missing marker is not rescanned on each
// of the fourteen rounds.
class MarkerSearch {
public:
    explicit MarkerSearch(const Marker& marker) : marker_(marker) {}

    std::optional<MarkerHit> in(const Window& w) {
        const bool remembered = searched_ && w.begin >= from_ && (!hit_ || w.begin <= hit_->at);
        if (!remembered) {
            searched_ = true;
            from_ = w.begin;
            hit_ = w.find(marker_);
        }
        if (hit_ && hit_->end > w.end)
            hit_.reset(); // the first hit now runs past the end: none is left
        return hit_;
    }

private:
    const Marker& marker_;
    bool searched_ = false;
    qsizetype from_ = 0;
    std::optional<MarkerHit> hit_;
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
    if (!link)
        return std::nullopt;
    s.cutAt(link->at);
    const auto tagEnd = find.tagEnd.in(s);
    if (!tagEnd)
        return std::nullopt;
    s.cutAt(tagEnd->end);
    const auto wordEnd = find.wordEnd.in(s);
    if (!wordEnd)
        return std::nullopt;
    return s.page.text(s.begin, wordEnd->at);
}

std::vector<QString> relatedIn(const SkippingPage& page) {
    std::vector<QString> words;
    Window s(page);
    const auto heading = s.find(headingMarker);
    if (!heading)
        return words;
    s.cutAt(heading->at);
    WordSearches find;
    for (int round = 0; round < maxRelatedWords; ++round) {
        if (auto word = nextWord(s, find))
            words.push_back(std::move(*word));
    }
    return words;
}

QString countIn(const SkippingPage& page) {
    Window s(page);
    for (const Marker* marker : {&countSentenceMarker, &countLeadMarker}) {
        const auto at = s.find(*marker);
        if (!at)
            return notFound();
        s.cutAt(at->at);
    }
    const auto tagEnd = s.find(tagEndMarker);
    if (!tagEnd)
        return notFound();
    s.cutAt(tagEnd->end);
    const auto end = s.find(countEndMarker);
    if (!end)
        return notFound();
    return page.text(s.begin, end->at);
}

bool isUnreserved(unsigned char b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
           b == '.' || b == '_' || b == '~';
}

} // namespace

std::vector<QString> relatedWords(const QString& page) {
    return relatedIn(SkippingPage(page, spaces));
}

QString countText(const QString& page) {
    return countIn(SkippingPage(page, spaces));
}

SearchPage readSearchPage(const QString& page) {
    const SkippingPage spaceless(page, spaces);
    return {relatedIn(spaceless), countIn(spaceless)};
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
