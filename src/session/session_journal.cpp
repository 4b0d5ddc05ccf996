#include "session/session_journal.h"

#include "session/session_store.h"

#include <QAbstractEventDispatcher>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>

namespace quilla {

constexpr int maxSlots = 16;

// What the journal and its writer share across threads.
struct JournalShared {
    std::mutex lock;
    std::condition_variable written;
    std::optional<QString> failure; // the first one
    bool failureTaken = false;
    std::uint64_t asked = 0, done = 0;

    void fail(const QString& why) {
        const std::lock_guard guard(lock);
        if (!failure)
            failure = why;
    }
    void finished() {
        const std::lock_guard guard(lock);
        ++done;
        written.notify_all();
    }
};

namespace {

constexpr SessionList bothLists[] = {SessionList::Candidates, SessionList::Results};

// A list's place in the per-list arrays below.
constexpr std::size_t listIndex(SessionList list) {
    return static_cast<std::size_t>(list);
}

} // namespace

// One write: the changed rows of each list, each list's length, the state,
// the snapshots taken since the last one (or all of them, replacing those
// written).
struct JournalBatch {
    std::int64_t count[2] = {0, 0};
    std::vector<std::pair<std::int64_t, Row>> rows[2];
    SessionState state;
    std::vector<Snapshot> history;
    bool replaceHistory = false;
};

class JournalWriter final : public QObject {
public:
    JournalWriter(QString path, std::shared_ptr<JournalShared> shared)
        : path_(std::move(path)), shared_(std::move(shared)),
          connection_(QStringLiteral("journal-") + QUuid::createUuid().toString(QUuid::Id128)) {}

    void open() {
        QSqlDatabase db;
        if (const auto error = openSessionDatabase(db, path_, connection_, true)) {
            shared_->fail(*error);
            return;
        }
        QSqlQuery q(db);
        // WAL: a write is one append; a crash leaves the last whole transaction.
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
            shared_->fail(q.lastError().text());
        open_ = true;
    }

    // A write that fails leaves its rows unwritten: they go with the next
    // one, or the journal would hold the rows before and after them only.
    void write(const JournalBatch& batch) {
        if (open_) {
            if (unwritten_)
                mergeInto(*unwritten_, batch);
            const JournalBatch& whole = unwritten_ ? *unwritten_ : batch;
            if (const auto error = writeBatch(whole)) {
                if (!unwritten_)
                    unwritten_ = batch;
                shared_->fail(*error);
            } else {
                unwritten_.reset();
            }
        }
        shared_->finished();
    }

    void close() {
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
        open_ = false;
    }

private:
    // The later batch's rows and lengths over the earlier one's; rows past
    // a list's new end are gone.
    static void mergeInto(JournalBatch& earlier, const JournalBatch& later) {
        for (const SessionList which : bothLists) {
            const std::size_t list = listIndex(which);
            auto& into = earlier.rows[list];
            const auto& from = later.rows[list];
            std::vector<std::pair<std::int64_t, Row>> merged;
            merged.reserve(into.size() + from.size());
            auto a = into.begin();
            for (const auto& row : from) {
                for (; a != into.end() && a->first < row.first; ++a)
                    merged.push_back(std::move(*a));
                if (a != into.end() && a->first == row.first)
                    ++a;
                merged.push_back(row);
            }
            std::move(a, into.end(), std::back_inserter(merged));
            const std::int64_t count = later.count[list];
            std::erase_if(merged, [count](const auto& row) { return row.first >= count; });
            into = std::move(merged);
            earlier.count[list] = count;
        }
        earlier.state = later.state;
        if (later.replaceHistory) {
            earlier.history = later.history;
            earlier.replaceHistory = true;
        } else {
            earlier.history.insert(earlier.history.end(), later.history.begin(),
                                   later.history.end());
        }
    }

    std::optional<QString> writeBatch(const JournalBatch& batch) {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (!db.transaction())
            return db.lastError().text();
        QSqlQuery trim(db), put(db), state(db);
        const auto fail = [&](const QSqlQuery& q) {
            const QString why = q.lastError().text();
            db.rollback();
            return std::optional(why);
        };
        if (!trim.prepare(QStringLiteral("DELETE FROM rows WHERE list = ? AND place >= ?")))
            return fail(trim);
        if (!put.prepare(QStringLiteral("INSERT OR REPLACE INTO rows VALUES (?, ?, ?, ?)")))
            return fail(put);
        for (const SessionList list : bothLists) {
            trim.bindValue(0, static_cast<int>(list));
            trim.bindValue(1, static_cast<qint64>(batch.count[listIndex(list)]));
            if (!trim.exec())
                return fail(trim);
            for (const auto& [place, row] : batch.rows[listIndex(list)]) {
                put.bindValue(0, static_cast<int>(list));
                put.bindValue(1, static_cast<qint64>(place));
                put.bindValue(2, encodeFields(row.fields));
                put.bindValue(3, row.series ? QVariant(encodeSeries(*row.series))
                                            : QVariant(QMetaType(QMetaType::QByteArray)));
                if (!put.exec())
                    return fail(put);
            }
        }
        QSqlQuery clear(db);
        if (batch.replaceHistory && !clear.exec(QStringLiteral("DELETE FROM history")))
            return fail(clear);
        if (auto error = insertHistory(db, batch.history)) {
            db.rollback();
            return error;
        }
        if (!state.prepare(QStringLiteral("INSERT OR REPLACE INTO state VALUES (?, ?)")))
            return fail(state);
        // Only the values that changed: the rows of an index run over chosen
        // rows would otherwise be written again at every tick.
        auto pairs = statePairs(batch.state);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            if (i < written_.size() && written_[i] == pairs[i])
                continue;
            state.bindValue(0, pairs[i].first);
            state.bindValue(1, storedText(pairs[i].second));
            if (!state.exec())
                return fail(state);
        }
        if (!db.commit()) {
            const QString why = db.lastError().text();
            db.rollback(); // a commit that failed may leave the transaction open
            return why;
        }
        written_ = std::move(pairs);
        return std::nullopt;
    }

    QString path_;
    std::shared_ptr<JournalShared> shared_;
    QString connection_;
    bool open_ = false;
    std::vector<std::pair<QString, QString>> written_; // the state as last committed
    std::optional<JournalBatch> unwritten_;            // since the last failed write
};

namespace {

QString slotPath(const QString& folder, int slot) {
    return QDir(folder).filePath(QStringLiteral("journal-%1.sqlite").arg(slot));
}

void removeDatabaseFiles(const QString& path) {
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(path + suffix);
}

} // namespace

std::unique_ptr<SessionJournal> SessionJournal::open(const QString& folder, RowList& candidates,
                                                     RowList& results, StateSource state) {
    if (!QDir().mkpath(folder))
        return nullptr;
    // A journal left in any free slot is taken before an empty slot: another
    // window's crash is offered too, not only this slot's.
    std::unique_ptr<ProcessLock> free;
    int freeSlot = -1;
    for (int slot = 0; slot < maxSlots; ++slot) {
        const bool left = QFile::exists(slotPath(folder, slot));
        if (!left && free)
            continue;
        auto lock = ProcessLock::tryTake(
            QDir(folder).filePath(QStringLiteral("journal-%1.lock").arg(slot)));
        if (!lock)
            continue;
        free = std::move(lock); // lets go of an empty slot taken before
        freeSlot = slot;
        if (left)
            break;
    }
    if (!free)
        return nullptr;
    return std::unique_ptr<SessionJournal>(new SessionJournal(
        slotPath(folder, freeSlot), std::move(free), candidates, results, std::move(state)));
}

SessionJournal::SessionJournal(QString path, std::unique_ptr<ProcessLock> lock, RowList& candidates,
                               RowList& results, StateSource state)
    : path_(std::move(path)), lock_(std::move(lock)), candidates_(candidates), results_(results),
      state_(std::move(state)), shared_(std::make_shared<JournalShared>()) {
    follow(candidates_, SessionList::Candidates);
    follow(results_, SessionList::Results);
}

SessionJournal::~SessionJournal() {
    if (writer_) {
        QMetaObject::invokeMethod(writer_, [w = writer_] { w->close(); });
        thread_.quit();
        thread_.wait();
        delete writer_;
    }
}

std::optional<QString> SessionJournal::leftOver() const {
    if (started_ || !QFile::exists(path_))
        return std::nullopt;
    return path_;
}

std::optional<QString> SessionJournal::moveLeftOverAside() {
    if (!leftOver())
        return std::nullopt;
    const QString aside = path_.chopped(7) + u".damaged-" +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                          u".sqlite";
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::rename(path_ + suffix, aside + suffix);
    if (!QFile::rename(path_, aside))
        return std::nullopt;
    return aside;
}

void SessionJournal::discardLeftOver() {
    if (leftOver())
        removeDatabaseFiles(path_);
}

RowList& SessionJournal::listOf(SessionList which) const {
    return which == SessionList::Candidates ? candidates_ : results_;
}

void SessionJournal::follow(RowList& list, SessionList which) {
    const auto mark = [this, which](std::int64_t from, std::int64_t to) {
        if (!started_)
            return;
        for (std::int64_t i = from; i <= to; ++i)
            dirty_[listIndex(which)].push_back(i);
        flushSoon();
    };
    connect(&list, &QAbstractItemModel::rowsInserted, this,
            [mark](const QModelIndex&, int first, int last) { mark(first, last); });
    connect(&list, &QAbstractItemModel::dataChanged, this,
            [mark](const QModelIndex& a, const QModelIndex& b) { mark(a.row(), b.row()); });
    // Rows after a removal moved up: each takes its new place.
    connect(&list, &QAbstractItemModel::rowsRemoved, this,
            [mark, &list](const QModelIndex&, int first, int) { mark(first, list.count() - 1); });
    connect(&list, &QAbstractItemModel::modelReset, this,
            [mark, &list] { mark(0, list.count() - 1); });
}

// A journal left over is not removed first: the first write replaces all it
// holds in one transaction, so a crash right now still leaves one session.
void SessionJournal::start() {
    if (started_)
        return;
    watchTheLoop();
    writer_ = new JournalWriter(path_, shared_);
    writer_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(writer_, [w = writer_] { w->open(); });
    started_ = true;
    historyReplaced_ = true;
    for (const SessionList which : bothLists)
        for (std::int64_t i = 0; i < listOf(which).count(); ++i)
            dirty_[listIndex(which)].push_back(i);
    flush();
}

void SessionJournal::noteChange() {
    if (started_)
        flushSoon();
}

void SessionJournal::noteHistoryReplaced() {
    historyReplaced_ = true;
    noteChange();
}

// After the event that made the change, so that a step's changes go in one
// write: when the event loop next looks for events. Posting an event to
// ourselves for it would wake the loop through the kernel at every change.
void SessionJournal::flushSoon() {
    if (flushQueued_)
        return;
    flushQueued_ = true;
    if (!loopWatched_)
        QMetaObject::invokeMethod(this, &SessionJournal::flush, Qt::QueuedConnection);
}

void SessionJournal::watchTheLoop() {
    auto* loop = QAbstractEventDispatcher::instance(thread());
    if (!loop)
        return;
    const auto flushIfAsked = [this] {
        if (flushQueued_)
            flush();
    };
    connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, flushIfAsked);
    connect(loop, &QAbstractEventDispatcher::awake, this, flushIfAsked);
    loopWatched_ = true;
}

void SessionJournal::flush() {
    flushQueued_ = false;
    if (!started_ || !writer_)
        return;
    JournalBatch batch;
    for (const SessionList which : bothLists) {
        const RowList& list = listOf(which);
        const std::size_t at = listIndex(which);
        batch.count[at] = list.count();
        std::vector<std::int64_t>& dirty = dirty_[at];
        std::sort(dirty.begin(), dirty.end());
        dirty.erase(std::unique(dirty.begin(), dirty.end()), dirty.end());
        for (const std::int64_t place : dirty)
            if (place < batch.count[at])
                batch.rows[at].emplace_back(place, list.row(place));
        dirty.clear();
    }
    batch.state = state_();
    // The first write replaces whatever history a left-over journal held.
    batch.replaceHistory = historyReplaced_ || (history_ && history_->size() < historyWritten_);
    historyReplaced_ = false;
    if (batch.replaceHistory)
        historyWritten_ = 0;
    if (history_) {
        const auto& entries = history_->entries();
        batch.history.assign(entries.begin() + static_cast<std::ptrdiff_t>(historyWritten_),
                             entries.end());
        historyWritten_ = entries.size();
    }
    {
        const std::lock_guard guard(shared_->lock);
        ++shared_->asked;
    }
    QMetaObject::invokeMethod(writer_,
                              [w = writer_, batch = std::move(batch)] { w->write(batch); });
}

void SessionJournal::endNormally() {
    if (writer_) {
        QMetaObject::invokeMethod(writer_, [w = writer_] { w->close(); });
        thread_.quit();
        thread_.wait();
        delete writer_;
        writer_ = nullptr;
    }
    started_ = false;
    removeDatabaseFiles(path_);
    lock_.reset();
}

std::optional<QString> SessionJournal::takeFailure() {
    const std::lock_guard guard(shared_->lock);
    if (!shared_->failure || shared_->failureTaken)
        return std::nullopt;
    shared_->failureTaken = true;
    return shared_->failure;
}

bool SessionJournal::waitUntilWritten(int ms) {
    if (flushQueued_)
        flush();
    std::unique_lock guard(shared_->lock);
    return shared_->written.wait_for(guard, std::chrono::milliseconds(ms),
                                     [this] { return shared_->done >= shared_->asked; });
}

} // namespace quilla
