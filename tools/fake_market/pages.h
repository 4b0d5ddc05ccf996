#pragma once

// The pages the fake marketplace serves, as the bytes that go on the wire.

#include <QByteArray>
#include <QString>

namespace quilla::fake_market {

// Search results for `keyword`, GB18030-encoded: did-you-mean links for a
// keyword of the graph, the item-count sentence unless the keyword is empty,
// and tens of KB of listings and page furniture around them.
// With `longTail`, keywords outside the graph get related words too.
// On a later `day` its count has moved (see fakeCount).
QByteArray searchPage(const QString& keyword, bool longTail = false, int day = 0);

// The trend-index page (UTF-8) with `query` in its box. Its script fetches the
// figures for the box's text and renders them into the document.
QByteArray trendPage(const QString& query);

// The figures of `keyword` as UTF-8 JSON, for the trend page's script.
QByteArray trendData(const QString& keyword, int day = 0);

// Where the trend page's "more" link leads.
QByteArray morePage();

QByteArray notFoundPage();

// The pages of a marketplace that pushes back: throttled, a slider check, a
// login form, and a search page whose layout has changed (GB18030), which
// holds neither the did-you-mean block nor the count sentence.
QByteArray tooManyRequestsPage();
QByteArray sliderPage();
QByteArray loginPage();
QByteArray changedLayoutPage(const QString& keyword);

} // namespace quilla::fake_market
