#pragma once

#include "core/ports.h"

#include <QObject>
#include <QTimer>

namespace quilla {

// QTimer behind the interval rule: a positive interval runs it, 0 stops it.
class IntervalTimer final : public QObject, public Timer {
    Q_OBJECT

public:
    explicit IntervalTimer(QObject* parent = nullptr);

    bool setInterval(std::int64_t ms) override;
    int interval() const override { return interval_; }
    std::uint64_t settings() const override { return settings_; }
    bool isActive() const { return timer_.isActive(); }
    // Milliseconds until the next tick; 0 when stopped.
    int remainingTime() const { return timer_.isActive() ? timer_.remainingTime() : 0; }

Q_SIGNALS:
    void ticked();

private:
    QTimer timer_;
    int interval_ = 0;
    std::uint64_t settings_ = 0;
};

} // namespace quilla
