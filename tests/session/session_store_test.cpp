// Sessions kept in SQLite: a project saved and opened again is the same
// session; a torn, damaged, newer or foreign file is refused, changes
// nothing and crashes nothing; two programs keep two journals.

#include "session/project_file.h"
#include "session/session_journal.h"
#include "session/session_store.h"

#include "core/list_headers.h"
#include "support/export_support.h"
#include "support/qstring_print.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::fileBytes;
using test::u8;

SessionSnapshot sampleSession() {
    SessionSnapshot s;
    s.candidates = {Row{{u8("关键词"), u8("宝贝数")}}, Row{{u8("连衣裙"), u"12,345"_s}},
                    Row{{u8("a,b \"quoted\"\n"), u8("未找到")}}, Row{{u8("等待中")}}};
    auto series = std::make_shared<TrendSeries>();
    series->search = SeriesValues({1, std::nullopt, 3});
    series->trade = SeriesValues({1.5, 2.5});
    series->endDate = QDate(2024, 5, 31);
    s.results = {Row{resultHeader()},
                 Row{{u8("连衣裙"), u"12,345"_s, u"3"_s, u"1"_s, u"2"_s, u"2"_s, u"+1%"_s, u"-1%"_s,
                      u"+2%"_s, u"-2%"_s, u8("上升")},
                     series},
                 Row{{u8("导入"), QString()}}};
    s.state = {u8("连衣裙"),
               u8("女"),
               QString(),
               u"50"_s,
               u"6000"_s,
               3,
               2,
               1,
               true,
               true,
               true,
               false,
               std::vector<std::int64_t>{1, 2},
               1,
               250,
               std::vector<std::int64_t>{2}};
    s.state.offeredWords = {u8("连衣裙夏"), u8("长裙")};
    const qint64 day = 24 * 3600 * 1000;
    const qint64 start = QDateTime(QDate(2024, 5, 31), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    const QStringList figures{u"3"_s,   u"1"_s,   u"2"_s,   u"2"_s,    u"+1%"_s,
                              u"-1%"_s, u"+2%"_s, u"-2%"_s, u8("上升")};
    for (int i = 0; i < 3; ++i)
        s.history.append(*makeSnapshot(start + i * day, u8("连衣裙"), 12345 + i, figures,
                                       QDate(2024, 5, 30 + i / 2)));
    s.history.append(*makeSnapshot(start, u8("导入"), std::nullopt, {}, std::nullopt));
    return s;
}

TEST(ProjectFile, SavedAndOpenedAgainIsTheSameSession) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(u8("我的项目.quilla"));
    const SessionSnapshot session = sampleSession();
    ASSERT_EQ(saveProject(session, path).kind, NewFileResult::Kind::Written);
    const auto read = readSession(path);
    ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read));
    EXPECT_EQ(std::get<SessionSnapshot>(read), session);
    // Nothing else left beside it: no temporary file, no SQLite journal.
    EXPECT_EQ(test::entriesIn(folder.path()), QStringList{u8("我的项目.quilla")});

    // Never over an existing file, unless the user agreed.
    SessionSnapshot changed = session;
    changed.state.keyword = u"other"_s;
    const QByteArray before = fileBytes(path);
    EXPECT_EQ(saveProject(changed, path).kind, NewFileResult::Kind::Exists);
    EXPECT_EQ(fileBytes(path), before);
    ASSERT_EQ(saveProject(changed, path, true).kind, NewFileResult::Kind::Written);
    EXPECT_EQ(std::get<SessionSnapshot>(readSession(path)).state.keyword, u"other"_s);
    EXPECT_EQ(saveProject(session, folder.filePath(u"absent/x.quilla"_s)).kind,
              NewFileResult::Kind::Failed);
    EXPECT_EQ(test::entriesIn(folder.path()), QStringList{u8("我的项目.quilla")});
}

// Whatever the file holds, reading it refuses with the right message, leaves
// the file as it was and does not crash.
TEST(ProjectFile, TornDamagedNewerAndForeignFilesAreRefused) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString good = folder.filePath(u"good.quilla"_s);
    SessionSnapshot big = sampleSession();
    for (int i = 0; i < 2000; ++i)
        big.candidates.push_back(Row{{u8("候选") + QString::number(i), u"1"_s}});
    ASSERT_EQ(saveProject(big, good).kind, NewFileResult::Kind::Written);
    const QByteArray bytes = fileBytes(good);
    ASSERT_GT(bytes.size(), 8192);

    const auto expectRefused = [&](const QByteArray& content, const char* what,
                                   std::initializer_list<SessionReadError::Kind> kinds) {
        const QString path = folder.filePath(u"bad.quilla"_s);
        QFile::remove(path);
        ASSERT_TRUE(test::writeFileBytes(path, content));
        const auto read = readSession(path);
        ASSERT_TRUE(std::holds_alternative<SessionReadError>(read)) << what;
        const auto kind = std::get<SessionReadError>(read).kind;
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), kind), kinds.end())
            << what << ": " << int(kind);
        EXPECT_FALSE(sessionReadMessage(std::get<SessionReadError>(read)).isEmpty());
        EXPECT_EQ(fileBytes(path), content) << what;
    };
    using Kind = SessionReadError::Kind;
    expectRefused("关键词,宝贝数\r\nqq,1\r\n", "a text file", {Kind::NotASession});
    expectRefused({}, "an empty file", {Kind::Empty});
    QRandomGenerator dice(7);
    for (int i = 0; i < 40; ++i) {
        const qsizetype cut = dice.bounded(static_cast<int>(bytes.size()));
        expectRefused(bytes.left(cut), "cut short",
                      {Kind::NotASession, Kind::Damaged, Kind::Empty});
    }
    for (int i = 0; i < 40; ++i) {
        QByteArray spoiled = bytes;
        for (int k = 0; k < 16; ++k)
            spoiled[dice.bounded(100, static_cast<int>(bytes.size()))] = char(dice.bounded(256));
        const QString path = folder.filePath(u"spoiled.quilla"_s);
        QFile::remove(path);
        ASSERT_TRUE(test::writeFileBytes(path, spoiled));
        const auto read = readSession(path); // either refused or whole; never a crash
        if (const auto* s = std::get_if<SessionSnapshot>(&read)) {
            EXPECT_EQ(s->candidates.size(), big.candidates.size());
        }
        EXPECT_EQ(fileBytes(path), spoiled);
    }

    // A newer version of the schema.
    const QString newer = folder.filePath(u"newer.quilla"_s);
    ASSERT_EQ(saveProject(sampleSession(), newer).kind, NewFileResult::Kind::Written);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"newer"_s);
        db.setDatabaseName(newer);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(u"PRAGMA user_version = 99"_s);
        db.close();
    }
    QSqlDatabase::removeDatabase(u"newer"_s);
    const auto read = readSession(newer);
    ASSERT_TRUE(std::holds_alternative<SessionReadError>(read));
    EXPECT_EQ(std::get<SessionReadError>(read).kind, Kind::Newer);
    EXPECT_TRUE(sessionReadMessage(std::get<SessionReadError>(read)).contains(u"99"_s));
}

// A file from someone else may hold more than the two tables: a view or a
// trigger runs queries of its own, a far day drives loops later. Each is
// refused as damaged, quickly, and left as it was; a left-over journal is
// read the same way.
TEST(ProjectFile, HostileFilesAreRefusedAsDamagedInBoundedTime) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString data = qEnvironmentVariable("QUILLA_SOURCE_DIR") + u"/tests/data/session/"_s;
    ASSERT_TRUE(QFile::exists(data + u"project-recursive-view.quilla"_s)) << "QUILLA_SOURCE_DIR";
    // A sample project changed by SQL, or a blob in place of the first series.
    const auto made = [&](const QString& name, const QStringList& sql) {
        const QString path = folder.filePath(name);
        if (saveProject(sampleSession(), path).kind != NewFileResult::Kind::Written)
            return QString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(path);
            if (db.open())
                for (const QString& statement : sql)
                    if (!QSqlQuery(db).exec(statement))
                        ADD_FAILURE() << statement.toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return path;
    };
    const auto seriesEndingOn = [](qint64 day) -> QString {
        QByteArray blob;
        QDataStream out(&blob, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        out << quint8(1) << day << quint8(0) << quint32(1) << qint32(5) << quint8(0) << quint32(0);
        return u"UPDATE rows SET series = x'"_s + QString::fromLatin1(blob.toHex()) +
               u"' WHERE list = 1 AND place = 1"_s;
    };
    const struct {
        const char* what;
        QString path;
    } cases[] = {
        {"rows as an endless recursive view", data + u"project-recursive-view.quilla"_s},
        {"a series ending past the last day a date can have",
         data + u"project-far-end-date.quilla"_s},
        {"rows as a view", made(u"view.quilla"_s, {u"ALTER TABLE rows RENAME TO kept"_s,
                                                   u"CREATE VIEW rows AS SELECT * FROM kept"_s})},
        {"a trigger",
         made(u"trigger.quilla"_s,
              {u"CREATE TRIGGER t AFTER INSERT ON state BEGIN DELETE FROM rows; END"_s})},
        {"rows with a column more",
         made(u"column.quilla"_s, {u"ALTER TABLE rows ADD COLUMN extra BLOB"_s})},
        {"state with its columns under other names",
         made(u"renamed.quilla"_s, {u"ALTER TABLE state RENAME COLUMN value TO v"_s})},
        {"a series ending in 2101",
         made(u"late.quilla"_s, {seriesEndingOn(QDate(2101, 1, 1).toJulianDay())})},
        {"a series ending before 2000",
         made(u"early.quilla"_s, {seriesEndingOn(QDate(1999, 12, 31).toJulianDay())})},
        {"a series ending on a negative day", made(u"negative.quilla"_s, {seriesEndingOn(-5)})},
        // Found by fuzzing: its damaged pages could read as a journal that
        // never had a session, which is thrown away rather than kept aside.
        {"a journal with damaged pages",
         [&] {
             const QString path = folder.filePath(u"damaged.quilla"_s);
             return QFile::copy(data + u"journal-damaged-pages.quilla"_s, path) ? path : QString();
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.path.isEmpty());
        const QByteArray before = fileBytes(c.path);
        QElapsedTimer clock;
        clock.start();
        const auto read = readSession(c.path);
        EXPECT_LT(clock.elapsed(), 5000);
        const auto* refused = std::get_if<SessionReadError>(&read);
        EXPECT_NE(refused, nullptr) << "opened";
        if (refused) {
            EXPECT_EQ(sessionReadMessage(*refused), u8("这个项目文件已损坏，没有打开。"));
        }
        EXPECT_EQ(readLeftOver(c.path, {}).kind, LeftOverSession::Kind::Damaged);
        EXPECT_EQ(fileBytes(c.path), before);
    }

    // A day no series can end on is not written, so what is saved opens again.
    for (const QDate& day : {QDate(9999, 12, 31), QDate(1970, 1, 1), QDate()}) {
        SessionSnapshot session = sampleSession();
        auto series = std::make_shared<TrendSeries>(*session.results[1].series);
        series->endDate = day;
        session.results[1].series = series;
        const QString path = folder.filePath(u"day.quilla"_s);
        QFile::remove(path);
        ASSERT_EQ(saveProject(session, path).kind, NewFileResult::Kind::Written);
        const auto read = readSession(path);
        ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read)) << day.toJulianDay();
        EXPECT_EQ(std::get<SessionSnapshot>(read).results[1].series->endDate, std::nullopt);
        EXPECT_EQ(std::get<SessionSnapshot>(read).results[1].series->search, series->search);
    }
}

// The dated history: a file of the first version opens with none, one of this
// version keeps it whole, a newer one is refused, and a history this program
// could not have written is refused as damaged.
TEST(ProjectFile, HistoryOpensSavesAndRefusesWhatDoesNotFit) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    using Kind = SessionReadError::Kind;
    const auto made = [&](const QString& name, const SessionSnapshot& session,
                          const QStringList& sql) {
        const QString path = folder.filePath(name);
        if (saveProject(session, path).kind != NewFileResult::Kind::Written)
            return QString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(path);
            if (db.open())
                for (const QString& statement : sql)
                    if (!QSqlQuery(db).exec(statement))
                        ADD_FAILURE() << statement.toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return path;
    };
    SessionSnapshot first = sampleSession();
    first.history = {};
    first.state.offeredWords = {};
    const SessionSnapshot withHistory = sampleSession();
    const QString row = u"INSERT INTO history VALUES (%1, 'x', %2, '%3', %4)"_s;
    const QString nine = QStringList(9, u"1"_s).join(QChar(figureSeparator));
    const qint64 ms2024 = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const qint64 ms2101 = QDateTime(QDate(2101, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const struct {
        const char* what;
        QString path;
        std::optional<SessionSnapshot> opens; // else refused
        Kind refusedAs = Kind::Damaged;
    } cases[] = {
        {"a file of the first version, with no history table",
         made(u"v1.quilla"_s, first, {u"DROP TABLE history"_s, u"PRAGMA user_version = 1"_s}),
         first},
        {"this version with its history", made(u"v2.quilla"_s, withHistory, {}), withHistory},
        {"a newer version", made(u"v3.quilla"_s, withHistory, {u"PRAGMA user_version = 3"_s}),
         std::nullopt, Kind::Newer},
        {"a first-version file with a history table",
         made(u"v1h.quilla"_s, withHistory, {u"PRAGMA user_version = 1"_s}), std::nullopt},
        {"this version without its history table",
         made(u"v2n.quilla"_s, first, {u"DROP TABLE history"_s}), std::nullopt},
        {"history with a column more",
         made(u"col.quilla"_s, withHistory, {u"ALTER TABLE history ADD COLUMN extra"_s}),
         std::nullopt},
        {"history as a view",
         made(u"view.quilla"_s, withHistory,
              {u"ALTER TABLE history RENAME TO kept"_s,
               u"CREATE VIEW history AS SELECT * FROM kept"_s}),
         std::nullopt},
        {"a snapshot taken in 2101",
         made(u"late.quilla"_s, withHistory, {row.arg(ms2101).arg(5).arg(nine).arg(u"NULL"_s)}),
         std::nullopt},
        {"a snapshot taken before 2000",
         made(u"early.quilla"_s, withHistory, {row.arg(-1).arg(5).arg(nine).arg(u"NULL"_s)}),
         std::nullopt},
        {"a series ending far away",
         made(u"end.quilla"_s, withHistory,
              {row.arg(ms2024).arg(5).arg(nine).arg(QDate(3000, 1, 1).toJulianDay())}),
         std::nullopt},
        {"a negative item count",
         made(u"items.quilla"_s, withHistory, {row.arg(ms2024).arg(-7).arg(nine).arg(u"NULL"_s)}),
         std::nullopt},
        {"an item count past any market",
         made(u"huge.quilla"_s, withHistory,
              {row.arg(ms2024).arg(u"9000000000000000"_s).arg(nine).arg(u"NULL"_s)}),
         std::nullopt},
        {"eight figures",
         made(u"eight.quilla"_s, withHistory,
              {row.arg(ms2024)
                   .arg(5)
                   .arg(QStringList(8, u"1"_s).join(QChar(figureSeparator)))
                   .arg(u"NULL"_s)}),
         std::nullopt},
        {"a figure far too long",
         made(u"long.quilla"_s, withHistory,
              {row.arg(ms2024).arg(5).arg(QString(5000, u'9') + nine).arg(u"NULL"_s)}),
         std::nullopt},
        {"a time as text",
         made(u"text.quilla"_s, withHistory,
              {u"INSERT INTO history VALUES ('2024-01-01', 'x', 5, '%1', NULL)"_s.arg(nine)}),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.path.isEmpty());
        const QByteArray before = fileBytes(c.path);
        const auto read = readSession(c.path);
        if (c.opens) {
            ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read))
                << int(std::get<SessionReadError>(read).kind);
            EXPECT_EQ(std::get<SessionSnapshot>(read), *c.opens);
            EXPECT_EQ(std::get<SessionSnapshot>(read).history.size(), c.opens->history.size());
        } else {
            ASSERT_TRUE(std::holds_alternative<SessionReadError>(read));
            const auto& error = std::get<SessionReadError>(read);
            EXPECT_EQ(error.kind, c.refusedAs);
            if (c.refusedAs == Kind::Newer) {
                EXPECT_EQ(sessionReadMessage(error),
                          u8("这个项目来自更新版本的 Quilla（格式 3），这个版本打不开它。"));
            }
        }
        EXPECT_EQ(fileBytes(c.path), before);
    }

    // The latest two snapshots of a keyword are found again after a reading.
    const History read = std::get<SessionSnapshot>(readSession(cases[1].path)).history;
    ASSERT_NE(read.previous(u8("连衣裙")), nullptr);
    EXPECT_EQ(read.latest(u8("连衣裙"))->itemCount(), 12347);
    EXPECT_EQ(read.previous(u8("连衣裙"))->itemCount(), 12346);
    EXPECT_EQ(read.previous(u8("导入")), nullptr);
    EXPECT_EQ(read.of(u8("连衣裙")).size(), 3u);
}

// The journal as a run writes it: after each change, the file holds the lists.
TEST(SessionJournal, WritesEachChangeAndTwoProgramsKeepTwoJournals) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RowList candidates, results;
    SessionState state;
    state.keyword = u"qq"_s;
    auto first = SessionJournal::open(folder.path(), candidates, results, [&] { return state; });
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->leftOver());
    first->start();
    candidates.append(Row{{u8("关键词"), u8("宝贝数")}});
    candidates.append(Row{{u"qq"_s}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->waitUntilWritten(0); }, 5000));
    candidates.setRow(1, Row{{u"qq"_s, u"5"_s}});
    candidates.append(Row{{u"qq币"_s}});
    results.append(Row{resultHeader()});
    results.append(Row{{u"qq"_s, u"5"_s}});
    state.miningRow = 2;
    state.miningPaceMs = 400;
    first->noteChange();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->waitUntilWritten(0); }, 5000));
    candidates.remove({1});
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->waitUntilWritten(0); }, 5000));

    EXPECT_EQ(first->takeFailure(), std::nullopt);
    const auto read = readSession(first->path());
    ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read));
    const SessionSnapshot& s = std::get<SessionSnapshot>(read);
    EXPECT_EQ(s.candidates,
              (std::vector<Row>{Row{{u8("关键词"), u8("宝贝数")}}, Row{{u"qq币"_s}}}));
    EXPECT_EQ(s.results.size(), 2u);
    EXPECT_EQ(s.state.miningRow, 2);
    EXPECT_EQ(s.state.miningPaceMs, 400);
    EXPECT_EQ(s.state.keyword, u"qq"_s);

    // A second program at the same time takes a slot of its own.
    RowList otherCandidates, otherResults;
    auto second = SessionJournal::open(folder.path(), otherCandidates, otherResults,
                                       [] { return SessionState{}; });
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->path(), first->path());
    EXPECT_FALSE(second->leftOver());
    second->start();
    otherCandidates.append(Row{{u"x"_s}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->waitUntilWritten(0); }, 5000));
    EXPECT_EQ(std::get<SessionSnapshot>(readSession(first->path())).candidates, s.candidates);

    // A normal end keeps nothing; a later program finds no journal there.
    const QString path = first->path();
    first->endNormally();
    EXPECT_FALSE(QFile::exists(path));
    first.reset();
    auto third =
        SessionJournal::open(folder.path(), candidates, results, [] { return SessionState{}; });
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->path(), path);
    EXPECT_FALSE(third->leftOver());
}

// A program killed at any moment leaves its lock file as it was, empty or
// naming the program; the next start still finds the journal in that slot.
TEST(SessionJournal, ALockFileLeftByAKilledProgramHidesNoJournal) {
    for (const QByteArray& left : {QByteArray(), QByteArray("4194303\nquilla\nhost\n")}) {
        SCOPED_TRACE(left.toStdString());
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        RowList candidates, results;
        auto killed =
            SessionJournal::open(folder.path(), candidates, results, [] { return SessionState{}; });
        ASSERT_NE(killed, nullptr);
        killed->start();
        candidates.append(Row{{u"qq"_s}});
        ASSERT_TRUE(QTest::qWaitFor([&] { return killed->waitUntilWritten(0); }, 5000));
        const QString path = killed->path();
        killed.reset(); // lets go of its lock and keeps its journal, as a crash does
        QFile lock(folder.filePath(u"journal-0.lock"_s));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        ASSERT_EQ(lock.write(left), left.size());
        lock.close();

        RowList again, againResults;
        auto next =
            SessionJournal::open(folder.path(), again, againResults, [] { return SessionState{}; });
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(next->path(), path);
        ASSERT_TRUE(next->leftOver());
        const auto read = readSession(*next->leftOver());
        ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read));
        EXPECT_EQ(std::get<SessionSnapshot>(read).candidates, std::vector<Row>{Row{{u"qq"_s}}});
        next->endNormally();
        EXPECT_FALSE(QFile::exists(folder.filePath(u"journal-0.lock"_s)));
    }
}

// Window A holds slot 0, window B in slot 1 is killed, A ends normally: the
// next start finds B's journal and offers it.
TEST(SessionJournal, AStartFindsAJournalLeftInAnotherSlot) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RowList aCandidates, aResults, bCandidates, bResults;
    auto a =
        SessionJournal::open(folder.path(), aCandidates, aResults, [] { return SessionState{}; });
    auto b =
        SessionJournal::open(folder.path(), bCandidates, bResults, [] { return SessionState{}; });
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    a->start();
    b->start();
    bCandidates.append(Row{{u"qq"_s}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->waitUntilWritten(0); }, 5000));
    const QString killed = b->path();
    b.reset(); // keeps its journal, as a kill does
    a->endNormally();
    a.reset();

    RowList candidates, results;
    auto next =
        SessionJournal::open(folder.path(), candidates, results, [] { return SessionState{}; });
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->path(), killed);
    ASSERT_TRUE(next->leftOver());
    const auto read = readSession(*next->leftOver());
    ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read));
    EXPECT_EQ(std::get<SessionSnapshot>(read).candidates, std::vector<Row>{Row{{u"qq"_s}}});

    // With no journal left anywhere, the first free slot as before.
    next->endNormally();
    next.reset();
    auto fresh =
        SessionJournal::open(folder.path(), candidates, results, [] { return SessionState{}; });
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(QFileInfo(fresh->path()).fileName(), u"journal-0.sqlite"_s);
    EXPECT_FALSE(fresh->leftOver());
}

// Killed in the middle of a write, a journal leaves a hot rollback journal
// beside it: SQLite undoes that write when the next start reads it, and the
// file is not taken for damaged.
TEST(SessionJournal, AJournalKilledInTheMiddleOfAWriteIsNotDamaged) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString writing = folder.filePath(u"writing.sqlite"_s);
    const QString left = folder.filePath(u"journal-0.sqlite"_s);
    {
        QSqlDatabase db;
        ASSERT_EQ(openSessionDatabase(db, writing, u"writing"_s, true), std::nullopt);
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(u"PRAGMA cache_size = 1"_s));
        ASSERT_TRUE(db.transaction());
        for (int i = 0; i < 3000; ++i)
            ASSERT_TRUE(q.exec(u"INSERT INTO rows VALUES (0, %1, '[\"%2\"]', NULL)"_s.arg(i).arg(
                QString(200, u'x'))));
        // The files as a kill now would leave them.
        ASSERT_TRUE(QFile::copy(writing, left));
        ASSERT_TRUE(QFile::copy(writing + u"-journal"_s, left + u"-journal"_s));
        db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"writing"_s);
    EXPECT_EQ(readLeftOver(left, {}).kind, LeftOverSession::Kind::Nothing);
}

// Rows added while the disk was full are written once there is room again,
// with the rows after them: a journal killed then holds every row.
TEST(SessionJournal, RowsAWriteCouldNotKeepAreWrittenByTheNextOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(u"mnt"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    test::TmpfsMount disk(folder, u"size=1m"_s, false);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs: " << disk.reason().toStdString();
    RowList candidates, results;
    SessionState state;
    auto journal = SessionJournal::open(folder, candidates, results, [&] { return state; });
    ASSERT_NE(journal, nullptr);
    journal->start();
    const auto add = [&](int from, int to) {
        for (int i = from; i <= to; ++i)
            candidates.append(Row{{u8("候选关键词") + QString::number(i), u"12,345"_s}});
        state.miningRow = to;
        journal->noteChange();
        return QTest::qWaitFor([&] { return journal->waitUntilWritten(0); }, 20000);
    };
    ASSERT_TRUE(add(1, 49));
    ASSERT_EQ(journal->takeFailure(), std::nullopt);

    // Fill the disk, add rows, let the space go again.
    const QString filler = folder + u"/filler"_s;
    {
        QFile fill(filler);
        ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size() && fill.flush()) {
        }
    }
    ASSERT_TRUE(add(50, 99));
    ASSERT_TRUE(journal->takeFailure().has_value());
    ASSERT_TRUE(QFile::remove(filler));
    ASSERT_TRUE(add(100, 119));

    const QString path = journal->path();
    journal.reset(); // no normal end
    const auto read = readSession(path);
    ASSERT_TRUE(std::holds_alternative<SessionSnapshot>(read))
        << int(std::get<SessionReadError>(read).kind);
    const SessionSnapshot& kept = std::get<SessionSnapshot>(read);
    ASSERT_EQ(kept.candidates.size(), 119u);
    for (int i = 1; i <= 119; ++i)
        EXPECT_EQ(kept.candidates[i - 1].fields.at(0), u8("候选关键词") + QString::number(i));
    EXPECT_EQ(kept.state.miningRow, 119);
}

// A journal that cannot be written says so once; the lists are not touched.
TEST(SessionJournal, AFailedWriteIsReportedOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(u"mnt"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    test::TmpfsMount disk(folder, u"size=96k"_s, false);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs: " << disk.reason().toStdString();
    RowList candidates, results;
    auto journal = SessionJournal::open(folder, candidates, results, [] { return SessionState{}; });
    ASSERT_NE(journal, nullptr);
    journal->start();
    for (int i = 0; i < 20000; ++i)
        candidates.append(Row{{u8("很长的候选关键词") + QString::number(i), u"12,345"_s}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal->waitUntilWritten(0); }, 20000));
    const auto failure = journal->takeFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_FALSE(failure->isEmpty());
    candidates.append(Row{{u"more"_s}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal->waitUntilWritten(0); }, 20000));
    EXPECT_EQ(journal->takeFailure(), std::nullopt);
    EXPECT_EQ(candidates.count(), 20001);
}

} // namespace
} // namespace quilla
