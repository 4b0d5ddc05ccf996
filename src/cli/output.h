#pragma once

// How the commands speak: a line on a stream, and a failure as "quilla: "
// and its reason on stderr with the exit status it leads to.

#include <QString>

#include <cstdio>

namespace quilla::cli {

inline void say(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

inline int fail(std::FILE* err, const QString& why, int status = 1) {
    say(err, QStringLiteral("quilla: ") + why);
    return status;
}

} // namespace quilla::cli
