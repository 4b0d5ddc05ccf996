#include "cli/requery.h"

#include "browser/browser_cookies.h"
#include "browser/login_profile.h"
#include "browser/web_browser.h"
#include "cli/command_line.h"
#include "cli/output.h"
#include "core/number_text.h"
#include "net/cookie_jar.h"
#include "net/page_fetch.h"
#include "results/cell_values.h"
#include "session/project_lock.h"
#include "workbench/workbench.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <memory>
#include <numeric>
#include <set>

#ifdef Q_OS_WIN
#include <io.h>
#define QUILLA_ISATTY(fd) _isatty(fd)
#define QUILLA_FILENO(stream) _fileno(stream)
#else
#include <unistd.h>
#define QUILLA_ISATTY(fd) ::isatty(fd)
#define QUILLA_FILENO(stream) ::fileno(stream)
#endif

namespace quilla::cli {
namespace {

using namespace Qt::StringLiterals;

// The trend page's first load, before the first query may be typed into it.
constexpr int pageLoadMs = 60000;
// A run whose row in flight has not moved for this long, its own waits
// aside, is taken as hung.
constexpr qint64 stallMs = 5 * 60 * 1000;

// A line per row, or one bar redrawn in place on a terminal.
class Progress {
public:
    explicit Progress(std::FILE* err) : err_(err), bar_(QUILLA_ISATTY(QUILLA_FILENO(err)) == 1) {}

    void show(std::int64_t at, std::int64_t of, QString keyword) {
        // A keyword's line breaks would break the line.
        for (QChar& c : keyword)
            if (c.category() == QChar::Other_Control)
                c = u' ';
        const QString count = QString::number(at) + u'/' + QString::number(of);
        if (!bar_) {
            say(err_, u"quilla: "_s + count + u' ' + keyword);
            return;
        }
        constexpr std::int64_t width = 30;
        const std::int64_t filled =
            of > 0 ? std::clamp<std::int64_t>(width * (at - 1) / of, 0, width) : 0;
        const QString line = u"\r["_s + QString(filled, u'#') + QString(width - filled, u' ') +
                             u"] "_s + count + u' ' + keyword;
        std::fputs(line.toLocal8Bit().constData(), err_);
        std::fputs("\033[K", err_); // what a longer keyword left
        std::fflush(err_);
        drawn_ = true;
    }

    void end() {
        if (drawn_)
            std::fputc('\n', err_);
        drawn_ = false;
    }

private:
    std::FILE* err_;
    bool bar_;
    bool drawn_ = false;
};

// Runs the event loop until `done` holds or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(std::min<qint64>(left, 50), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QString blockedText(const RequeryOutcome& outcome) {
    const QString asked = outcome.blockedBy == Verdict::Login
                              ? u"a login (登录)"_s
                              : u"a check (" + verdictName(outcome.blockedBy) + u')';
    // A block while the item counts were read stops before the index run.
    const bool inCounts = outcome.counted && outcome.queried == 0;
    return u"the marketplace asks for "_s + asked + u": the run stopped after "_s +
           QString::number(inCounts ? *outcome.counted : outcome.queried) + u" of "_s +
           QString::number(outcome.rows) +
           (inCounts ? u" rows' item counts, which are saved in "_s
                     : u" rows, which are saved in "_s) +
           outcome.project +
           u"; log in or pass the check in the window's browser, then run requery again"_s;
}

// Where a run is, for its progress: going or not, and the row it is at.
struct RunAt {
    bool running = false;
    std::int64_t at = 0, of = 0;
    QString keyword;
};

// Runs the event loop while the run goes, showing each row it moves to; a
// run that has not moved for `stillMs`, its own waits included, is stopped
// as hung. True when it hung.
bool follow(Workbench& bench, std::FILE* err, qint64 stillMs,
            const std::function<std::optional<RunAt>()>& where) {
    Progress progress(err);
    std::optional<std::int64_t> shown;
    bool stalled = false;
    QElapsedTimer sinceMove;
    sinceMove.start();
    QEventLoop loop;
    const auto check = [&] {
        const std::optional<RunAt> now = where();
        if (!now)
            return;
        if (now->running && now->at != shown) {
            shown = now->at;
            sinceMove.restart();
            progress.show(now->at, now->of, now->keyword);
        }
        if (now->running && sinceMove.elapsed() > stillMs) {
            stalled = true;
            bench.stopRuns();
        }
        if (!now->running || stalled)
            loop.quit();
    };
    QObject::connect(&bench, &Workbench::statusChanged, &loop, check);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(250);
    QTimer::singleShot(0, &loop, check);
    loop.exec();
    progress.end();
    return stalled;
}

// Saves the project in place and prints the summary; a block the run met
// is said after it.
int saveAndSay(Workbench& bench, const RequeryOutcome& outcome, std::FILE* out, std::FILE* err) {
    const NewFileResult saved = bench.saveProject(outcome.project, true);
    if (saved.kind != NewFileResult::Kind::Written)
        return fail(err, u"saving "_s + outcome.project + u" failed: "_s + saved.reason, Failed);
    say(out, requerySummary(bench, outcome).chopped(1));
    if (outcome.blockedBy != Verdict::Passed)
        return fail(err, blockedText(outcome), Blocked);
    return Ok;
}

// Every row's search page read again for its item count, with the mining
// run's fetch, verdicts, retries and pace; the related words the pages offer
// that the table does not hold are kept for the report. What stopped the
// pass short, if anything but a block (which `outcome` says).
std::optional<QString> countItems(Workbench& bench, RequeryOutcome& outcome, std::FILE* err) {
    std::vector<std::int64_t> rows(static_cast<std::size_t>(outcome.rows));
    std::iota(rows.begin(), rows.end(), 1);
    bench.countItems(std::move(rows));
    const bool stalled =
        follow(bench, err, stallMs + RetryPolicy::longestWaitMs, [&]() -> std::optional<RunAt> {
            const MiningProgress now = bench.mining().progress();
            if (!now.counts) // not begun yet
                return std::nullopt;
            return RunAt{now.running, now.counts->done + 1, now.counts->total,
                         u"宝贝数 "_s + now.keyword};
        });

    const MiningProgress ended = bench.mining().progress();
    if (!ended.counts)
        return u"the item counts could not be read"_s;
    outcome.counted = ended.counts->done;
    outcome.countsFailed = ended.counts->failed;
    std::vector<QString> offered;
    for (const QString& word : bench.mining().relatedFromCounts())
        if (!bench.results().containsKeyword(word))
            offered.push_back(word);
    bench.setOfferedWords(std::move(offered));
    if (ended.end == MiningEnd::Blocked) {
        outcome.blockedBy = ended.blockedBy;
        return std::nullopt;
    }
    if (stalled)
        return u"reading the item counts stopped moving; the counts read are saved"_s;
    if (!ended.counts->finished)
        return u"reading the item counts stopped after "_s + QString::number(ended.counts->done) +
               u" of "_s + QString::number(ended.counts->total) + u" rows ("_s +
               bench.statusText() + u"); the counts read are saved"_s;
    return std::nullopt;
}

} // namespace

QString requerySummary(const Workbench& bench, const RequeryOutcome& outcome) {
    QString text = outcome.project + u"\nrows queried: "_s + QString::number(outcome.queried) +
                   u" of "_s + QString::number(outcome.rows) + u"\nrows with figures: "_s +
                   QString::number(outcome.withFigures) + u'\n';
    if (outcome.keptFigures)
        text += u"rows whose page gave no figures, their last ones kept: "_s +
                QString::number(outcome.keptFigures) + u'\n';
    if (outcome.counted)
        text += u"item counts read: "_s + QString::number(*outcome.counted) + u" of "_s +
                QString::number(outcome.rows) +
                (outcome.countsFailed
                     ? u" ("_s + QString::number(outcome.countsFailed) + u" pages never loaded)"_s
                     : QString()) +
                u'\n';
    return text + changeReportText(bench.changeReport(outcome.thresholds), outcome.thresholds);
}

int requery(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption counts(u"counts"_s), interval(u"interval"_s, u"ms"_s, u"MS"_s),
        searchMove(u"search-move"_s, u"percent"_s, u"PCT"_s),
        itemsRise(u"items-rise"_s, u"percent"_s, u"PCT"_s);
    parser.addOptions({counts, interval, searchMove, itemsRise});
    if (!parser.parse(arguments))
        return fail(err, parser.errorText(), BadArguments);
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() != 1)
        return fail(err, u"requery takes one project file (quilla requery FILE.quilla)"_s,
                    BadArguments);
    // The window's start-up wait unless told otherwise, by the box's rules.
    QString wait = Workbench::startSettings().interval;
    if (parser.isSet(interval)) {
        wait = parser.value(interval);
        const auto ms = numberFromText(wait);
        if (!ms || *ms < 1 || *ms > 65535)
            return fail(err,
                        u"the interval is a whole number of milliseconds from 1 to 65535, not "_s +
                            wait,
                        BadArguments);
    }
    RequeryOutcome outcome;
    for (const auto& [option, threshold] : {std::pair{&searchMove, &outcome.thresholds.searchMove},
                                            std::pair{&itemsRise, &outcome.thresholds.itemsRise}}) {
        if (!parser.isSet(*option))
            continue;
        const auto percent = numberFromText(parser.value(*option));
        if (!percent || *percent < 1 || *percent > 1000)
            return fail(err,
                        u"--"_s + option->names().first() +
                            u" is a whole percent from 1 to 1000, not "_s + parser.value(*option),
                        BadArguments);
        *threshold = *percent / 100.0;
    }
    const QString project = files.first();
    if (!QFileInfo(project).isFile())
        return fail(err, u"no such project file: "_s + project, Failed);
    const ProjectLock lock = lockProject(project);
    if (lock.heldElsewhere)
        return fail(err, project + u" is open in another window or command"_s, Failed);

    // Declared in this order, they go in the reverse: the runs before the
    // page, the page before its profile.
    const std::unique_ptr<QWebEngineProfile> profile(
        makeLoginProfile(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    const auto browser = std::make_unique<WebEngineBrowser>(profile.get());
    std::optional<bool> loaded;
    const QMetaObject::Connection firstLoad =
        QObject::connect(browser->page(), &QWebEnginePage::loadFinished, browser.get(),
                         [&loaded](bool ok) { loaded = loaded.value_or(ok); });
    // The page fetch sends what the browser's login left in its profile.
    const auto cookies = std::make_shared<CookieJar>();
    followBrowserCookies(*profile->cookieStore(), cookies);
    Workbench::Parts parts;
    parts.browser = browser.get();
    parts.fetcher = std::make_shared<CurlFetcher>(FetchLimits{}, cookies);
    const auto bench = std::make_unique<Workbench>(std::move(parts));
    QString said;
    QObject::connect(bench.get(), &Workbench::message, bench.get(),
                     [&said](const QString& text) { said = text; });
    if (!bench->openProject(project))
        return fail(err, project + u": "_s + said, Failed);

    outcome.project = project;
    outcome.rows = std::max<std::int64_t>(0, bench->results().count() - 1);
    if (outcome.rows == 0) {
        say(out, requerySummary(*bench, outcome).chopped(1));
        return Ok;
    }
    std::optional<QString> countsStopped;
    if (parser.isSet(counts)) {
        countsStopped = countItems(*bench, outcome, err);
        if (outcome.blockedBy != Verdict::Passed)
            return saveAndSay(*bench, outcome, out, err);
    }
    if (!waitUntil([&] { return loaded.has_value(); }, pageLoadMs) || !*loaded)
        return fail(err,
                    u"the trend page did not load ("_s + IndexRun::startAddress() +
                        u"); nothing was queried"_s,
                    Failed);
    QObject::disconnect(firstLoad);

    // The run's own interval, not the one the project keeps for the window.
    const Settings kept = bench->settings();
    Settings running = kept;
    running.interval = wait;
    bench->setSettings(running);

    // A row whose page gives no figures this time keeps its last ones: a
    // requery saves in place, and a slow or failing page must not wipe what
    // the project held. The history tells when they were read.
    std::vector<Row> before;
    for (std::int64_t i = 0; i < bench->results().count(); ++i)
        before.push_back(bench->results().row(i));
    std::set<std::int64_t> written;
    QObject::connect(&bench->results(), &QAbstractItemModel::dataChanged, bench.get(),
                     [&written](const QModelIndex& from, const QModelIndex& to) {
                         for (int row = from.row(); row <= to.row(); ++row)
                             written.insert(row);
                     });
    bench->startIndex();
    const bool stalled = follow(*bench, err, stallMs + QueryPacing::longWaitMs, [&] {
        const IndexProgress now = bench->index().progress();
        return std::optional<RunAt>(
            RunAt{now.running, now.position, now.rows,
                  bench->results().row(bench->index().queryRow()).keyword()});
    });

    const IndexProgress ended = bench->index().progress();
    for (const std::int64_t row : written) {
        if (row < 1 || row >= bench->results().count())
            continue;
        ++outcome.queried;
        const Row now = bench->results().row(row);
        if (!lacksFigures(now)) {
            ++outcome.withFigures;
        } else if (const auto i = static_cast<std::size_t>(row);
                   i < before.size() && before[i].keyword() == now.keyword() &&
                   !lacksFigures(before[i])) {
            bench->results().setRow(row, before[i]);
            ++outcome.keptFigures;
        }
    }
    if (ended.end == IndexEnd::Blocked)
        outcome.blockedBy = ended.blockedBy;

    bench->setSettings(kept);
    if (const int status = saveAndSay(*bench, outcome, out, err); status != Ok)
        return status;
    if (countsStopped)
        return fail(err, *countsStopped, Failed);
    if (stalled)
        return fail(err, u"the run stopped moving; the rows done are saved"_s, Failed);
    if (ended.end == IndexEnd::IntervalRefused)
        return fail(err, u"the interval was refused: "_s + ended.refusedInterval, Failed);
    return Ok;
}

} // namespace quilla::cli
