#pragma once

// The small interfaces through which the runs reach the window, so a test can
// stand in for each one and drive a run a tick at a time.

#include <QString>

#include <cstdint>
#include <optional>

namespace quilla {

// A window timer: started and stopped only through its interval (0 stops it).
class Timer {
public:
    static constexpr std::int64_t maxInterval = 65535;

    virtual ~Timer() = default;
    // Refuses (returns false, keeps the old interval) a value outside 0..65535.
    virtual bool setInterval(std::int64_t ms) = 0;
    virtual int interval() const = 0;
    // How many settings the timer has accepted: a tick that fell due before
    // the latest one belongs to a timer that no longer exists.
    virtual std::uint64_t settings() const = 0;
};

// A box's current text, read anew each time.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
};

// A message with one OK button. The caller never waits for the user: the
// runs go on while the message is up.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& text) = 0;
};

// Milliseconds on a clock that only moves forward; waits are measured on it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

// Where the user sees a page: the embedded browser.
class PageView {
public:
    virtual ~PageView() = default;
    virtual void show(const QString& address) = 0;
};

// Keeps a page for a report; gives where it went, or nothing when it could not.
class PageArchive {
public:
    virtual ~PageArchive() = default;
    virtual std::optional<QString> keep(const QString& name, const QString& text) = 0;
};

} // namespace quilla
