// A seller's own keyword lists: files in the encodings Windows and Excel
// write, CSV and tab-separated text, and the lines that are no keywords.

#include "results/keyword_import.h"

#include "core/list_headers.h"
#include "support/qstring_print.h"

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
         listOf({"a,b", "say \"hi\"", "two\nlines"}), 0},
        {"tab-separated", "a\t1,2\nb c\t3\n", listOf({"a", "b c"}), 0},
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
