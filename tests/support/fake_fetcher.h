#pragma once

#include "net/background_fetch.h"

#include <QHash>
#include <QStringList>

#include <atomic>
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

// Every page offers three keywords never offered before and a count, from
// whatever thread asks: a run on it never runs dry.
class FreshPagesFetcher final : public PageFetcher {
public:
    FetchResult fetch(const QString& address, std::stop_token) override {
        const int n = serial_.fetch_add(3);
        FetchResult page;
        page.text = QStringLiteral("你是不是想找<a rsclick=1>词%1</a><a rsclick=2>词%2</a>"
                                   "<a rsclick=3>词%3</a> 该条件下 共 <b>10</b> 件")
                        .arg(n)
                        .arg(n + 1)
                        .arg(n + 2);
        page.status = 200;
        page.finalAddress = address;
        return page;
    }

private:
    std::atomic<int> serial_ = 0;
};

} // namespace quilla::test
