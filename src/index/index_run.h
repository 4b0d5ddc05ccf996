#pragma once

// The index run: one result row per tick of the index timer. The page answers
// asynchronously, so the start and each tick hold the step gate until their
// page work is done; clicks and ticks routed through the gate meanwhile run
// after them, as they would after a step that never waits.

#include "core/alive.h"
#include "core/ports.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "index/browser.h"
#include "net/page_verdict.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quilla {

// Why a run stopped by itself.
enum class IndexEnd { None, Finished, IntervalRefused, Blocked };

// What the window tells the user about the run.
struct IndexProgress {
    bool started = false;      // the index button was pressed
    bool running = false;      // a wait or a tick is under way
    std::int64_t position = 0; // of the row in flight among the run's rows, from 1
    std::int32_t queriesSinceLongWait = 0;
    std::int64_t rows = 0; // the run's rows: below the header, or those asked for again
    IndexEnd end = IndexEnd::None;
    // Once Finished: how many of the run's rows the pages gave figures, and
    // how many they left empty (a page not loaded within the interval).
    std::int64_t withFigures = 0;
    std::int64_t withoutFigures = 0;
    QString refusedInterval;             // the box text that halted the run
    Verdict blockedBy = Verdict::Passed; // for Blocked; Passed otherwise
    bool onlyEmptyRows = false;          // a run over the rows without figures
    bool canContinue = false;
};

// The pacing of the queries: after every 41st tick since the start or the
// last long wait, the next wait is 40 s instead of the interval.
struct QueryPacing {
    static constexpr std::int64_t longWaitMs = 40000;
    static constexpr std::int32_t longWaitAfter = 40;

    // Whether the tick that brought the count to `queriesSinceLongWait` is
    // followed by the long wait.
    static bool longWaitDue(std::int32_t queriesSinceLongWait) {
        return queriesSinceLongWait > longWaitAfter;
    }

    // The waiting still ahead of a run: the wait now running, then one wait
    // after each tick but the last, the long waits included.
    static std::int64_t timeLeft(const IndexProgress& progress, std::int64_t currentWaitMs,
                                 std::int64_t intervalMs);
};

class IndexRun final {
public:
    IndexRun(RowList& results, Timer& timer, Browser& browser, const TextBox& interval,
             StepGate& gate, MessageBox* messages = nullptr);
    IndexRun(const IndexRun&) = delete;
    IndexRun& operator=(const IndexRun&) = delete;

    // The index start: submits row 1 and starts the timer, over from row 1.
    // A browser away from the trend page (left on a login page, say) is sent
    // back to it first, and the first tick submits the row there.
    void start();
    // A run over these rows only (the rows without figures, say), in order.
    void startWith(std::vector<std::int64_t> rows);
    // Goes on from the row where a block or a stop ended the run; its first
    // tick only submits that row again, on the trend page. False when there
    // is nothing to go on with.
    bool resume();
    // The rows were edited: what the run was doing no longer applies, and a
    // run that is not going has nothing left to say or to continue.
    void forgetProgress();
    // Puts the run back where a saved session left it, with nothing going;
    // a run that was going can then be continued.
    void restore(std::int32_t queryRow, std::int32_t queriesSinceLongWait, bool wasGoing,
                 std::optional<std::vector<std::int64_t>> chosenRows, std::size_t chosenRowsDone);
    bool started() const { return started_; }
    bool going() const { return running(); }
    // For a run over some rows: those rows and how far it got.
    const std::optional<std::vector<std::int64_t>>& chosenRows() const { return chosenRows_; }
    std::size_t chosenRowsDone() const { return chosenRowsDone_; }
    // One tick: reads the page, extends row `queryRow`, submits the next row.
    void tick();
    // The timer fell due: the tick runs through the gate (see GatedTicks).
    void timerFired();

    // Types the keyword into "query", then clicks "query-btn"; either step
    // fails alone. `done` follows both.
    void submitQuery(const QString& keyword, std::function<void()> done);

    // Called after each tick wrote a row's figures, with the row's place.
    void onRowWritten(std::function<void(std::int64_t row)> written) {
        rowWritten_ = std::move(written);
    }

    // The page asked for a new window, which was refused: the link just
    // activated loads in this browser instead, when it is a web address.
    void openRefusedWindowHere();

    // The result row whose query is in flight; 0 before the first start.
    std::int32_t queryRow() const { return queryRow_; }
    // Ticks since the start or the last long wait.
    std::int32_t queriesSinceLongWait() const { return queriesSinceLongWait_; }

    IndexProgress progress() const;

    static QString startAddress();

    // Whether a page may make the browser load `address`: web pages only.
    static bool mayOpen(const QString& address);

private:
    void begin(std::int64_t firstRow);
    void writeResult(const QString& pageText);
    bool haltIfBlocked();
    void tallyRows();
    void finishPageWork(bool afterTick);
    void setWaitFromBox();
    bool advance();
    bool canContinue() const;
    bool running() const { return inStep_ || timer_.interval() > 0; }
    std::int64_t runRows() const;

    RowList& results_;
    Timer& timer_;
    Browser& browser_;
    const TextBox& interval_;
    StepGate& gate_;
    GatedTicks ticks_;

    MessageBox* messages_;
    std::function<void(std::int64_t)> rowWritten_;

    std::int32_t queryRow_ = 0;
    std::int32_t queriesSinceLongWait_ = 0;
    // A run over chosen rows: those rows, and how many of them are done (the
    // row in hand is chosenRows_[chosenRowsDone_]).
    std::optional<std::vector<std::int64_t>> chosenRows_;
    std::size_t chosenRowsDone_ = 0;
    bool started_ = false;
    bool inStep_ = false;   // between a start or tick and the end of its page work
    bool resubmit_ = false; // the next tick submits again rather than reads
    IndexEnd end_ = IndexEnd::None;
    QString refusedInterval_;
    Verdict blockedBy_ = Verdict::Passed;
    struct Tally {
        std::int64_t rows = 0, withFigures = 0, withoutFigures = 0;
    } tally_;
    AliveToken alive_;
};

} // namespace quilla
