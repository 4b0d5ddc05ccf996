#pragma once

// Figures measured in a process of their own: this same program started again
// with a flag, reporting `key=value` words on one line of its output.

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>

#include <optional>

namespace quilla::bench {

// The value after `key=` in a child's report.
std::optional<double> reported(const QByteArray& line, const QByteArray& key);

// Prints the report of a measured run: what it mined and its peak resident
// size (where the system tells it: Linux).
void reportPeakMemory(long long keywords, long long rows);

// Runs this program with `flag` and takes the peak memory it reports, with
// what it mined, as the benchmark's counters; the child's whole run is the
// time. Waits six minutes at most.
void measurePeakMemory(benchmark::State& state, const QString& flag);

} // namespace quilla::bench
