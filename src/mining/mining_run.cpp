#include "mining/mining_run.h"

#include "core/list_headers.h"
#include "core/number_text.h"
#include "mining/search_page.h"

#include <algorithm>
#include <limits>

namespace quilla {

MiningRun::MiningRun(RowList& candidates, RowList& results, Timer& timer, AsyncFetcher& fetcher,
                     StepGate& gate, MessageBox& messages, Boxes boxes)
    : candidates_(candidates), results_(results), timer_(timer), fetcher_(fetcher), gate_(gate),
      messages_(messages), boxes_(boxes), ticks_(gate, timer, QStringLiteral("mining-tick")) {}

bool MiningRun::start() {
    // Only empty text is refused: spaces pass, and the quantity is read as a
    // number by each step, not here.
    const QString seed = boxes_.keyword.text();
    if (seed.isEmpty()) {
        messages_.show(QStringLiteral("关键词不能为空"));
        return false;
    }
    if (boxes_.quantity.text().isEmpty()) {
        messages_.show(QStringLiteral("请填写数量"));
        return false;
    }
    miningRow_ = 1;
    started_ = true;
    end_ = MiningEnd::None;
    candidates_.clear();
    candidates_.append(Row{candidateHeader()});
    results_.clear();
    results_.append(Row{resultHeader()});
    candidates_.append(Row{{seed}});
    timer_.setInterval(tickInterval);
    return true;
}

void MiningRun::timerFired() {
    ticks_.fired([this] { step(); });
}

void MiningRun::step() {
    const auto address = stepAddress();
    if (!address)
        return;
    inFlight_ = true;
    gate_.begin();
    fetcher_.fetch(*address, alive_.guard([this](const FetchResult& page) {
        inFlight_ = false;
        finishStep(page);
        gate_.end();
    }));
}

std::optional<QString> MiningRun::stepAddress() {
    if (!hasCandidate()) {
        // Every keyword found so far is mined: fetching an empty keyword
        // would only add rows without a keyword.
        timer_.setInterval(0);
        if (started_)
            end_ = MiningEnd::CandidatesUsedUp;
        return std::nullopt;
    }
    return searchAddress(candidates_.row(miningRow_).keyword());
}

void MiningRun::finishStep(const FetchResult& fetched) {
    if (!hasCandidate())
        return;
    const SearchPage page = readSearchPage(fetched.text);
    // Offered while the keyword's own row is still bare, so a page that
    // suggests the keyword itself does not add it again.
    for (const QString& word : page.related)
        offerCandidate(word);
    const Row mined{{candidates_.row(miningRow_).keyword(), page.count}};
    candidates_.setRow(miningRow_, mined);
    addResult(mined);
    if (const MiningEnd reason = stopReason(); reason != MiningEnd::None) {
        timer_.setInterval(0);
        end_ = reason;
    }
    if (miningRow_ < std::numeric_limits<std::int32_t>::max())
        ++miningRow_;
}

void MiningRun::offerCandidate(const QString& word) {
    if (word.isEmpty() || candidates_.containsKeyword(word))
        return;
    candidates_.append(Row{{word}});
}

void MiningRun::addResult(const Row& row) {
    if (passesFilters(row.keyword()))
        results_.append(row);
}

bool MiningRun::hasCandidate() const {
    return miningRow_ >= 1 && miningRow_ < candidates_.count();
}

bool MiningRun::passesFilters(const QString& keyword) const {
    const QString include = boxes_.include.text();
    const QString exclude = boxes_.exclude.text();
    return (include.isEmpty() || keyword.contains(include)) &&
           (exclude.isEmpty() || !keyword.contains(exclude));
}

// A quantity that is not a number stops the run as well.
MiningEnd MiningRun::stopReason() const {
    const auto quantity = numberFromText(boxes_.quantity.text());
    if (!quantity)
        return MiningEnd::QuantityNotANumber;
    return *quantity < results_.count() ? MiningEnd::QuantityReached : MiningEnd::None;
}

MiningProgress MiningRun::progress() const {
    MiningProgress p;
    p.started = started_;
    p.running = timer_.interval() > 0;
    p.mined = std::max<std::int64_t>(0, miningRow_ - 1);
    p.waiting =
        std::max<std::int64_t>(0, candidates_.count() - std::max<std::int64_t>(miningRow_, 1));
    p.results = std::max<std::int64_t>(0, results_.count() - 1);
    p.quantity = numberFromText(boxes_.quantity.text());
    p.end = end_;
    return p;
}

} // namespace quilla
