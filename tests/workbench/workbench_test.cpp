// The session without a window: what it tells the journal, and when.

#include "workbench/workbench.h"

#include "session/session_store.h"
#include "support/qstring_print.h"

#include <QCoreApplication>
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

} // namespace
} // namespace quilla
