#include "net/background_fetch.h"

#include <QMetaObject>

#include <mutex>

namespace quilla {

// What a fetch thread shares with its owner: the owner clears `receiver`
// when it goes, under the lock, so a thread never posts to a dead object.
struct BackgroundFetch::Link {
    std::mutex lock;
    QObject* receiver = nullptr;
};

BackgroundFetch::BackgroundFetch(std::shared_ptr<PageFetcher> fetcher, QObject* parent)
    : QObject(parent), fetcher_(std::move(fetcher)), link_(std::make_shared<Link>()) {
    link_->receiver = this;
}

BackgroundFetch::~BackgroundFetch() {
    {
        const std::lock_guard guard(link_->lock);
        link_->receiver = nullptr;
    }
    // The jthread asks its fetch to stop and joins it here, before the
    // fetcher and everything else the program owns are destroyed.
    worker_ = {};
}

void BackgroundFetch::fetch(const QString& address, std::function<void(const FetchResult&)> done) {
    // Steps never overlap, so a thread still here has posted its answer already.
    worker_ = std::jthread([fetcher = fetcher_, link = link_, address,
                            done = std::move(done)](std::stop_token stop) mutable {
        FetchResult page = fetcher->fetch(address, stop);
        const std::lock_guard guard(link->lock);
        if (!link->receiver)
            return;
        // A posted call to an object deleted before it runs is discarded.
        QMetaObject::invokeMethod(
            link->receiver, [done = std::move(done), page = std::move(page)] { done(page); },
            Qt::QueuedConnection);
    });
}

} // namespace quilla
