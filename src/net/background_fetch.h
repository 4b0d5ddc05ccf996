#pragma once

// Runs a page fetch on a thread of its own, so the window stays alive while
// the page arrives, and hands the page back on the owner's thread.

#include "net/page_fetch.h"

#include <QObject>

#include <functional>
#include <memory>

namespace quilla {

class BackgroundFetch final : public QObject {
public:
    explicit BackgroundFetch(std::shared_ptr<PageFetcher> fetcher, QObject* parent = nullptr);
    // Does not wait for a fetch under way: its answer is dropped, and the
    // thread ends on its own (or with the program).
    ~BackgroundFetch() override;

    // `done` runs later on this object's thread, unless it is gone by then.
    void fetch(const QString& address, std::function<void(const QString&)> done);

private:
    struct Link;

    std::shared_ptr<PageFetcher> fetcher_;
    std::shared_ptr<Link> link_;
};

} // namespace quilla
