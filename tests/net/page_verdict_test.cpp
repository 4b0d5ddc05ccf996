// Telling a page to read from the marketplace pushing back, by status,
// address and content, near misses included.

#include "net/page_verdict.h"

#include "support/qstring_print.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

const QString asked = u"http://s.taobao.com/search?q=qq"_s;

FetchResult answer(int status, QString text, QString finalAddress = asked) {
    FetchResult r;
    r.status = status;
    r.text = std::move(text);
    r.finalAddress = status == 0 ? QString() : std::move(finalAddress);
    r.failure = status == 0 ? FetchFailure::Refused : FetchFailure::None;
    return r;
}

TEST(Verdict, OfEveryKindOfAnswer) {
    const QString results = u8("你是不是想找 ... 该条件下 共 <b>12</b> 件");
    const struct {
        const char* name;
        FetchResult fetched;
        bool holdsResults;
        Verdict verdict;
    } cases[] = {
        {"a search page", answer(200, results), true, Verdict::Page},
        {"an empty page", answer(200, {}), false, Verdict::Page},
        {"429", answer(429, u"Too Many Requests"_s), false, Verdict::Throttled},
        {"503", answer(503, {}), false, Verdict::Throttled},
        {"500", answer(500, {}), false, Verdict::ServerError},
        {"502 with a page", answer(502, results), true, Verdict::ServerError},
        {"nothing fetched", answer(0, {}), false, Verdict::Network},
        {"redirected to a login host",
         answer(200, u"<form>"_s, u"http://login.taobao.com/member/login.jhtml?x=1"_s), false,
         Verdict::Login},
        {"a login form", answer(200, u8("<input name=pw type=\"password\">")), false,
         Verdict::Login},
        {"a slider path", answer(200, u"x"_s, u"http://s.taobao.com/search/_____tmd_____/punish"_s),
         false, Verdict::Verification},
        {"a punish path", answer(200, u"x"_s, u"http://sec.taobao.com/query.htm?punish=1"_s), false,
         Verdict::Page},
        {"a punish path, as path", answer(200, u"x"_s, u"http://sec.taobao.com/punish/x"_s), false,
         Verdict::Verification},
        {"slider texts", answer(200, u8("<p>亲，请按住滑块，拖动到最右边</p>")), false,
         Verdict::Verification},
        {"a captcha", answer(200, u8("请输入验证码")), false, Verdict::Verification},
        // Near misses: a result page that mentions such words stays a page.
        {"results with 验证码 in an item title", answer(200, results + u8("<a>防伪验证码标签</a>")),
         true, Verdict::Page},
        {"results with a login box", answer(200, results + u8("<input type=password>")), true,
         Verdict::Page},
        {"a redirect within the search host",
         answer(200, results, u"http://s.taobao.com/search?q=qq&s=44"_s), true, Verdict::Page},
        {"a login word in the same host", answer(200, results, asked + u"&from=login"_s), true,
         Verdict::Page},
    };
    for (const auto& c : cases)
        EXPECT_EQ(verdictOf(c.fetched, asked, c.holdsResults), c.verdict) << c.name;
}

TEST(Verdict, OfTheBrowsersAddress) {
    const QString trend = u"http://shu.taobao.com/trendindex?query=qq"_s;
    EXPECT_EQ(addressVerdict(trend, trend), Verdict::Page);
    EXPECT_EQ(addressVerdict(trend, u"http://shu.taobao.com/more"_s), Verdict::Page);
    EXPECT_EQ(addressVerdict(trend, u"https://login.taobao.com/member/login.jhtml"_s),
              Verdict::Login);
    EXPECT_EQ(addressVerdict(trend, u"http://shu.taobao.com/_____tmd_____/punish"_s),
              Verdict::Verification);
    EXPECT_EQ(addressVerdict(trend, QString()), Verdict::Page);
}

} // namespace
} // namespace quilla
