#pragma once

// Fetching without waiting: the mining step asks for a page and goes on when
// it arrives, so the window stays alive in between.

#include "net/page_fetch.h"

#include <QObject>

#include <functional>
#include <memory>
#include <thread>

namespace quilla {

class AsyncFetcher {
public:
    virtual ~AsyncFetcher() = default;
    // `done` runs later, on the asking thread's event loop; never inside this call.
    virtual void fetch(const QString& address, std::function<void(const FetchResult&)> done) = 0;
};

// Runs a PageFetcher on a thread of its own, one fetch at a time.
class BackgroundFetch final : public QObject, public AsyncFetcher {
public:
    explicit BackgroundFetch(std::shared_ptr<PageFetcher> fetcher, QObject* parent = nullptr);
    // Tells a fetch under way to stop and waits for its thread, which ends
    // within about a second; its answer is dropped.
    ~BackgroundFetch() override;

    // `done` runs later on this object's thread, unless it is gone by then.
    void fetch(const QString& address, std::function<void(const FetchResult&)> done) override;

private:
    struct Link;

    std::shared_ptr<PageFetcher> fetcher_;
    std::shared_ptr<Link> link_;
    std::jthread worker_;
};

} // namespace quilla
