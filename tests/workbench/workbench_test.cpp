// The session without a window: what it tells the journal, and when.

#include "workbench/workbench.h"

#include "core/list_headers.h"
#include "fake_market/server.h"
#include "results/cell_values.h"
#include "session/project_file.h"
#include "session/project_lock.h"
#include "session/session_store.h"
#include "support/export_support.h"
#include "support/index_fake_browser.h"
#include "support/proxy_env.h"
#include "support/qstring_print.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

// The workbook as openpyxl, a reader that is not ours, reads it.
QJsonObject readBack(const QString& path) {
    QProcess reader;
    reader.start(
        QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s,
        {qEnvironmentVariable("QUILLA_SOURCE_DIR") + u"/tests/export/read_workbook.py"_s, path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        ADD_FAILURE() << "openpyxl could not read " << path.toStdString() << ": "
                      << reader.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

// The workbook ends with the root table, by demand, and the last title composed.
TEST(Workbench, TheWorkbookHoldsTheRootsAndTheComposedTitle) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Workbench bench(Workbench::Parts{});
    bench.setSettings({u"k"_s, {}, {}, u"10"_s, u"100"_s});
    const auto row = [](const char* keyword, const char* count, const char* search,
                        const char* trade) {
        return Row{{QString::fromUtf8(keyword), QString::fromUtf8(count), QString::fromUtf8(search),
                    QString(), QString::fromUtf8(trade)}};
    };
    bench.results().append(
        std::vector<Row>{Row{resultHeader()}, row("连衣裙女", "1,000", "300", "20"),
                         row("夏季连衣裙", "0", "100", ""), Row{{u"棉麻"_s, u"300"_s}}});
    bench.setComposedTitle(
        TitleSheet{u"夏季连衣裙女"_s, 12, 0.4, {u"连衣裙女"_s, u"夏季连衣裙"_s}});
    const ExportOutcome outcome = bench.writeWorkbook(folder.path(), {1, 2, 3});
    ASSERT_EQ(outcome.kind, ExportOutcome::Kind::Written) << outcome.reason.toStdString();

    const QJsonObject book = readBack(folder.filePath(u"k.xlsx"_s));
    const QJsonArray sheets = book[u"sheets"_s].toArray();
    ASSERT_GE(sheets.size(), 4);
    EXPECT_EQ(sheets.first().toString(), u"关键词"_s);
    EXPECT_EQ(sheets[sheets.size() - 2].toString(), u"词根"_s);
    EXPECT_EQ(sheets.last().toString(), u"标题"_s);

    // Each sheet's cells as "value" (numbers as written), rows by line.
    const auto cells = [&](const QString& name) {
        QStringList lines;
        for (const QJsonValue& r : book[name].toObject()[u"rows"_s].toArray()) {
            QStringList line;
            for (const QJsonValue& c : r.toArray()) {
                const QJsonValue v = c.toObject()[u"value"_s];
                line << (v.isDouble() ? QString::number(v.toDouble()) : v.toString());
            }
            lines << line.join(u'|');
        }
        return lines;
    };
    EXPECT_EQ(cells(u"词根"_s),
              (QStringList{u"词根|关键词数|搜索指数|成交指数|宝贝数|机会"_s,
                           u"连衣裙|2|400|20|1000|400"_s, u"女|1|300|20|1000|300"_s,
                           u"夏季|1|100||0|无竞品"_s, u"棉麻|1|||300|"_s}));
    EXPECT_EQ(cells(u"标题"_s),
              (QStringList{u"标题|夏季连衣裙女"_s, u"字节|12"_s, u"覆盖搜索指数|0.4"_s,
                           u"覆盖关键词|连衣裙女"_s, u"|夏季连衣裙"_s}));
    const QJsonObject roots = book[u"词根"_s].toObject();
    EXPECT_EQ(roots[u"freeze"_s].toString(), u"A2"_s);
    const QJsonArray second = roots[u"rows"_s].toArray()[1].toArray();
    EXPECT_EQ(second[2].toObject()[u"format"_s].toString(), u"#,##0"_s);
    EXPECT_EQ(second[5].toObject()[u"format"_s].toString(), u"0.0"_s);
}

// Files chosen together are each read with their own separator and
// encoding; the header and a keyword the first file brought are skipped.
TEST(Workbench, ChosenFilesImportEachByItsOwnRules) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    };
    // A CSV whose quoted field holds a tab, and a tab-separated file in UTF-16.
    const QString csv = write("a.csv", QStringLiteral("关键词,搜索人数\r\n\"连衣裙\t长款\",3\r\n"
                                                      "凉鞋,5\r\n")
                                           .toUtf8());
    QByteArray utf16("\xFF\xFE");
    const QString tsv = QStringLiteral("凉鞋\t1\n短裤\t2\n");
    utf16.append(reinterpret_cast<const char*>(tsv.utf16()), tsv.size() * 2);
    const QString second = write("b.txt", utf16);

    Workbench bench(Workbench::Parts{});
    bench.importKeywordFiles({csv, second});
    QStringList keywords;
    for (std::int64_t i = 1; i < bench.results().count(); ++i)
        keywords << bench.results().row(i).keyword();
    EXPECT_EQ(keywords, (QStringList{QStringLiteral("连衣裙 长款"), QStringLiteral("凉鞋"),
                                     QStringLiteral("短裤")}));
    EXPECT_TRUE(bench.statusText().startsWith(QStringLiteral("已添加 3 个关键词，跳过 2 个")))
        << bench.statusText().toStdString();
}

// "查宝贝数" on pasted keywords: each row gets the count a mining run reads
// for its keyword, without a candidate offered, and with its index figures,
// its 机会. Stopped, F5 goes on; a session that did not end leaves the pass
// in its journal, and the next start continues it.
TEST(Workbench, PastedRowsGetTheItemCountsAMiningRunReads) {
    fake_market::FakeMarketServer server;
    ASSERT_TRUE(server.start());
    test::ProxyEnvironment proxy(server.port());
    const auto settled = [](Workbench& bench) {
        return QTest::qWaitFor([&] { return !bench.runsGoing(); }, 30000);
    };

    QHash<QString, QString> mined;
    {
        Workbench::Parts parts;
        parts.fetcher = std::make_shared<CurlFetcher>();
        Workbench miner(std::move(parts));
        miner.setSettings({u"qq"_s, {}, {}, u"12"_s, u"6000"_s});
        miner.startMining();
        ASSERT_TRUE(settled(miner));
        for (std::int64_t i = 1; i < miner.results().count(); ++i)
            mined.insert(miner.results().row(i).keyword(), miner.results().row(i).fields.value(1));
    }
    ASSERT_GE(mined.size(), 12);
    QStringList keywords = mined.keys();
    keywords.sort(); // another order than mining's

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::FakeBrowser trend;
    trend.page = u"App.set({cityEndDate:1,a:[1,4321]},{cityEndDate:2,b:[2,4321]})"_s;
    const auto open = [&] {
        Workbench::Parts parts;
        parts.fetcher = std::make_shared<CurlFetcher>();
        parts.browser = &trend;
        parts.journalFolder = folder.path();
        return std::make_unique<Workbench>(std::move(parts));
    };
    auto bench = open();
    bench->recover([] { return false; });
    bench->setSettings({u"qq"_s, {}, {}, u"3"_s, u"20"_s});
    bench->addKeywords(keywords.join(u'\n'));
    bench->startIndex();
    ASSERT_TRUE(settled(*bench));
    const auto opportunities = [&] {
        QStringList out;
        for (std::int64_t i = 1; i < bench->results().count(); ++i)
            out << bench->columns().cells(i).value(column::opportunity);
        return out;
    };
    EXPECT_EQ(opportunities(), QStringList(keywords.size(), QString()));

    const auto countsDone = [&](std::int64_t n) {
        return QTest::qWaitFor(
            [&] {
                const auto p = bench->mining().progress();
                return p.counts && p.counts->done >= n;
            },
            30000);
    };
    bench->countItems();
    ASSERT_TRUE(countsDone(3));
    bench->stopRuns();
    ASSERT_TRUE(settled(*bench));
    MiningProgress paused = bench->mining().progress();
    ASSERT_TRUE(paused.counts && paused.canContinue);
    const std::int64_t firstStop = paused.counts->done;
    EXPECT_LT(firstStop, keywords.size());
    EXPECT_TRUE(bench->statusText().startsWith(u"查宝贝数已停止（已查 "_s))
        << bench->statusText().toStdString();

    bench->continueRuns();
    ASSERT_TRUE(countsDone(firstStop + 3));
    bench->stopRuns();
    ASSERT_TRUE(settled(*bench));
    const std::int64_t left = keywords.size() - bench->mining().progress().counts->done;
    ASSERT_GT(left, 0);
    // Left as a killed program leaves it: the journal written, the session
    // never ended.
    ASSERT_TRUE(bench->journal()->waitUntilWritten());
    bench.reset();
    bench = open();
    bool offered = false;
    bench->recover([&] { return offered = true; });
    ASSERT_TRUE(offered);
    paused = bench->mining().progress();
    ASSERT_TRUE(paused.counts && paused.canContinue);
    EXPECT_EQ(paused.counts->total, left);
    bench->continueRuns();
    ASSERT_TRUE(settled(*bench));

    const MiningProgress done = bench->mining().progress();
    ASSERT_TRUE(done.counts && done.counts->finished);
    EXPECT_EQ(done.counts->failed, 0);
    EXPECT_EQ(bench->statusText(), u"查宝贝数完成：共 "_s + QString::number(left) + u" 个词"_s);
    ASSERT_EQ(bench->results().count(), keywords.size() + 1);
    for (std::int64_t i = 1; i < bench->results().count(); ++i) {
        const Row row = bench->results().row(i);
        SCOPED_TRACE(row.text().toStdString());
        EXPECT_EQ(row.keyword(), keywords[i - 1]);
        EXPECT_EQ(row.fields.value(1), mined.value(row.keyword()));
        EXPECT_EQ(row.fields.size(), 11); // the index figures stay
    }
    EXPECT_EQ(opportunities().count(QString()), 0) << opportunities().join(u' ').toStdString();
    // Related words went to the caller, none to the candidate list.
    EXPECT_EQ(bench->candidates().count(), 1);
    EXPECT_FALSE(bench->mining().relatedFromCounts().empty());
    bench->endNormally();
}

// A project is open in one window or one requery at a time: another that
// takes locks refuses it with a message, and saving over it too; the reading
// commands still read it. Save As moves the lock to the new file; a name
// through a link is the same project; the lock goes with its holder.
TEST(Workbench, AProjectIsOpenInOneWindowAtATime) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir here(folder.path());
    const QString p = here.filePath(u"p.quilla"_s), r = here.filePath(u"r.quilla"_s),
                  link = here.filePath(u"link.quilla"_s);
    SessionSnapshot s;
    s.candidates = {Row{candidateHeader()}};
    s.results = {Row{resultHeader()}, Row{{u"qq"_s, u"1"_s}}};
    s.state.keyword = u"qq"_s;
    ASSERT_EQ(saveProject(s, p).kind, NewFileResult::Kind::Written);
    ASSERT_TRUE(QFile::link(p, link));

    const auto window = [] {
        Workbench::Parts parts;
        parts.lockProjects = true;
        return std::make_unique<Workbench>(std::move(parts));
    };
    auto a = window(), b = window();
    Workbench reader{Workbench::Parts{}};
    QStringList said;
    QObject::connect(b.get(), &Workbench::message, b.get(),
                     [&](const QString& text) { said.append(text); });
    const QString refusal = u"项目“p.quilla”已在另一个窗口或命令中打开。"_s;

    struct Case {
        const char* what;
        std::function<bool()> act;
        bool done;
        QString message; // the one b gave, if any
    };
    const Case cases[] = {
        {"the first window opens it", [&] { return a->openProject(p); }, true, {}},
        {"a second window is refused", [&] { return b->openProject(p); }, false, refusal},
        {"and cannot save over it",
         [&] { return b->saveProject(p, true).kind == NewFileResult::Kind::Written; }, false,
         refusal},
        {"a requery is refused", [&] { return !lockProject(p).heldElsewhere; }, false, {}},
        {"the reading commands still read it", [&] { return reader.openProject(p); }, true, {}},
        {"Save As takes the new file",
         [&] { return a->saveProject(r, false).kind == NewFileResult::Kind::Written; },
         true,
         {}},
        {"and lets the old one go", [&] { return b->openProject(p); }, true, {}},
        {"the new one is held", [&] { return !lockProject(r).heldElsewhere; }, false, {}},
        {"a link names the same project", [&] { return a->openProject(link); }, false, {}},
        {"the holder gone, the lock goes",
         [&] {
             a.reset();
             return lockProject(r).lock != nullptr;
         },
         true,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        said.clear();
        EXPECT_EQ(c.act(), c.done);
        EXPECT_EQ(said.value(0), c.message);
    }
    EXPECT_EQ(b->results().count(), 2); // p as it was, with b now
}

// A trend page whose yesterday's search index is `search`.
QString trendPage(int search) {
    const QString s = QString::number(search);
    return u"App.set({cityEndDate:1,a:[0,"_s + s + u',' + s + u"]},{cityEndDate:2,b:[0,7,7]})"_s;
}

// Two index runs a day apart: each query of a row adds a dated snapshot,
// the change columns show the move, the report names the rows that moved,
// the journal and a saved project keep the history, and the workbook holds
// the changes.
TEST(Workbench, IndexRunsKeepADatedHistoryAndShowWhatChanged) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    test::FakeBrowser browser;
    qint64 now = QDateTime(QDate(2024, 6, 1), QTime(5, 0), Qt::UTC).toMSecsSinceEpoch();
    Workbench::Parts parts;
    parts.browser = &browser;
    parts.journalFolder = folder.filePath(u"journal"_s);
    parts.now = [&now] { return now; };
    Workbench bench(std::move(parts));
    bench.recover([] { return false; });
    bench.setSettings({u"裙"_s, {}, {}, u"3"_s, u"6000"_s});
    bench.results().append(std::vector<Row>{Row{resultHeader()}, Row{{u"连衣裙"_s, u"1,000"_s}},
                                            Row{{u"长裙"_s, u"500"_s}},
                                            Row{{u"短裙"_s, QString()}}});

    // Yesterday's search index per row (rows 1..3) for each run; 0 = no page.
    const auto run = [&](std::array<int, 3> search) {
        bench.startIndex();
        for (int row = 0; row < 3; ++row) {
            browser.page = search[row] ? trendPage(search[row]) : QString();
            bench.index().tick();
        }
        return !bench.runsGoing();
    };
    ASSERT_TRUE(run({1000, 400, 50}));
    EXPECT_EQ(bench.history().size(), 3u);
    EXPECT_EQ(bench.columns().cells(1).mid(column::searchChange), (QStringList{{}, {}}));

    // A day later: more demand for one, less for another, more sellers too;
    // the third row's page does not load.
    now += 24 * 3600 * 1000;
    Row grown = bench.results().row(1);
    grown.fields[1] = u"1,300"_s;
    bench.results().setRow(1, grown);
    ASSERT_TRUE(run({1250, 380, 0}));
    const History& history = bench.history();
    ASSERT_EQ(history.size(), 5u);
    ASSERT_EQ(history.of(u"连衣裙"_s).size(), 2u);
    EXPECT_EQ(history.of(u"连衣裙"_s)[0]->atMs + 24 * 3600 * 1000,
              history.of(u"连衣裙"_s)[1]->atMs);
    EXPECT_EQ(history.latest(u"连衣裙"_s)->itemCount(), 1300);
    EXPECT_EQ(history.latest(u"短裙"_s)->itemCount(), std::nullopt);
    EXPECT_EQ(history.of(u"短裙"_s).size(), 1u);

    const QStringList captions = bench.columns().captions();
    EXPECT_EQ(captions.mid(column::opportunity),
              (QStringList{u"机会"_s, u"搜索变化"_s, u"宝贝变化"_s}));
    EXPECT_EQ(bench.columns().cells(1).mid(column::searchChange),
              (QStringList{u"+25%"_s, u"+30%"_s}));
    EXPECT_EQ(bench.columns().cells(2).mid(column::searchChange), (QStringList{u"-5%"_s, u"0%"_s}));
    EXPECT_EQ(bench.columns().cells(3).mid(column::searchChange), (QStringList{{}, {}}));
    bench.order().sort(column::searchChange, Qt::AscendingOrder);
    EXPECT_EQ(bench.order().listRowsInOrder(), (std::vector<std::int64_t>{2, 1, 3}));

    const ChangeReport report = bench.changeReport();
    ASSERT_EQ(report.searchMoved.size(), 1u);
    EXPECT_EQ(report.searchMoved[0].keyword, u"连衣裙"_s);
    ASSERT_EQ(report.itemsRose.size(), 1u);
    EXPECT_EQ(report.itemsRose[0].keyword, u"连衣裙"_s);
    EXPECT_EQ(bench.changeReport({0.04, 0.5}).searchMoved.size(), 2u);

    // The journal holds every snapshot; a saved project opens with them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return bench.journal()->waitUntilWritten(0); }, 5000));
    const auto journalled = readSession(bench.journal()->path());
    ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(journalled));
    EXPECT_EQ(std::get<SessionSnapshot>(journalled).history, history);
    const QString project = folder.filePath(u"裙.quilla"_s);
    ASSERT_EQ(bench.saveProject(project, false).kind, NewFileResult::Kind::Written);
    Workbench reopened(Workbench::Parts{});
    ASSERT_TRUE(reopened.openProject(project));
    EXPECT_EQ(reopened.history(), history);
    EXPECT_EQ(reopened.columns().cells(1), bench.columns().cells(1));

    // The workbook holds the changes as numbers; the CSV does not.
    ASSERT_EQ(bench.writeWorkbook(folder.path(), {1, 2}).kind, ExportOutcome::Kind::Written);
    const QJsonArray rows =
        readBack(folder.filePath(u"裙.xlsx"_s))[u"关键词"_s].toObject()[u"rows"_s].toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].toArray()[column::searchChange].toObject()[u"value"_s].toString(),
              u"搜索变化"_s);
    EXPECT_DOUBLE_EQ(rows[1].toArray()[column::searchChange].toObject()[u"value"_s].toDouble(),
                     0.25);
    EXPECT_DOUBLE_EQ(rows[1].toArray()[column::countChange].toObject()[u"value"_s].toDouble(), 0.3);
    ASSERT_EQ(bench.writeCsv(folder.path()).kind, ExportOutcome::Kind::Written);
    EXPECT_FALSE(test::fileBytes(folder.filePath(u"裙.csv"_s)).contains("+25%"));
}

} // namespace
} // namespace quilla
