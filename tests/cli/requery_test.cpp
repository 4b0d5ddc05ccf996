// `quilla requery` as a scheduled run meets it: the real program with no
// display, its browser offscreen and routed through http_proxy to the fake
// marketplace, which moves on a day between two runs.

#include "core/list_headers.h"
#include "fake_market/block_plan.h"
#include "fake_market/market_data.h"
#include "fake_market/server.h"
#include "session/project_file.h"
#include "support/export_support.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        env.insert(u"XDG_DATA_HOME"_s, folder.path() + u"/data"_s);
        const QString proxy = u"http://127.0.0.1:"_s + QString::number(server.port());
        for (const QString& name : {u"http_proxy"_s, u"HTTP_PROXY"_s})
            env.insert(name, proxy);
        for (const QString& name : {u"no_proxy"_s, u"NO_PROXY"_s, u"all_proxy"_s, u"ALL_PROXY"_s})
            env.remove(name);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(folder.path());
        program.start(qEnvironmentVariable("QUILLA_BINARY_DIR") + u"/quilla"_s,
                      QStringList{u"requery"_s} + arguments);
    }

    struct Ran {
        int status = -1;
        QString out, err;
    };

    Ran finish(QProcess& program) {
        Ran ran;
        if (!program.waitForFinished(runMs)) {
            program.kill();
            program.waitForFinished();
            return ran;
        }
        ran.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        ran.out = QString::fromUtf8(program.readAllStandardOutput());
        ran.err = QString::fromUtf8(program.readAllStandardError());
        return ran;
    }

    Ran requery(const QStringList& arguments) {
        QProcess program;
        start(program, arguments);
        return finish(program);
    }

    std::vector<Row> savedRows() {
        const auto read = readSession(project);
        if (!std::holds_alternative<SessionSnapshot>(read))
            return {};
        const auto& rows = std::get<SessionSnapshot>(read).results;
        return {rows.begin() + 1, rows.end()};
    }

    QString savedInterval() {
        const auto read = readSession(project);
        return std::holds_alternative<SessionSnapshot>(read)
                   ? std::get<SessionSnapshot>(read).state.interval
                   : QString();
    }

    // The row as the trend page of `day` fills it.
    static QStringList filled(const QString& keyword, int day) {
        QStringList fields{keyword, fake_market::fakeCount(keyword)};
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

// Two days, two requeries: each fills every row with that day's figures and
// saves in place, keeping the project's own interval; a second requery while
// the first holds the project is refused; the second day's browser still
// has the cookie the first day's was given.
TEST_F(Requery, FillsEveryRowOnEachDayOneAtATimeAndKeepsItsCookies) {
    QProcess first;
    start(first, {u"p.quilla"_s, u"--interval"_s, u"2000"_s});
    QString firstErr;
    QElapsedTimer clock;
    clock.start();
    while (!firstErr.contains(u"quilla: 1/3"_s) && clock.elapsed() < runMs &&
           first.state() != QProcess::NotRunning) {
        first.waitForReadyRead(1000);
        firstErr += QString::fromUtf8(first.readAllStandardError());
    }
    ASSERT_TRUE(firstErr.contains(u"quilla: 1/3"_s)) << firstErr.toStdString();

    const Ran refused = requery({u"p.quilla"_s});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(u"quilla: p.quilla is open in another window or command"_s))
        << refused.err.toStdString();

    Ran ran = finish(first);
    ran.err.prepend(firstErr);
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    EXPECT_EQ(ran.out, u"p.quilla\nrows queried: 3 of 3\nrows with figures: 3\n"_s);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(ran.err.contains(u"quilla: "_s + QString::number(i + 1) + u"/3 "_s +
                                     keywords[i] + u'\n'))
            << ran.err.toStdString();
    std::vector<Row> rows = savedRows();
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rows[i].fields, filled(keywords[i], 0));
    EXPECT_EQ(savedInterval(), u"4321"_s);
    const auto firstCookies = trendPageCookies();
    ASSERT_FALSE(firstCookies.empty());
    EXPECT_EQ(firstCookies.front().find("trend-visit="), std::string::npos);

    server.nextDay();
    server.clearRequests();
    ran = requery({u"p.quilla"_s, u"--interval"_s, u"2000"_s});
    ASSERT_EQ(ran.status, 0) << ran.err.toStdString();
    rows = savedRows();
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i].fields, filled(keywords[i], 1));
        EXPECT_NE(rows[i].fields, filled(keywords[i], 0));
    }
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
    EXPECT_EQ(ran.out, u"p.quilla\nrows queried: 1 of 3\nrows with figures: 1\n"_s);
    const std::vector<Row> rows = savedRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields, filled(keywords[0], 0));
    EXPECT_EQ(rows[1].fields, before[1].fields);
    EXPECT_EQ(rows[2].fields, before[2].fields);
}

} // namespace
} // namespace quilla
