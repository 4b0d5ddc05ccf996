#pragma once

// Dated snapshots of result rows: every index query of a row adds one, so a
// project keeps how its keywords moved, not only their latest figures. Rows
// that are deleted keep their snapshots (they are keyed by keyword).

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace quilla {

// The nine index figures a snapshot keeps, as the table holds them.
inline constexpr int snapshotFigureCount = 9;
// Between the figures of a snapshot; a figure never holds one.
inline constexpr char16_t figureSeparator = u'\x1f';

// What a snapshot may hold: a file that claims more is damaged, a row that
// holds more is kept as far as it fits.
namespace historyBounds {
inline constexpr std::int64_t maxItemCount = 1'000'000'000'000;
inline constexpr qsizetype maxFigureLength = 64;
inline constexpr qsizetype maxKeywordLength = 4096;
inline constexpr std::size_t maxEntries = 4'000'000;
// 2000-01-01 00:00 and 2100-12-31 24:00 UTC, in ms since the epoch.
inline constexpr std::int64_t earliestMs = 946'684'800'000;
inline constexpr std::int64_t latestMs = 4'133'980'800'000;
} // namespace historyBounds

struct Snapshot {
    std::int64_t atMs = 0; // when the query was written, UTC ms since the epoch
    QString keyword;
    std::int64_t items = -1;     // the row's item count; -1 when it held none
    QString figures;             // the nine figures joined by figureSeparator
    std::int64_t seriesEnd = -1; // Julian day of the series' last value; -1 when none

    std::optional<std::int64_t> itemCount() const;
    QString figure(int i) const;
    QStringList figureList() const;
    std::optional<QDate> seriesEndDate() const;

    bool operator==(const Snapshot&) const = default;
};

// A row's latest snapshot against the one before it: fractions (+0.25 for a
// rise by a quarter), nothing when either figure is missing or the earlier
// one is 0.
struct RowChange {
    std::optional<double> search, items;
    bool operator==(const RowChange&) const = default;
};

// A snapshot of a row as the table holds it, made to fit the bounds: a
// figure cut to its longest, an item count or a day out of bounds left out.
// Nothing for a time out of bounds, or a keyword empty or too long.
std::optional<Snapshot> makeSnapshot(std::int64_t atMs, const QString& keyword,
                                     std::optional<double> items, const QStringList& figures,
                                     std::optional<QDate> seriesEnd);
// Whether a snapshot read from a file is one that makeSnapshot could make.
bool isStorable(const Snapshot& snapshot);

// A project's snapshots in the order they were taken.
class History {
public:
    void reserve(std::size_t n) { entries_.reserve(n); }
    // Keywords are shared between a keyword's snapshots.
    void append(Snapshot snapshot);
    void clear();

    const std::vector<Snapshot>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // A keyword's latest snapshot and the one before it, when there are.
    const Snapshot* latest(const QString& keyword) const;
    const Snapshot* previous(const QString& keyword) const;
    // A keyword's snapshots, oldest first.
    std::vector<const Snapshot*> of(const QString& keyword) const;
    // The keyword's change at its latest snapshot, worked out once: a
    // sorted table asks for it at every comparison.
    RowChange change(const QString& keyword) const;

    bool operator==(const History& other) const { return entries_ == other.entries_; }

private:
    struct LastTwo {
        std::int64_t latest = -1, previous = -1;
        mutable std::optional<RowChange> change;
    };
    std::vector<Snapshot> entries_;
    QHash<QString, LastTwo> lastTwo_;
};

} // namespace quilla
