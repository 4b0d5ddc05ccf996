#pragma once

// What a marketplace answer is: a page to read, or the marketplace pushing
// back (throttling, a login, a slider check, a fault of its own). The rules
// are data, in one table, to be amended when the marketplace changes.

#include "net/page_fetch.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace quilla {

// Passed: a page to read, nothing pushed back (also "not blocked" where a
// run says what stopped it).
enum class Verdict { Passed, Throttled, Login, Verification, ServerError, Network };

struct PushBackRules {
    std::vector<int> throttleStatuses; // slow down: wait and try again
    QString loginHostWord;             // in the host of a login page elsewhere
    QStringList verificationPathWords; // in the path of a slider or captcha page
    QStringList verificationTexts;     // on such a page, which shows no results
    QStringList loginFormTexts;        // on a login form that shows no results
};

// The marketplace's rules as they stand.
const PushBackRules& marketplaceRules();

// The verdict on one fetched answer to `requested`. A transfer that failed is
// Network even when part of a page arrived, unless its status or address
// already say throttling, a login or a verification. `holdsResults`: the page
// reads as what was asked for (search results, a trend page), which a
// verification or login text elsewhere on it does not overrule.
Verdict verdictOf(const FetchResult& fetched, const QString& requested, bool holdsResults,
                  const PushBackRules& rules = marketplaceRules());

// Whether a page now at `shown`, reached from `requested`, is a login or a
// verification page by its address alone; Passed otherwise.
Verdict addressVerdict(const QString& requested, const QString& shown,
                       const PushBackRules& rules = marketplaceRules());

// For the status line: "登录", "验证", ...
QString verdictName(Verdict verdict);

// Why a transfer failed, for a tooltip: "连接中断", "超时", ...; empty for None.
QString failureName(FetchFailure failure);

} // namespace quilla
