#include "table.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quilla::bench {

void Results::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        const bool aggregate = run.run_type == Run::RT_Aggregate;
        if (aggregate && run.aggregate_name != "median")
            continue;
        Figures& f = byName_[run.run_name.function_name];
        if (f.median && !aggregate)
            continue;
        if (run.error_occurred) {
            f.error = run.error_message;
            continue;
        }
        f.median = aggregate;
        f.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        f.counters.clear();
        for (const auto& [name, c] : run.counters)
            f.counters[name] = c.value;
    }
    ConsoleReporter::ReportRuns(runs);
}

std::optional<double> Results::seconds(const std::string& name) const {
    const auto it = byName_.find(name);
    if (it == byName_.end() || it->second.error)
        return std::nullopt;
    return it->second.seconds;
}

std::optional<double> Results::counter(const std::string& name, const std::string& counter) const {
    const auto it = byName_.find(name);
    if (it == byName_.end() || it->second.error)
        return std::nullopt;
    const auto c = it->second.counters.find(counter);
    if (c == it->second.counters.end())
        return std::nullopt;
    return c->second;
}

std::optional<std::string> Results::error(const std::string& name) const {
    const auto it = byName_.find(name);
    if (it == byName_.end())
        return std::string("not run");
    return it->second.error;
}

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts)
        out.append(part);
    return out;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string timeText(double seconds) {
    if (seconds < 1e-3)
        return cat({fixed(seconds * 1e6, 1), " us"});
    if (seconds < 1)
        return cat({fixed(seconds * 1e3, 2), " ms"});
    return cat({fixed(seconds, 3), " s"});
}

namespace {

TableRow ratioOf(const std::string& what, std::optional<double> figure,
                 std::optional<double> baseline, std::optional<std::string> why,
                 const std::string& baselineWhat, std::optional<double> limit,
                 const std::string& target) {
    TableRow row{what, "-", baselineWhat, "-", target, limit ? "no" : "-"};
    if (!figure || !baseline || *baseline <= 0) {
        row.figure = cat({"missing: ", why.value_or("no time")});
        return row;
    }
    const double ratio = *figure / *baseline;
    row.figure = timeText(*figure);
    row.baseline = cat({baselineWhat, " ", timeText(*baseline)});
    row.ratio = cat({fixed(ratio, 2), "x"});
    if (limit)
        row.met = ratio <= *limit ? "yes" : "no";
    return row;
}

} // namespace

TableRow ratioRow(const Results& results, const std::string& what, const std::string& name,
                  const std::string& baselineName, const std::string& baselineWhat,
                  std::optional<double> limit, const std::string& target) {
    const auto figure = results.seconds(name);
    return ratioOf(what, figure, results.seconds(baselineName),
                   !figure ? results.error(name) : results.error(baselineName), baselineWhat, limit,
                   target);
}

TableRow pairedRatioRow(const Results& results, const std::string& what, const std::string& name,
                        const std::string& baselineWhat, std::optional<double> limit,
                        const std::string& target) {
    return ratioOf(what, results.seconds(name), results.counter(name, "baseline_s"),
                   results.error(name), baselineWhat, limit, target);
}

TableRow limitRow(const std::string& what, std::optional<double> value, const std::string& unit,
                  double limit, bool atMost, const std::string& target, const std::string& note) {
    TableRow row{what, "missing", note.empty() ? "-" : note, "-", target, "no"};
    if (!value)
        return row;
    row.figure = cat({fixed(*value, *value < 10 ? 2 : 1), " ", unit});
    row.met = (atMost ? *value <= limit : *value >= limit) ? "yes" : "no";
    return row;
}

int runAndTabulate(int argc, char** argv,
                   const std::function<std::vector<TableRow>(const Results&)>& table) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Results results;
    benchmark::RunSpecifiedBenchmarks(&results);
    benchmark::Shutdown();

    std::ostringstream lines;
    for (const TableRow& r : table(results))
        lines << r.what << '\t' << r.figure << '\t' << r.baseline << '\t' << r.ratio << '\t'
              << r.target << '\t' << r.met << '\n';
    const char* path = std::getenv("QUILLA_BENCH_TABLE");
    if (path == nullptr || *path == '\0') {
        std::fputs(lines.str().c_str(), stdout);
        return 0;
    }
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) {
        std::perror(path);
        return 1;
    }
    std::fputs(lines.str().c_str(), file);
    return std::fclose(file) == 0 ? 0 : 1;
}

} // namespace quilla::bench
