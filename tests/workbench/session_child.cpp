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

#include "core/list_headers.h"
#include "workbench/workbench.h"

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

    KeywordPage page(log);
    Workbench::Parts parts;
    parts.fetcher = std::make_shared<CurlFetcher>();
    parts.browser = &page;
    parts.journalFolder = args.value(u"folder"_s);
    Workbench bench(std::move(parts));
    if (!bench.journal())
        return 4;
    bench.setSettings({u"qq"_s, {}, {}, u"1000"_s, u"20"_s});
    RowList& candidates = bench.candidates();
    RowList& results = bench.results();
    MiningRun& miningRun = bench.mining();
    IndexRun& indexRun = bench.index();
    // One of ours is never damaged: the only message would say it was.
    bool damaged = false;
    QObject::connect(&bench, &Workbench::message, [&](const QString&) { damaged = true; });
    bool recovered = false;
    bench.recover([&] { return recovered = true; });
    if (damaged)
        return 5;
    if (recovered) {
        for (std::int64_t i = 1; i < results.count(); ++i)
            if (results.row(i).fields.size() == 11)
                log.write("written " + results.row(i).keyword().toUtf8() + '\n');
        log.flush();
        if (mining)
            miningRun.resume();
        else
            indexRun.resume();
    } else if (mining) {
        miningRun.start();
    } else {
        results.append(Row{resultHeader()});
        for (int i = 1; i <= 35; ++i)
            results.append(Row{{u"词"_s + QString::number(i), QString::number(i)}});
        indexRun.start();
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
        bench.endNormally();
        app.exit(final.error() == QFileDevice::NoError ? 0 : 6);
    });
    done.start(10);
    return app.exec();
}
