#include "export/csv_export.h"
#include "support/export_support.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::appendRows;
using test::entriesIn;
using test::fileBytes;

const QString header =
    QStringLiteral("关键词,宝贝数,昨天搜索指数,前天搜索指数,昨天成交指数,前天成交指数,"
                   "七天的搜索指数环比,与去年同期相比,三十天的搜索指数环比,"
                   "与去年同期相比,趋势预测");

QString decodeGb18030(const QByteArray& bytes) {
    QStringDecoder decoder("GB18030");
    return decoder.decode(bytes);
}

TEST(CsvLine, QuotesOnlyFieldsThatWouldBreakTheColumns) {
    const struct {
        QStringList fields;
        QString line;
    } cases[] = {
        {{}, QString()},
        {{u"连衣裙"_s, u"1234"_s}, u"连衣裙,1234"_s},
        {{u"连衣裙"_s, u"1,234"_s}, u"连衣裙,\"1,234\""_s},
        {{u"say \"hi\""_s}, u"\"say \"\"hi\"\"\""_s},
        {{u"\""_s}, u"\"\"\"\""_s},
        {{u"a\rb"_s, u"c\nd"_s}, u"\"a\rb\",\"c\nd\""_s},
        {{QString(), QString(), u" x "_s}, u",, x "_s},
        {{u"tab\there"_s, u"semi;colon"_s}, u"tab\there,semi;colon"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(csvLine(Row{c.fields}), c.line) << c.fields.join(u'|').toStdString();
}

TEST(CsvBytes, SmallTableExactBytes) {
    RowList table;
    appendRows(
        table,
        {{u"关键词"_s, u"宝贝数"_s}, {u"连衣裙"_s, u"1,234"_s}, {u"a\"b"_s, u"x\r\ny"_s}, {}});
    const char* const lines[] = {
        "b9d8bcfcb4ca2cb1a6b1b4cafd0d0a",   // 关键词,宝贝数
        "c1acd2c2c8b92c22312c323334220d0a", // 连衣裙,"1,234"
        "2261222262222c22780d0a79220d0a",   // "a""b","x CR LF y"
        "0d0a",                             // the empty row
    };
    QByteArray expected;
    for (const char* line : lines)
        expected += QByteArray::fromHex(line);
    EXPECT_EQ(csvBytes(table).toHex(), expected.toHex());
}

TEST(CsvBytes, HeaderOnlyIsOneLineAndNoRowsIsNothing) {
    RowList table;
    EXPECT_TRUE(csvBytes(table).isEmpty());
    table.append(Row{header.split(u',')});
    const QByteArray bytes = csvBytes(table);
    EXPECT_EQ(decodeGb18030(bytes), header + u"\r\n");
    EXPECT_EQ(bytes.count("\r\n"), 1);
}

TEST(CsvBytes, TextOutsideCodePage936SurvivesDecoding) {
    const QString texts[] = {
        QString::fromUtf8("\xF0\x9F\x98\x80 笑脸"), // emoji
        QString::fromUtf8("\xF0\xA0\x80\x80"),      // CJK extension B
        QString::fromUtf8("\xE1\xB8\xBF"),          // ḿ, only in GB18030
        QString::fromUtf8("caf\xC3\xA9 \xD0\x96"),  // Latin and Cyrillic
    };
    for (const QString& text : texts) {
        RowList table;
        table.append(Row{{text, u"1"_s}});
        EXPECT_EQ(decodeGb18030(csvBytes(table)), text + u",1\r\n") << text.toStdString();
    }
}

TEST(CsvBytes, EuroSignIsWrittenAsCodePage936Has) {
    RowList table;
    table.append(Row{{QString::fromUtf8("\xE2\x82\xAC"
                                        "9.9"),
                      u"\u20AC"_s}});
    EXPECT_EQ(csvBytes(table).toHex(), QByteArray("80392e392c800d0a"));
    QStringDecoder cp936("windows-936");
    ASSERT_TRUE(cp936.isValid());
    EXPECT_EQ(cp936.decode(csvBytes(table)), QString::fromUtf8("\xE2\x82\xAC"
                                                               "9.9,\xE2\x82\xAC\r\n"));
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    RowList table;
};

TEST_F(ExportTest, WritesTheTableUnderTheKeywordThenRefusesASecondTime) {
    appendRows(table, {{u"关键词"_s, u"宝贝数"_s}, {u"连衣裙"_s, u"1,234"_s}});
    const auto outcome = exportTable(table, u"连衣裙"_s, dir.path());
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();
    EXPECT_EQ(entriesIn(dir.path()), QStringList{u"连衣裙.csv"_s});
    const QByteArray first = fileBytes(path(u"连衣裙.csv"_s));
    EXPECT_EQ(first, csvBytes(table));

    table.append(Row{{u"新行"_s}});
    EXPECT_EQ(exportTable(table, u"连衣裙"_s, dir.path()).kind, ExportOutcome::Kind::Exists);
    EXPECT_EQ(fileBytes(path(u"连衣裙.csv"_s)), first);
    EXPECT_EQ(entriesIn(dir.path()), QStringList{u"连衣裙.csv"_s});
}

TEST_F(ExportTest, EmptyTableGivesAnEmptyFile) {
    const auto outcome = exportTable(table, u"k"_s, dir.path());
    EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();
    EXPECT_EQ(entriesIn(dir.path()), QStringList{u"k.csv"_s});
    EXPECT_EQ(QFileInfo(path(u"k.csv"_s)).size(), 0);
}

TEST_F(ExportTest, AnyExistingEntryOfTheNameIsRefusedAndLeftAsItWas) {
    const struct {
        const char* what;
        QString keyword;
        std::function<bool(const QString&)> make;   // creates the entry
        std::function<bool(const QString&)> intact; // it is still what was made
    } cases[] = {
        {"file", u"裙子"_s, [](const QString& p) { return test::writeFileBytes(p, "old"); },
         [](const QString& p) { return fileBytes(p) == "old"; }},
        {"folder", u"裙子"_s, [](const QString& p) { return QDir().mkdir(p); },
         [](const QString& p) { return QFileInfo(p).isDir() && entriesIn(p).isEmpty(); }},
        {"hidden .x.csv", u".x"_s, [](const QString& p) { return test::writeFileBytes(p, "x"); },
         [](const QString& p) { return fileBytes(p) == "x"; }},
        {"dangling link", u"link"_s,
         [](const QString& p) { return QFile::link(u"nowhere.txt"_s, p); },
         [](const QString& p) { return QFileInfo(p).isSymLink() && !QFileInfo::exists(p); }},
    };
    appendRows(table, {{u"关键词"_s, u"宝贝数"_s}});
    for (const auto& c : cases) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString entry = folder.filePath(c.keyword + u".csv");
        ASSERT_TRUE(c.make(entry)) << c.what;
        const auto outcome = exportTable(table, c.keyword, folder.path());
        EXPECT_EQ(outcome.kind, ExportOutcome::Kind::Exists) << c.what;
        EXPECT_TRUE(c.intact(entry)) << c.what;
        EXPECT_EQ(entriesIn(folder.path()), QStringList{c.keyword + u".csv"}) << c.what;
    }
}

// A keyword that would point elsewhere, or an empty one that would make a
// hidden ".csv", names no file.
TEST_F(ExportTest, KeywordsThatCannotNameAFileAreRefused) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"a"_s));
    ASSERT_TRUE(test::writeFileBytes(path(u".csv"_s), "h"));
    const QString keywords[] = {
        u"a/b"_s, u"../up"_s, u"..\\up"_s, u"a\\b"_s, QStringView(u"a\0b", 3).toString(),
        QString()};
    appendRows(table, {{u"关键词"_s, u"宝贝数"_s}});
    for (const QString& keyword : keywords) {
        const auto outcome = exportTable(table, keyword, dir.path());
        EXPECT_EQ(outcome.kind, ExportOutcome::Kind::BadName) << keyword.toStdString();
        EXPECT_EQ(exportMessage(outcome), u"关键词不能用作文件名，请修改关键词的内容。"_s);
    }
    EXPECT_EQ(entriesIn(dir.path()), (QStringList{u".csv"_s, u"a"_s}));
    EXPECT_EQ(fileBytes(path(u".csv"_s)), "h");
    EXPECT_TRUE(entriesIn(path(u"a"_s)).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path(u"../up.csv"_s)));
}

TEST(ExportMessage, OneTextPerOutcome) {
    using Kind = ExportOutcome::Kind;
    const struct {
        ExportOutcome outcome;
        QString message;
    } cases[] = {
        {{Kind::Written, {}}, u"导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"_s},
        {{Kind::Exists, {}}, u"文件已存在，不能导出。如果想继续导出，请修改关键词的内容。"_s},
        {{Kind::BadName, {}}, u"关键词不能用作文件名，请修改关键词的内容。"_s},
        {{Kind::Failed, u"No space left on device"_s}, u"导出失败：No space left on device"_s},
        {{Kind::Cancelled, {}}, u"导出已取消，没有写入文件。"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exportMessage(c.outcome), c.message);
}

} // namespace
} // namespace quilla
