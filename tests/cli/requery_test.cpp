// `quilla requery` as a scheduled run meets it: the real program with no
// display, its browser offscreen and routed through http_proxy to the fake
// marketplace, which moves on a day between two runs.

#include "core/list_headers.h"
#include "core/number_text.h"
#include "fake_market/block_plan.h"
#include "fake_market/market_data.h"
#include "fake_market/server.h"
#include "session/project_file.h"
#include "session/session_store.h"
#include "support/export_support.h"
#include "support/program_run.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::Ran;
using test::u8;

constexpr int runMs = 120000;

class Requery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(server.start());
        project = QDir(folder.path()).filePath(u"p.quilla"_s);
        SessionSnapshot s;
        s.candidates = {Row{candidateHeader()}};
        s.results = {Row{resultHeader()}};
        for (const QString& k : keywords)
            s.results.push_back(Row{{k, fake_market::fakeCount(k)}});
        s.state.keyword = u"qq"_s;
        s.state.interval = u"4321"_s; // the window's, which a requery keeps
        ASSERT_EQ(saveProject(s, project).kind, NewFileResult::Kind::Written);
    }

    // The program with no display, its data folder (and so its browser
    // profile) inside the test's folder, the marketplace behind the proxy.
    void start(QProcess& program, const QStringList& arguments) {
        QProcessEnvironment env = test::withoutDisplay();
        env.insert(u"XDG_DATA_HOME"_s, folder.path() + u"/data"_s);
        const QString proxy = u"http://127.0.0.1:"_s + QString::number(server.port());
        for (const QString& name : {u"http_proxy"_s, u"HTTP_PROXY"_s})
            env.insert(name, proxy);
        for (const QString& name : {u"no_proxy"_s, u"NO_PROXY"_s, u"all_proxy"_s, u"ALL_PROXY"_s})
            env.remove(name);
        test::startQuilla(program, arguments, folder.path(), env);
    }

    static Ran finish(QProcess& program) { return test::finish(program, runMs); }

    Ran quilla(const QStringList& arguments) {
        QProcess program;
        start(program, arguments);
        return finish(program);
    }

    Ran requery(const QStringList& arguments) {
        return quilla(QStringList{u"requery"_s} + arguments);
    }

    SessionSnapshot saved(const QString& file) {
        const auto read = readSession(QDir(folder.path()).filePath(file));
        return std::holds_alternative<SessionSnapshot>(read) ? std::get<SessionSnapshot>(read)
                                                             : SessionSnapshot{};
    }

    std::vector<Row> savedRows(const QString& file = u"p.quilla"_s) {
        const auto rows = saved(file).results;
        return rows.empty() ? std::vector<Row>{} : std::vector<Row>{rows.begin() + 1, rows.end()};
    }

    // The row as the trend page of `day` fills it, with the count the search
    // page of `countDay` states.
    static QStringList filled(const QString& keyword, int day, int countDay = 0) {
        QStringList fields{keyword, fake_market::fakeCount(keyword, countDay)};
        for (const QString& f : fake_market::expectedFields(keyword, day))
            fields.append(f);
        return fields;
    }

    // The Cookie headers of the trend page's loads, in order.
    std::vector<std::string> trendPageCookies() {
        std::vector<std::string> out;
        for (const auto& r : server.requests())
            if (r.target.find("shu.taobao.com/trendindex?") != std::string::npos)
                out.push_back(r.cookie);
        return out;
    }

    const QStringList keywords{u8("qq币"), u8("绿钻"), u8("qq音乐")};
    QTemporaryDir folder;
    fake_market::FakeMarketServer server;
    QString project;
};

// The lines of each section of the summary's report, by its title.
QMap<QString, QStringList> reportSections(const QString& out) {
    QMap<QString, QStringList> sections;
    QString title;
    for (const QString& line : out.split(u'\n')) {
        if (line.startsWith(u"  "_s))
            sections[title].append(line.mid(2).section(u'\t', 0, 0));
        else
            title = line;
    }
    return sections;
}

double fraction(const QString& after, const QString& before) {
    return *plainNumber(after) / *plainNumber(before) - 1;
}

// A tracked list from `quilla new`, requeried with its item counts on two
// days: each run fills every row with that day's counts and figures and
// saves in place, keeping the project's own interval; a second requery while
// the first holds the project is refused; the history holds a dated
// snapshot per row and run; the summary names the rows that moved past the
// thresholds and the related words the table lacks; the second day's
// browser still has the cookie the first day's was given.
TEST_F(Requery, TracksANewListOverTwoDaysAndSaysWhatMoved) {
    QFile list(QDir(folder.path()).filePath(u"list.txt"_s));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(keywords.join(u'\n').toUtf8());
    list.close();
    const Ran made = quilla({u"new"_s, u"t.quilla"_s, u"--keywords"_s, u"list.txt"_s});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const QString interval = saved(u"t.quilla"_s).state.interval;
    ASSERT_FALSE(interval.isEmpty());

    QProcess first;
    start(first, {u"requery"_s, u"t.quilla"_s, u"--counts"_s, u"--interval"_s, u"2000"_s});
    QString firstErr;
    QElapsedTimer clock;
    clock.start();
    while (!firstErr.contains(u"quilla: 1/3"_s) && clock.elapsed() < runMs &&
           first.state() != QProcess::NotRunning) {
        first.waitForReadyRead(1000);
        firstErr += QString::fromUtf8(first.readAllStandardError());
    }
    ASSERT_TRUE(firstErr.contains(u"quilla: 1/3"_s)) << firstErr.toStdString();

    const Ran refused = requery({u"t.quilla"_s});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(u"quilla: t.quilla is open in another window or command"_s))
        << refused.err.toStdString();

    Ran ran = finish(first);
    ran.err.prepend(firstErr);
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    EXPECT_TRUE(ran.out.startsWith(
        u"t.quilla\nrows queried: 3 of 3\nrows with figures: 3\nitem counts read: 3 of 3\n"_s))
        << ran.out.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(ran.err.contains(u"quilla: "_s + QString::number(i + 1) + u"/3 "_s +
                                     keywords[i] + u'\n'))
            << ran.err.toStdString();
    std::vector<Row> rows = savedRows(u"t.quilla"_s);
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rows[i].fields, filled(keywords[i], 0));
    EXPECT_EQ(saved(u"t.quilla"_s).state.interval, interval);
    const auto firstCookies = trendPageCookies();
    ASSERT_FALSE(firstCookies.empty());
    EXPECT_EQ(firstCookies.front().find("trend-visit="), std::string::npos);

    server.nextDay();
    server.clearRequests();
    ran = requery({u"t.quilla"_s, u"--counts"_s, u"--interval"_s, u"2000"_s, u"--search-move"_s,
                   u"10"_s, u"--items-rise"_s, u"10"_s});
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    const SessionSnapshot second = saved(u"t.quilla"_s);
    rows = savedRows(u"t.quilla"_s);
    ASSERT_EQ(rows.size(), 3u);
    QStringList moved, rose, offered;
    for (int i = 0; i < 3; ++i) {
        const QString& k = keywords[i];
        EXPECT_EQ(rows[i].fields, filled(k, 1, 1));
        EXPECT_NE(rows[i].fields, filled(k, 0));
        const auto snapshots = second.history.of(k);
        ASSERT_EQ(snapshots.size(), 2u) << k.toStdString();
        EXPECT_LT(snapshots[0]->atMs, snapshots[1]->atMs);
        EXPECT_EQ(snapshots[0]->itemCount(), plainNumber(fake_market::fakeCount(k, 0)));
        EXPECT_EQ(snapshots[1]->itemCount(), plainNumber(fake_market::fakeCount(k, 1)));
        const QString search0 = fake_market::expectedFields(k, 0)[0];
        const QString search1 = fake_market::expectedFields(k, 1)[0];
        if (std::abs(fraction(search1, search0)) >= 0.10)
            moved.append(k);
        if (fraction(fake_market::fakeCount(k, 1), fake_market::fakeCount(k, 0)) >= 0.10)
            rose.append(k);
        for (const QString& word : fake_market::fakeRelated(k))
            if (!keywords.contains(word) && !offered.contains(word))
                offered.append(word);
    }
    ASSERT_FALSE(moved.isEmpty() && rose.isEmpty()) << "the fake's days must move something";
    const auto sections = reportSections(ran.out);
    const auto sorted = [](QStringList l) {
        l.sort();
        return l;
    };
    EXPECT_TRUE(ran.out.contains(u8("\n自上次以来\n"))) << ran.out.toStdString();
    EXPECT_EQ(sorted(sections.value(u8("搜索指数变化 ≥ 10%："))), sorted(moved))
        << ran.out.toStdString();
    EXPECT_EQ(sorted(sections.value(u8("宝贝数增加 ≥ 10%："))), sorted(rose))
        << ran.out.toStdString();
    EXPECT_EQ(sorted(sections.value(u8("页面给出、表中没有的相关词："))), sorted(offered))
        << ran.out.toStdString();
    EXPECT_EQ(second.state.offeredWords.size(), static_cast<std::size_t>(offered.size()));
    const auto secondCookies = trendPageCookies();
    ASSERT_FALSE(secondCookies.empty());
    EXPECT_NE(secondCookies.front().find("trend-visit=fake"), std::string::npos)
        << secondCookies.front();
}

// The marketplace sends the browser to its login page at the second row:
// the run stops there, the first row's figures are saved, the rest stay as
// they were, and the exit status and message say what was asked for.
TEST_F(Requery, ALoginPageStopsTheRunKeepsTheRowsDoneAndExitsThree) {
    const std::vector<Row> before = savedRows();
    server.block({fake_market::BlockKind::TrendLogin, keywords[1], -1, 0});
    const Ran ran = requery({u"p.quilla"_s, u"--interval"_s, u"2000"_s});
    EXPECT_EQ(ran.status, 3) << ran.err.toStdString();
    EXPECT_TRUE(ran.err.contains(u8("quilla: the marketplace asks for a login (登录): the run "
                                    "stopped after 1 of 3 rows")))
        << ran.err.toStdString();
    EXPECT_TRUE(ran.out.startsWith(u"p.quilla\nrows queried: 1 of 3\nrows with figures: 1\n"_s))
        << ran.out.toStdString();
    const std::vector<Row> rows = savedRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields, filled(keywords[0], 0));
    EXPECT_EQ(rows[1].fields, before[1].fields);
    EXPECT_EQ(rows[2].fields, before[2].fields);
}

// A day later the trend page fails for one keyword: that row keeps the
// figures of its last query (a requery saves in place), the others move on,
// the summary says so, and no snapshot records the failed query.
TEST_F(Requery, ARowWhosePageGivesNoFiguresKeepsItsLastOnes) {
    ASSERT_EQ(requery({u"p.quilla"_s, u"--interval"_s, u"2000"_s}).status, 0);
    server.nextDay();
    server.block({fake_market::BlockKind::TrendFailed, keywords[1], -1, 0});
    const Ran ran = requery({u"p.quilla"_s, u"--interval"_s, u"2000"_s});
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    EXPECT_TRUE(ran.out.startsWith(u"p.quilla\nrows queried: 3 of 3\nrows with figures: 2\n"
                                   u"rows whose page gave no figures, their last ones kept: 1\n"_s))
        << ran.out.toStdString();
    const std::vector<Row> rows = savedRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields, filled(keywords[0], 1));
    EXPECT_EQ(rows[1].fields, filled(keywords[1], 0));
    EXPECT_EQ(rows[2].fields, filled(keywords[2], 1));
    const SessionSnapshot s = saved(u"p.quilla"_s);
    EXPECT_EQ(s.history.of(keywords[0]).size(), 2u);
    EXPECT_EQ(s.history.of(keywords[1]).size(), 1u);
}

} // namespace
} // namespace quilla
