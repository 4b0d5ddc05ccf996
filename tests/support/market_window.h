#pragma once

// The real window in front of the fake marketplace: http_proxy points at it,
// and the working folder, where exports land, is a fresh temporary one.

#include "app/main_window.h"
#include "fake_market/server.h"
#include "support/app_dialogs.h"
#include "support/fake_opener.h"
#include "support/proxy_env.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

namespace quilla::test {

class MarketWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        proxy = std::make_unique<ProxyEnvironment>(server.port());
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        window = std::make_unique<MainWindow>(shell, fetcher, cookies);
        window->show();
    }
    void TearDown() override {
        window.reset();
        QDir::setCurrent(previousFolder);
        proxy.reset();
        server.stop();
    }
    void type(const char* box, const QString& text) {
        window->findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
    }
    void click(const char* button) {
        window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
    // Waits, at most `ms`, until the browser shows the trend page ready for a query.
    bool waitForTrendPage(int ms = 30000) {
        auto* view = window->findChild<QWebEngineView*>(QStringLiteral("browser"));
        auto ready = std::make_shared<bool>(false);
        return QTest::qWaitFor(
            [&] {
                if (!*ready)
                    view->page()->runJavaScript(
                        QStringLiteral("document.readyState === 'complete' && "
                                       "!!document.getElementsByName('query-btn')[0]"),
                        [ready](const QVariant& answer) { *ready = *ready || answer.toBool(); });
                return *ready;
            },
            ms);
    }

    // Presses 导出 and answers its message; gives the message's text.
    QString exportAndAnswer() {
        return messageAfterClicking(
            window->findChild<QPushButton*>(QStringLiteral("exportButton")));
    }

    fake_market::FakeMarketServer server;
    std::unique_ptr<ProxyEnvironment> proxy;
    QTemporaryDir folder;
    QString previousFolder;
    FakeOpener shell;
    std::shared_ptr<CookieJar> cookies = std::make_shared<CookieJar>();
    std::shared_ptr<CurlFetcher> fetcher = std::make_shared<CurlFetcher>(FetchLimits{}, cookies);
    std::unique_ptr<MainWindow> window;
};

} // namespace quilla::test
