#include "index/index_run.h"

#include "core/number_text.h"
#include "index/trend_page.h"

#include <algorithm>
#include <limits>

namespace quilla {
namespace {

constexpr std::int64_t firstRow = 1;
constexpr std::int64_t longWait = 40000;
constexpr std::int32_t longWaitAfter = 40; // ticks since the start or the last long wait

std::int32_t plusOne(std::int32_t n) {
    return n == std::numeric_limits<std::int32_t>::max() ? n : n + 1;
}

} // namespace

IndexRun::IndexRun(RowList& results, Timer& timer, Browser& browser, const TextBox& interval,
                   StepGate& gate)
    : results_(results), timer_(timer), browser_(browser), interval_(interval), gate_(gate) {}

QString IndexRun::startAddress() {
    return QStringLiteral("http://shu.taobao.com/trendindex?type=query%2Ctrade&query=qq");
}

void IndexRun::Command2_Click() {
    indexrow_ = static_cast<std::int32_t>(firstRow);
    querycount_ = 0;
    started_ = true;
    end_ = IndexEnd::None;
    inStep_ = true;
    gate_.begin();
    submitquery(results_.row(firstRow).keyword(), [this] {
        setWaitFromBox();
        noteHalt();
        inStep_ = false;
        gate_.end();
    });
}

void IndexRun::Timer2_Timer() {
    setTimer(0);
    inStep_ = true;
    gate_.begin();
    browser_.pageText(whileAlive([this](const QString& page) { writeResult(page); }));
}

void IndexRun::writeResult(const QString& pageText) {
    // A row that is gone (the table was reset meanwhile) is not written.
    results_.setRow(indexrow_, extendRow(results_.row(indexrow_), trendfields(pageText)));
    indexrow_ = plusOne(indexrow_);
    querycount_ = plusOne(querycount_);
    if (indexrow_ >= results_.count()) {
        end_ = IndexEnd::Finished;
        inStep_ = false;
        gate_.end();
        return;
    }
    submitquery(results_.row(indexrow_).keyword(), [this] {
        setNextWait();
        noteHalt();
        inStep_ = false;
        gate_.end();
    });
}

void IndexRun::timerFired() {
    gate_.runOnce(QStringLiteral("index-tick"), whileAlive([this, armed = timerSettings_] {
                      if (armed == timerSettings_ && timer_.interval() != 0)
                          Timer2_Timer();
                  }));
}

void IndexRun::submitquery(const QString& keyword, std::function<void()> done) {
    browser_.setValue(QStringLiteral("query"), keyword,
                      whileAlive([this, done = std::move(done)](bool) {
                          browser_.click(QStringLiteral("query-btn"), whileAlive([done](bool) {
                                             if (done)
                                                 done();
                                         }));
                      }));
}

void IndexRun::WebBrowser1_NewWindow2() {
    browser_.activeHref(whileAlive([this](const std::optional<QString>& href) {
        if (href && !href->isEmpty())
            browser_.navigate2(*href);
    }));
}

void IndexRun::setNextWait() {
    if (querycount_ > longWaitAfter) {
        setTimer(longWait);
        querycount_ = 0;
    } else {
        setWaitFromBox();
    }
}

// A box that holds no number, or one the timer refuses, leaves the timer as it was.
void IndexRun::setWaitFromBox() {
    if (const auto ms = numberFromText(interval_.text()))
        setTimer(*ms);
}

// A step that leaves the timer stopped halts the run; say which text did it.
void IndexRun::noteHalt() {
    if (timer_.interval() != 0)
        return;
    end_ = IndexEnd::IntervalRefused;
    refusedInterval_ = interval_.text();
}

IndexProgress IndexRun::progress() const {
    return {started_,
            inStep_ || timer_.interval() > 0,
            indexrow_,
            querycount_,
            std::max<std::int64_t>(0, results_.count() - 1),
            end_,
            refusedInterval_};
}

void IndexRun::setTimer(std::int64_t ms) {
    if (timer_.setInterval(ms))
        ++timerSettings_;
}

} // namespace quilla
