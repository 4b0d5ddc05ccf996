#pragma once

// A mining run in a workbench, its pages made up to offer fresh words on
// every step: the step benchmarks' one set-up.

#include "mining/search_page.h"
#include "pages.h"
#include "workbench/workbench.h"

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

// A workbench whose pages offer fresh words on every step, with a journal
// when given a folder for it.
class Mining {
public:
    explicit Mining(const QString& journalFolder = {})
        : parts_(searchPageParts(64 * KiB)), bench_(partsFor(journalFolder)) {
        bench_.setSettings({u"qq"_s, {}, {}, u"100000000"_s, u"6000"_s});
        bench_.recover([] { return false; }); // journalling begins
    }

    // The lists as a run leaves them with `candidates` keywords found and
    // `rows` result rows, the mining row at the first waiting keyword. The
    // timer stays still: the benchmark steps the run itself.
    void reset(int candidates, int rows) {
        bench_.startMining();
        bench_.miningTimer().setInterval(0);
        for (int i = 2; i < candidates; ++i)
            run().offerCandidate(u"qq充值卡"_s + QString::number(i));
        for (int i = 0; i < rows; ++i)
            results().append(
                quilla::Row{QStringList{u"qq会员"_s + QString::number(i), u"12,345"_s}});
    }

    std::int64_t candidateCount() { return bench_.candidates().count(); }
    std::int64_t resultCount() { return bench_.results().count(); }

    // The next page offers fourteen words not seen before: every step appends
    // as many rows as a step can.
    void prepareNextPage() {
        QStringList words;
        for (int i = 0; i < maxRelatedWords; ++i)
            words.append(u"qq币"_s + QString::number(++serial_));
        fetcher_.next = parts_.page(words);
    }

    void step() { run().step(); }

    std::int32_t miningRow() { return run().miningRow(); }
    RowList& candidates() { return bench_.candidates(); }
    RowList& results() { return bench_.results(); }
    MiningRun& run() { return bench_.mining(); }
    SessionJournal* journal() const { return bench_.journal(); }

private:
    Workbench::Parts partsFor(const QString& journalFolder) {
        Workbench::Parts parts;
        parts.pages = &fetcher_;
        parts.journalFolder = journalFolder;
        return parts;
    }

    SearchPageParts parts_;
    PageStream fetcher_;
    Workbench bench_;
    int serial_ = 0;
};

} // namespace quilla::bench
