#include "mining/mining_run.h"

#include "core/list_headers.h"
#include "core/number_text.h"
#include "mining/search_page.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quilla {

namespace {

double randomJitter() {
    return 0.8 + 0.4 * QRandomGenerator::global()->generateDouble();
}

QString blockMessage(Verdict why) {
    return why == Verdict::Login
               ? QStringLiteral(
                     "淘宝要求登录，挖词已暂停。请在下方的浏览器中登录，然后按 F5 继续。")
               : QStringLiteral(
                     "淘宝要求验证，挖词已暂停。请在下方的浏览器中完成验证，然后按 F5 继续。");
}

} // namespace

std::int64_t RetryPolicy::throttleWaitMs(int level, std::optional<std::chrono::seconds> retryAfter,
                                         double jitter) {
    // Capped while still in seconds: a huge value would overflow milliseconds.
    if (retryAfter)
        return std::chrono::milliseconds(std::clamp(*retryAfter, std::chrono::seconds(0),
                                                    std::chrono::seconds(longestWaitMs / 1000)))
            .count();
    const std::int64_t base = firstThrottleWaitMs << std::min(level, 10);
    return std::min<std::int64_t>(
        longestWaitMs, std::llround(std::min(base, longestWaitMs) * std::clamp(jitter, 0.8, 1.2)));
}

MiningRun::MiningRun(RowList& candidates, RowList& results, Timer& timer, AsyncFetcher& fetcher,
                     StepGate& gate, MessageBox& messages, Boxes boxes, PushBackParts parts)
    : candidates_(candidates), results_(results), timer_(timer), fetcher_(fetcher), gate_(gate),
      messages_(messages), boxes_(boxes), ticks_(gate, timer, QStringLiteral("mining-tick")),
      parts_(std::move(parts)), clock_(parts_.clock ? *parts_.clock : ownClock_) {
    if (!parts_.jitter)
        parts_.jitter = randomJitter;
}

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
    blockedBy_ = Verdict::Page;
    wait_.reset();
    failures_ = throttled_ = throttleLevel_ = emptyInARow_ = 0;
    keptPage_.clear();
    candidates_.clear();
    candidates_.append(Row{candidateHeader()});
    results_.clear();
    results_.append(Row{resultHeader()});
    candidates_.append(Row{{seed}});
    timer_.setInterval(tickInterval);
    return true;
}

bool MiningRun::resume() {
    if (!canContinue())
        return false;
    end_ = MiningEnd::None;
    blockedBy_ = Verdict::Page;
    wait_.reset();
    emptyInARow_ = 0;
    timer_.setInterval(tickInterval);
    return true;
}

void MiningRun::restore(std::int32_t miningRow, bool wasGoing) {
    timer_.setInterval(0);
    miningRow_ = miningRow;
    started_ = wasGoing;
    end_ = MiningEnd::None;
    blockedBy_ = Verdict::Page;
    wait_.reset();
    failures_ = throttled_ = throttleLevel_ = emptyInARow_ = 0;
    keptPage_.clear();
}

void MiningRun::timerFired() {
    ticks_.fired([this] { step(); });
}

void MiningRun::step() {
    if (wait_ && clock_.nowMs() < wait_->untilMs)
        return; // counting down to the next try
    const auto address = stepAddress();
    if (!address)
        return;
    inFlight_ = true;
    gate_.begin();
    fetcher_.fetch(*address, alive_.guard([this, address = *address](const FetchResult& page) {
        inFlight_ = false;
        finishStep(address, page);
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

void MiningRun::finishStep(const QString& address, const FetchResult& fetched) {
    if (!hasCandidate())
        return;
    const SearchPage page = readSearchPage(fetched.text);
    const Verdict verdict = verdictOf(fetched, address, page.yielded());
    switch (verdict) {
    case Verdict::Page:
        throttleLevel_ = 0;
        useThePage(page, fetched.text);
        return;
    case Verdict::Throttled:
        if (++throttled_ >= RetryPolicy::throttledTries) {
            stopFor(MiningEnd::ThrottledTooOften);
            return;
        }
        waitToRetry(verdict, RetryPolicy::throttleWaitMs(throttleLevel_++, fetched.retryAfter,
                                                         parts_.jitter()));
        return;
    case Verdict::ServerError:
    case Verdict::Network:
        // A keyword that never works must not hold the run up for long.
        if (failures_ < RetryPolicy::failureRetries) {
            waitToRetry(verdict, RetryPolicy::failureWaitMs(failures_++));
            return;
        }
        useThePage(page, fetched.text);
        return;
    case Verdict::Login:
    case Verdict::Verification:
        stopForBlock(verdict, fetched.finalAddress.isEmpty() ? address : fetched.finalAddress);
        return;
    }
}

void MiningRun::waitToRetry(Verdict why, std::int64_t ms) {
    wait_ = Wait{why, clock_.nowMs() + ms};
}

void MiningRun::stopFor(MiningEnd end) {
    timer_.setInterval(0);
    end_ = end;
    wait_.reset();
}

// The keyword stays unmined; the browser shows the page that asked, so the
// user can log in or pass the check there and go on.
void MiningRun::stopForBlock(Verdict why, const QString& address) {
    stopFor(MiningEnd::Blocked);
    blockedBy_ = why;
    if (parts_.pageView)
        parts_.pageView->show(address);
    messages_.show(blockMessage(why));
}

// The step as it always was, with the page that came.
void MiningRun::useThePage(const SearchPage& page, const QString& text) {
    wait_.reset();
    failures_ = throttled_ = 0;
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
    emptyInARow_ = page.yielded() ? 0 : emptyInARow_ + 1;
    if (emptyInARow_ >= RetryPolicy::emptyPagesInARow && end_ == MiningEnd::None) {
        if (parts_.archive)
            keptPage_ = parts_.archive->keep(QStringLiteral("unexpected-search-page.html"), text)
                            .value_or(QString());
        stopFor(MiningEnd::PagesLookChanged);
    }
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

bool MiningRun::canContinue() const {
    const bool ended = end_ == MiningEnd::QuantityReached ||
                       end_ == MiningEnd::QuantityNotANumber || end_ == MiningEnd::CandidatesUsedUp;
    return started_ && !ended && timer_.interval() == 0 && !inFlight_ && hasCandidate();
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
    if (wait_ && p.running)
        p.wait = MiningWait{wait_->why, std::max<std::int64_t>(0, wait_->untilMs - clock_.nowMs()),
                            wait_->why == Verdict::Throttled ? throttled_ : failures_};
    p.blockedBy = blockedBy_;
    p.keyword = candidates_.row(miningRow_).keyword();
    p.keptPage = keptPage_;
    p.canContinue = canContinue();
    return p;
}

} // namespace quilla
