// A run with its journal, as the program keeps it, for the recovery test to
// kill: it recovers what a killed predecessor left, goes on to the end,
// writes the final lists and ends normally.
//
//   session_child --folder DIR --mode mine|index --log FILE --final FILE
//
// The mining run asks the fake marketplace behind http_proxy; the index run
// asks a page of its own that answers from the keyword. Every keyword
// submitted to that page goes to the log ("query <keyword>"), and so, after
// a recovery, does every row the journal had written ("written <keyword>").

#include "core/interval_timer.h"
#include "core/list_headers.h"
#include "core/steady_clock.h"
#include "index/index_run.h"
#include "mining/mining_run.h"
#include "net/background_fetch.h"
#include "session/session_binding.h"
#include "session/session_journal.h"
#include "session/session_store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <memory>

namespace {

using namespace quilla;
using namespace Qt::StringLiterals;

class Box final : public TextBox {
public:
    explicit Box(QString text) : text_(std::move(text)) {}
    QString text() const override { return text_; }

private:
    QString text_;
};

class NoMessages final : public MessageBox {
public:
    void show(const QString&) override {}
};

// A trend page for whatever keyword was submitted last, a moment later.
class KeywordPage final : public Browser {
public:
    explicit KeywordPage(QFile& log) : log_(log) {}
    void navigate(const QString&) override {}
    QString address() const override { return IndexRun::startAddress(); }
    void setValue(const QString&, const QString& value, std::function<void(bool)> done) override {
        keyword_ = value;
        log_.write("query " + value.toUtf8() + '\n');
        log_.flush();
        later([done] { done(true); });
    }
    void click(const QString&, std::function<void(bool)> done) override {
        later([done] { done(true); });
    }
    void pageText(std::function<void(QString)> done) override {
        const QString n = QString::number(qHash(keyword_, 0) % 10000); // the same in every process
        const QString page = QStringLiteral("App.set({cityEndDate:1,a:[1,") + n +
                             QStringLiteral("]},{cityEndDate:2,b:[2,") + n + QStringLiteral("]})");
        later([done, page] { done(page); });
    }
    void activeHref(std::function<void(std::optional<QString>)> done) override { done({}); }

private:
    static void later(std::function<void()> f) { QTimer::singleShot(1, std::move(f)); }
    QFile& log_;
    QString keyword_;
};

QJsonArray texts(const RowList& list) {
    QJsonArray out;
    for (std::int64_t i = 0; i < list.count(); ++i)
        out.append(list.rowText(i));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    using namespace Qt::StringLiterals;
    QCoreApplication app(argc, argv);
    QCommandLineParser args;
    args.addOptions({{u"folder"_s, u"journal folder"_s, u"dir"_s},
                     {u"mode"_s, u"mine or index"_s, u"mode"_s},
                     {u"log"_s, u"log file"_s, u"file"_s},
                     {u"final"_s, u"final lists"_s, u"file"_s}});
    args.process(app);
    const bool mining = args.value(u"mode"_s) == u"mine";
    QFile log(args.value(u"log"_s));
    if (!log.open(QIODevice::Append))
        return 3;

    RowList candidates, results;
    IntervalTimer miningTimer, indexTimer;
    StepGate gate;
    NoMessages messages;
    Box keyword(u"qq"_s), include{QString()}, exclude{QString()}, quantity(u"1000"_s),
        interval(u"20"_s);
    BackgroundFetch fetch(std::make_shared<CurlFetcher>());
    MiningRun miningRun(candidates, results, miningTimer, fetch, gate, messages,
                        {keyword, include, exclude, quantity});
    KeywordPage page(log);
    IndexRun indexRun(results, indexTimer, page, interval, gate);
    QObject::connect(&miningTimer, &IntervalTimer::ticked, [&] { miningRun.timerFired(); });
    QObject::connect(&indexTimer, &IntervalTimer::ticked, [&] { indexRun.timerFired(); });

    auto journal = SessionJournal::open(args.value(u"folder"_s), candidates, results,
                                        [&] { return runState(miningRun, indexRun); });
    if (!journal)
        return 4;
    std::optional<SessionSnapshot> recovered;
    if (const auto left = journal->leftOver()) {
        // As the window does it; one of ours is never damaged.
        LeftOverSession found =
            readLeftOver(*left, SessionSnapshot{{}, {}, runState(miningRun, indexRun)});
        if (found.kind == LeftOverSession::Kind::Damaged)
            return 5;
        if (found.kind == LeftOverSession::Kind::Nothing)
            journal->discardLeftOver();
        else
            recovered = std::move(found.session);
    }
    if (recovered) {
        restoreSession(*recovered, candidates, results, miningRun, indexRun);
        for (const Row& row : recovered->results)
            if (row.fields.size() == 11)
                log.write("written " + row.keyword().toUtf8() + '\n');
        log.flush();
        journal->start();
        if (mining)
            miningRun.resume();
        else
            indexRun.resume();
    } else {
        journal->start();
        if (mining) {
            miningRun.start();
        } else {
            results.append(Row{resultHeader()});
            for (int i = 1; i <= 35; ++i)
                results.append(Row{{u"词"_s + QString::number(i), QString::number(i)}});
            indexRun.start();
        }
    }

    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        const bool going = mining ? miningRun.going() : indexRun.going();
        const bool more =
            mining ? miningRun.progress().canContinue : indexRun.progress().canContinue;
        if (going || more)
            return;
        QFile final(args.value(u"final"_s));
        if (final.open(QIODevice::WriteOnly))
            final.write(QJsonDocument(QJsonObject{{u"candidates"_s, texts(candidates)},
                                                  {u"results"_s, texts(results)}})
                            .toJson());
        final.close();
        journal->endNormally();
        app.exit(final.error() == QFileDevice::NoError ? 0 : 6);
    });
    done.start(10);
    return app.exec();
}
