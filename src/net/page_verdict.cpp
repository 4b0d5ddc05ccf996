#include "net/page_verdict.h"

#include <QUrl>

#include <algorithm>

namespace quilla {

const PushBackRules& marketplaceRules() {
    static const PushBackRules rules{
        {429, 503},
        QStringLiteral("login"),
        {QStringLiteral("punish"), QStringLiteral("_____tmd_____")},
        {QStringLiteral("滑动验证"), QStringLiteral("请按住滑块"), QStringLiteral("验证码"),
         QStringLiteral("拖动到最右边")},
        {QStringLiteral("type=\"password\""), QStringLiteral("type=password"),
         QStringLiteral("type='password'")},
    };
    return rules;
}

Verdict addressVerdict(const QString& requested, const QString& shown, const PushBackRules& rules) {
    const QUrl from(requested), at(shown);
    if (!at.isValid() || at.host().isEmpty())
        return Verdict::Passed;
    const QString host = at.host().toLower();
    if (host != from.host().toLower() && host.contains(rules.loginHostWord))
        return Verdict::Login;
    const QString path = at.path();
    for (const QString& word : rules.verificationPathWords)
        if (path.contains(word))
            return Verdict::Verification;
    return Verdict::Passed;
}

Verdict verdictOf(const FetchResult& fetched, const QString& requested, bool holdsResults,
                  const PushBackRules& rules) {
    if (fetched.status == 0)
        return Verdict::Network;
    const auto& throttling = rules.throttleStatuses;
    if (std::find(throttling.begin(), throttling.end(), fetched.status) != throttling.end())
        return Verdict::Throttled;
    if (const Verdict byAddress = addressVerdict(requested, fetched.finalAddress, rules);
        byAddress != Verdict::Passed)
        return byAddress;
    // Part of a page, or a page after a redirect loop, is no answer to read.
    if (fetched.failure != FetchFailure::None)
        return Verdict::Network;
    if (fetched.status >= 500)
        return Verdict::ServerError;
    if (holdsResults)
        return Verdict::Passed;
    const auto holdsAny = [&](const QStringList& texts) {
        return std::any_of(texts.begin(), texts.end(), [&](const QString& t) {
            return fetched.text.contains(t, Qt::CaseInsensitive);
        });
    };
    if (holdsAny(rules.verificationTexts))
        return Verdict::Verification;
    if (holdsAny(rules.loginFormTexts))
        return Verdict::Login;
    return Verdict::Passed;
}

QString verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Passed:
        return QStringLiteral("页面");
    case Verdict::Throttled:
        return QStringLiteral("限流");
    case Verdict::Login:
        return QStringLiteral("登录");
    case Verdict::Verification:
        return QStringLiteral("验证");
    case Verdict::ServerError:
        return QStringLiteral("服务器错误");
    case Verdict::Network:
        return QStringLiteral("网络错误");
    }
    return {};
}

QString failureName(FetchFailure failure) {
    switch (failure) {
    case FetchFailure::None:
        return {};
    case FetchFailure::Refused:
        return QStringLiteral("无法连接");
    case FetchFailure::Reset:
        return QStringLiteral("连接中断");
    case FetchFailure::TimedOut:
        return QStringLiteral("超时");
    case FetchFailure::TooManyRedirects:
        return QStringLiteral("重定向过多");
    case FetchFailure::Stopped:
        return QStringLiteral("已停止");
    case FetchFailure::Other:
        return QStringLiteral("传输失败");
    }
    return {};
}

} // namespace quilla
