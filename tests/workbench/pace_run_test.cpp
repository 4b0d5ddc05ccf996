// A real mining run, through the page fetch and the fake marketplace's
// server, against a limit on searches: it learns a pace below the tick's,
// is refused only a few times, and exports the table an unlimited run does.

#include "core/interval_timer.h"
#include "export/csv_export.h"
#include "fake_market/server.h"
#include "mining/mining_run.h"
#include "net/background_fetch.h"
#include "net/page_fetch.h"
#include "support/fakes.h"
#include "support/proxy_env.h"
#include "support/wait.h"

#include <gtest/gtest.h>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
namespace fm = fake_market;

struct Outcome {
    QByteArray csv;
    std::int64_t paceMs = 0;
    int passed = 0, refused = 0;
    MiningEnd end = MiningEnd::None;
};

// Mines 40 keywords of the long tail from one seed; bounded in time.
Outcome mine(const fm::RateLimit& limit) {
    Outcome out;
    fm::ServerOptions options;
    options.limit = limit;
    options.longTail = true;
    fm::FakeMarketServer server(options);
    EXPECT_TRUE(server.start());
    test::ProxyEnvironment proxy(server.port());
    RowList candidates, results;
    IntervalTimer timer;
    BackgroundFetch fetch(std::make_shared<CurlFetcher>());
    StepGate gate;
    test::FakeMessageBox messages;
    test::FakeTextBox keyword{u"长尾"_s}, include, exclude, quantity{u"40"_s};
    MiningRun run(candidates, results, timer, fetch, gate, messages,
                  {keyword, include, exclude, quantity});
    QObject::connect(&timer, &IntervalTimer::ticked, &timer, [&] { run.timerFired(); });
    EXPECT_TRUE(run.start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !run.going(); }, 60000));
    timer.setInterval(0);
    out.csv = csvBytes(results);
    out.paceMs = run.paceMs();
    out.passed = server.searchesPassed();
    out.refused = server.searchesRefused();
    out.end = run.progress().end;
    return out;
}

TEST(PaceRun, ALimitedRunLearnsAPaceAndExportsWhatAnUnlimitedRunDoes) {
    const Outcome plain = mine({});
    ASSERT_EQ(plain.end, MiningEnd::QuantityReached);
    EXPECT_EQ(plain.paceMs, MiningRun::tickInterval);
    EXPECT_EQ(plain.refused, 0);

    // Four a second with a burst of five, no Retry-After: the run's own
    // short waits.
    const Outcome limited = mine({4, 5, 0, fm::LimitMode::TooMany, {}});
    ASSERT_EQ(limited.end, MiningEnd::QuantityReached);
    EXPECT_EQ(limited.csv, plain.csv);
    EXPECT_GT(limited.paceMs, MiningRun::tickInterval);
    EXPECT_GE(limited.refused, 1);
    EXPECT_LE(limited.refused, 3) << "passed " << limited.passed;
}

} // namespace
} // namespace quilla
