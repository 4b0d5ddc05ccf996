#pragma once

// The index run: one result row per tick of the index timer. The page answers
// asynchronously, so the start and each tick hold the step gate until their
// page work is done; clicks and ticks routed through the gate meanwhile run
// after them, as they would after a step that never waits.

#include "core/ports.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "index/browser.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace quilla {

// Why a run stopped by itself.
enum class IndexEnd { None, Finished, IntervalRefused };

// What the window tells the user about the run.
struct IndexProgress {
    bool started = false; // the index button was pressed
    bool running = false; // a wait or a tick is under way
    std::int32_t indexrow = 0;
    std::int32_t querycount = 0;
    std::int64_t rows = 0; // result rows below the header
    IndexEnd end = IndexEnd::None;
    QString refusedInterval; // the box text that halted the run
};

class IndexRun final {
public:
    IndexRun(RowList& results, Timer& timer, Browser& browser, const TextBox& interval,
             StepGate& gate);
    IndexRun(const IndexRun&) = delete;
    IndexRun& operator=(const IndexRun&) = delete;

    // The index button: starts over at row 1.
    void Command2_Click();
    // One tick: reads the page, extends row `indexrow`, submits the next row.
    void Timer2_Timer();
    // The timer fell due. The tick runs through the gate, once however often
    // the timer fired meanwhile, and not at all when the timer was stopped or
    // set anew while it waited there: that timer would not have fired.
    void timerFired();

    // Types the keyword into "query", then clicks "query-btn"; either step
    // fails alone. `done` follows both.
    void submitquery(const QString& keyword, std::function<void()> done);

    // The page asked for a new window, which was refused: load the address of
    // the link just activated in this browser instead, if there is one.
    void WebBrowser1_NewWindow2();

    std::int32_t indexrow() const { return indexrow_; }
    std::int32_t querycount() const { return querycount_; }

    IndexProgress progress() const;

    static QString startAddress();

private:
    void writeResult(const QString& pageText);
    void setWaitFromBox();
    void noteHalt();
    void setNextWait();
    void setTimer(std::int64_t ms);

    // Wraps a callback so that an answer arriving after the run is gone is dropped.
    template <typename F> auto whileAlive(F f) {
        return [alive = std::weak_ptr<int>(alive_), f = std::move(f)](auto&&... args) {
            if (!alive.expired())
                f(std::forward<decltype(args)>(args)...);
        };
    }

    RowList& results_;
    Timer& timer_;
    Browser& browser_;
    const TextBox& interval_;
    StepGate& gate_;

    std::int32_t indexrow_ = 0;
    std::int32_t querycount_ = 0;
    std::uint64_t timerSettings_ = 0; // accepted interval settings so far
    bool started_ = false;
    bool inStep_ = false; // between a start or tick and the end of its page work
    IndexEnd end_ = IndexEnd::None;
    QString refusedInterval_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quilla
