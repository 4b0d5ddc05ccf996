#pragma once

// Reading a marketplace search page: the related keywords it suggests under
// its did-you-mean heading, and the item count it states. Fixed text markers
// only, no markup parsing; any text gives an answer.

#include <QString>

#include <vector>

namespace quilla {

struct SearchPage {
    std::vector<QString> related; // at most 14, in page order; may be empty or repeat
    QString count;                // as the page shows it, spaces removed; "未找到" when none

    // Whether the page gave anything: related words or a count.
    bool yielded() const { return !related.empty() || count != QStringLiteral("未找到"); }
};

inline constexpr int maxRelatedWords = 14;

std::vector<QString> relatedWords(const QString& page);
QString countText(const QString& page);
SearchPage readSearchPage(const QString& page);

// The search page address for a keyword, the keyword percent-encoded from
// its GB18030 bytes so that "&", "#", "%", "+" and spaces stay in the query.
QString searchAddress(const QString& keyword);

} // namespace quilla
