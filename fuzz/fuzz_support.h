#pragma once

// What the fuzz targets share: reading the input as text, and a check that
// stops the run with a message when an invariant breaks, so libFuzzer saves
// the input that broke it.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quilla::fuzz {

[[noreturn]] inline void broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0) : ::quilla::fuzz::broken(#condition, __FILE__, __LINE__))

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The input as text. Seeds are plain UTF-8 files; a first byte 0xFF (never
// part of UTF-8) makes the rest raw UTF-16LE code units, so lone surrogates
// reach the code too; 0xFE makes the rest page bytes, decoded as a fetched
// page without a declared charset would be (GB18030).
inline QString textOf(const QByteArray& input) {
    if (input.startsWith('\xFF')) {
        const QByteArray units = input.sliced(1);
        QString text;
        for (qsizetype i = 0; i + 1 < units.size(); i += 2)
            text.append(
                QChar(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                            static_cast<unsigned char>(units[i + 1]) << 8)));
        return text;
    }
    if (input.startsWith('\xFE')) {
        QStringDecoder gb18030("GB18030", QStringDecoder::Flag::Stateless);
        return gb18030.decode(input.sliced(1));
    }
    return QString::fromUtf8(input);
}

// Code points, a lone surrogate read as U+FFFD: the characters that positions count.
inline std::u32string codePoints(const QString& s) {
    std::u32string out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
        } else if (c.isSurrogate()) {
            out.push_back(QChar::ReplacementCharacter);
        } else {
            out.push_back(c.unicode());
        }
    }
    return out;
}

// Character by character: QString::fromUcs4 would take a leading U+FEFF for a
// byte-order mark and drop it.
inline QString fromCodePoints(const std::u32string& s) {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    for (const char32_t c : s) {
        if (QChar::requiresSurrogates(c))
            out.append(QChar(QChar::highSurrogate(c))).append(QChar(QChar::lowSurrogate(c)));
        else
            out.append(QChar(static_cast<char16_t>(c)));
    }
    return out;
}

// The text with each lone surrogate replaced by U+FFFD.
inline QString wellFormed(const QString& s) {
    return fromCodePoints(codePoints(s));
}

inline bool hasLoneSurrogate(const QString& s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            return true;
    }
    return false;
}

} // namespace quilla::fuzz
