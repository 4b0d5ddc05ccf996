#pragma once

// Finding a fixed marker in a page that the reading rules see with some
// characters removed (spaces; line breaks too), without making that copy:
// the search steps over those characters, also between a marker's own.

#include <QChar>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <optional>
#include <string_view>

namespace quilla {

// A marker and the character to look for first: the one least common in
// markup, so that a search stops rarely where the marker is not.
struct Marker {
    std::u16string_view text;
    std::size_t anchor = 0;
};

// Where a marker stands: its first character, and just past its last.
struct MarkerHit {
    qsizetype at;
    qsizetype end;
};

enum class MarkerMatch { Found, NotHere, NoneLater };

// Whether `m` stands in [from, to) with its anchor character at `a`, the
// characters of `skipped` stepped over. NoneLater: it runs past `to`, and so
// would any occurrence with a later anchor.
MarkerMatch markerAt(QStringView page, qsizetype a, qsizetype from, qsizetype to, const Marker& m,
                     std::u16string_view skipped, MarkerHit& hit);

// The first occurrence of `m` that lies within [from, to).
std::optional<MarkerHit> findMarker(QStringView page, qsizetype from, qsizetype to, const Marker& m,
                                    std::u16string_view skipped);

// The page as its reading rules see it, with the characters of `skipped`
// removed, but without making that copy: a search steps over them, a marker
// may have them between its characters, and a text taken out of the page
// loses them. A character is a code point, a lone surrogate one too.
class SkippingPage {
public:
    SkippingPage(QStringView page, std::u16string_view skipped) : page_(page), skipped_(skipped) {}

    QStringView view() const { return page_; }
    qsizetype size() const { return page_.size(); }
    bool skips(QChar c) const { return skipped_.find(c.unicode()) != std::u16string_view::npos; }

    // The marker whose anchor character stands at `a`, starting at or after `from`.
    MarkerMatch matchAt(qsizetype a, qsizetype from, const Marker& m, MarkerHit& hit) const {
        return markerAt(page_, a, from, size(), m, skipped_, hit);
    }

    // The first occurrence of `m` that lies within [from, to).
    std::optional<MarkerHit> find(qsizetype from, qsizetype to, const Marker& m) const {
        return findMarker(page_, from, to, m, skipped_);
    }

    // [from, to) as the rules see it, lone surrogates as U+FFFD.
    QString text(qsizetype from, qsizetype to) const;

    // `to` moved back over skipped characters, not past `from`.
    qsizetype trimmed(qsizetype from, qsizetype to) const {
        while (to > from && skips(page_[to - 1]))
            --to;
        return to;
    }

    // The end of [from, to) without its last character.
    qsizetype withoutLast(qsizetype from, qsizetype to) const {
        const bool pair =
            to - 2 >= from && page_[to - 1].isLowSurrogate() && page_[to - 2].isHighSurrogate();
        return trimmed(from, to - (pair ? 2 : 1));
    }

    // Where the character `n` characters after the one at `at` stands, or
    // `to` when that is past the end.
    qsizetype advanced(qsizetype at, int n, qsizetype to) const {
        for (; n > 0 && at < to; --n) {
            const bool pair =
                at + 1 < to && page_[at].isHighSurrogate() && page_[at + 1].isLowSurrogate();
            at = std::min(to, nextKept(at + (pair ? 2 : 1)));
        }
        return at;
    }

private:
    qsizetype nextKept(qsizetype i) const {
        while (i < size() && skips(page_[i]))
            ++i;
        return i;
    }

    QStringView page_;
    std::u16string_view skipped_;
};

} // namespace quilla
