#include "index/index_run.h"

#include "core/number_text.h"
#include "index/trend_page.h"

#include <QUrl>

#include <algorithm>
#include <limits>

namespace quilla {
namespace {

constexpr std::int64_t firstRow = 1;

std::int32_t plusOne(std::int32_t n) {
    return n == std::numeric_limits<std::int32_t>::max() ? n : n + 1;
}

} // namespace

std::int64_t QueryPacing::timeLeft(const IndexProgress& progress, std::int64_t currentWaitMs,
                                   std::int64_t intervalMs) {
    const std::int64_t ticksLeft = progress.rows + 1 - progress.queryRow;
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
                   StepGate& gate)
    : results_(results), timer_(timer), browser_(browser), interval_(interval), gate_(gate),
      ticks_(gate, timer, QStringLiteral("index-tick")) {}

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
    queryRow_ = static_cast<std::int32_t>(firstRow);
    queriesSinceLongWait_ = 0;
    started_ = true;
    end_ = IndexEnd::None;
    inStep_ = true;
    gate_.begin();
    submitQuery(results_.row(firstRow).keyword(), [this] { finishPageWork(false); });
}

void IndexRun::tick() {
    timer_.setInterval(0);
    inStep_ = true;
    gate_.begin();
    browser_.pageText(alive_.guard([this](const QString& page) { writeResult(page); }));
}

void IndexRun::timerFired() {
    ticks_.fired([this] { tick(); });
}

void IndexRun::writeResult(const QString& pageText) {
    // A row that is gone (the table was reset meanwhile) is not written.
    results_.setRow(queryRow_, extendRow(results_.row(queryRow_), trendFigures(pageText)));
    queryRow_ = plusOne(queryRow_);
    queriesSinceLongWait_ = plusOne(queriesSinceLongWait_);
    if (queryRow_ >= results_.count()) {
        end_ = IndexEnd::Finished;
        inStep_ = false;
        gate_.end();
        return;
    }
    submitQuery(results_.row(queryRow_).keyword(), [this] { finishPageWork(true); });
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
    return {started_,
            inStep_ || timer_.interval() > 0,
            queryRow_,
            queriesSinceLongWait_,
            std::max<std::int64_t>(0, results_.count() - 1),
            end_,
            refusedInterval_};
}

} // namespace quilla
