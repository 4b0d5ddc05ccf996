#pragma once

// Between a session as stored and the lists and runs that hold it.

#include "index/index_run.h"
#include "mining/mining_run.h"
#include "session/session_state.h"

namespace quilla {

// The runs' counters and whether each was started and is going; the boxes
// are the owner's to fill in.
SessionState runState(const MiningRun& mining, const IndexRun& index);

std::vector<Row> rowsOf(const RowList& list);

// Both lists and both runs as the snapshot has them, no run going; the
// boxes are the owner's to set.
void restoreSession(const SessionSnapshot& snapshot, RowList& candidates, RowList& results,
                    MiningRun& mining, IndexRun& index);

} // namespace quilla
