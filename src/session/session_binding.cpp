#include "session/session_binding.h"

namespace quilla {

SessionState runState(const MiningRun& mining, const IndexRun& index) {
    SessionState s;
    s.miningRow = mining.miningRow();
    s.queryRow = index.queryRow();
    s.queriesSinceLongWait = index.queriesSinceLongWait();
    s.miningStarted = mining.started();
    s.indexStarted = index.started();
    // Going, or to be continued: a restored run that crashes again before F5
    // must still be offered back as one that goes on.
    s.miningGoing = mining.miningGoesOn();
    s.indexGoing = index.going() || index.progress().canContinue;
    s.indexOnly = index.chosenRows();
    s.indexOnlyAt = static_cast<std::int64_t>(index.chosenRowsDone());
    s.countRows = mining.rowsLeftToCount();
    s.miningPaceMs = mining.paceMs();
    return s;
}

std::vector<Row> rowsOf(const RowList& list) {
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(list.count()));
    for (std::int64_t i = 0; i < list.count(); ++i)
        rows.push_back(list.row(i));
    return rows;
}

void restoreSession(const SessionSnapshot& snapshot, RowList& candidates, RowList& results,
                    MiningRun& mining, IndexRun& index) {
    candidates.clear();
    candidates.append(std::vector<Row>(snapshot.candidates));
    results.clear();
    results.append(std::vector<Row>(snapshot.results));
    const SessionState& s = snapshot.state;
    mining.restore(s.miningRow, s.miningGoing);
    mining.restorePace(s.miningPaceMs);
    if (s.countRows)
        mining.restoreCounting(*s.countRows);
    index.restore(s.queryRow, s.queriesSinceLongWait, s.indexGoing, s.indexOnly,
                  static_cast<std::size_t>(std::max<std::int64_t>(0, s.indexOnlyAt)));
}

} // namespace quilla
