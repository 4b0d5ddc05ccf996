#include "core/number_text.h"

#include <cmath>
#include <limits>

namespace quilla {
namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

std::optional<std::int32_t> numberFromText(const QString& text) {
    qsizetype at = 0, end = text.size();
    while (at < end && isBlank(text[at]))
        ++at;
    while (end > at && isBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (at < end && (text[at] == u'+' || text[at] == u'-'))
        negative = text[at++] == u'-';

    // Past 2^32 the value is out of range whatever follows, so stop growing.
    constexpr std::int64_t ceiling = std::int64_t{1} << 32;
    std::int64_t whole = 0;
    int digits = 0;
    for (; at < end && isDigit(text[at]); ++at, ++digits)
        whole = std::min(ceiling, whole * 10 + (text[at].unicode() - u'0'));

    // Fraction: only its first digit and whether anything non-zero follows matter.
    int firstFraction = 0;
    bool restNonZero = false;
    if (at < end && text[at] == u'.') {
        ++at;
        for (int place = 0; at < end && isDigit(text[at]); ++at, ++place, ++digits) {
            const int d = text[at].unicode() - u'0';
            if (place == 0)
                firstFraction = d;
            else if (d != 0)
                restNonZero = true;
        }
    }
    if (at != end || digits == 0)
        return std::nullopt;

    const bool roundUp =
        firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1));
    if (roundUp)
        whole = std::min(ceiling, whole + 1);

    const std::int64_t value = negative ? -whole : whole;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<double> plainNumber(QStringView text) {
    QString digits;
    digits.reserve(text.size());
    bool any = false, point = false;
    for (const QChar c : text) {
        if (isDigit(c)) {
            digits.append(c);
            any = true;
        } else if (c == u',' && any && !point) {
            continue;
        } else if (c == u'.' && !point) {
            digits.append(c);
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!any)
        return std::nullopt;
    bool ok = false;
    const double value = digits.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

} // namespace quilla
