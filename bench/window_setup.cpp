#include "window_setup.h"

#include "thread_time.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace quilla::bench {

using namespace Qt::StringLiterals;

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void hold(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

fake_market::FakeMarketServer* sharedMarket() {
    static fake_market::FakeMarketServer server;
    static const bool started = server.start();
    return started ? &server : nullptr;
}

Window::Window(std::shared_ptr<PageFetcher> fetcher) : server_(sharedMarket()) {
    if (!server_)
        return;
    server_->clearRequests();
    proxy_ = std::make_unique<test::ProxyEnvironment>(server_->port());
    window_ = std::make_unique<MainWindow>(shell_, std::move(fetcher));
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get(), 10000))
        window_.reset();
}

void Window::type(const char* box, const QString& text) {
    window_->findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
}

int Window::figureRequests() const {
    int n = 0;
    for (const auto& r : server_->requests())
        n += r.target.find("shu.taobao.com/trendindex/data?") != std::string::npos;
    return n;
}

IndexTicks::IndexTicks(Window& window) : w_(window) {
    QObject::connect(&w_->workbench().results(), &QAbstractItemModel::dataChanged, &*w_,
                     [this] { ++written_; });
}

bool IndexTicks::fail(const char* why) {
    failure_ = why;
    return false;
}

bool IndexTicks::start() {
    if (!waitFor([&] { return w_.figureRequests() >= submitted_; }, 60000))
        return fail("the trend page never came up");
    // Only these ticks: the run's own timer waits a minute.
    w_.type("intervalBox", u"60000"_s);
    w_->workbench().startIndex();
    ++submitted_;
    return true;
}

std::optional<double> IndexTicks::tick(int settleMs, int afterMs) {
    if (!waitFor([&] { return w_.figureRequests() >= submitted_; }, 30000)) {
        fail("the page never asked for a keyword's figures");
        return std::nullopt;
    }
    hold(settleMs);
    const int before = written_;
    const double cpu = threadSeconds();
    Q_EMIT w_->workbench().indexTimer().ticked();
    if (!waitFor([&] { return written_ > before; }, 30000)) {
        fail("a tick wrote no row");
        return std::nullopt;
    }
    hold(afterMs);
    ++submitted_;
    return threadSeconds() - cpu;
}

} // namespace quilla::bench
