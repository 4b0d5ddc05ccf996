#pragma once

// Finding a fixed marker in a page that the reading rules see with some
// characters removed (spaces; line breaks too), without making that copy:
// the search steps over those characters, also between a marker's own.

#include <QStringView>

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

} // namespace quilla
