#include "index/index_run.h"

#include "core/number_text.h"
#include "index/trend_page.h"

#include <QUrl>

#include <algorithm>
#include <limits>

namespace quilla {
namespace {

constexpr std::int64_t firstRow = 1;

std::int32_t saturatingIncrement(std::int32_t n) {
    return n == std::numeric_limits<std::int32_t>::max() ? n : n + 1;
}

QString blockMessage(Verdict why) {
    return why == Verdict::Login
               ? QStringLiteral(
                     "淘宝要求登录，指数查询已暂停。请在下方的浏览器中登录，然后按 F5 继续。")
               : QStringLiteral(
                     "淘宝要求验证，指数查询已暂停。请在下方的浏览器中完成验证，然后按 F5 继续。");
}

// Whether the browser shows something other than the trend page: a page
// that asks for a login or a check, or another site (or nothing yet).
bool awayFromTrendPage(const QString& shown) {
    const QString trend = IndexRun::startAddress();
    return addressVerdict(trend, shown) != Verdict::Passed ||
           QUrl(shown).host().compare(QUrl(trend).host(), Qt::CaseInsensitive) != 0;
}

// Whether the page gave the row any figure.
bool holdsFigures(const Row& row) {
    for (qsizetype i = 2; i < row.fields.size(); ++i)
        if (!row.fields[i].isEmpty())
            return true;
    return false;
}

} // namespace

std::int64_t QueryPacing::timeLeft(const IndexProgress& progress, std::int64_t currentWaitMs,
                                   std::int64_t intervalMs) {
    const std::int64_t ticksLeft = progress.rows + 1 - progress.position;
    if (!progress.running || ticksLeft <= 0)
        return 0;
    std::int64_t total = currentWaitMs;
    std::int32_t count = progress.queriesSinceLongWait;
    for (std::int64_t tick = 1; tick < ticksLeft; ++tick) {
        if (longWaitDue(++count)) {
            total += longWaitMs;
            count = 0;
        } else {
            total += intervalMs;
        }
    }
    return total;
}

IndexRun::IndexRun(RowList& results, Timer& timer, Browser& browser, const TextBox& interval,
                   StepGate& gate, MessageBox* messages)
    : results_(results), timer_(timer), browser_(browser), interval_(interval), gate_(gate),
      ticks_(gate, timer, QStringLiteral("index-tick")), messages_(messages) {}

QString IndexRun::startAddress() {
    return QStringLiteral("http://shu.taobao.com/trendindex?type=query%2Ctrade&query=qq");
}

bool IndexRun::mayOpen(const QString& address) {
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    return url.isValid() &&
           (scheme == u"http" || scheme == u"https" || url == QUrl(QStringLiteral("about:blank")));
}

void IndexRun::start() {
    chosenRows_.reset();
    begin(firstRow);
}

void IndexRun::startWith(std::vector<std::int64_t> rows) {
    if (rows.empty())
        return;
    chosenRows_ = std::move(rows);
    chosenRowsDone_ = 0;
    begin(chosenRows_->front());
}

void IndexRun::begin(std::int64_t row) {
    queryRow_ = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(row, 0, std::numeric_limits<std::int32_t>::max()));
    queriesSinceLongWait_ = 0;
    started_ = true;
    end_ = IndexEnd::None;
    blockedBy_ = Verdict::Passed;
    resubmit_ = false;
    inStep_ = true;
    gate_.begin();
    // A mining run that met a login or a check leaves the browser on that
    // page, and the user may have logged in elsewhere since: back to the
    // trend page, where the first tick submits the row; only a block page
    // met again then stops the run.
    if (awayFromTrendPage(browser_.address())) {
        browser_.navigate(startAddress());
        resubmit_ = true;
        finishPageWork(false);
        return;
    }
    submitQuery(results_.row(queryRow_).keyword(), [this] { finishPageWork(false); });
}

bool IndexRun::resume() {
    if (!canContinue())
        return false;
    end_ = IndexEnd::None;
    blockedBy_ = Verdict::Passed;
    // The browser may still show the page that asked for a login: back to
    // the trend page first, and the row is submitted there on the next tick.
    if (awayFromTrendPage(browser_.address()))
        browser_.navigate(startAddress());
    resubmit_ = true;
    setWaitFromBox();
    if (timer_.interval() == 0) {
        end_ = IndexEnd::IntervalRefused;
        refusedInterval_ = interval_.text();
    }
    return true;
}

void IndexRun::forgetProgress() {
    if (running())
        return;
    // Nothing to go on with, and nothing to say about rows that changed.
    started_ = false;
    end_ = IndexEnd::None;
}

void IndexRun::restore(std::int32_t queryRow, std::int32_t queriesSinceLongWait, bool wasGoing,
                       std::optional<std::vector<std::int64_t>> chosenRows,
                       std::size_t chosenRowsDone) {
    timer_.setInterval(0);
    queryRow_ = queryRow;
    queriesSinceLongWait_ = queriesSinceLongWait;
    started_ = wasGoing;
    chosenRows_ = std::move(chosenRows);
    chosenRowsDone_ = chosenRowsDone;
    end_ = IndexEnd::None;
    blockedBy_ = Verdict::Passed;
    resubmit_ = false;
}

void IndexRun::tick() {
    timer_.setInterval(0);
    inStep_ = true;
    gate_.begin();
    if (resubmit_) {
        if (haltIfBlocked())
            return;
        resubmit_ = false;
        submitQuery(results_.row(queryRow_).keyword(), [this] { finishPageWork(false); });
        return;
    }
    browser_.pageText(alive_.guard([this](const QString& page) { writeResult(page); }));
}

void IndexRun::timerFired() {
    ticks_.fired([this] { tick(); });
}

void IndexRun::writeResult(const QString& pageText) {
    if (haltIfBlocked())
        return;
    // A row that is gone (the table was reset meanwhile) is not written.
    TrendReading reading = readTrendPage(pageText);
    if (results_.setRow(
            queryRow_, extendRow(results_.row(queryRow_), reading.fields,
                                 std::make_shared<const TrendSeries>(std::move(reading.series)))) &&
        rowWritten_)
        rowWritten_(queryRow_);
    queriesSinceLongWait_ = saturatingIncrement(queriesSinceLongWait_);
    if (!advance()) {
        end_ = IndexEnd::Finished;
        tallyRows();
        inStep_ = false;
        gate_.end();
        return;
    }
    submitQuery(results_.row(queryRow_).keyword(), [this] { finishPageWork(true); });
}

// A page that asks for a login or a check holds no figures: the row stays
// as it is, and the run waits for the user.
bool IndexRun::haltIfBlocked() {
    const Verdict block = addressVerdict(startAddress(), browser_.address());
    if (block == Verdict::Passed)
        return false;
    end_ = IndexEnd::Blocked;
    blockedBy_ = block;
    inStep_ = false;
    if (messages_)
        messages_->show(blockMessage(block));
    gate_.end();
    return true;
}

// How the finished run's rows came out, counted once: the status line reads
// it while later runs and edits change the table.
void IndexRun::tallyRows() {
    tally_ = {};
    const auto count = [this](std::int64_t row) {
        if (row < 1 || row >= results_.count())
            return;
        ++tally_.rows;
        ++(holdsFigures(results_.row(row)) ? tally_.withFigures : tally_.withoutFigures);
    };
    if (chosenRows_)
        std::for_each(chosenRows_->begin(), chosenRows_->end(), count);
    else
        for (std::int64_t row = 1; row < results_.count(); ++row)
            count(row);
}

// To the next row of the run; false when there is none.
bool IndexRun::advance() {
    if (!chosenRows_) {
        queryRow_ = saturatingIncrement(queryRow_);
        return queryRow_ < results_.count();
    }
    if (++chosenRowsDone_ >= chosenRows_->size())
        return false;
    queryRow_ = static_cast<std::int32_t>((*chosenRows_)[chosenRowsDone_]);
    return true;
}

std::int64_t IndexRun::runRows() const {
    return chosenRows_ ? static_cast<std::int64_t>(chosenRows_->size())
                       : std::max<std::int64_t>(0, results_.count() - 1);
}

bool IndexRun::canContinue() const {
    if (!started_ || end_ == IndexEnd::Finished || running())
        return false;
    return chosenRows_ ? chosenRowsDone_ < chosenRows_->size()
                       : queryRow_ >= 1 && queryRow_ < results_.count();
}

// Sets the next wait once the query is submitted; a step that leaves the
// timer stopped halts the run, and the status line says which text did it.
void IndexRun::finishPageWork(bool afterTick) {
    if (afterTick && QueryPacing::longWaitDue(queriesSinceLongWait_)) {
        timer_.setInterval(QueryPacing::longWaitMs);
        queriesSinceLongWait_ = 0;
    } else {
        setWaitFromBox();
    }
    if (timer_.interval() == 0) {
        end_ = IndexEnd::IntervalRefused;
        refusedInterval_ = interval_.text();
    }
    inStep_ = false;
    gate_.end();
}

void IndexRun::submitQuery(const QString& keyword, std::function<void()> done) {
    browser_.setValue(QStringLiteral("query"), keyword,
                      alive_.guard([this, done = std::move(done)](bool) {
                          browser_.click(QStringLiteral("query-btn"), alive_.guard([done](bool) {
                              if (done)
                                  done();
                          }));
                      }));
}

void IndexRun::openRefusedWindowHere() {
    browser_.activeHref(alive_.guard([this](const std::optional<QString>& href) {
        if (href && mayOpen(*href))
            browser_.navigate(*href);
    }));
}

// A box that holds no number, or one the timer refuses, leaves the timer as it was.
void IndexRun::setWaitFromBox() {
    if (const auto ms = numberFromText(interval_.text()))
        timer_.setInterval(*ms);
}

IndexProgress IndexRun::progress() const {
    IndexProgress p;
    p.started = started_;
    p.running = running();
    p.position = chosenRows_ ? static_cast<std::int64_t>(chosenRowsDone_) + 1 : queryRow_;
    p.queriesSinceLongWait = queriesSinceLongWait_;
    p.rows = runRows();
    if (end_ == IndexEnd::Finished) {
        p.rows = tally_.rows;
        p.withFigures = tally_.withFigures;
        p.withoutFigures = tally_.withoutFigures;
    }
    p.end = end_;
    p.refusedInterval = refusedInterval_;
    p.blockedBy = blockedBy_;
    p.onlyEmptyRows = chosenRows_.has_value();
    p.canContinue = canContinue();
    return p;
}

} // namespace quilla
