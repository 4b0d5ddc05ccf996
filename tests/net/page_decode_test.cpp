#include "net/page_decode.h"
#include "support/qstring_print.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace quilla {
namespace {

// 你好 in GBK and in UTF-8.
const QByteArray gbkHello("\xC4\xE3\xBA\xC3");
const QByteArray utf8Hello("\xE4\xBD\xA0\xE5\xA5\xBD");
const QString hello = QString::fromUtf8("你好");

QByteArray metaPage(const QByteArray& meta, const QByteArray& text) {
    return "<html><head>" + meta + "</head><body>" + text + "</body></html>";
}

struct CharsetCase {
    const char* name;
    QByteArray body;
    QByteArray contentType;
    QByteArray charset;
};

void PrintTo(const CharsetCase& c, std::ostream* os) {
    *os << c.name;
}

class PageCharset : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(PageCharset, FollowsTheDeclarationThatCounts) {
    const CharsetCase& c = GetParam();
    EXPECT_EQ(pageCharset(c.body, c.contentType).toStdString(), c.charset.toStdString());
}

const QByteArray utf8Meta = R"(<meta charset="utf-8">)";

INSTANTIATE_TEST_SUITE_P(
    Detection, PageCharset,
    ::testing::Values(
        CharsetCase{"nothing_declared", gbkHello, "", "GB18030"},
        CharsetCase{"type_without_charset", gbkHello, "text/html", "GB18030"},
        CharsetCase{"header_utf8", utf8Hello, "text/html; charset=utf-8", "UTF-8"},
        CharsetCase{"header_quoted_mixed_case", utf8Hello, R"(text/html; Charset="UTF-8")",
                    "UTF-8"},
        CharsetCase{"header_spaced_with_more_params", utf8Hello,
                    "text/html ; charset = 'utf-8' ; q=1", "UTF-8"},
        CharsetCase{"header_gbk", gbkHello, "text/html; charset=gbk", "GB18030"},
        CharsetCase{"header_gb2312", gbkHello, "text/html; charset=GB2312", "GB18030"},
        CharsetCase{"header_cp936", gbkHello, "text/html; charset=cp936", "GB18030"},
        CharsetCase{"header_x_gbk", gbkHello, "text/html; charset=x-gbk", "GB18030"},
        CharsetCase{"header_other_set", "x", "text/html; charset=big5", "Big5"},
        CharsetCase{"header_latin1_reads_as_1252", "x", "text/html; charset=iso-8859-1",
                    "windows-1252"},
        CharsetCase{"header_unknown", gbkHello, "text/html; charset=x-nonsense", "GB18030"},
        CharsetCase{"header_empty_value", gbkHello, R"(text/html; charset="")", "GB18030"},
        CharsetCase{"header_beats_meta", metaPage(utf8Meta, gbkHello), "text/html; charset=gbk",
                    "GB18030"},
        CharsetCase{"unknown_header_leaves_meta", metaPage(utf8Meta, utf8Hello),
                    "text/html; charset=x-nonsense", "UTF-8"},
        CharsetCase{"meta_charset", metaPage(utf8Meta, utf8Hello), "text/html", "UTF-8"},
        CharsetCase{"meta_unquoted_upper_case", metaPage("<META CHARSET=UTF-8>", utf8Hello), "",
                    "UTF-8"},
        CharsetCase{"meta_http_equiv",
                    metaPage(R"(<meta http-equiv="Content-Type" content="text/html; )"
                             R"(charset=utf-8">)",
                             utf8Hello),
                    "", "UTF-8"},
        CharsetCase{"meta_second_tag",
                    metaPage(R"(<meta name="charset-note" content="x"><meta charset="big5">)", "x"),
                    "", "Big5"},
        CharsetCase{"meta_beyond_the_head", QByteArray(5000, ' ') + metaPage(utf8Meta, "x"), "",
                    "GB18030"},
        CharsetCase{"meta_utf16_is_utf8", metaPage(R"(<meta charset="utf-16">)", "x"), "", "UTF-8"},
        CharsetCase{"utf8_mark_beats_header", "\xEF\xBB\xBF" + utf8Hello, "text/html; charset=gbk",
                    "UTF-8"},
        CharsetCase{"utf16_mark",
                    QByteArray("\xFF\xFE"
                               "a\0",
                               4),
                    "", "UTF-16LE"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DecodeCase {
    const char* name;
    QByteArray body;
    QByteArray contentType;
    QString text;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class DecodePage : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodePage, GivesTheText) {
    const DecodeCase& c = GetParam();
    EXPECT_EQ(decodePage(c.body, c.contentType), c.text);
}

const QString fffd(QChar::ReplacementCharacter);

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodePage,
    ::testing::Values(DecodeCase{"empty", "", "text/html; charset=utf-8", QString()},
                      DecodeCase{"undeclared_gbk", gbkHello, "", hello},
                      DecodeCase{"unknown_declared_set_reads_gbk", gbkHello,
                                 "text/html; charset=x-nonsense", hello},
                      DecodeCase{"header_utf8", utf8Hello, "text/html; charset=utf-8", hello},
                      DecodeCase{"meta_utf8", metaPage(utf8Meta, utf8Hello), "text/html",
                                 QString::fromUtf8(metaPage(utf8Meta, utf8Hello))},
                      DecodeCase{"utf8_mark_dropped", "\xEF\xBB\xBF" + utf8Hello, "", hello},
                      DecodeCase{"invalid_gbk_byte",
                                 "a\xFF"
                                 "b",
                                 "", u"a" + fffd + u"b"},
                      DecodeCase{"gbk_lead_byte_before_space", "a\xC4 b", "", u"a" + fffd + u" b"},
                      DecodeCase{"gbk_cut_after_lead_byte", "\xC4\xE3\xBA", "",
                                 QString::fromUtf8("你") + fffd},
                      DecodeCase{"four_byte_cut_after_two", "ab\x81\x30", "", u"ab" + fffd},
                      DecodeCase{"four_byte_cut_after_three", "ab\x81\x30\x81", "", u"ab" + fffd},
                      DecodeCase{"invalid_utf8_byte",
                                 "a\xFF"
                                 "b",
                                 "text/html; charset=utf-8", u"a" + fffd + u"b"}),
    [](const auto& info) { return std::string(info.param.name); });

// Characters outside GBK that GB18030 has: a page labelled with any name of
// the family must still read them, as GBK pages in the wild carry them.
TEST(DecodePageFamily, EveryGbkNameReadsGb18030) {
    const QString text = QString::fromUtf8("价格€😀䶮");
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(text);
    ASSERT_FALSE(encoder.hasError());
    for (const char* name : {"gbk", "GBK", "gb2312", "cp936", "x-gbk", "windows-936", "gb18030",
                             "cp1383", "gb2312-1980"}) {
        const QByteArray header = QByteArray("text/html; charset=") + name;
        EXPECT_EQ(decodePage(bytes, header), text) << name;
    }
}

// Each byte of garbage gives at most one U+FFFD, and the text around it stays.
TEST(DecodePageFamily, GarbageNeverSwallowsText) {
    std::vector<QByteArray> garbage;
    for (int b = 0x80; b <= 0xFF; ++b)
        garbage.push_back(QByteArray(1, static_cast<char>(b)));
    for (const QByteArray& g : garbage) {
        const QString text = decodePage("<p>" + g + "</p>\n", "");
        EXPECT_TRUE(text.startsWith(u"<p>")) << g.toHex().toStdString();
        EXPECT_TRUE(text.endsWith(u"</p>\n")) << g.toHex().toStdString();
        EXPECT_LE(text.size(), 3 + 1 + 5) << g.toHex().toStdString();
    }
}

} // namespace
} // namespace quilla
