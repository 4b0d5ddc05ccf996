#pragma once

#include "net/background_fetch.h"

#include <QHash>
#include <QStringList>

#include <deque>
#include <mutex>

namespace quilla::test {

// Answers first from the answers queued for the address, then from a table
// of address → page; an unknown address gets an empty page. The answer comes
// at once or, with `late` set, when the test releases it.
class FakeFetcher final : public AsyncFetcher {
public:
    void fetch(const QString& address, std::function<void(const FetchResult&)> done) override {
        asked.append(address);
        FetchResult answer = answerFor(address);
        if (late)
            held_.push_back([done = std::move(done), answer] { done(answer); });
        else
            done(answer);
    }

    std::size_t held() const { return held_.size(); }
    // Gives the oldest held answer; false when none is held.
    bool releaseOne() {
        if (held_.empty())
            return false;
        auto next = std::move(held_.front());
        held_.pop_front();
        next();
        return true;
    }

    FetchResult answerFor(const QString& address) {
        if (auto queue = queued.find(address); queue != queued.end() && !queue->empty()) {
            FetchResult next = std::move(queue->front());
            queue->pop_front();
            return next;
        }
        FetchResult page;
        page.text = pages.value(address);
        page.status = 200;
        page.finalAddress = address;
        return page;
    }

    QHash<QString, QString> pages;
    QHash<QString, std::deque<FetchResult>> queued;
    QStringList asked;
    bool late = false;

private:
    std::deque<std::function<void()>> held_;
};

// The same table for the window's background fetch, which asks from its own
// thread.
class FakePageFetcher final : public PageFetcher {
public:
    FetchResult fetch(const QString& address, std::stop_token) override {
        const std::lock_guard lock(mutex_);
        asked_.append(address);
        FetchResult page;
        page.text = pages_.value(address);
        page.status = 200;
        page.finalAddress = address;
        return page;
    }
    void serve(const QString& address, const QString& page) {
        const std::lock_guard lock(mutex_);
        pages_.insert(address, page);
    }
    QStringList asked() const {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    mutable std::mutex mutex_;
    QHash<QString, QString> pages_;
    QStringList asked_;
};

} // namespace quilla::test
