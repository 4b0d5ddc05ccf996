#include "core/marker_search.h"

#include "core/text_ops.h"

namespace quilla {
namespace {

bool isSkipped(QChar c, std::u16string_view skipped) {
    return skipped.find(c.unicode()) != std::u16string_view::npos;
}

} // namespace

MarkerMatch markerAt(QStringView page, qsizetype a, qsizetype from, qsizetype to, const Marker& m,
                     std::u16string_view skipped, MarkerHit& hit) {
    qsizetype at = a;
    for (std::size_t i = m.anchor; i > 0; --i) {
        do
            --at;
        while (at >= from && isSkipped(page[at], skipped));
        if (at < from || page[at] != m.text[i - 1])
            return MarkerMatch::NotHere;
    }
    qsizetype end = a + 1;
    for (std::size_t i = m.anchor + 1; i < m.text.size(); ++i, ++end) {
        while (end < to && isSkipped(page[end], skipped))
            ++end;
        if (end == to)
            return MarkerMatch::NoneLater;
        if (page[end] != m.text[i])
            return MarkerMatch::NotHere;
    }
    hit = {at, end};
    return MarkerMatch::Found;
}

std::optional<MarkerHit> findMarker(QStringView page, qsizetype from, qsizetype to, const Marker& m,
                                    std::u16string_view skipped) {
    const QStringView within = page.first(to);
    const QChar anchor(m.text[m.anchor]);
    for (qsizetype a = within.indexOf(anchor, from); a >= 0; a = within.indexOf(anchor, a + 1)) {
        MarkerHit hit{};
        const MarkerMatch match = markerAt(page, a, from, to, m, skipped, hit);
        if (match == MarkerMatch::Found)
            return hit;
        if (match == MarkerMatch::NoneLater)
            break;
    }
    return std::nullopt;
}

QString SkippingPage::text(qsizetype from, qsizetype to) const {
    return copyWithout(page_.sliced(from, to - from), skipped_);
}

} // namespace quilla
