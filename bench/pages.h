#pragma once

// Pages for the benchmarks, made up deterministically: the same size always
// gives the same text. Sizes count UTF-16 units, which for this mostly-ASCII
// markup is close to the bytes on the wire.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace quilla::bench {

inline constexpr qsizetype KiB = 1024;
inline constexpr qsizetype MiB = 1024 * KiB;

// A marketplace search page: head with style and script, the did-you-mean
// block with one link per related word, the item-count sentence, then item
// listings until the page holds about `size` units, then pager and footer.
// Without related words there is no did-you-mean block, and without a count
// no count sentence.
QString searchPage(qsizetype size, const QStringList& related,
                   const QString& count = QStringLiteral("1,234"));

// The same page cut around its did-you-mean block, so a run of pages that
// differ only in their related words costs one concatenation each.
struct SearchPageParts {
    QString before;
    QString after;
    QString page(const QStringList& related) const;
};
SearchPageParts searchPageParts(qsizetype size, const QString& count = QStringLiteral("1,234"));

// Fourteen related words as a page shows them, some with a space or wrapped
// in a bold element, and what the extraction makes of them.
QStringList pageRelatedWords();
QStringList expectedRelatedWords();

// The text of a trend-index page as the browser serialises it (upper-case
// tags, unquoted simple attribute values), about `size` units, with the
// series call and the summary sentences in the middle of the page, or
// without them, as before a query has been answered.
QString trendPageText(qsizetype size, bool withResult = true);

// The same page as an HTML document to load into the browser.
QString trendPageDocument(qsizetype size);

// What trendFigures takes from either.
std::array<QString, 9> expectedTrendFields();

QByteArray toGb18030(const QString& text);

} // namespace quilla::bench
