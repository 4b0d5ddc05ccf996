#pragma once

// Stand-ins for the window's parts, for driving a run a tick at a time.

#include "core/ports.h"

#include <QStringList>

#include <vector>

namespace quilla::test {

class FakeTimer final : public Timer {
public:
    bool setInterval(std::int64_t ms) override {
        if (ms < 0 || ms > maxInterval)
            return false;
        interval_ = static_cast<int>(ms);
        history.push_back(interval_);
        return true;
    }
    int interval() const override { return interval_; }
    std::uint64_t settings() const override { return history.size(); }

    std::vector<int> history; // every accepted interval, in order

private:
    int interval_ = 0;
};

class FakeTextBox final : public TextBox {
public:
    explicit FakeTextBox(QString value = {}) : value(std::move(value)) {}
    QString text() const override { return value; }
    QString value;
};

class FakeMessageBox final : public MessageBox {
public:
    void show(const QString& text) override { shown.append(text); }
    QStringList shown;
};

// A clock that moves only when the test moves it.
class FakeClock final : public Clock {
public:
    std::int64_t nowMs() const override { return now; }
    std::int64_t now = 0;
};

// Records where pages were shown and what was kept.
class FakePageView final : public PageView {
public:
    void show(const QString& address) override { shown.append(address); }
    QStringList shown;
};

class FakeArchive final : public PageArchive {
public:
    std::optional<QString> keep(const QString& name, const QString& text) override {
        kept.append(text);
        return QStringLiteral("/cache/") + name;
    }
    QStringList kept;
};

} // namespace quilla::test
