#pragma once

#include "core/ports.h"

#include <QElapsedTimer>

namespace quilla {

// The system's monotonic clock.
class SteadyClock final : public Clock {
public:
    SteadyClock() { timer_.start(); }
    std::int64_t nowMs() const override { return timer_.elapsed(); }

private:
    QElapsedTimer timer_;
};

} // namespace quilla
