#pragma once

// The session journal: every change of the two lists, with the counters, the
// boxes and which run was going, written to an SQLite file as it happens,
// one transaction per change, so that a crash loses at most the step in
// flight. Only what changed is written. The writing happens on a thread of
// its own, so a run's step does not wait for the disk.
//
// Each running program takes a slot of its own in the journal folder, held
// by a lock file: a second instance never touches the first one's journal.
// A journal found in a free slot was left by a session that did not end
// normally.

#include "core/row_list.h"
#include "session/process_lock.h"
#include "session/session_state.h"
#include "session/session_store.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quilla {

class JournalWriter;

class SessionJournal final : public QObject {
    Q_OBJECT

public:
    using StateSource = std::function<SessionState()>;

    // The first free slot in `folder` that holds a left-over journal, else
    // the first free slot; the folder is made when missing. Nothing when no
    // slot can be had.
    static std::unique_ptr<SessionJournal> open(const QString& folder, RowList& candidates,
                                                RowList& results, StateSource state);
    ~SessionJournal() override;

    // The journal a crashed session left in this slot, if any: read it (or
    // move it aside) before start().
    std::optional<QString> leftOver() const;
    // Moves the left-over journal aside for a report; where it went.
    std::optional<QString> moveLeftOverAside();
    // Removes a left-over journal that holds no session at all.
    void discardLeftOver();

    // From now on every change is written, beginning with the whole session,
    // which takes the place of what a left-over journal held.
    void start();
    // The boxes or the runs changed without the lists: write that too.
    void noteChange();
    // Snapshots appended to `history` are written with the next change; the
    // history must outlive the journal.
    void followHistory(const History* history) { history_ = history; }
    // The history was replaced rather than appended to (a project opened).
    void noteHistoryReplaced();
    // Hands what changed to the writer now rather than after the event.
    void flush();
    // The window closes normally: nothing is kept.
    void endNormally();

    QString path() const { return path_; }
    // The first write that failed, once: the window says so, the run goes on.
    std::optional<QString> takeFailure();

    // Waits, at most `ms`, until everything asked for is written; for tests
    // and the benchmark.
    bool waitUntilWritten(int ms = 10000);

private:
    SessionJournal(QString path, std::unique_ptr<ProcessLock> lock, RowList& candidates,
                   RowList& results, StateSource state);
    void follow(RowList& list, SessionList which);
    RowList& listOf(SessionList which) const;
    void flushSoon();
    void watchTheLoop();

    QString path_;
    std::unique_ptr<ProcessLock> lock_;
    RowList& candidates_;
    RowList& results_;
    StateSource state_;
    bool started_ = false;
    bool flushQueued_ = false;
    bool loopWatched_ = false;
    std::vector<std::int64_t> dirty_[2]; // places per list, repeats allowed
    const History* history_ = nullptr;
    std::size_t historyWritten_ = 0; // snapshots handed to the writer
    bool historyReplaced_ = false;
    QThread thread_;
    JournalWriter* writer_ = nullptr; // lives on thread_
    std::shared_ptr<struct JournalShared> shared_;
};

} // namespace quilla
