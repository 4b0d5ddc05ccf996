// Killed at any moment, a run loses at most the step in flight: a program of
// its own runs, is killed (SIGKILL) at random moments again and again, and
// each fresh start recovers the journal and goes on. In the end the lists
// are those of a run that was never killed: no keyword lost, none mined
// twice, no row doubled, and no row queried again once it was written.

#include "fake_market/server.h"
#include "support/proxy_env.h"
#include "support/qstring_print.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

#include <csignal>
#include <set>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

struct Outcome {
    QJsonObject final;
    int kills = 0;
    QStringList log;
};

// Runs the child in `folder` until it ends by itself; with `kills`, kills it
// that many times first, each after a random moment within `spanMs`.
Outcome runChild(const QString& mode, const QString& folder, int kills, int spanMs, quint32 seed) {
    Outcome outcome;
    QRandomGenerator dice(seed);
    const QString log = folder + u"/log.txt"_s, final = folder + u"/final.json"_s;
    const auto deadline = Clock::now() + std::chrono::seconds(50);
    for (int start = 0; Clock::now() < deadline; ++start) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(SESSION_CHILD),
                    {u"--folder"_s, folder + u"/journal"_s, u"--mode"_s, mode, u"--log"_s, log,
                     u"--final"_s, final});
        if (!child.waitForStarted(10000)) {
            ADD_FAILURE() << "the child did not start";
            return outcome;
        }
        if (outcome.kills < kills) {
            const int wait = dice.bounded(20, spanMs);
            if (!child.waitForFinished(wait)) {
                ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
                child.waitForFinished(10000);
                // Killed after it had ended normally (the lists written, the
                // journal gone) but before it exited: the run was over.
                if (QFile::exists(final) &&
                    QDir(folder + u"/journal"_s).entryList({u"journal-*.sqlite"_s}).isEmpty())
                    break;
                ++outcome.kills;
                continue;
            }
        } else if (!child.waitForFinished(40000)) {
            child.kill();
            ADD_FAILURE() << "the child did not end";
            return outcome;
        }
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
        break;
    }
    QFile f(final);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "no final lists";
    outcome.final = QJsonDocument::fromJson(f.readAll()).object();
    QFile l(log);
    if (l.open(QIODevice::ReadOnly))
        outcome.log = QString::fromUtf8(l.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return outcome;
}

// The final lists as text, for readable failures.
QString texts(const QJsonObject& final) {
    return QString::fromUtf8(QJsonDocument(final).toJson());
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        proxy = std::make_unique<test::ProxyEnvironment>(server.port());
    }
    fake_market::FakeMarketServer server;
    std::unique_ptr<test::ProxyEnvironment> proxy;
};

TEST_F(Recovery, AMiningRunKilledAgainAndAgainEndsAsOneNeverKilled) {
    QTemporaryDir whole, killed;
    ASSERT_TRUE(whole.isValid() && killed.isValid());
    const Outcome reference = runChild(u"mine"_s, whole.path(), 0, 0, 0);
    ASSERT_GT(reference.final[u"candidates"_s].toArray().size(), 20);
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Outcome hurt = runChild(u"mine"_s, killed.path(), 25, 400, seed);
    EXPECT_GE(hurt.kills, 10); // the run may end before the last ones come
    EXPECT_EQ(texts(hurt.final), texts(reference.final));
    EXPECT_FALSE(QFile::exists(killed.path() + u"/journal/journal-0.sqlite"_s));
}

TEST_F(Recovery, AnIndexRunKilledAgainAndAgainQueriesNoWrittenRowAgain) {
    QTemporaryDir whole, killed;
    ASSERT_TRUE(whole.isValid() && killed.isValid());
    const Outcome reference = runChild(u"index"_s, whole.path(), 0, 0, 0);
    ASSERT_EQ(reference.final[u"results"_s].toArray().size(), 36);
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Outcome hurt = runChild(u"index"_s, killed.path(), 25, 150, seed);
    EXPECT_GE(hurt.kills, 10);
    EXPECT_EQ(texts(hurt.final), texts(reference.final));
    // Once a recovery found a row written, that row was never submitted again.
    std::set<QString> written;
    for (const QString& line : hurt.log) {
        if (line.startsWith(u"written "_s)) {
            written.insert(line.mid(8));
        } else if (line.startsWith(u"query "_s)) {
            EXPECT_FALSE(written.count(line.mid(6))) << line.toStdString();
        }
    }
    EXPECT_GT(written.size(), 0u);
    EXPECT_FALSE(QFile::exists(killed.path() + u"/journal/journal-0.sqlite"_s));
}

} // namespace
} // namespace quilla
