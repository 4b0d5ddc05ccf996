#pragma once

// The list sizes at which the mining step is measured, alone and in the window.

#include <string>

namespace quilla::bench {

struct StepCase {
    const char* name;
    const char* what;
    int candidates;
    int rows;
};

inline constexpr StepCase stepCases[] = {
    {"10", "10 candidates, 3 rows", 10, 3},
    {"1000", "1,000 candidates, 300 rows", 1000, 300},
    {"30000", "30,000 candidates, 3,000 rows", 30000, 3000},
    {"30000_10000rows", "30,000 candidates, 10,000 rows", 30000, 10000}};

// "<family>/<case>", the name a step benchmark registers under.
inline std::string stepName(const char* family, const StepCase& c) {
    return std::string(family) + '/' + c.name;
}

} // namespace quilla::bench
