// The program's commands, run as a user runs them: the real program in a
// process of its own with no display at all, its exit status, what it
// printed and the files it left.

#include "core/list_headers.h"
#include "export/csv_export.h"
#include "session/project_file.h"
#include "support/export_support.h"
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

struct Ran {
    int status = -1;
    QString out, err;
};

// The program with no display of any kind, in `folder`.
Ran quilla(const QStringList& arguments, const QString& folder) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
    program.start(qEnvironmentVariable("QUILLA_BINARY_DIR") + u"/quilla"_s, arguments);
    Ran ran;
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
        return ran;
    }
    ran.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    ran.out = QString::fromUtf8(program.readAllStandardOutput());
    ran.err = QString::fromUtf8(program.readAllStandardError());
    return ran;
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

} // namespace
} // namespace quilla
