#pragma once

#include <cstdint>

namespace quilla::fake_market {

// A tiny deterministic generator (xorshift32): the same seed always gives the
// same made-up figures, on every platform.
class Dice final {
public:
    explicit Dice(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9e3779b9u) {}

    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

    // A whole number from lo to hi, both included.
    int between(int lo, int hi) {
        const auto span = static_cast<std::uint32_t>(hi - lo) + 1u;
        return lo + static_cast<int>(next() % span);
    }

private:
    std::uint32_t state_;
};

} // namespace quilla::fake_market
