#include "core/step_gate.h"

namespace quilla {

void StepGate::end() {
    if (depth_ > 0)
        --depth_;
    drain();
}

void StepGate::run(std::function<void()> action) {
    clicks_.push_back({{}, std::move(action)});
    drain();
}

void StepGate::runOnce(const QString& key, std::function<void()> action) {
    if (!waitingKeys_.insert(key).second)
        return;
    ticks_.push_back({key, std::move(action)});
    drain();
}

void StepGate::drain() {
    // A deferred action may itself start a waiting step: the rest then waits
    // for that one too. The flag stops a nested end() from running ahead.
    if (draining_)
        return;
    draining_ = true;
    while (!busy() && !(clicks_.empty() && ticks_.empty())) {
        auto& queue = clicks_.empty() ? ticks_ : clicks_;
        Deferred next = std::move(queue.front());
        queue.pop_front();
        if (!next.key.isEmpty())
            waitingKeys_.erase(next.key);
        next.action();
    }
    draining_ = false;
    if (settled_)
        settled_();
}

void GatedTicks::fired(std::function<void()> tick) {
    gate_.runOnce(key_, [this, armed = timer_.settings(), tick = std::move(tick)] {
        if (armed == timer_.settings() && timer_.interval() != 0)
            tick();
    });
}

} // namespace quilla
