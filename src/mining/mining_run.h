#pragma once

// The mining run: from one seed keyword, one search page per tick, growing
// the candidate list with the related keywords each page suggests and copying
// each mined keyword that passes the filters, with its item count, into the
// result table until that holds the asked quantity.

#include "core/alive.h"
#include "core/ports.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "net/background_fetch.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quilla {

// Why a run stopped by itself.
enum class MiningEnd { None, QuantityReached, QuantityNotANumber, CandidatesUsedUp };

// What the window tells the user about the run.
struct MiningProgress {
    bool started = false;     // a start has passed its checks
    bool running = false;     // the timer ticks
    std::int64_t mined = 0;   // candidates already mined
    std::int64_t waiting = 0; // candidates still to mine
    std::int64_t results = 0; // result rows below the header
    std::optional<std::int32_t> quantity;
    MiningEnd end = MiningEnd::None;
};

class MiningRun final {
public:
    // The keyword, include, exclude and quantity boxes, read anew whenever needed.
    struct Boxes {
        const TextBox& keyword;
        const TextBox& include;
        const TextBox& exclude;
        const TextBox& quantity;
    };

    static constexpr int tickInterval = 100;

    MiningRun(RowList& candidates, RowList& results, Timer& timer, AsyncFetcher& fetcher,
              StepGate& gate, MessageBox& messages, Boxes boxes);

    // The mining start. True when it passed its checks and (re)started the
    // run; a refused start shows its message and changes nothing.
    bool start();

    // The timer fell due: the step runs through the gate (see GatedTicks).
    void timerFired();

    // One mining step: fetches the page for the candidate at `miningRow` and,
    // once it is there, reads it. The step holds the gate while it waits, so
    // clicks and ticks meanwhile run after it.
    void step();

    // Offers a related word to the candidate list: a new, non-empty word that
    // is not already waiting there is appended.
    void offerCandidate(const QString& word);

    // Copies a mined row to the result table when it passes the filters.
    void addResult(const Row& row);

    // The candidate row that the next step processes; 0 before the first start.
    std::int32_t miningRow() const { return miningRow_; }

    // True while a step waits for its page.
    bool stepInFlight() const { return inFlight_; }

    MiningProgress progress() const;

private:
    // The address for row `miningRow`, or nullopt when the list has run dry:
    // the run then stops.
    std::optional<QString> stepAddress();
    void finishStep(const FetchResult& page);
    bool hasCandidate() const;
    bool passesFilters(const QString& keyword) const;
    MiningEnd stopReason() const;

    RowList& candidates_;
    RowList& results_;
    Timer& timer_;
    AsyncFetcher& fetcher_;
    StepGate& gate_;
    MessageBox& messages_;
    Boxes boxes_;
    GatedTicks ticks_;
    std::int32_t miningRow_ = 0;
    bool started_ = false;
    bool inFlight_ = false;
    MiningEnd end_ = MiningEnd::None;
    AliveToken alive_;
};

} // namespace quilla
