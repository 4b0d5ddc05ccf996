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

} // namespace quilla
