#pragma once

// What every benchmark program shares: the results, collected while the
// console shows them, and the rows of the summary table that scripts/bench
// prints, each figure next to the baseline it is compared with.

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilla::bench {

class Results final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Seconds per iteration (the manual time where the benchmark measures its
    // own), the median over repetitions when there were several.
    std::optional<double> seconds(const std::string& name) const;
    std::optional<double> counter(const std::string& name, const std::string& counter) const;
    // Why a benchmark gave no figure, when it failed.
    std::optional<std::string> error(const std::string& name) const;

private:
    struct Figures {
        double seconds = 0;
        std::map<std::string, double> counters;
        bool median = false;
        std::optional<std::string> error;
    };
    std::map<std::string, Figures> byName_;
};

struct TableRow {
    std::string what;
    std::string figure;
    std::string baseline;
    std::string ratio;
    std::string target;
    std::string met; // "yes", "no", or "-" where nothing is compared
};

// A time compared with a baseline time: met when figure / baseline <= limit;
// without a limit the ratio is only reported.
TableRow ratioRow(const Results& results, const std::string& what, const std::string& name,
                  const std::string& baselineName, const std::string& baselineWhat,
                  std::optional<double> limit, const std::string& target);

// The same, the baseline taken in turns with the figure in one benchmark and
// kept as its counter `baseline_s`, so that the machine's drift over a run
// weighs on both alike.
TableRow pairedRatioRow(const Results& results, const std::string& what, const std::string& name,
                        const std::string& baselineWhat, std::optional<double> limit,
                        const std::string& target);

// A figure against a fixed limit, with no baseline of its own.
TableRow limitRow(const std::string& what, std::optional<double> value, const std::string& unit,
                  double limit, bool atMost, const std::string& target,
                  const std::string& note = {});

std::string timeText(double seconds);
// The parts joined (GCC 12 warns wrongly about chains of std::string +).
std::string cat(std::initializer_list<std::string_view> parts);
std::string fixed(double value, int decimals);

// Runs the registered benchmarks, then writes the rows `table` makes of the
// results: appended as tab-separated lines to the file that QUILLA_BENCH_TABLE
// names, or printed when it names none.
int runAndTabulate(int argc, char** argv,
                   const std::function<std::vector<TableRow>(const Results&)>& table);

} // namespace quilla::bench
