#include "net/page_decode.h"
#include "support/qstring_print.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
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

// Every name the web gives windows-874, and ICU's other names for the Thai
// sets, read as windows-874, declared in the header or in a <meta>: the euro
// sign at 0x80 (IBM's Thai set has none), Thai letters above 0xA0.
TEST(DecodePageFamily, EveryThaiNameReadsWindows874) {
    const QByteArray bytes("\x80\xA1\xA4\xE5");
    const QString text = QString::fromUtf8("€กคๅ");
    for (const char* name :
         {"windows-874", "TIS-620", "tis-620", "cp874", "CP874", "dos-874", "iso-8859-11",
          "iso8859-11", "iso885911", "ms874", "ibm-874", "x-IBM874", "tis620.2533"}) {
        const QByteArray header = QByteArray("text/html; charset=") + name;
        EXPECT_EQ(pageCharset(bytes, header), "windows-874") << name;
        EXPECT_EQ(decodePage(bytes, header), text) << name;
        const QByteArray page = "<meta charset=" + QByteArray(name) + ">" + bytes;
        EXPECT_EQ(pageCharset(page, ""), "windows-874") << name;
        EXPECT_TRUE(decodePage(page, "").endsWith(text)) << name;
    }
}

// Every label of the web's encoding list (those no decoder here knows read
// as GB18030), and the one a fuzzer found: cp874 in a <meta> after junk.
const char* const webLabels[] = {"unicode-1-1-utf-8",
                                 "unicode11utf8",
                                 "unicode20utf8",
                                 "utf-8",
                                 "utf8",
                                 "x-unicode20utf8",
                                 "866",
                                 "cp866",
                                 "csibm866",
                                 "ibm866",
                                 "csisolatin2",
                                 "iso-8859-2",
                                 "iso-ir-101",
                                 "iso8859-2",
                                 "iso88592",
                                 "iso_8859-2",
                                 "iso_8859-2:1987",
                                 "l2",
                                 "latin2",
                                 "csisolatin3",
                                 "iso-8859-3",
                                 "iso-ir-109",
                                 "iso8859-3",
                                 "iso88593",
                                 "iso_8859-3",
                                 "iso_8859-3:1988",
                                 "l3",
                                 "latin3",
                                 "csisolatin4",
                                 "iso-8859-4",
                                 "iso-ir-110",
                                 "iso8859-4",
                                 "iso88594",
                                 "iso_8859-4",
                                 "iso_8859-4:1988",
                                 "l4",
                                 "latin4",
                                 "csisolatincyrillic",
                                 "cyrillic",
                                 "iso-8859-5",
                                 "iso-ir-144",
                                 "iso8859-5",
                                 "iso88595",
                                 "iso_8859-5",
                                 "iso_8859-5:1988",
                                 "arabic",
                                 "asmo-708",
                                 "csiso88596e",
                                 "csiso88596i",
                                 "csisolatinarabic",
                                 "ecma-114",
                                 "iso-8859-6",
                                 "iso-8859-6-e",
                                 "iso-8859-6-i",
                                 "iso-ir-127",
                                 "iso8859-6",
                                 "iso88596",
                                 "iso_8859-6",
                                 "iso_8859-6:1987",
                                 "csisolatingreek",
                                 "ecma-118",
                                 "elot_928",
                                 "greek",
                                 "greek8",
                                 "iso-8859-7",
                                 "iso-ir-126",
                                 "iso8859-7",
                                 "iso88597",
                                 "iso_8859-7",
                                 "iso_8859-7:1987",
                                 "sun_eu_greek",
                                 "csiso88598e",
                                 "csisolatinhebrew",
                                 "hebrew",
                                 "iso-8859-8",
                                 "iso-8859-8-e",
                                 "iso-ir-138",
                                 "iso8859-8",
                                 "iso88598",
                                 "iso_8859-8",
                                 "iso_8859-8:1988",
                                 "visual",
                                 "csiso88598i",
                                 "iso-8859-8-i",
                                 "logical",
                                 "csisolatin6",
                                 "iso-8859-10",
                                 "iso-ir-157",
                                 "iso8859-10",
                                 "iso885910",
                                 "l6",
                                 "latin6",
                                 "iso-8859-13",
                                 "iso8859-13",
                                 "iso885913",
                                 "iso-8859-14",
                                 "iso8859-14",
                                 "iso885914",
                                 "csisolatin9",
                                 "iso-8859-15",
                                 "iso8859-15",
                                 "iso885915",
                                 "iso_8859-15",
                                 "l9",
                                 "iso-8859-16",
                                 "cskoi8r",
                                 "koi",
                                 "koi8",
                                 "koi8-r",
                                 "koi8_r",
                                 "koi8-ru",
                                 "koi8-u",
                                 "csmacintosh",
                                 "mac",
                                 "macintosh",
                                 "x-mac-roman",
                                 "dos-874",
                                 "iso-8859-11",
                                 "iso8859-11",
                                 "iso885911",
                                 "tis-620",
                                 "windows-874",
                                 "cp1250",
                                 "windows-1250",
                                 "x-cp1250",
                                 "cp1251",
                                 "windows-1251",
                                 "x-cp1251",
                                 "ansi_x3.4-1968",
                                 "ascii",
                                 "cp1252",
                                 "cp819",
                                 "csisolatin1",
                                 "ibm819",
                                 "iso-8859-1",
                                 "iso-ir-100",
                                 "iso8859-1",
                                 "iso88591",
                                 "iso_8859-1",
                                 "iso_8859-1:1987",
                                 "l1",
                                 "latin1",
                                 "us-ascii",
                                 "windows-1252",
                                 "x-cp1252",
                                 "cp1253",
                                 "windows-1253",
                                 "x-cp1253",
                                 "cp1254",
                                 "csisolatin5",
                                 "iso-8859-9",
                                 "iso-ir-148",
                                 "iso8859-9",
                                 "iso88599",
                                 "iso_8859-9",
                                 "iso_8859-9:1989",
                                 "l5",
                                 "latin5",
                                 "windows-1254",
                                 "x-cp1254",
                                 "cp1255",
                                 "windows-1255",
                                 "x-cp1255",
                                 "cp1256",
                                 "windows-1256",
                                 "x-cp1256",
                                 "cp1257",
                                 "windows-1257",
                                 "x-cp1257",
                                 "cp1258",
                                 "windows-1258",
                                 "x-cp1258",
                                 "x-mac-cyrillic",
                                 "x-mac-ukrainian",
                                 "chinese",
                                 "csgb2312",
                                 "csiso58gb231280",
                                 "gb2312",
                                 "gb_2312",
                                 "gb_2312-80",
                                 "gbk",
                                 "iso-ir-58",
                                 "x-gbk",
                                 "gb18030",
                                 "big5",
                                 "big5-hkscs",
                                 "cn-big5",
                                 "csbig5",
                                 "x-x-big5",
                                 "cseucpkdfmtjapanese",
                                 "euc-jp",
                                 "x-euc-jp",
                                 "csiso2022jp",
                                 "iso-2022-jp",
                                 "csshiftjis",
                                 "ms932",
                                 "ms_kanji",
                                 "shift-jis",
                                 "shift_jis",
                                 "sjis",
                                 "windows-31j",
                                 "x-sjis",
                                 "cseuckr",
                                 "csksc56011987",
                                 "euc-kr",
                                 "iso-ir-149",
                                 "korean",
                                 "ks_c_5601-1987",
                                 "ks_c_5601-1989",
                                 "ksc5601",
                                 "ksc_5601",
                                 "windows-949",
                                 "csiso2022kr",
                                 "hz-gb-2312",
                                 "iso-2022-cn",
                                 "iso-2022-cn-ext",
                                 "iso-2022-kr",
                                 "replacement",
                                 "unicodefffe",
                                 "utf-16be",
                                 "csunicode",
                                 "iso-10646-ucs-2",
                                 "ucs-2",
                                 "unicode",
                                 "unicodefeff",
                                 "utf-16",
                                 "utf-16le",
                                 "x-user-defined"};

QString withoutLoneSurrogates(QString s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            s[i] = QChar::ReplacementCharacter;
    }
    return s;
}

// The character set a page is said to be in is the one it is decoded with:
// opened again by that name, its decoder reads every byte from 0x80 to 0xFF
// as the page's decoding does, whichever label declared it, and wherever.
TEST(PageCharsetAgreement, TheNamedDecoderReadsThePageAsDecoded) {
    QByteArray sample;
    for (int b = 0x80; b <= 0xFF; ++b)
        sample.append(static_cast<char>(b));
    sample.append('\n');
    std::vector<std::pair<QByteArray, QByteArray>> pages; // body, Content-Type
    for (const char* label : webLabels) {
        pages.emplace_back(sample, QByteArray("text/html; charset=") + label);
        pages.emplace_back("<meta charset=\"" + QByteArray(label) + "\">" + sample, "text/html");
    }
    pages.emplace_back("<meta http-equiv content=\"text/html; charset= \r\r\rcp874\r\r\">" +
                           QByteArray(200, 'c') + sample,
                       "text/html");
    for (const auto& [body, contentType] : pages) {
        const QByteArray charset = pageCharset(body, contentType);
        QStringDecoder named(charset.constData(), QStringDecoder::Flag::Stateless);
        ASSERT_TRUE(named.isValid()) << charset.toStdString();
        EXPECT_EQ(decodePage(body, contentType), withoutLoneSurrogates(named.decode(body)))
            << contentType.toStdString() << " " << body.left(40).toStdString() << " as "
            << charset.toStdString();
    }
}

} // namespace
} // namespace quilla
