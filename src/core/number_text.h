#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace quilla {

// A box's text read as a signed 32-bit whole number: surrounding spaces,
// an optional sign, digits and an optional fraction, rounded half to even.
// Anything else, or a value outside the 32-bit range, gives std::nullopt.
std::optional<std::int32_t> numberFromText(const QString& text);

// Digits with thousands separators and one decimal point, nothing else
// (no sign, no blanks): a figure as a page or the table states it.
std::optional<double> plainNumber(QStringView text);

} // namespace quilla
