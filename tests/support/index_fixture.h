#pragma once

// An index run over a result table of numbered keywords, with a fake page.

#include "core/list_headers.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "index/index_run.h"
#include "support/fakes.h"
#include "support/index_fake_browser.h"

#include <gtest/gtest.h>

namespace quilla::test {

inline QString keyword(int i) {
    return QStringLiteral("kw%1").arg(i);
}

class IndexRunFixture : public ::testing::Test {
protected:
    // The header and rows "kw1,1" to "kw<rows>,<rows>".
    void fill(int rows) {
        results.clear();
        results.append(Row{resultHeader()});
        for (int i = 1; i <= rows; ++i)
            results.append(Row{{keyword(i), QString::number(i)}});
    }
    // The figures a row holds after its keyword and count.
    QStringList figuresOf(int row) const { return results.row(row).fields.mid(2); }

    RowList results;
    FakeTimer timer;
    FakeBrowser browser;
    FakeTextBox interval{QStringLiteral("6000")};
    StepGate gate;
    IndexRun run{results, timer, browser, interval, gate};
};

} // namespace quilla::test
