// The browser's login lasts: a cookie a page set is still sent by a new
// profile on the same folder, and "清除登录" forgets it there too.

#include "browser/login_profile.h"
#include "browser/web_browser.h"
#include "fake_market/server.h"

#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

#include <memory>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

class LoginProfile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(server.start());
    }

    // A profile on the folder loads the trend page (which sets a session
    // cookie) and goes; the Cookie header its request carried.
    std::string visitWith(QWebEngineProfile* profile) {
        server.clearRequests();
        {
            WebEngineBrowser browser(profile);
            browser.navigate(u"http://127.0.0.1:"_s + QString::number(server.port()) +
                             u"/trendindex?query=qq"_s);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !pageLoads().empty(); }, 20000));
            // Until the page's own request for figures, after the cookie came.
            EXPECT_TRUE(QTest::qWaitFor([&] { return server.requests().size() >= 2; }, 20000));
        }
        const auto loads = pageLoads();
        return loads.empty() ? std::string("(no request)") : loads.front();
    }

    std::vector<std::string> pageLoads() {
        std::vector<std::string> cookies;
        for (const auto& r : server.requests())
            if (r.target.rfind("/trendindex?", 0) == 0)
                cookies.push_back(r.cookie);
        return cookies;
    }

    std::unique_ptr<QWebEngineProfile> profile() {
        return std::unique_ptr<QWebEngineProfile>(makeLoginProfile(folder.path()));
    }

    QTemporaryDir folder;
    fake_market::FakeMarketServer server;
};

TEST_F(LoginProfile, ACookieOutlivesItsProfileUntilTheLoginIsForgotten) {
    auto first = profile();
    EXPECT_EQ(visitWith(first.get()), "");
    first.reset();

    auto second = profile();
    EXPECT_EQ(visitWith(second.get()), "trend-visit=fake");
    forgetLogin(*second);
    second.reset();

    auto third = profile();
    EXPECT_EQ(visitWith(third.get()), "");
    // Nothing of it was kept where nothing is to be kept.
    std::unique_ptr<QWebEngineProfile> offTheRecord(makeLoginProfile({}));
    EXPECT_TRUE(offTheRecord->isOffTheRecord());
}

} // namespace
} // namespace quilla
