#pragma once

// The pages the fake marketplace serves, as the bytes that go on the wire.

#include <QByteArray>
#include <QString>

namespace quilla::fake_market {

// Search results for `keyword`, GB18030-encoded: did-you-mean links for a
// keyword of the graph, the item-count sentence unless the keyword is empty,
// and tens of KB of listings and page furniture around them.
QByteArray searchPage(const QString& keyword);

// The trend-index page (UTF-8) with `query` in its box. Its script fetches the
// figures for the box's text and renders them into the document.
QByteArray trendPage(const QString& query);

// The figures of `keyword` as UTF-8 JSON, for the trend page's script.
QByteArray trendData(const QString& keyword);

// Where the trend page's "more" link leads.
QByteArray morePage();

QByteArray notFoundPage();

} // namespace quilla::fake_market
