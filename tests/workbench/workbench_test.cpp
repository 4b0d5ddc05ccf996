// The session without a window: what it tells the journal, and when.

#include "workbench/workbench.h"

#include "session/session_store.h"
#include "support/qstring_print.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;

// Nothing polls: a change that touches no list (the settings, a run's state)
// reaches the journal because the workbench tells it, and the journal read
// back is the session as it stands.
TEST(Workbench, ChangesWithoutTheListsReachTheJournal) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Workbench::Parts parts;
    parts.journalFolder = folder.path();
    Workbench bench(std::move(parts));
    ASSERT_NE(bench.journal(), nullptr);
    bench.recover([] { return false; });

    const auto journalled = [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return bench.journal()->waitUntilWritten(0); }, 5000));
        const auto read = readSession(bench.journal()->path());
        const auto* found = std::get_if<SessionSnapshot>(&read);
        return found ? found->state : SessionState{};
    };
    struct Case {
        const char* what;
        std::function<void()> change;
        std::function<bool(const SessionState&)> shows;
    };
    const Case cases[] = {
        {"a setting",
         [&] {
             bench.setSettings({u"abc"_s, u"x"_s, {}, u"7"_s, u"100"_s});
         },
         [](const SessionState& s) {
             return s.keyword == u"abc"_s && s.include == u"x"_s && s.quantity == u"7"_s &&
                    s.interval == u"100"_s;
         }},
        {"an index start that ends at once", [&] { bench.startIndex(); },
         [](const SessionState& s) { return s.indexStarted; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_TRUE(c.shows(journalled()));
        EXPECT_EQ(journalled(), bench.snapshot().state);
    }
}

// An export names the file it wrote, with its full path, on the status line;
// the CSV's message keeps its words. A refused export names nothing.
TEST(Workbench, AnExportNamesTheFileItWrote) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Workbench bench(Workbench::Parts{});
    bench.setSettings({u"连衣裙"_s, {}, {}, u"3"_s, u"6000"_s});
    bench.addKeywords(u"连衣裙 长款"_s);
    QStringList messages;
    QObject::connect(&bench, &Workbench::message,
                     [&messages](const QString& text) { messages.append(text); });
    // A relative folder: the path shown is the full one.
    const QString relative = QDir::current().relativeFilePath(folder.path());
    const QString csv = QDir(folder.path()).filePath(u"连衣裙.csv"_s);
    const QString xlsx = QDir(folder.path()).filePath(u"连衣裙.xlsx"_s);
    struct Case {
        const char* what;
        std::function<void()> run;
        QString path; // empty: nothing written
        QString message;
    };
    const Case cases[] = {
        {"csv", [&] { bench.exportCsv(relative); }, csv,
         u"导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"_s},
        {"csv again: the file exists",
         [&] { bench.exportCsv(folder.path()); },
         {},
         u"文件已存在，不能导出。如果想继续导出，请修改关键词的内容。"_s},
        {"workbook", [&] { bench.exportWorkbook(folder.path(), bench.order().listRowsInOrder()); },
         xlsx, u"导出成功，你可在程序目录中找到该文件。文件名与关键词相同。"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        const QString before = bench.lastExportPath();
        c.run();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 10000));
        EXPECT_EQ(messages, QStringList{c.message});
        if (c.path.isEmpty()) {
            EXPECT_EQ(bench.lastExportPath(), before);
            continue;
        }
        EXPECT_TRUE(QFileInfo::exists(c.path));
        EXPECT_EQ(bench.lastExportPath(), c.path);
        EXPECT_TRUE(bench.statusText().startsWith(u"已导出："_s + QDir::toNativeSeparators(c.path)))
            << bench.statusText().toStdString();
    }
}

} // namespace
} // namespace quilla
