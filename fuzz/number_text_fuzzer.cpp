// Box numbers: any text reads as the decimal value it spells, rounded half to
// even, or as nothing. Checked against an exact decimal reading of our own,
// against floating point where that is exact enough, and by reading the
// result back.

#include "fuzz_support.h"

#include "core/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

using namespace quilla::fuzz;

struct Decimal {
    bool negative = false;
    std::string whole;    // digits before the point, leading zeros gone
    std::string fraction; // digits after it
};

bool blank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Blanks around, a sign, digits with at most one point, and at least one digit.
std::optional<Decimal> spelled(const QString& text) {
    QStringView t(text);
    while (!t.isEmpty() && blank(t.front()))
        t = t.sliced(1);
    while (!t.isEmpty() && blank(t.back()))
        t.chop(1);
    Decimal d;
    if (!t.isEmpty() && (t.front() == u'-' || t.front() == u'+')) {
        d.negative = t.front() == u'-';
        t = t.sliced(1);
    }
    bool point = false;
    for (const QChar c : t) {
        if (c == u'.' && !point) {
            point = true;
        } else if (c >= u'0' && c <= u'9') {
            (point ? d.fraction : d.whole).push_back(static_cast<char>(c.unicode()));
        } else {
            return std::nullopt;
        }
    }
    if (d.whole.empty() && d.fraction.empty())
        return std::nullopt;
    d.whole.erase(0, d.whole.find_first_not_of('0'));
    return d;
}

std::optional<std::int32_t> exact(const Decimal& d) {
    if (d.whole.size() > 10)
        return std::nullopt; // at least 10^10 before rounding
    std::int64_t magnitude = d.whole.empty() ? 0 : std::stoll(d.whole);
    // As fractions 0.F, digit strings without trailing zeros order as text does.
    std::string fraction = d.fraction;
    fraction.erase(fraction.find_last_not_of('0') + 1);
    const int order = fraction.compare("5");
    const bool aboveHalf = order > 0;
    if (aboveHalf || (order == 0 && magnitude % 2 == 1))
        ++magnitude;
    const std::int64_t value = d.negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Doubles hold every decimal of up to 15 digits closely enough
// that rounding to the nearest whole number (ties to even) cannot go wrong.
std::optional<double> roundedDouble(const Decimal& d) {
    if (d.whole.size() + d.fraction.size() > 15)
        return std::nullopt;
    const std::string text = (d.whole.empty() ? "0" : d.whole) + "." + d.fraction + "0";
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    FUZZ_CHECK(error == std::errc() && end == text.data() + text.size());
    value = std::nearbyint(value);
    return d.negative ? -value : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = textOf(bytesOf(data, size));
    const std::optional<std::int32_t> got = quilla::numberFromText(text);

    const std::optional<Decimal> decimal = spelled(text);
    FUZZ_CHECK(decimal.has_value() || !got.has_value());
    if (decimal) {
        FUZZ_CHECK(got == exact(*decimal));
        if (const auto approx = roundedDouble(*decimal)) {
            const bool inRange = *approx >= std::numeric_limits<std::int32_t>::min() &&
                                 *approx <= std::numeric_limits<std::int32_t>::max();
            FUZZ_CHECK(got.has_value() == inRange);
            FUZZ_CHECK(!got || static_cast<double>(*got) == *approx);
        }
    }

    // Blanks around change nothing; a result reads back as itself.
    FUZZ_CHECK(quilla::numberFromText(u" \t" + text + u"\t ") == got);
    if (got)
        FUZZ_CHECK(quilla::numberFromText(QString::number(*got)) == got);
    return 0;
}
