#include "core/text_ops.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

Text t(const char* utf8) {
    return toText(QString::fromUtf8(utf8));
}
std::optional<QString> q(std::optional<TextView> v) {
    if (!v)
        return std::nullopt;
    return toQString(*v);
}
std::optional<QString> qs(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(TextOps, FindCountsCharactersFromOne) {
    const struct {
        const char* s;
        const char* m;
        std::int64_t at;
    } cases[] = {
        {"abc", "a", 1},
        {"abc", "c", 3},
        {"abc", "x", 0},
        {"", "a", 0},
        {"你是不是想找qq", "qq", 7},
        {"😀a", "a", 2},
        {"aXbX", "X", 2},
        {"ab", "abc", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find(t(c.s), t(c.m)), c.at) << c.s << " / " << c.m;
}

TEST(TextOps, CutKeepsFromPositionUpToTheLastCharacter) {
    const struct {
        const char* s;
        std::int64_t p;
        std::optional<QString> expected;
    } cases[] = {
        {"abcdef", 1, qs("abcde")},
        {"abcdef", 3, qs("cde")},
        {"abcdef", 6, qs("")},
        {"abcdef", 7, std::nullopt},
        {"abcdef", 0, std::nullopt},
        {"abcdef", -1, std::nullopt},
        {"", 1, std::nullopt},
        {"a", 1, qs("")},
        // An emoji is one character: the cut never leaves half of it.
        {"x😀y😀", 2, qs("😀y")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(q(cut(t(c.s), c.p)), c.expected) << c.s << " at " << c.p;
}

TEST(TextOps, TakeAndLeft) {
    EXPECT_EQ(q(take(t("abcdef"), 2, 3)), qs("bcd"));
    EXPECT_EQ(q(take(t("abcdef"), 5, 10)), qs("ef"));
    EXPECT_EQ(q(take(t("abcdef"), 7, 1)), qs(""));
    EXPECT_EQ(q(take(t("abcdef"), 100, 1)), qs(""));
    EXPECT_EQ(q(take(t("abcdef"), 2, 0)), qs(""));
    EXPECT_EQ(q(take(t("abcdef"), 0, 1)), std::nullopt);
    EXPECT_EQ(q(take(t("abcdef"), 1, -1)), std::nullopt);
    EXPECT_EQ(q(left(t("abc"), 2)), qs("ab"));
    EXPECT_EQ(q(left(t("abc"), 0)), qs(""));
    EXPECT_EQ(q(left(t("abc"), 9)), qs("abc"));
    EXPECT_EQ(q(left(t("abc"), -1)), std::nullopt);
}

TEST(TextOps, SplitAndPiece) {
    const struct {
        const char* s;
        std::vector<QString> pieces;
    } cases[] = {
        {"", {}},
        {"a", {QStringLiteral("a")}},
        {"a,b", {QStringLiteral("a"), QStringLiteral("b")}},
        {",", {QString(), QString()}},
        {"[10,20,", {QStringLiteral("[10"), QStringLiteral("20"), QString()}},
    };
    for (const auto& c : cases) {
        const Text text = t(c.s);
        std::vector<QString> got;
        for (auto p : split(text))
            got.push_back(toQString(p));
        EXPECT_EQ(got, c.pieces) << c.s;
    }
    const Text text = t("a,b");
    const auto pieces = split(text);
    EXPECT_EQ(q(piece(pieces, 1)), qs("b"));
    EXPECT_EQ(q(piece(pieces, 2)), std::nullopt);
    EXPECT_EQ(q(piece(pieces, -1)), std::nullopt);
}

TEST(TextOps, RemoveSpacesRemovesOnlyPlainSpaces) {
    EXPECT_EQ(toQString(removeSpaces(t(" a b\tc\u00a0d\u3000e\r\n "))),
              QString::fromUtf8("ab\tc\u00a0d\u3000e\r\n"));
}

TEST(TextOps, ConversionLeavesOutTheDroppedCharactersInOnePass) {
    const QString s = QString::fromUtf8("a b\r\nc😀\t") + QChar(0xD800) + u'd';
    EXPECT_EQ(toTextWithout(s, U" \r\n"), Text(U"abc😀\t\uFFFDd"));
    EXPECT_EQ(toTextWithout(s, U""), Text(U"a b\r\nc😀\t\uFFFDd"));
    EXPECT_EQ(toTextWithout(QString(), U" "), Text());
}

TEST(TextOps, ConversionBackKeepsEveryCharacterALeadingFeffToo) {
    const Text text = U"\uFEFFa😀\uFEFF";
    const QString back = toQString(text);
    EXPECT_EQ(back, QChar(0xFEFF) + QString::fromUtf8("a😀") + QChar(0xFEFF));
    EXPECT_EQ(toText(back), text);
}

TEST(TextOps, CopyWithoutDropsOnlyTheGivenCharacters) {
    const QString s = QString::fromUtf8("a b\r\nc😀\t") + QChar(0xDC00) + u'd';
    EXPECT_EQ(copyWithout(s, u" \r\n"), QString::fromUtf8("abc😀\t\uFFFDd"));
    EXPECT_EQ(copyWithout(s, u""), QString::fromUtf8("a b\r\nc😀\t\uFFFDd"));
    EXPECT_EQ(copyWithout(QStringView(s).sliced(2, 4), u" "), QStringLiteral("b\r\nc"));
}

TEST(TextOps, ReplaceAll) {
    EXPECT_EQ(toQString(replaceAll(t("<S>1</S><S>2"), t("<S>"), t("+"))),
              QStringLiteral("+1</S>+2"));
    EXPECT_EQ(toQString(replaceAll(t("aaa"), t("aa"), t("b"))), QStringLiteral("ba"));
    EXPECT_EQ(toQString(replaceAll(t("abc"), t(""), t("x"))), QStringLiteral("abc"));
}

} // namespace
} // namespace quilla
