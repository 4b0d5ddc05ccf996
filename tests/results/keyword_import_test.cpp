// A seller's own keyword lists: files in the encodings Windows and Excel
// write, CSV and tab-separated text, and the lines that are no keywords.

#include "results/keyword_import.h"

#include "core/list_headers.h"
#include "support/qstring_print.h"

#include <QFile>
#include <QSet>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::listOf;
using test::u8;

const QString sample = u8("连衣裙\r\n女装 夏\r\nqq币\r\n");

QByteArray encoded(QStringConverter::Encoding encoding, bool bom) {
    QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom
                                         : QStringConverter::Flag::Default);
    return encoder.encode(sample);
}

TEST(KeywordFiles, EachEncodingReadsTheSameText) {
    QStringEncoder gb18030("GB18030");
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"utf-8", encoded(QStringConverter::Utf8, false)},
        {"utf-8 with bom", encoded(QStringConverter::Utf8, true)},
        {"utf-16le with bom", encoded(QStringConverter::Utf16LE, true)},
        {"utf-16be with bom", encoded(QStringConverter::Utf16BE, true)},
        {"gb18030", gb18030.encode(sample)},
        {"gb18030 that reads as utf-8 nowhere", gb18030.encode(u8("中文"))},
    };
    for (const auto& f : files) {
        const QString want = QByteArrayView(f.name).endsWith("nowhere") ? u8("中文") : sample;
        EXPECT_EQ(decodeKeywordFile(f.bytes), want) << f.name;
    }
}

TEST(KeywordImport, TakesOneKeywordALineAndLeavesOutWhatIsNone) {
    const QSet<QString> inTable{u8("已有")};
    const struct {
        const char* name;
        const char* text;
        QStringList added;
        qsizetype skipped;
    } cases[] = {
        {"lines", "a\nb\r\nc\rd", listOf({"a", "b", "c", "d"}), 0},
        {"spaces trimmed, blank lines gone", "  a  \n\n \t \n　b　\n", listOf({"a", "b"}), 0},
        {"csv: the first field", "a,123\nb,\"4,5\"\n", listOf({"a", "b"}), 0},
        {"csv quoting", "\"a,b\",1\n\"say \"\"hi\"\"\",2\n\"two\nlines\",3\n",
         listOf({"a,b", "say \"hi\"", "two lines"}), 0},
        {"tab-separated", "a\t1,2\nb c\t3\n", listOf({"a", "b c"}), 0},
        // A byte-order mark the file's decoding left (a second one) or a
        // control character before a quote: the quote still opens the field.
        {"invisible before a quote", "\xEF\xBB\xBF\"a,\xE2\x80\xA9" "b\",1\n\x01\"c,d\"\n",
         listOf({"a, b", "c,d"}), 0},
        {"the table's header line", "关键词,宝贝数\na,1\n", listOf({"a"}), 1},
        {"twice in the input", "a\nb\na\n a \n", listOf({"a", "b"}), 2},
        {"already in the table", "已有\nnew\n", listOf({"new"}), 1},
        {"nothing", "", {}, 0},
    };
    for (const auto& c : cases) {
        const KeywordImport got =
            keywordsFrom(u8(c.text), resultHeader().first(),
                         [&](const QString& k) { return inTable.contains(k); });
        EXPECT_EQ(got.added, c.added) << c.name;
        EXPECT_EQ(got.skipped, c.skipped) << c.name;
    }
}

QByteArray dataFile(const char* name) {
    QFile file(QString::fromLocal8Bit(qgetenv("QUILLA_SOURCE_DIR")) + u"/tests/data/import/"_s +
               QString::fromUtf8(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable test file");
}

QByteArray encodedAs(const char* encoding, const QString& text, bool bom = false) {
    QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom
                                         : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

// What every import must give, whatever the file: keywords trimmed, not
// empty, on one line, each once.
void expectSoundKeywords(const QStringList& keywords, const char* name) {
    QSet<QString> seen;
    for (const QString& k : keywords) {
        EXPECT_FALSE(k.isEmpty()) << name;
        EXPECT_EQ(k, k.trimmed()) << name;
        for (const QChar c : k)
            EXPECT_FALSE(c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'\t' ||
                         c.unicode() == 0x85 || c.unicode() == 0x2028 || c.unicode() == 0x2029 ||
                         c.unicode() == 0xFEFF || c.unicode() == 0)
                << name << ": U+" << std::hex << int(c.unicode());
        EXPECT_FALSE(seen.contains(k)) << name;
        seen.insert(k);
    }
}

// Each file on its own: its encoding and its separator are its own.
TEST(KeywordFiles, EachFileGivesItsKeywords) {
    const QString list =
        u8("连衣裙\r\n女装 夏\r\nqq币\r\n手机壳 透明\r\n蓝牙耳机\r\n男士T恤 纯棉\r\n"
           "儿童玩具\r\n保温杯\r\n");
    const QStringList listWords = listOf({"连衣裙", "女装 夏", "qq币", "手机壳 透明", "蓝牙耳机",
                                          "男士T恤 纯棉", "儿童玩具", "保温杯"});
    const QString traditional = u8("連衣裙\r\n藍牙耳機\r\n兒童玩具\r\n保溫杯\r\n"
                                   "運動鞋\r\n電動牙刷\r\n無線滑鼠\r\n摺疊雨傘\r\n機械鍵盤\r\n"
                                   "隨身碟\r\n陶瓷馬克杯\r\n嬰兒車\r\n");
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList added;
        qsizetype skipped;
    } files[] = {
        // Found by fuzzing.
        {"gb18030 bytes that are also utf-8", dataFile("gbk-valid-utf8.txt"), listOf({"猫"}), 0},
        {"a second byte-order mark", dataFile("second-bom.txt"), listOf({"a"}), 0},
        {"utf-16le whose text begins with U+0000", dataFile("utf16-leading-nul.txt"), listOf({"a"}),
         0},
        {"a vertical tab", dataFile("vertical-tab.txt"), listOf({"a", "b"}), 0},
        {"form feed, U+0085, U+2028, U+2029",
         encodedAs("UTF-16LE", u8("a\fb\u0085c\u2028d\u2029e\r\n"), true),
         listOf({"a", "b", "c", "d", "e"}), 0},
        {"nul and control characters", QByteArray("a\0b\x01\n\x7f\n", 7), listOf({"ab"}), 0},
        // The separator, per file and outside quotes.
        {"csv with a tab in a quoted field",
         encodedAs("UTF-8", u8("关键词,宝贝数\r\n\"a\tb\",1\r\nc,2\r\n")), listOf({"a b", "c"}), 1},
        {"tab-separated with commas after the first line",
         encodedAs("UTF-8", u8("\r\n关键词\t宝贝数\na\t1,2\nb,c\t3\n")), listOf({"a", "b,c"}), 1},
        {"csv with a tab in a later line", QByteArray("a,1\nb\tx,2\n"), listOf({"a", "b x"}), 0},
        {"a quote never closed", QByteArray("\"a,1\nb\n"), listOf({"\"a", "b"}), 0},
        {"Excel's unicode text",
         encodedAs("UTF-16LE", u8("关键词\t宝贝数\r\n连衣裙\t12\r\n\"女装, 夏\"\t3\r\n"), true),
         listOf({"连衣裙", "女装, 夏"}), 1},
        // The same text in each encoding.
        {"utf-8", encodedAs("UTF-8", list), listWords, 0},
        {"utf-8 with bom", encodedAs("UTF-8", list, true), listWords, 0},
        {"utf-16le with bom", encodedAs("UTF-16LE", list, true), listWords, 0},
        {"utf-16be with bom", encodedAs("UTF-16BE", list, true), listWords, 0},
        {"utf-16le without bom", encodedAs("UTF-16LE", list), listWords, 0},
        {"utf-32le with bom", encodedAs("UTF-32LE", list, true), listWords, 0},
        {"gb18030", encodedAs("GB18030", list), listWords, 0},
        {"one word, utf-8", encodedAs("UTF-8", u8("猫\r\n")), listOf({"猫"}), 0},
        {"one word, utf-16le", encodedAs("UTF-16LE", u8("猫\r\n"), true), listOf({"猫"}), 0},
        // Found by fuzzing: short UTF-8 holding CJK and a Latin letter, whose
        // bytes also read as GB18030 that is CJK throughout.
        {"utf-8 with chinese and an accent", encodedAs("UTF-8", u8("鞋子é\r\n")), listOf({"鞋子é"}),
         0},
        {"utf-8 with chinese and a latin word", encodedAs("UTF-8", u8("咖啡 café\r\n")),
         listOf({"咖啡 café"}), 0},
        {"two words, gb18030", encodedAs("GB18030", u8("连衣裙\r\n女装\r\n")),
         listOf({"连衣裙", "女装"}), 0},
        {"big5, told by the detector", encodedAs("Big5", traditional),
         traditional.split(u8("\r\n"), Qt::SkipEmptyParts), 0},
    };
    for (const auto& f : files) {
        const KeywordImport got = keywordsFromFile(f.bytes, resultHeader().first(), {});
        EXPECT_EQ(got.added, f.added) << f.name;
        EXPECT_EQ(got.skipped, f.skipped) << f.name;
        EXPECT_TRUE(got.refused.isEmpty()) << f.name;
        expectSoundKeywords(got.added, f.name);
    }
    const KeywordImport tooLarge =
        keywordsFromFile(QByteArray(maxKeywordFileBytes + 1, 'a'), resultHeader().first(), {});
    EXPECT_TRUE(tooLarge.added.isEmpty());
    EXPECT_FALSE(tooLarge.refused.isEmpty());
}

TEST(KeywordImport, AHundredThousandLinesBecomeRowsAfterTheTable) {
    QString text = u"关键词\r\n"_s;
    for (int i = 0; i < 100000; ++i)
        text += u"关键词"_s + QString::number(i % 99990) + u"\r\n";
    RowList table;
    table.append(Row{resultHeader()});
    table.append(Row{{u"关键词5"_s, u"12"_s}});
    const KeywordImport got = keywordsFrom(
        text, resultHeader().first(), [&](const QString& k) { return table.containsKeyword(k); });
    EXPECT_EQ(got.added.size(), 99989);
    EXPECT_EQ(got.skipped, 1 + 10 + 1); // the header, ten repeats, the one in the table
    appendKeywordRows(table, got.added);
    ASSERT_EQ(table.count(), 2 + 99989);
    EXPECT_EQ(table.row(2), Row({u"关键词0"_s, QString()}));
    EXPECT_EQ(table.rowText(2), u"关键词0,"_s);
}

TEST(KeywordImport, AnEmptyTableGetsItsHeaderFirst) {
    RowList table;
    appendKeywordRows(table, listOf({"a"}));
    ASSERT_EQ(table.count(), 2);
    EXPECT_EQ(table.row(0).fields, resultHeader());
    appendKeywordRows(table, {});
    EXPECT_EQ(table.count(), 2);
}

} // namespace
} // namespace quilla
