#pragma once

// The fake marketplace's fixed answers: a small keyword graph for the search
// page and figures for the trend page, all derived deterministically from the
// keyword so that tests can compute what the program should read. A day
// after the first (0) moves the item counts and the figures as a real day
// would: the series gain that many days at their end.

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace quilla::fake_market {

struct FakeKeyword {
    QString keyword;
    QString count;       // item count as the page states it, e.g. "1,234"
    QStringList related; // did-you-mean links in page order; empty: no block
};

// Every keyword the search page knows, the default seed "qq" first.
const std::vector<FakeKeyword>& keywordGraph();

// Item count text the search page states for `keyword`: the graph's for a
// known one, one made from the keyword for any other, and empty (no count
// sentence on the page) for the empty keyword.
QString fakeCount(const QString& keyword, int day = 0);

// Did-you-mean words of `keyword`; empty for a keyword outside the graph,
// unless `longTail`: then every such keyword but the empty one has three,
// itself with 1, 2 and 3 after it, so that a run never runs dry.
QStringList fakeRelated(const QString& keyword, bool longTail = false);

struct FakeTrend {
    QString startDate;            // first day of both series
    QString endDate;              // last day of both series
    std::vector<int> searchIndex; // one value a day, oldest first
    std::vector<int> tradeIndex;  // same days
    int sevenDay = 0;             // percent change, signed, never 0
    int sevenDayYoy = 0;
    int thirtyDay = 0;
    int thirtyDayYoy = 0;
    QString forecast; // "上升", "下降" or "平稳"
};

// The trend page's figures for `keyword` (any text, the empty one too).
FakeTrend fakeTrend(const QString& keyword, int day = 0);

// The nine fields the program should take from the trend page for `keyword`:
// search index yesterday and the day before, trade index likewise, the
// signed seven-day ratio and its year-on-year change, the same for thirty
// days ("+12%", "-3%"), and the forecast. The keyword is taken as the page's
// text box holds it: without line breaks.
std::array<QString, 9> expectedFields(const QString& keyword, int day = 0);

// "+12%" / "-3%".
QString signedPercent(int percent);

// FNV-1a over the keyword's UTF-8 bytes: the seed of everything made up.
std::uint32_t keywordHash(const QString& keyword);

} // namespace quilla::fake_market
