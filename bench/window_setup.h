#pragma once

// The real window, offscreen, in front of the fake marketplace, and its index
// run ticked by hand with each tick's cost taken on the window's thread:
// shared by the benchmarks that hold other work against the window's own.

#include "app/main_window.h"
#include "fake_market/server.h"
#include "support/fake_opener.h"
#include "support/proxy_env.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quilla::bench {

// Runs the event loop until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms);

// Runs the event loop for `ms`, sleeping between events.
void hold(int ms);

// One fake marketplace for the whole process: the browser takes its proxy
// from the environment once, when its first page opens.
fake_market::FakeMarketServer* sharedMarket();

// The window in front of the fake marketplace, which serves the trend page
// the browser opens at start.
class Window {
public:
    explicit Window(std::shared_ptr<PageFetcher> fetcher);

    bool ready() const { return window_ != nullptr; }
    MainWindow& operator*() { return *window_; }
    MainWindow* operator->() { return window_.get(); }

    void type(const char* box, const QString& text);

    // The trend page's requests for a keyword's figures, the start page's own included.
    int figureRequests() const;

private:
    fake_market::FakeMarketServer* server_;
    std::unique_ptr<test::ProxyEnvironment> proxy_;
    test::FakeOpener shell_;
    std::unique_ptr<MainWindow> window_;
};

// The window's index run, its timer set a minute out so that only tick()
// moves it. Each tick waits, not counted, until the page has asked for the
// figures of the keyword submitted last.
class IndexTicks {
public:
    explicit IndexTicks(Window& window);

    // Waits for the trend page to come up, then starts the run at row 1.
    bool start();
    // The processor time of the window's thread from the tick through the
    // row it writes and `afterMs` more; nothing when it went wrong (see failure()).
    std::optional<double> tick(int settleMs, int afterMs = 500);
    const std::string& failure() const { return failure_; }

private:
    bool fail(const char* why);

    Window& w_;
    int submitted_ = 1; // the page asks for the start query's figures itself
    int written_ = 0;
    std::string failure_;
};

} // namespace quilla::bench
