// The program's commands, run as a user runs them: the real program in a
// process of its own with no display at all, its exit status, what it
// printed and the files it left.

#include "core/list_headers.h"
#include "export/csv_export.h"
#include "segmenter/segmenter.h"
#include "session/project_file.h"
#include "support/export_support.h"
#include "support/program_run.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::fileBytes;
using test::u8;

using test::Ran;

// The program with no display of any kind, in `folder`.
Ran quilla(const QStringList& arguments, const QString& folder) {
    QProcessEnvironment env = test::withoutDisplay();
    // The program's data folder (user words) inside the test's folder.
    env.insert(u"XDG_DATA_HOME"_s, folder + u"/data"_s);
    QProcess program;
    test::startQuilla(program, arguments, folder, env);
    return test::finish(program, 60000);
}

SessionSnapshot session(const QString& keyword) {
    SessionSnapshot s;
    s.candidates = {Row{candidateHeader()}, Row{{u8("连衣裙"), u"12,345"_s}}};
    s.results = {Row{resultHeader()},
                 Row{{u8("连衣裙"), u"12,345"_s, u"3"_s, u"1"_s, u"2"_s, u"2"_s, u"+1%"_s, u"-1%"_s,
                      u"+2%"_s, u"-2%"_s, u8("上升")}},
                 Row{{u8("a,b \"引号\""), u"7"_s}}};
    s.state.keyword = keyword;
    return s;
}

TEST(CommandLine, InvocationsGiveTheirStatusOutputAndFiles) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir here(folder.path());
    ASSERT_EQ(saveProject(session(u8("连衣裙")), here.filePath(u"p.quilla"_s)).kind,
              NewFileResult::Kind::Written);
    ASSERT_EQ(saveProject(session(u8("凉鞋")), here.filePath(u"q.quilla"_s)).kind,
              NewFileResult::Kind::Written);
    QFile damaged(here.filePath(u"damaged.quilla"_s));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("not a project") > 0);
    damaged.close();
    ASSERT_TRUE(here.mkpath(u"out"_s));

    RowList expectedTable;
    expectedTable.append(std::vector<Row>(session({}).results));
    const QByteArray expectedCsv = csvBytes(expectedTable);

    struct Case {
        const char* what;
        QStringList arguments;
        int status;
        QString outHas, errHas; // empty: must be empty
        QStringList files;      // present afterwards, relative to the folder
    };
    const Case cases[] = {
        {"help", {u"--help"_s}, 0, u"export FILE.quilla"_s, {}, {}},
        {"help names new", {u"--help"_s}, 0, u"new FILE.quilla --keywords LIST.txt"_s, {}, {}},
        {"version", {u"--version"_s}, 0, u"quilla 1.0"_s, {}, {}},
        {"unknown command", {u"frobnicate"_s}, 2, {}, u"quilla: unknown command frobnicate"_s, {}},
        {"unknown option", {u"--frobnicate"_s}, 2, {}, u"quilla: unknown option"_s, {}},
        {"export without a file", {u"export"_s}, 2, {}, u"quilla: export takes one"_s, {}},
        {"export, unknown option",
         {u"export"_s, u"p.quilla"_s, u"--pdf"_s},
         2,
         {},
         u"quilla: Unknown option 'pdf'"_s,
         {}},
        {"requery without a file", {u"requery"_s}, 2, {}, u"quilla: requery takes one"_s, {}},
        {"requery, interval 0",
         {u"requery"_s, u"p.quilla"_s, u"--interval"_s, u"0"_s},
         2,
         {},
         u"quilla: the interval is a whole number of milliseconds from 1 to 65535, not 0"_s,
         {}},
        {"requery with a threshold that is no percent",
         {u"requery"_s, u"p.quilla"_s, u"--counts"_s, u"--search-move"_s, u"0"_s},
         2,
         {},
         u"quilla: --search-move is a whole percent from 1 to 1000, not 0"_s,
         {}},
        {"requery of a missing file",
         {u"requery"_s, u"none.quilla"_s},
         1,
         {},
         u"quilla: no such project file: none.quilla"_s,
         {}},
        {"missing file",
         {u"export"_s, u"none.quilla"_s},
         1,
         {},
         u"quilla: no such project file: none.quilla"_s,
         {}},
        {"damaged file",
         {u"export"_s, u"damaged.quilla"_s},
         1,
         {},
         u"quilla: damaged.quilla: "_s,
         {}},
        {"missing folder",
         {u"export"_s, u"p.quilla"_s, u"--out"_s, u"nowhere"_s},
         1,
         {},
         u"quilla: no such folder: nowhere"_s,
         {}},
        {"csv by default",
         {u"export"_s, u"p.quilla"_s},
         0,
         u8("连衣裙.csv"),
         {},
         {u8("连衣裙.csv")}},
        {"an existing file is kept",
         {u"export"_s, u"p.quilla"_s},
         1,
         {},
         u8("连衣裙.csv exists already"),
         {u8("连衣裙.csv")}},
        {"workbook into a folder",
         {u"export"_s, u"p.quilla"_s, u"--xlsx"_s, u"--out"_s, u"out"_s},
         0,
         u8("连衣裙.xlsx"),
         {},
         {u8("out/连衣裙.xlsx")}},
        {"both",
         {u"export"_s, u"q.quilla"_s, u"--csv"_s, u"--xlsx"_s, u"--out"_s, u"out"_s},
         0,
         u8("凉鞋.xlsx"),
         {},
         {u8("out/凉鞋.csv"), u8("out/凉鞋.xlsx")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Ran ran = quilla(c.arguments, folder.path());
        EXPECT_EQ(ran.status, c.status) << ran.err.toStdString();
        if (c.outHas.isEmpty())
            EXPECT_TRUE(ran.out.isEmpty()) << ran.out.toStdString();
        else
            EXPECT_TRUE(ran.out.contains(c.outHas)) << ran.out.toStdString();
        if (c.errHas.isEmpty())
            EXPECT_TRUE(ran.err.isEmpty()) << ran.err.toStdString();
        else
            EXPECT_TRUE(ran.err.contains(c.errHas)) << ran.err.toStdString();
        for (const QString& file : c.files)
            EXPECT_TRUE(QFile::exists(here.filePath(file))) << file.toStdString();
    }
    // The same bytes as the window's export of the same rows.
    EXPECT_EQ(fileBytes(here.filePath(u8("连衣裙.csv"))), expectedCsv);
    EXPECT_EQ(fileBytes(here.filePath(u8("out/凉鞋.csv"))), expectedCsv);
    EXPECT_FALSE(QFile::exists(here.filePath(u8("out/连衣裙.csv")))); // --xlsx alone
}

// A project from a keyword list: the import's rules and encodings, never
// over an existing file, the path and the row count on stdout.
TEST(CommandLine, NewMakesAProjectFromAKeywordList) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir here(folder.path());
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(here.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    QByteArray utf16("\xFF\xFE");
    const QString tsv = u8("关键词\t搜索人数\n连衣裙\t3\n长裙\t1\n连衣裙\t2\n");
    utf16.append(reinterpret_cast<const char*>(tsv.utf16()), tsv.size() * 2);
    ASSERT_TRUE(write(u"utf16.txt"_s, utf16));
    ASSERT_TRUE(
        write(u"gb.csv"_s, QByteArray::fromHex("c1acd2c2c8b90d0ab6ccc8b90d0a"))); // 连衣裙, 短裙
    ASSERT_TRUE(write(u"empty.txt"_s, {}));
    ASSERT_TRUE(write(u"kept.quilla"_s, "not to be replaced"));

    const struct {
        const char* what;
        QStringList arguments;
        int status;
        QString out;          // exactly
        QString errHas;       // empty: must be empty
        QStringList keywords; // of the project made; empty: none made
        QString seed;
    } cases[] = {
        {"a UTF-16 list with a header and a repeat",
         {u"new"_s, u"a.quilla"_s, u"--keywords"_s, u"utf16.txt"_s, u"--seed"_s, u8("裙")},
         0,
         u"a.quilla\nrows=2\n"_s,
         {},
         {u8("连衣裙"), u8("长裙")},
         u8("裙")},
        {"a GB18030 list, named after the file",
         {u"new"_s, u"b.quilla"_s, u"--keywords"_s, u"gb.csv"_s},
         0,
         u"b.quilla\nrows=2\n"_s,
         {},
         {u8("连衣裙"), u8("短裙")},
         u"b"_s},
        {"never over an existing file",
         {u"new"_s, u"kept.quilla"_s, u"--keywords"_s, u"gb.csv"_s},
         1,
         {},
         u"quilla: kept.quilla exists already"_s,
         {},
         {}},
        {"no list", {u"new"_s, u"c.quilla"_s}, 2, {}, u"quilla: new takes one"_s, {}, {}},
        {"no file",
         {u"new"_s, u"--keywords"_s, u"gb.csv"_s},
         2,
         {},
         u"quilla: new takes one"_s,
         {},
         {}},
        {"a list that is not there",
         {u"new"_s, u"c.quilla"_s, u"--keywords"_s, u"none.txt"_s},
         1,
         {},
         u"quilla: no such keyword list: none.txt"_s,
         {},
         {}},
        {"an empty list",
         {u"new"_s, u"c.quilla"_s, u"--keywords"_s, u"empty.txt"_s},
         1,
         {},
         u"quilla: empty.txt holds no keywords"_s,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Ran ran = quilla(c.arguments, folder.path());
        EXPECT_EQ(ran.status, c.status) << ran.err.toStdString();
        EXPECT_EQ(ran.out, c.out);
        if (c.errHas.isEmpty())
            EXPECT_TRUE(ran.err.isEmpty()) << ran.err.toStdString();
        else
            EXPECT_TRUE(ran.err.contains(c.errHas)) << ran.err.toStdString();
        if (c.keywords.isEmpty())
            continue;
        const auto read = readSession(here.filePath(c.arguments[1]));
        ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read));
        const SessionSnapshot& made = std::get<SessionSnapshot>(read);
        QStringList keywords;
        for (std::size_t i = 1; i < made.results.size(); ++i)
            keywords.append(made.results[i].keyword());
        EXPECT_EQ(keywords, c.keywords);
        EXPECT_EQ(made.results.front().fields, resultHeader());
        EXPECT_EQ(made.state.keyword, c.seed);
    }
    EXPECT_EQ(fileBytes(here.filePath(u"kept.quilla"_s)), QByteArray("not to be replaced"));
    EXPECT_FALSE(QFile::exists(here.filePath(u"c.quilla"_s)));
}

Row indexed(const char* keyword, const char* count, const char* search, const char* trade) {
    return Row{{u8(keyword), u8(count), u8(search), u"1"_s, u8(trade), u"1"_s, u"+1%"_s, u"-1%"_s,
                u"+2%"_s, u"-2%"_s, u8("上升")}};
}

TEST(CommandLine, RootsAndTitlesReadBack) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir here(folder.path());
    SessionSnapshot s = session(u8("手机壳"));
    s.results = {Row{resultHeader()},
                 indexed("硅胶手机壳", "1,000", "300", "30"),
                 indexed("透明手机壳", "500", "200", "20"),
                 indexed("iPhone手机壳", "800", "100", "10"),
                 indexed("手机壳女", "900", "50", "5"),
                 Row{{u8("苹果手机壳"), u"700"_s}}};
    ASSERT_EQ(saveProject(s, here.filePath(u"p.quilla"_s)).kind, NewFileResult::Kind::Written);

    struct Case {
        const char* what;
        QStringList arguments;
        int status;
        const char* out; // exactly
        QString errHas;  // empty: must be empty
    };
    const QString must = u"--must"_s;
    const Case cases[] = {
        {"roots, by search index then root",
         {u"roots"_s, u"p.quilla"_s},
         0,
         "词根,关键词数,搜索指数,成交指数,宝贝数,机会\n"
         "壳,5,650,65,3900,203.1\n"
         "手机,5,650,65,3900,203.1\n"
         "硅胶,1,300,30,1000,300.0\n"
         "透明,1,200,20,500,400.0\n"
         "iPhone,1,100,10,800,125.0\n"
         "女,1,50,5,900,55.6\n"
         "苹果,1,,,700,\n",
         {}},
        {"title in 60 bytes",
         {u"title"_s, u"p.quilla"_s, must, u8("手机壳")},
         0,
         "硅胶手机壳透明iPhone女\nbytes=22 covered=1.0000\n"
         "硅胶手机壳\n透明手机壳\niPhone手机壳\n手机壳女\n",
         {}},
        {"title in 10 bytes",
         {u"title"_s, u"p.quilla"_s, must, u8("手机"), must, u8("壳"), u"--budget"_s, u"10"_s},
         0,
         "硅胶手机壳\nbytes=10 covered=0.4615\n硅胶手机壳\n",
         {}},
        {"a root left out",
         {u"title"_s, u"p.quilla"_s, must, u8("手机壳"), u"--not"_s, u"IPHONE"_s},
         0,
         "硅胶手机壳透明女\nbytes=16 covered=0.8462\n硅胶手机壳\n透明手机壳\n手机壳女\n",
         {}},
        {"no title fits",
         {u"title"_s, u"p.quilla"_s, must, u8("手机壳"), u"--budget"_s, u"5"_s},
         1,
         "",
         u"quilla: no title fits in 5 bytes"_s},
        {"no must", {u"title"_s, u"p.quilla"_s}, 2, "", u"quilla: title takes one project"_s},
        {"bad budget",
         {u"title"_s, u"p.quilla"_s, must, u8("壳"), u"--budget"_s, u"6x"_s},
         2,
         "",
         u"quilla: the budget is a whole number"_s},
        {"required and excluded",
         {u"title"_s, u"p.quilla"_s, must, u8("壳"), u"--not"_s, u8("壳")},
         2,
         "",
         u8("quilla: “壳” is both required and excluded")},
        {"roots of a missing file",
         {u"roots"_s, u"none.quilla"_s},
         1,
         "",
         u"quilla: no such project file: none.quilla"_s},
        {"roots without a file", {u"roots"_s}, 2, "", u"quilla: roots takes one project file"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Ran ran = quilla(c.arguments, folder.path());
        EXPECT_EQ(ran.status, c.status) << ran.err.toStdString();
        EXPECT_EQ(ran.out, u8(c.out));
        if (c.errHas.isEmpty())
            EXPECT_TRUE(ran.err.isEmpty()) << ran.err.toStdString();
        else
            EXPECT_TRUE(ran.err.contains(c.errHas)) << ran.err.toStdString();
    }

    // The user's words apply: 手机壳 merged is one root.
    ASSERT_TRUE(here.mkpath(u"data/Quilla"_s));
    QFile words(here.filePath(u"data/Quilla/"_s + QString::fromUtf8(Segmenter::userWordsName)));
    ASSERT_TRUE(words.open(QIODevice::WriteOnly) && words.write(u8("手机壳\n").toUtf8()) > 0);
    words.close();
    const Ran ran = quilla({u"roots"_s, u"p.quilla"_s}, folder.path());
    EXPECT_EQ(ran.status, 0);
    EXPECT_TRUE(ran.out.startsWith(u8("词根,关键词数,搜索指数,成交指数,宝贝数,机会\n"
                                      "手机壳,5,650,65,3900,203.1\n")))
        << ran.out.toStdString();
}

} // namespace
} // namespace quilla
