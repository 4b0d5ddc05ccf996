#include "core/interval_timer.h"

namespace quilla {

IntervalTimer::IntervalTimer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &IntervalTimer::ticked);
}

bool IntervalTimer::setInterval(std::int64_t ms) {
    if (ms < 0 || ms > maxInterval)
        return false;
    interval_ = static_cast<int>(ms);
    ++settings_;
    if (interval_ == 0)
        timer_.stop();
    else
        timer_.start(interval_);
    return true;
}

} // namespace quilla
