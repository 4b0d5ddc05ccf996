#pragma once

// The mining run: from one seed keyword, one search page per tick, growing
// the candidate list with the related keywords each page suggests and copying
// each mined keyword that passes the filters, with its item count, into the
// result table until that holds the asked quantity.

#include "core/ports.h"
#include "core/row_list.h"
#include "net/page_fetch.h"

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
    // Text1..Text4 of the window, read anew whenever they are needed.
    struct Boxes {
        const TextBox& keyword;
        const TextBox& include;
        const TextBox& exclude;
        const TextBox& quantity;
    };

    static constexpr int tickInterval = 100;

    MiningRun(RowList& candidates, RowList& results, Timer& timer, PageFetcher& fetcher,
              MessageBox& messages, Boxes boxes);

    // The start. True when it passed its checks and (re)started the run; a
    // refused start shows its message and changes nothing.
    bool Command1_Click();

    void Timer1_Timer();

    // One mining step: fetch the page for row `minerow` and finish with it.
    void baoshu();

    // Offers a related word to the candidate list.
    void addcilist1(const QString& word);

    // Copies a mined row to the result table when it passes the filters.
    void addlist2(const Row& row);

    // The candidate row that the next step processes; 0 before the first start.
    std::int32_t minerow() const { return minerow_; }

    MiningProgress progress() const;

    // A step in two halves, so the fetch between them can wait elsewhere.
    // The address for row `minerow`, or nullopt when there is no such row:
    // the list has run dry, the run stops and the step does nothing more.
    std::optional<QString> stepAddress();
    // The rest of the step with the page fetched for row `minerow`.
    void finishStep(const QString& pageText);

private:
    bool hasCandidate() const;
    bool passesFilters(const QString& keyword) const;
    MiningEnd stopReason() const;

    RowList& candidates_;
    RowList& results_;
    Timer& timer_;
    PageFetcher& fetcher_;
    MessageBox& messages_;
    Boxes boxes_;
    std::int32_t minerow_ = 0;
    bool started_ = false;
    MiningEnd end_ = MiningEnd::None;
};

} // namespace quilla
