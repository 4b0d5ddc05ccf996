#pragma once

// A fetcher whose pages arrive only when the test says so, from whatever
// thread asks; a stop request ends a fetch early, and every wait is bounded.

#include "net/page_fetch.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quilla::test {

class BlockingFetcher final : public PageFetcher {
public:
    FetchResult fetch(const QString& address, std::stop_token stop) override {
        std::unique_lock lock(mutex_);
        asked_.append(address);
        ++waiting_;
        changed_.notify_all();
        changed_.wait_for(lock, stop, std::chrono::seconds(20), [this] { return released_ > 0; });
        FetchResult result;
        if (released_ > 0) {
            --released_;
            result.text = page;
            result.status = 200;
            result.finalAddress = address;
        } else {
            result.failure = stop.stop_requested() ? FetchFailure::Stopped : FetchFailure::TimedOut;
            stopped_ += stop.stop_requested() ? 1 : 0;
        }
        --waiting_;
        changed_.notify_all();
        return result;
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
    // Fetches that ended because they were told to stop.
    int stopped() const {
        const std::lock_guard lock(mutex_);
        return stopped_;
    }
    QStringList asked() const {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

    QString page; // set before the first fetch

private:
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    QStringList asked_;
    int waiting_ = 0;
    int released_ = 0;
    int stopped_ = 0;
};

} // namespace quilla::test
