#include "core/text_ops.h"

#include <algorithm>

namespace quilla {

Text toText(const QString& s) {
    return s.toStdU32String();
}

Text toTextWithout(const QString& s, TextView dropped) {
    Text out(static_cast<std::size_t>(s.size()), U'\0');
    char32_t* to = out.data();
    const char16_t* at = reinterpret_cast<const char16_t*>(s.utf16());
    const char16_t* const end = at + s.size();
    while (at < end) {
        char32_t c = *at++;
        if (QChar::isSurrogate(c)) [[unlikely]] {
            if (QChar::isHighSurrogate(c) && at < end && QChar::isLowSurrogate(*at))
                c = QChar::surrogateToUcs4(static_cast<char16_t>(c), *at++);
            else
                c = QChar::ReplacementCharacter;
        }
        *to = c;
        to += dropped.find(c) == TextView::npos;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return out;
}

// Not QString::fromUcs4: it takes a leading U+FEFF for a byte-order mark and drops it.
QString toQString(TextView t) {
    QString out;
    out.reserve(static_cast<qsizetype>(t.size()));
    for (const char32_t c : t) {
        if (QChar::requiresSurrogates(c)) {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        } else {
            out.append(QChar(static_cast<char16_t>(c)));
        }
    }
    return out;
}

QString copyWithout(QStringView s, std::u16string_view dropped) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (dropped.find(c.unicode()) != std::u16string_view::npos)
            continue;
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            out.append(c).append(s[++i]);
        else
            out.append(c.isSurrogate() ? QChar(QChar::ReplacementCharacter) : c);
    }
    return out;
}

std::int64_t find(TextView s, TextView m) {
    const auto at = s.find(m);
    return at == TextView::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::optional<TextView> take(TextView s, std::int64_t p, std::int64_t n) {
    if (p < 1 || n < 0)
        return std::nullopt;
    const auto size = static_cast<std::int64_t>(s.size());
    if (p > size)
        return TextView{};
    return s.substr(static_cast<std::size_t>(p - 1),
                    static_cast<std::size_t>(std::min(n, size - p + 1)));
}

std::optional<TextView> cut(TextView s, std::int64_t p) {
    const auto size = static_cast<std::int64_t>(s.size());
    if (p < 1 || p > size)
        return std::nullopt;
    return s.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(size - p));
}

std::optional<TextView> left(TextView s, std::int64_t n) {
    if (n < 0)
        return std::nullopt;
    return s.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(n, s.size())));
}

std::vector<TextView> split(TextView t) {
    std::vector<TextView> pieces;
    if (t.empty())
        return pieces;
    std::size_t from = 0;
    for (;;) {
        const auto comma = t.find(U',', from);
        pieces.push_back(t.substr(from, comma == TextView::npos ? TextView::npos : comma - from));
        if (comma == TextView::npos)
            return pieces;
        from = comma + 1;
    }
}

std::optional<TextView> piece(const std::vector<TextView>& pieces, std::int64_t i) {
    if (i < 0 || i >= static_cast<std::int64_t>(pieces.size()))
        return std::nullopt;
    return pieces[static_cast<std::size_t>(i)];
}

Text removeSpaces(TextView s) {
    Text out;
    out.reserve(s.size());
    std::copy_if(s.begin(), s.end(), std::back_inserter(out), [](char32_t c) { return c != U' '; });
    return out;
}

Text replaceAll(TextView s, TextView from, TextView to) {
    Text out;
    if (from.empty())
        return Text(s);
    std::size_t at = 0;
    for (;;) {
        const auto hit = s.find(from, at);
        if (hit == TextView::npos) {
            out.append(s.substr(at));
            return out;
        }
        out.append(s.substr(at, hit - at)).append(to);
        at = hit + from.size();
    }
}

} // namespace quilla
