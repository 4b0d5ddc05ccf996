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

QString blockMessage(Verdict why, const QString& run) {
    if (why == Verdict::Login)
        return u"淘宝要求登录，" + run + u"已暂停。请在下方的浏览器中登录，然后按 F5 继续。";
    return u"淘宝要求验证，" + run + u"已暂停。请在下方的浏览器中完成验证，然后按 F5 继续。";
}

// A row with the count a search page gave, as a mined row holds it after
// its keyword; what follows (index figures) stays.
Row withCount(Row row, const QString& count, const QString& failure) {
    row.fields = QStringList{row.keyword(), count} + row.fields.mid(2);
    row.failure = failure;
    return row;
}

// For the tooltip of a row whose page never loaded.
QString failureText(Verdict why, const FetchResult& fetched, int tries) {
    const QString detail = why == Verdict::ServerError
                               ? QStringLiteral("HTTP %1").arg(fetched.status)
                               : failureName(fetched.failure);
    return u"页面未能读取：" + verdictName(why) +
           (detail.isEmpty() ? QString() : u"（" + detail + u"）") + u"，已试 " +
           QString::number(tries) + u" 次";
}

} // namespace

std::int64_t RetryPolicy::throttleWaitMs(int level, std::optional<std::chrono::seconds> retryAfter,
                                         double jitter, std::int64_t firstWaitMs) {
    // Capped while still in seconds: a huge value would overflow milliseconds.
    if (retryAfter)
        return std::chrono::milliseconds(std::clamp(*retryAfter, std::chrono::seconds(0),
                                                    std::chrono::seconds(longestWaitMs / 1000)))
            .count();
    const std::int64_t first = std::clamp<std::int64_t>(firstWaitMs, 1, firstThrottleWaitMs);
    int shortLevels = 0; // doublings from `first` that stay below the long waits
    while ((first << shortLevels) < firstThrottleWaitMs)
        ++shortLevels;
    level = std::max(level, 0);
    const std::int64_t base = level < shortLevels
                                  ? first << level
                                  : firstThrottleWaitMs << std::min(level - shortLevels, 10);
    return std::min<std::int64_t>(
        longestWaitMs, std::llround(std::min(base, longestWaitMs) * std::clamp(jitter, 0.8, 1.2)));
}

MiningRun::MiningRun(RowList& candidates, RowList& results, Timer& timer, AsyncFetcher& fetcher,
                     StepGate& gate, MessageBox& messages, Boxes boxes, PushBackTools pushBack)
    : candidates_(candidates), results_(results), timer_(timer), fetcher_(fetcher), gate_(gate),
      messages_(messages), boxes_(boxes), ticks_(gate, timer, QStringLiteral("mining-tick")),
      pushBack_(std::move(pushBack)), clock_(pushBack_.clock ? *pushBack_.clock : ownClock_) {
    if (!pushBack_.jitter)
        pushBack_.jitter = randomJitter;
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
    blockedBy_ = Verdict::Passed;
    wait_.reset();
    failures_ = throttled_ = throttleLevel_ = emptyInARow_ = 0;
    forgetPages();
    pace_.reset();
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
    if (retry_ == Retry::Done)
        retry_ = Retry::Off;
    if (count_ == Count::Done)
        count_ = Count::Off;
    emptyInARow_ = 0;
    goOn();
    return true;
}

void MiningRun::goOn() {
    end_ = MiningEnd::None;
    blockedBy_ = Verdict::Passed;
    wait_.reset();
    pace_.resumed();
    timer_.setInterval(tickInterval);
}

bool MiningRun::retryFailed() {
    if (going())
        return false;
    const std::int32_t first = nextFailedRow(1);
    if (first == 0)
        return false;
    if (counting())
        forgetCounting(); // a paused count pass gives way
    if (retry_ != Retry::Going)
        endBeforeRetry_ = end_;
    retry_ = Retry::Going;
    retryRow_ = first;
    started_ = true;
    failures_ = throttled_ = 0;
    goOn();
    return true;
}

bool MiningRun::countItems(std::vector<std::int64_t> resultRows) {
    if (going())
        return false;
    std::erase_if(resultRows,
                  [this](std::int64_t row) { return row < 1 || row >= results_.count(); });
    if (resultRows.empty())
        return false;
    if (retry_ == Retry::Going)
        finishRetry(); // a paused retry gives way
    retry_ = Retry::Off;
    if (!counting())
        endBeforeCount_ = end_;
    count_ = Count::Going;
    countRows_ = std::move(resultRows);
    countAt_ = 0;
    countFailed_ = 0;
    countRelated_.clear();
    countRelatedSeen_.clear();
    failures_ = throttled_ = emptyInARow_ = 0;
    goOn();
    return true;
}

std::optional<std::vector<std::int64_t>> MiningRun::rowsLeftToCount() const {
    if (!counting())
        return std::nullopt;
    return std::vector<std::int64_t>(countRows_.begin() + static_cast<std::ptrdiff_t>(countAt_),
                                     countRows_.end());
}

void MiningRun::restoreCounting(std::vector<std::int64_t> rowsLeft) {
    std::erase_if(rowsLeft,
                  [this](std::int64_t row) { return row < 1 || row >= results_.count(); });
    if (rowsLeft.empty())
        return;
    endBeforeCount_ = end_;
    count_ = Count::Going;
    countRows_ = std::move(rowsLeft);
    countAt_ = 0;
    countFailed_ = 0;
}

void MiningRun::forgetCounting() {
    if (count_ == Count::Off)
        return;
    if (counting()) {
        timer_.setInterval(0);
        wait_.reset();
        end_ = endBeforeCount_;
    }
    count_ = Count::Off;
    countRows_.clear();
    countAt_ = 0;
}

bool MiningRun::miningGoesOn() const {
    if (!counting())
        return going() || canContinue();
    const bool ended = endBeforeCount_ == MiningEnd::QuantityReached ||
                       endBeforeCount_ == MiningEnd::QuantityNotANumber ||
                       endBeforeCount_ == MiningEnd::CandidatesUsedUp;
    return started_ && !ended && hasMiningCandidate();
}

QString MiningRun::stepKeyword() const {
    if (counting())
        return countAt_ < countRows_.size() ? results_.row(countRows_[countAt_]).keyword()
                                            : QString();
    return candidates_.row(stepRow()).keyword();
}

std::int32_t MiningRun::nextFailedRow(std::int32_t from) const {
    if (candidates_.failedRows() == 0)
        return 0;
    const std::int64_t end = std::min<std::int64_t>(miningRow_, candidates_.count());
    for (std::int64_t i = std::max(from, 1); i < end; ++i)
        if (!candidates_.row(i).failure.isEmpty())
            return static_cast<std::int32_t>(i);
    return 0;
}

std::int32_t MiningRun::stepRow() const {
    return retry_ == Retry::Going ? retryRow_ : miningRow_;
}

void MiningRun::restore(std::int32_t miningRow, bool wasGoing) {
    timer_.setInterval(0);
    miningRow_ = miningRow;
    started_ = wasGoing;
    end_ = MiningEnd::None;
    blockedBy_ = Verdict::Passed;
    wait_.reset();
    failures_ = throttled_ = throttleLevel_ = emptyInARow_ = 0;
    forgetPages();
    pace_.resumed();
}

void MiningRun::forgetPages() {
    keptPage_.clear();
    pagesRead_ = pagesLackingBoth_ = 0;
    anyYielded_ = false;
    lastEmptyPage_.clear();
    retry_ = Retry::Off;
    retryRow_ = 0;
    count_ = Count::Off;
    countRows_.clear();
    countAt_ = 0;
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
    const std::int64_t now = clock_.nowMs();
    if (!pace_.due(now))
        return; // the marketplace asked for a slower pace
    pace_.sent(now);
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
        if (counting())
            finishCounting();
        else if (retry_ == Retry::Going)
            finishRetry();
        else if (started_)
            runDry();
        return std::nullopt;
    }
    return searchAddress(stepKeyword());
}

// A run whose every page lacked both the related words and the count ran dry
// because the page changed, not because the keywords ran out.
void MiningRun::runDry() {
    if (end_ == MiningEnd::PagesLookChanged)
        return; // said already
    if (pagesRead_ == 0 || anyYielded_) {
        end_ = MiningEnd::CandidatesUsedUp;
        return;
    }
    keepUnexpectedPage(lastEmptyPage_);
    lastEmptyPage_.clear();
    pagesLackingBoth_ = pagesRead_;
    end_ = MiningEnd::PagesLookChanged;
}

void MiningRun::keepUnexpectedPage(const QString& text) {
    if (pushBack_.archive)
        keptPage_ = pushBack_.archive->keep(QStringLiteral("unexpected-search-page.html"), text)
                        .value_or(QString());
}

// Back to where mining stood; new related words let F5 mine on.
void MiningRun::finishRetry() {
    timer_.setInterval(0);
    wait_.reset();
    retry_ = Retry::Done;
    retryRow_ = 0;
    end_ = endBeforeRetry_ == MiningEnd::CandidatesUsedUp && hasCandidate() ? MiningEnd::None
                                                                            : endBeforeRetry_;
}

// Mining stands where it stood before the pass; the pass's last words stay
// until a run goes on.
void MiningRun::finishCounting() {
    timer_.setInterval(0);
    wait_.reset();
    count_ = Count::Done;
    end_ = endBeforeCount_;
}

void MiningRun::finishStep(const QString& address, const FetchResult& fetched) {
    if (!hasCandidate())
        return;
    const SearchPage page = readSearchPage(fetched.text);
    const Verdict verdict = verdictOf(fetched, address, page.yielded());
    const auto usePage = [&](const QString& failure) {
        if (counting())
            recordCountedPage(page, fetched.text, failure);
        else if (retry_ == Retry::Going)
            recordRetriedPage(page, failure);
        else
            recordMinedPage(page, fetched.text, failure);
    };
    switch (verdict) {
    case Verdict::Passed:
        throttleLevel_ = 0;
        if (pushBack_.adaptivePace)
            pace_.passed(clock_.nowMs());
        usePage(QString());
        return;
    case Verdict::Throttled:
        if (pushBack_.adaptivePace)
            pace_.throttled(clock_.nowMs());
        if (++throttled_ >= RetryPolicy::throttledTries) {
            stopFor(MiningEnd::ThrottledTooOften);
            return;
        }
        // A run that slowed its pace need not wait long for the marketplace
        // to give back a little allowance.
        waitToRetry(verdict, RetryPolicy::throttleWaitMs(
                                 throttleLevel_++, fetched.retryAfter, pushBack_.jitter(),
                                 pushBack_.adaptivePace ? PacePolicy::firstThrottleWaitMs
                                                        : RetryPolicy::firstThrottleWaitMs));
        return;
    case Verdict::ServerError:
    case Verdict::Network:
        // A keyword that never works must not hold the run up for long.
        if (failures_ < RetryPolicy::failureRetries) {
            waitToRetry(verdict, RetryPolicy::failureWaitMs(failures_++));
            return;
        }
        usePage(failureText(verdict, fetched, failures_ + 1));
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
    if (pushBack_.pageView)
        pushBack_.pageView->show(address);
    messages_.show(
        blockMessage(why, counting() ? QStringLiteral("查宝贝数") : QStringLiteral("挖词")));
}

// The step as it always was, with the page that came; `failure` marks a
// page that never loaded, which then says nothing about the page's layout.
void MiningRun::recordMinedPage(const SearchPage& page, const QString& text,
                                const QString& failure) {
    wait_.reset();
    failures_ = throttled_ = 0;
    // Offered while the keyword's own row is still bare, so a page that
    // suggests the keyword itself does not add it again.
    for (const QString& word : page.related)
        offerCandidate(word);
    Row mined{{candidates_.row(miningRow_).keyword(), page.count}};
    mined.failure = failure;
    candidates_.setRow(miningRow_, mined);
    addResult(mined);
    if (const MiningEnd reason = stopReason(); reason != MiningEnd::None) {
        timer_.setInterval(0);
        end_ = reason;
    }
    if (miningRow_ < std::numeric_limits<std::int32_t>::max())
        ++miningRow_;
    if (failure.isEmpty())
        watchLayout(page, text);
}

void MiningRun::watchLayout(const SearchPage& page, const QString& text) {
    ++pagesRead_;
    if (page.yielded()) {
        anyYielded_ = true;
        lastEmptyPage_.clear();
    } else if (!anyYielded_) {
        lastEmptyPage_ = text;
    }
    emptyInARow_ = page.yielded() ? 0 : emptyInARow_ + 1;
    if (emptyInARow_ >= RetryPolicy::emptyPagesInARow && end_ == MiningEnd::None) {
        keepUnexpectedPage(text);
        pagesLackingBoth_ = emptyInARow_;
        stopFor(MiningEnd::PagesLookChanged);
    }
}

// A failed keyword mined again: its rows in both lists take the count as a
// mined row holds it, and the mark of this try.
void MiningRun::recordRetriedPage(const SearchPage& page, const QString& failure) {
    wait_.reset();
    failures_ = throttled_ = 0;
    const QString keyword = candidates_.row(retryRow_).keyword();
    for (const QString& word : page.related)
        offerCandidate(word);
    const auto mend = [&](RowList& list, std::int64_t i) {
        list.setRow(i, withCount(list.row(i), page.count, failure));
    };
    mend(candidates_, retryRow_);
    // The result rows copied from the failed row: same keyword, still marked.
    if (results_.failedRows() > 0)
        for (std::int64_t i = 1; i < results_.count(); ++i)
            if (const Row row = results_.row(i); !row.failure.isEmpty() && row.keyword() == keyword)
                mend(results_, i);
    retryRow_ = nextFailedRow(retryRow_ + 1);
    if (retryRow_ == 0)
        finishRetry();
}

// A chosen result row takes the count; the related words are kept for the
// caller, the candidate list stays as it is.
void MiningRun::recordCountedPage(const SearchPage& page, const QString& text,
                                  const QString& failure) {
    wait_.reset();
    failures_ = throttled_ = 0;
    const std::int64_t place = countRows_[countAt_];
    results_.setRow(place, withCount(results_.row(place), page.count, failure));
    for (const QString& word : page.related)
        if (!word.isEmpty() && !countRelatedSeen_.contains(word)) {
            countRelatedSeen_.insert(word);
            countRelated_.push_back(word);
        }
    if (!failure.isEmpty())
        ++countFailed_;
    ++countAt_;
    if (failure.isEmpty())
        watchLayout(page, text);
    if (countAt_ >= countRows_.size())
        finishCounting();
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
    if (counting())
        return countAt_ < countRows_.size();
    return hasMiningCandidate();
}

bool MiningRun::hasMiningCandidate() const {
    if (retry_ == Retry::Going)
        return retryRow_ >= 1 && retryRow_ < miningRow_ && retryRow_ < candidates_.count();
    return miningRow_ >= 1 && miningRow_ < candidates_.count();
}

bool MiningRun::canContinue() const {
    const bool ended = end_ == MiningEnd::QuantityReached ||
                       end_ == MiningEnd::QuantityNotANumber || end_ == MiningEnd::CandidatesUsedUp;
    return (started_ || counting()) && !ended && timer_.interval() == 0 && !inFlight_ &&
           hasCandidate();
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
    p.keyword = stepKeyword();
    p.keptPage = keptPage_;
    p.pagesLackingBoth = end_ == MiningEnd::PagesLookChanged ? pagesLackingBoth_ : 0;
    p.failed = candidates_.failedRows();
    p.retryingFailed = retry_ != Retry::Off;
    p.failedRetryDone = retry_ == Retry::Done;
    p.canContinue = canContinue();
    if (!pace_.atTick())
        p.pacePerSecond = pace_.perSecond();
    p.meanPerSecond = pace_.meanPerSecond();
    if (count_ != Count::Off)
        p.counts = MiningProgress::Counts{static_cast<std::int64_t>(countAt_),
                                          static_cast<std::int64_t>(countRows_.size()),
                                          countFailed_, count_ == Count::Done};
    return p;
}

} // namespace quilla
