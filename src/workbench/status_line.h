#pragma once

// The line under the browser that tells how the runs are going and why they
// ended, in the window's language.

#include "index/index_run.h"
#include "mining/mining_run.h"

#include <QString>

#include <cstdint>

namespace quilla {

// "12秒", "5分04秒", "1小时02分".
QString durationText(std::int64_t ms);

QString miningStatus(const MiningProgress& progress);
QString indexStatus(const IndexProgress& progress, std::int64_t timeLeftMs);

// Both runs' texts, the one that has nothing to say left out.
QString statusLine(const QString& mining, const QString& index);

// Which runs the status line speaks of. A run that is going, or paused to be
// continued, always has its say; one that has ended only until another run
// starts or the rows are edited, so that its last words are not carried into
// what follows (an index run's "完成" under a new mining run, a mining run's
// row count over rows the user pasted since).
class StatusScope {
public:
    void miningStarted() { mining_ = ++clock_; }
    void indexStarted() { index_ = ++clock_; }
    void rowsEdited() { edited_ = ++clock_; }

    QString line(const MiningProgress& mining, const IndexProgress& index,
                 std::int64_t indexTimeLeftMs) const;

private:
    std::uint64_t clock_ = 0;
    std::uint64_t mining_ = 0, index_ = 0, edited_ = 0; // when each last happened
};

} // namespace quilla
