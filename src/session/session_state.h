#pragma once

// A session as a journal or a project file keeps it: both lists with their
// series, the counters of the runs, the five boxes, which run was going and
// the dated snapshots of the rows.

#include "core/row_list.h"
#include "history/history.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quilla {

// What the runs and the boxes hold besides the lists.
struct SessionState {
    QString keyword, include, exclude, quantity, interval;
    std::int32_t miningRow = 0;
    std::int32_t queryRow = 0;
    std::int32_t queriesSinceLongWait = 0;
    bool miningStarted = false; // a mining start has passed its checks
    bool indexStarted = false;
    bool miningGoing = false; // the run was going, or could be continued, when written
    bool indexGoing = false;
    // For an index run over some rows only: those rows, and where it was.
    std::optional<std::vector<std::int64_t>> indexOnly;
    std::int64_t indexOnlyAt = 0;
    // The least time between two search requests that the mining run learned;
    // 100 is one a tick, as a session from before the pace was kept.
    std::int64_t miningPaceMs = 100;
    // The result rows whose item counts a pass has still to fetch.
    std::optional<std::vector<std::int64_t>> countRows = std::nullopt;
    // Related words the search pages offered that the table did not hold,
    // kept until the user adds them or the next collection replaces them.
    std::vector<QString> offeredWords{};

    bool operator==(const SessionState&) const = default;
};

struct SessionSnapshot {
    std::vector<Row> candidates;
    std::vector<Row> results;
    SessionState state;
    // Every index query of a row, dated, oldest first.
    History history;

    bool operator==(const SessionSnapshot&) const = default;
};

} // namespace quilla
