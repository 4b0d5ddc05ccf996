// The marketplace pushing back, through the real window, libcurl and the fake
// marketplace behind http_proxy: the browser's login counts for the fetch,
// and a run sent to a login page stops there and goes on with F5.

#include "app/main_window.h"
#include "fake_market/block_plan.h"
#include "fake_market/market_data.h"
#include "mining/search_page.h"
#include "net/page_verdict.h"
#include "support/market_window.h"
#include "support/qstring_print.h"

#include <QNetworkCookie>
#include <QPushButton>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "support/wait.h"
#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::u8;

class PushBackSession : public test::MarketWindowTest {
protected:
    std::vector<std::string> searchCookies() {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            if (r.target.find("s.taobao.com/search") != std::string::npos)
                out.push_back(r.cookie);
        return out;
    }
    QStringList texts(const RowList& list) {
        QStringList out;
        for (std::int64_t i = 0; i < list.count(); ++i)
            out.append(list.rowText(i));
        return out;
    }
};

TEST_F(PushBackSession, TheBrowsersCookiesReachTheSearchPageAndItsOwnComeBack) {
    QNetworkCookie login("_tb_token_", "logged-in");
    login.setDomain(u".taobao.com"_s);
    login.setPath(u"/"_s);
    QNetworkCookie elsewhere("other", "x");
    elsewhere.setDomain(u".example.com"_s);
    QWebEngineCookieStore* store = window->browserProfile()->cookieStore();
    store->setCookie(login);
    store->setCookie(elsewhere);
    ASSERT_EVENTUALLY(!cookies->all().empty(), 10000);

    type("quantityBox", u"2"_s);
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0 &&
                          !window->workbench().fetching(),
                      30000);
    const auto sent = searchCookies();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_NE(sent[0].find("_tb_token_=logged-in"), std::string::npos) << sent[0];
    EXPECT_EQ(sent[0].find("other="), std::string::npos) << sent[0];
    // The visitor cookie the first search page set goes with the next request.
    EXPECT_EQ(sent[0].find("cna="), std::string::npos) << sent[0];
    EXPECT_NE(sent[1].find("cna=fake-visitor"), std::string::npos) << sent[1];
    store->deleteAllCookies();
}

TEST_F(PushBackSession, ARedirectToTheLoginHostIsReportedAsSuch) {
    server.block({fake_market::BlockKind::Login, {}, 1, 0});
    const QString address = searchAddress(u"qq"_s);
    const FetchResult fetched = fetcher->fetch(address);
    EXPECT_EQ(fetched.status, 200);
    EXPECT_TRUE(fetched.finalAddress.startsWith(u"http://login.taobao.com/"_s))
        << fetched.finalAddress.toStdString();
    EXPECT_EQ(verdictOf(fetched, address, readSearchPage(fetched.text).yielded()), Verdict::Login);
    // The block was for one request: the next one is a search page again.
    const FetchResult next = fetcher->fetch(address);
    EXPECT_EQ(verdictOf(next, address, readSearchPage(next.text).yielded()), Verdict::Passed);
}

// Sent to the login page in the middle of a run: the run stops, the browser
// shows the login page, the button to go on shows; once the user has logged
// in, "继续" finishes the run with the lists of an unhindered one.
TEST_F(PushBackSession, ALoginStopsTheRunAndContinueFinishesItAsIfNothingHappened) {
    type("quantityBox", u"5"_s);
    click("mineButton");
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0 &&
                          !window->workbench().fetching(),
                      30000);
    const QStringList candidates = texts(window->workbench().candidates());
    const QStringList results = texts(window->workbench().results());

    const QString blocked = window->workbench().candidates().row(3).keyword();
    server.block({fake_market::BlockKind::Login, blocked, 1, 0});
    QString message;
    test::answerNextMessageBox([&](QMessageBox& box) { message = box.text(); });
    click("mineButton");
    ASSERT_EVENTUALLY(!message.isEmpty(), 30000);
    EXPECT_EQ(message, u8("淘宝要求登录，挖词已暂停。请在下方的浏览器中登录，然后按 F5 继续。"));
    EXPECT_EQ(window->workbench().miningTimer().interval(), 0);
    EXPECT_EQ(window->workbench().candidates().rowText(3), blocked); // unmined
    auto* view = window->findChild<QWebEngineView*>(u"browser"_s);
    ASSERT_EVENTUALLY(view->url().host() == u"login.taobao.com"_s, 20000);
    auto* continueButton = window->findChild<QPushButton*>(u"continueButton"_s);
    ASSERT_EVENTUALLY(continueButton->isVisible(), 5000);
    EXPECT_TRUE(window->statusText().contains(u8("淘宝要求登录")))
        << window->statusText().toStdString();

    continueButton->click();
    ASSERT_EVENTUALLY(window->workbench().miningTimer().interval() == 0 &&
                          !window->workbench().fetching() && !continueButton->isVisible(),
                      30000);
    EXPECT_EQ(texts(window->workbench().candidates()), candidates);
    EXPECT_EQ(texts(window->workbench().results()), results);
}

} // namespace
} // namespace quilla
