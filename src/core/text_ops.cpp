#include "core/text_ops.h"

namespace quilla {

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

} // namespace quilla
