#pragma once

// The mining run: from one seed keyword, one search page per tick, growing
// the candidate list with the related keywords each page suggests and copying
// each mined keyword that passes the filters, with its item count, into the
// result table until that holds the asked quantity.

#include "core/alive.h"
#include "core/ports.h"
#include "core/row_list.h"
#include "core/steady_clock.h"
#include "core/step_gate.h"
#include "mining/mining_pace.h"
#include "mining/search_page.h"
#include "net/background_fetch.h"
#include "net/page_verdict.h"

#include <QSet>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quilla {

// Why a run stopped by itself.
enum class MiningEnd {
    None,
    QuantityReached,
    QuantityNotANumber,
    CandidatesUsedUp,
    Blocked,           // the marketplace asked for a login or a verification
    ThrottledTooOften, // one keyword was throttled five times
    PagesLookChanged,  // pages in a row yielded nothing: the layout seems changed
};

// A wait before the same keyword is fetched again.
struct MiningWait {
    Verdict why = Verdict::Throttled;
    std::int64_t leftMs = 0;
    int attempt = 0; // tries of this keyword so far
};

// What the window tells the user about the run.
struct MiningProgress {
    bool started = false;     // a start has passed its checks
    bool running = false;     // the timer ticks
    std::int64_t mined = 0;   // candidates already mined
    std::int64_t waiting = 0; // candidates still to mine
    std::int64_t results = 0; // result rows below the header
    std::optional<std::int32_t> quantity;
    MiningEnd end = MiningEnd::None;
    std::optional<MiningWait> wait;      // while the run waits to try again
    Verdict blockedBy = Verdict::Passed; // for Blocked; Passed otherwise
    QString keyword;                     // the candidate at the mining row
    QString keptPage;                    // where the last page that yielded nothing went
    // For PagesLookChanged: the pages in a row that had neither related words
    // nor a count (the watch's 20, or every page the run read when it ran dry).
    std::int64_t pagesLackingBoth = 0;
    std::int64_t failed = 0; // mined keywords whose page never loaded
    // The run mines the failed keywords again (while it goes, and after a stop
    // or block, which F5 goes on from); failedRetryDone once it went through
    // them all. Both stay until the next start or F5.
    bool retryingFailed = false;
    bool failedRetryDone = false;
    bool canContinue = false;
    // Pages per second the pace allows, while it is slower than the tick.
    std::optional<double> pacePerSecond;
    // While item counts of chosen result rows are fetched, paused for F5, or
    // just done: how far that pass is. `end`, `wait`, `keyword` and
    // `canContinue` then speak of it.
    struct Counts {
        std::int64_t done = 0;   // rows whose page was read
        std::int64_t total = 0;  // rows the pass was given
        std::int64_t failed = 0; // of those done, pages that never loaded
        bool finished = false;
    };
    std::optional<Counts> counts;
    // The run's mean rate, for a run the marketplace held back.
    std::optional<double> meanPerSecond;
};

// What the run needs beyond the lists and boxes to deal with push-back; each
// may be left out (a steady clock, random jitter, nowhere to show or keep).
struct PushBackTools {
    Clock* clock = nullptr;
    PageView* pageView = nullptr;   // shows the page that asked for a login
    PageArchive* archive = nullptr; // keeps a page that no longer reads as expected
    std::function<double()> jitter; // a factor in [0.8, 1.2]
    // Off: one request per tick whatever the marketplace answers, as the run
    // went before it learned a pace (kept to compare the two).
    bool adaptivePace = true;
};

// How long to wait before trying a keyword again, and when to give up.
struct RetryPolicy {
    static constexpr int failureRetries = 3;                   // after a server error or no answer
    static constexpr std::int64_t firstFailureWaitMs = 2000;   // then 4 s, 8 s
    static constexpr int throttledTries = 5;                   // of one keyword, then the run stops
    static constexpr std::int64_t firstThrottleWaitMs = 30000; // then 60 s, 120 s, ...
    static constexpr std::int64_t longestWaitMs = 600000;
    static constexpr int emptyPagesInARow = 20; // then the run pauses

    // The wait after the `level`-th throttled answer since a page passed
    // (0 for the first), or the server's Retry-After; capped either way.
    // Waits double from `firstWaitMs`; one that reaches the first of the
    // long waits goes on as they do (30 s, 60 s, ...).
    static std::int64_t throttleWaitMs(int level, std::optional<std::chrono::seconds> retryAfter,
                                       double jitter,
                                       std::int64_t firstWaitMs = firstThrottleWaitMs);
    static std::int64_t failureWaitMs(int retry) { return firstFailureWaitMs << retry; }
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
              StepGate& gate, MessageBox& messages, Boxes boxes, PushBackTools pushBack = {});

    // The mining start. True when it passed its checks and (re)started the
    // run; a refused start shows its message and changes nothing.
    bool start();

    // Goes on with a run that a block, the pause for changed pages or a stop
    // ended, from the keyword where it ended: nothing is cleared, no mined
    // keyword is fetched again. False when there is nothing to go on with.
    bool resume();

    // Mines again, in list order, each keyword whose page never loaded, with
    // the usual fetch, verdicts, retries and pace: its rows in both lists get
    // the count as a mined row holds it and lose their mark, and its related
    // words are offered as mining would. A keyword that fails again keeps its
    // mark. False, changing nothing, while the run goes or when no keyword
    // is marked.
    bool retryFailed();

    // Fetches the search page of each of these result rows (list places) as
    // a mining step does, with its verdicts, retries and pace, and writes the
    // item count into the row as a mined row holds it; the related words are
    // kept (relatedFromCounts), never offered as candidates. Stop pauses it,
    // resume() goes on. False, changing nothing, while the run goes or when
    // no row exists.
    bool countItems(std::vector<std::int64_t> resultRows);
    // The rows a count pass has still to read (its journal), or nothing.
    std::optional<std::vector<std::int64_t>> rowsLeftToCount() const;
    // Puts back a saved count pass after restore(): rows that do not exist
    // are left out.
    void restoreCounting(std::vector<std::int64_t> rowsLeft);
    // The pass is given up: its rows' places changed.
    void forgetCounting();
    // The related words the last count pass's pages offered, in page order,
    // each once.
    const std::vector<QString>& relatedFromCounts() const { return countRelated_; }
    // Mining itself goes or can be continued, a count pass aside: what a
    // saved session keeps of it.
    bool miningGoesOn() const;

    // Puts the run back where a saved session left it, with nothing going;
    // a run that was going can then be continued.
    void restore(std::int32_t miningRow, bool wasGoing);
    // The pace a saved session had learned; the tick's for a fresh one.
    void restorePace(std::int64_t intervalMs) { pace_.restore(intervalMs); }
    // The least time between two search requests, in milliseconds.
    std::int64_t paceMs() const { return pace_.intervalMs(); }
    bool started() const { return started_; }
    // The timer runs or a step waits for its page.
    bool going() const { return timer_.interval() > 0 || inFlight_; }

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
    void finishStep(const QString& address, const FetchResult& fetched);
    void recordMinedPage(const SearchPage& page, const QString& text, const QString& failure);
    void recordRetriedPage(const SearchPage& page, const QString& failure);
    void recordCountedPage(const SearchPage& page, const QString& text, const QString& failure);
    // Counts pages in a row that yielded nothing, and pauses the run when the
    // layout seems changed.
    void watchLayout(const SearchPage& page, const QString& text);
    void finishCounting();
    // Common to resume, retry and count: the timer runs again.
    void goOn();
    QString stepKeyword() const;
    bool counting() const { return count_ == Count::Going; }
    void runDry();
    void finishRetry();
    void forgetPages();
    void keepUnexpectedPage(const QString& text);
    // The candidate row the next step fetches: the mining row, or the failed
    // keyword being mined again.
    std::int32_t stepRow() const;
    // The first failed mined row from `from` on, or 0.
    std::int32_t nextFailedRow(std::int32_t from) const;
    void waitToRetry(Verdict why, std::int64_t ms);
    void stopFor(MiningEnd end);
    void stopForBlock(Verdict why, const QString& address);
    bool hasCandidate() const;
    bool hasMiningCandidate() const;
    bool canContinue() const;
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
    PushBackTools pushBack_;
    SteadyClock ownClock_;
    Clock& clock_;
    std::int32_t miningRow_ = 0;
    bool started_ = false;
    bool inFlight_ = false;
    MiningEnd end_ = MiningEnd::None;
    Verdict blockedBy_ = Verdict::Passed;

    // Push-back of the keyword at the mining row, and of the run.
    struct Wait {
        Verdict why;
        std::int64_t untilMs;
    };
    std::optional<Wait> wait_;
    int failures_ = 0;      // server errors and missing answers, this keyword
    int throttled_ = 0;     // throttled answers, this keyword
    int throttleLevel_ = 0; // throttled answers since a page passed
    int emptyInARow_ = 0;   // pages in a row that yielded nothing
    // Pages read since the start, and whether any yielded; until one does,
    // the last one, to keep if the run runs dry on them.
    std::int64_t pagesRead_ = 0;
    bool anyYielded_ = false;
    QString lastEmptyPage_;
    std::int64_t pagesLackingBoth_ = 0;
    QString keptPage_;

    enum class Retry { Off, Going, Done };
    Retry retry_ = Retry::Off;
    std::int32_t retryRow_ = 0; // the failed row being mined again
    MiningEnd endBeforeRetry_ = MiningEnd::None;

    // A pass over chosen result rows for their item counts.
    enum class Count { Off, Going, Done };
    Count count_ = Count::Off;
    std::vector<std::int64_t> countRows_;
    std::size_t countAt_ = 0;
    std::int64_t countFailed_ = 0;
    MiningEnd endBeforeCount_ = MiningEnd::None;
    std::vector<QString> countRelated_;
    QSet<QString> countRelatedSeen_;

    MiningPace pace_;
    AliveToken alive_;
};

} // namespace quilla
