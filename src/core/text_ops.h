#pragma once

// Text rules the page readers share.

#include <QString>
#include <QStringView>

#include <string_view>

namespace quilla {

// `s` without the characters of `dropped`, lone surrogates as U+FFFD.
QString copyWithout(QStringView s, std::u16string_view dropped);

} // namespace quilla
