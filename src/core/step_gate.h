#pragma once

// Keeps the one-step-at-a-time order when a step has to wait for an answer
// (a page, a script result): clicks and ticks that arrive meanwhile run after
// the step, in the order they came, never inside it.

#include "core/ports.h"

#include <QString>

#include <deque>
#include <functional>
#include <set>

namespace quilla {

class StepGate final {
public:
    bool busy() const { return depth_ > 0; }

    // A step starts waiting; `end` must follow once it has finished.
    void begin() { ++depth_; }
    void end();

    // Runs `action` now when no step waits, otherwise after the step.
    void run(std::function<void()> action);

    // A timer tick: like `run`, but a `key` already waiting is not queued
    // again, so ticks that fall due during a step are delivered once; and, as
    // with window timers, ticks wait until every deferred click has run.
    void runOnce(const QString& key, std::function<void()> action);
    // Called each time the gate has run what it could: whatever the actions
    // and steps changed is then in place, to be noted (the journal is told).
    void whenSettled(std::function<void()> settled) { settled_ = std::move(settled); }

private:
    struct Deferred {
        QString key;
        std::function<void()> action;
    };
    void drain();

    int depth_ = 0;
    bool draining_ = false;
    std::deque<Deferred> clicks_;
    std::deque<Deferred> ticks_;
    std::set<QString> waitingKeys_;
    std::function<void()> settled_;
};

// A run's timer ticks, delivered through the gate: a tick that falls due
// while a step waits runs after it, once however often the timer fired
// meanwhile, and not at all when the timer was stopped or set anew while the
// tick waited, because that timer would not have fired.
class GatedTicks final {
public:
    GatedTicks(StepGate& gate, const Timer& timer, QString key)
        : gate_(gate), timer_(timer), key_(std::move(key)) {}

    void fired(std::function<void()> tick);

private:
    StepGate& gate_;
    const Timer& timer_;
    QString key_;
};

} // namespace quilla
