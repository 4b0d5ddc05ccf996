#include "core/number_text.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

struct NumberCase {
    const char* text;
    std::optional<std::int32_t> expected;
};

class NumberFromText : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFromText, ReadsBoxText) {
    const auto& c = GetParam();
    EXPECT_EQ(numberFromText(QString::fromUtf8(c.text)), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberFromText,
    ::testing::Values(
        NumberCase{"6000", 6000}, NumberCase{" 12 ", 12}, NumberCase{"\t7\t", 7},
        NumberCase{"-3", -3}, NumberCase{"+4", 4}, NumberCase{"007", 7}, NumberCase{"0", 0},
        // Halves go to the even neighbour; anything above a half rounds up.
        NumberCase{"2.5", 2}, NumberCase{"3.5", 4}, NumberCase{"-2.5", -2}, NumberCase{"-3.5", -4},
        NumberCase{"2.51", 3}, NumberCase{"2.4999", 2}, NumberCase{"2.500001", 3},
        NumberCase{"0.5", 0}, NumberCase{"1.5", 2}, NumberCase{".5", 0}, NumberCase{"7.", 7},
        // The 32-bit range, before and after rounding.
        NumberCase{"2147483647", 2147483647}, NumberCase{"-2147483648", INT32_MIN},
        NumberCase{"2147483648", std::nullopt}, NumberCase{"-2147483649", std::nullopt},
        NumberCase{"2147483647.4", 2147483647}, NumberCase{"2147483647.5", std::nullopt},
        NumberCase{"-2147483648.5", INT32_MIN}, NumberCase{"99999999999999999999", std::nullopt},
        // Not numbers.
        NumberCase{"", std::nullopt}, NumberCase{"   ", std::nullopt},
        NumberCase{"abc", std::nullopt}, NumberCase{"12abc", std::nullopt},
        NumberCase{"1 2", std::nullopt}, NumberCase{"-", std::nullopt},
        NumberCase{".", std::nullopt}, NumberCase{"1e3", std::nullopt},
        NumberCase{"0x10", std::nullopt}, NumberCase{"--1", std::nullopt},
        NumberCase{"１２", std::nullopt}, NumberCase{"1.2.3", std::nullopt}));

} // namespace
} // namespace quilla
