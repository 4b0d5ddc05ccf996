#pragma once

// A mining run over the lists alone, its pages made up to offer fresh words
// on every step: the step benchmarks' one set-up.

#include "core/row_list.h"
#include "core/step_gate.h"
#include "mining/mining_run.h"
#include "mining/search_page.h"
#include "pages.h"
#include "support/fakes.h"

namespace quilla::bench {

using namespace Qt::StringLiterals;

// Answers every fetch at once with the page set before the step.
class PageStream final : public AsyncFetcher {
public:
    void fetch(const QString&, std::function<void(const FetchResult&)> done) override {
        FetchResult page;
        page.text = next;
        page.status = 200;
        done(page);
    }
    QString next;
};

// The two lists, the run over them and pages with fresh related words.
class Mining {
public:
    Mining() : parts_(searchPageParts(64 * KiB)) {}

    // The lists as a run leaves them with `candidates` keywords found and
    // `rows` result rows, the mining row at the first waiting keyword.
    void reset(int candidates, int rows) {
        run_.start();
        for (int i = 2; i < candidates; ++i)
            run_.offerCandidate(u"qq充值卡"_s + QString::number(i));
        for (int i = 0; i < rows; ++i)
            results_.append(
                quilla::Row{QStringList{u"qq会员"_s + QString::number(i), u"12,345"_s}});
    }

    std::int64_t candidateCount() const { return candidates_.count(); }
    std::int64_t resultCount() const { return results_.count(); }

    // The next page offers fourteen words not seen before: every step appends
    // as many rows as a step can.
    void prepareNextPage() {
        QStringList words;
        for (int i = 0; i < maxRelatedWords; ++i)
            words.append(u"qq币"_s + QString::number(++serial_));
        fetcher_.next = parts_.page(words);
    }

    void step() { run_.step(); }

    std::int32_t miningRow() const { return run_.miningRow(); }
    RowList& candidates() { return candidates_; }
    RowList& results() { return results_; }
    MiningRun& run() { return run_; }

private:
    SearchPageParts parts_;
    RowList candidates_;
    RowList results_;
    test::FakeTimer timer_;
    PageStream fetcher_;
    test::FakeMessageBox messages_;
    test::FakeTextBox keyword_{u"qq"_s};
    test::FakeTextBox include_;
    test::FakeTextBox exclude_;
    test::FakeTextBox quantity_{u"100000000"_s};
    StepGate gate_;
    MiningRun run_{candidates_,
                   results_,
                   timer_,
                   fetcher_,
                   gate_,
                   messages_,
                   MiningRun::Boxes{keyword_, include_, exclude_, quantity_}};
    int serial_ = 0;
};

} // namespace quilla::bench
