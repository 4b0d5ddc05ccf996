#pragma once

// A fetcher whose pages arrive only when the test says so, from whatever
// thread asks; every wait is bounded.

#include "net/page_fetch.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quilla::test {

class BlockingFetcher final : public PageFetcher {
public:
    QString gethtml(const QString& address) override {
        std::unique_lock lock(mutex_);
        asked_.append(address);
        ++waiting_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(20), [this] { return released_ > 0; });
        if (released_ > 0)
            --released_;
        --waiting_;
        changed_.notify_all();
        return page;
    }

    // Lets one waiting fetch (or the next one) return.
    void releaseOne() {
        const std::lock_guard lock(mutex_);
        ++released_;
        changed_.notify_all();
    }
    int waiting() const {
        const std::lock_guard lock(mutex_);
        return waiting_;
    }
    QStringList asked() const {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

    QString page; // set before the first fetch

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QStringList asked_;
    int waiting_ = 0;
    int released_ = 0;
};

} // namespace quilla::test
