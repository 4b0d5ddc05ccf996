#pragma once

// Small helpers every test file may use: readable QString failures, UTF-8
// literals as QString, and the rows of a list as texts.

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <ostream>

// Readable failure output for QString in GoogleTest messages; a long text
// shows its start only.
inline void PrintTo(const QString& s, std::ostream* os) {
    constexpr qsizetype shown = 200;
    *os << '"' << s.left(shown).toStdString() << (s.size() > shown ? "...\"" : "\"");
}

namespace quilla::test {

inline QString u8(const char* s) {
    return QString::fromUtf8(s);
}

inline QStringList listOf(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* t : texts)
        out.append(u8(t));
    return out;
}

} // namespace quilla::test
