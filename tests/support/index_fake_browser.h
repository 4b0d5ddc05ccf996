#pragma once

// A browser page for driving the index run: it answers at once or, with
// `late` set, holds every answer until the test releases it, the way a real
// page answers after a while.

#include "index/browser.h"
#include "index/index_run.h"

#include <QSet>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace quilla::test {

class FakeBrowser final : public Browser {
public:
    bool late = false;
    QString page; // what the page text reads
    QSet<QString> elements{QStringLiteral("query"), QStringLiteral("query-btn")};
    std::optional<QString> href; // the focused element's address

    QStringList navigations;
    std::vector<std::pair<QString, QString>> values; // (element, value) as set
    QStringList clicks;                              // elements clicked
    QStringList log; // what the page did, in order: "value query=...", "click ...", "page"

    // Where the page is: the last address navigated to, or what a test says;
    // the trend page at first, as the window loads it at its start.
    QString shown = IndexRun::startAddress();
    void navigate(const QString& address) override {
        navigations.append(address);
        shown = address;
    }
    QString address() const override { return shown; }

    void setValue(const QString& name, const QString& value,
                  std::function<void(bool)> done) override {
        answer([this, name, value, done] {
            const bool found = elements.contains(name);
            if (found) {
                values.emplace_back(name, value);
                log.append(QStringLiteral("value ") + name + u'=' + value);
            }
            done(found);
        });
    }

    void click(const QString& name, std::function<void(bool)> done) override {
        answer([this, name, done] {
            const bool found = elements.contains(name);
            if (found) {
                clicks.append(name);
                log.append(QStringLiteral("click ") + name);
            }
            done(found);
        });
    }

    void pageText(std::function<void(QString)> done) override {
        answer([this, done] {
            log.append(QStringLiteral("page"));
            done(page);
        });
    }

    void activeHref(std::function<void(std::optional<QString>)> done) override {
        answer([this, done] { done(href); });
    }

    // The values typed into one element, in order.
    QStringList valuesOf(const QString& name) const {
        QStringList out;
        for (const auto& [element, value] : values)
            if (element == name)
                out.append(value);
        return out;
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

    // Gives held answers, also those they lead to, up to `limit` of them.
    int releaseAll(int limit = 1000) {
        int given = 0;
        while (given < limit && releaseOne())
            ++given;
        return given;
    }

private:
    void answer(std::function<void()> action) {
        if (late)
            held_.push_back(std::move(action));
        else
            action();
    }

    std::deque<std::function<void()>> held_;
};

} // namespace quilla::test
