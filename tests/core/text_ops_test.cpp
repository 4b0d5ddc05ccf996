#include "core/text_ops.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

TEST(TextOps, CopyWithoutDropsOnlyTheGivenCharacters) {
    const QString s = QString::fromUtf8("a b\r\nc😀\t") + QChar(0xDC00) + u'd';
    EXPECT_EQ(copyWithout(s, u" \r\n"), QString::fromUtf8("abc😀\t\uFFFDd"));
    EXPECT_EQ(copyWithout(s, u""), QString::fromUtf8("a b\r\nc😀\t\uFFFDd"));
    EXPECT_EQ(copyWithout(QStringView(s).sliced(2, 4), u" "), QStringLiteral("b\r\nc"));
}

} // namespace
} // namespace quilla
