#include "workbench/workbench.h"

#include "core/list_headers.h"
#include "core/number_text.h"
#include "export/csv_export.h"
#include "export/xlsx_export.h"
#include "results/cell_values.h"
#include "results/keyword_import.h"
#include "segmenter/segmenter.h"
#include "session/project_file.h"
#include "session/session_binding.h"
#include "titles/root_table.h"
#include "workbench/status_line.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace quilla {

class Workbench::SettingBox final : public TextBox {
public:
    explicit SettingBox(const QString& value) : value_(value) {}
    QString text() const override { return value_; }

private:
    const QString& value_;
};

class Workbench::Messages final : public MessageBox {
public:
    explicit Messages(Workbench& bench) : bench_(bench) {}
    void show(const QString& text) override { Q_EMIT bench_.message(text); }

private:
    Workbench& bench_;
};

// For a session with no trend page (the command line's export): every
// query fails as a page without the query box would.
class Workbench::NoBrowser final : public Browser {
public:
    void navigate(const QString&) override {}
    QString address() const override { return {}; }
    void setValue(const QString&, const QString&, std::function<void(bool)> done) override {
        done(false);
    }
    void click(const QString&, std::function<void(bool)> done) override { done(false); }
    void pageText(std::function<void(QString)> done) override { done({}); }
    void activeHref(std::function<void(std::optional<QString>)> done) override { done({}); }
};

namespace {

// For a session that never fetches (the command line's export).
class NoFetcher final : public PageFetcher {
public:
    FetchResult fetch(const QString&, std::stop_token) override {
        FetchResult none;
        none.failure = FetchFailure::Refused;
        return none;
    }
};

class PageSignal final : public PageView {
public:
    explicit PageSignal(std::function<void(const QString&)> show) : show_(std::move(show)) {}
    void show(const QString& address) override { show_(address); }

private:
    std::function<void(const QString&)> show_;
};

} // namespace

Settings Workbench::startSettings() {
    return {QStringLiteral("qq"), {}, {}, QStringLiteral("3"), QStringLiteral("6000")};
}

Workbench::Workbench(Parts parts, QObject* parent)
    : QObject(parent), settings_(startSettings()), messages_(std::make_unique<Messages>(*this)),
      noBrowser_(std::make_unique<NoBrowser>()),
      keywordBox_(std::make_unique<SettingBox>(settings_.keyword)),
      includeBox_(std::make_unique<SettingBox>(settings_.include)),
      excludeBox_(std::make_unique<SettingBox>(settings_.exclude)),
      quantityBox_(std::make_unique<SettingBox>(settings_.quantity)),
      intervalBox_(std::make_unique<SettingBox>(settings_.interval)) {
    lockProjects_ = parts.lockProjects;
    pageView_ = std::make_unique<PageSignal>(
        [this](const QString& address) { Q_EMIT pageToShow(address); });
    archive_ = std::make_unique<FileArchive>(
        parts.archiveFolder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
            : parts.archiveFolder);
    AsyncFetcher* pages = parts.pages;
    if (!pages) {
        if (!parts.fetcher)
            parts.fetcher = std::make_shared<NoFetcher>();
        background_ = std::make_unique<BackgroundFetch>(std::move(parts.fetcher));
        pages = background_.get();
    }
    Browser& browser = parts.browser ? *parts.browser : *noBrowser_;
    mining_ = std::make_unique<MiningRun>(
        candidates_, results_, miningTimer_, *pages, gate_, *messages_,
        MiningRun::Boxes{*keywordBox_, *includeBox_, *excludeBox_, *quantityBox_},
        PushBackTools{parts.clock, pageView_.get(), archive_.get(), std::move(parts.jitter)});
    index_ = std::make_unique<IndexRun>(results_, indexTimer_, browser, *intervalBox_, gate_,
                                        messages_.get());
    now_ = parts.now ? std::move(parts.now) : [] { return QDateTime::currentMSecsSinceEpoch(); };
    index_->onRowWritten([this](std::int64_t row) { recordSnapshot(row); });
    columns_.setHistory(&history_);
    connect(&miningTimer_, &IntervalTimer::ticked, this, [this] { mining_->timerFired(); });
    connect(&indexTimer_, &IntervalTimer::ticked, this, [this] { index_->timerFired(); });
    browser.navigate(IndexRun::startAddress());
    candidates_.append(Row{candidateHeader()});
    results_.readFiguresWith(&readResultFigures);

    // Whatever a command or a step changed is in place once the gate has
    // settled: the journal hears of it then, not on a poll.
    gate_.whenSettled([this] { noteState(); });
    for (RowList* list : {&candidates_, &results_}) {
        connect(list, &QAbstractItemModel::rowsInserted, this, [this] { edited_ = true; });
        connect(list, &QAbstractItemModel::rowsRemoved, this, [this] { edited_ = true; });
        connect(list, &QAbstractItemModel::dataChanged, this, [this] { edited_ = true; });
        connect(list, &QAbstractItemModel::modelReset, this, [this] { edited_ = true; });
    }
    edited_ = false;
    segmenter_ = std::make_unique<Segmenter>(parts.journalFolder);
    if (!parts.journalFolder.isEmpty())
        journal_ = SessionJournal::open(parts.journalFolder, candidates_, results_,
                                        [this] { return currentState(); });
    if (journal_)
        journal_->followHistory(&history_);
}

Workbench::~Workbench() {
    // The runs talk to the browser, the fetch and the timers: stop them
    // before any of those goes. The fetch thread is joined here.
    miningTimer_.setInterval(0);
    indexTimer_.setInterval(0);
    gate_.whenSettled({});
    workbookWriter_ = {}; // a workbook being written is finished first
    journal_.reset();
    index_.reset();
    mining_.reset();
    background_.reset();
}

void Workbench::setSettings(const Settings& settings) {
    if (settings_ == settings)
        return;
    // The boxes read these strings in place: assign, never replace them.
    settings_.keyword = settings.keyword;
    settings_.include = settings.include;
    settings_.exclude = settings.exclude;
    settings_.quantity = settings.quantity;
    settings_.interval = settings.interval;
    noteState();
}

void Workbench::startMining() {
    gate_.run([this] {
        notice_.clear();
        // The index run walks rows that a new mining start has just removed.
        if (mining_->start()) {
            indexTimer_.setInterval(0);
            index_->forgetProgress();
            statusScope_.miningStarted();
        }
    });
}

void Workbench::startIndex() {
    gate_.run([this] {
        notice_.clear();
        statusScope_.indexStarted();
        index_->start();
    });
}

void Workbench::stopRuns() {
    gate_.run([this] {
        miningTimer_.setInterval(0);
        indexTimer_.setInterval(0);
    });
}

void Workbench::continueRuns() {
    gate_.run([this] {
        notice_.clear();
        mining_->resume();
        index_->resume();
    });
}

void Workbench::requeryEmptyRows() {
    gate_.run([this] {
        std::vector<std::int64_t> rows;
        for (std::int64_t i = 1; i < results_.count(); ++i)
            if (lacksFigures(results_.row(i)))
                rows.push_back(i);
        if (rows.empty()) {
            setNotice(QStringLiteral("没有需要重查的空行"));
            return;
        }
        notice_.clear();
        statusScope_.indexStarted();
        index_->startWith(std::move(rows));
    });
}

void Workbench::retryFailedKeywords() {
    gate_.run([this] {
        if (runsGoing())
            return;
        if (mining_->progress().failed == 0) {
            setNotice(QStringLiteral("没有未能读取的词"));
            return;
        }
        notice_.clear();
        statusScope_.miningStarted();
        mining_->retryFailed();
    });
}

void Workbench::countItems(std::vector<std::int64_t> listRows) {
    gate_.run([this, listRows = std::move(listRows)]() mutable {
        if (mining_->going()) {
            Q_EMIT message(QStringLiteral("挖词进行中，不能查宝贝数。请先按“停止”。"));
            return;
        }
        if (listRows.empty())
            for (std::int64_t i = 1; i < results_.count(); ++i)
                if (const Row row = results_.row(i);
                    row.fields.value(1).isEmpty() || !row.failure.isEmpty())
                    listRows.push_back(i);
        std::sort(listRows.begin(), listRows.end());
        listRows.erase(std::unique(listRows.begin(), listRows.end()), listRows.end());
        if (!mining_->countItems(std::move(listRows))) {
            setNotice(QStringLiteral("没有需要查宝贝数的行"));
            return;
        }
        notice_.clear();
        statusScope_.miningStarted();
    });
}

void Workbench::openRefusedWindow() {
    gate_.run([this] { index_->openRefusedWindowHere(); });
}

bool Workbench::runsGoing() const {
    return miningTimer_.interval() > 0 || mining_->stepInFlight() || index_->progress().running;
}

QString Workbench::statusText() const {
    const IndexProgress index = index_->progress();
    const std::int64_t currentWait = indexTimer_.isActive() ? indexTimer_.remainingTime() : 0;
    const auto interval = numberFromText(settings_.interval).value_or(0);
    const QString runs = statusScope_.line(mining_->progress(), index,
                                           QueryPacing::timeLeft(index, currentWait, interval));
    return notice_.isEmpty() ? runs : statusLine(notice_, runs);
}

void Workbench::setNotice(const QString& text) {
    notice_ = text;
    Q_EMIT statusChanged();
}

bool Workbench::refuseEditDuringRun() {
    if (!runsGoing())
        return false;
    Q_EMIT message(QStringLiteral("挖词或查询指数进行中，结果表不能修改。请先按“停止”。"));
    return true;
}

void Workbench::addKeywords(const QString& text) {
    if (refuseEditDuringRun())
        return;
    const QString caption = columns_.captions().value(0);
    const KeywordImport found = keywordsFrom(
        text, caption, [this](const QString& k) { return results_.containsKeyword(k); });
    appendKeywordRows(results_, found.added);
    statusScope_.rowsEdited();
    setNotice(QStringLiteral("已添加 %1 个关键词，跳过 %2 个")
                  .arg(found.added.size())
                  .arg(found.skipped));
}

// Each file is read with its own encoding and separator; its keywords are in
// the table before the next is read, so a repeat across files is skipped.
void Workbench::importKeywordFiles(const QStringList& paths) {
    if (paths.isEmpty() || refuseEditDuringRun())
        return;
    const QString caption = columns_.captions().value(0);
    qsizetype added = 0, skipped = 0;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Q_EMIT message(QStringLiteral("导入失败：") + file.errorString());
            break;
        }
        // One byte past the limit is enough for the refusal.
        const KeywordImport found =
            keywordsFromFile(file.read(maxKeywordFileBytes + 1), caption,
                             [this](const QString& k) { return results_.containsKeyword(k); });
        if (!found.refused.isEmpty()) {
            Q_EMIT message(QStringLiteral("导入失败：") + found.refused);
            break;
        }
        appendKeywordRows(results_, found.added);
        added += found.added.size();
        skipped += found.skipped;
    }
    statusScope_.rowsEdited();
    setNotice(QStringLiteral("已添加 %1 个关键词，跳过 %2 个").arg(added).arg(skipped));
}

void Workbench::deleteRows(const std::vector<std::int64_t>& listRows) {
    if (listRows.empty() || refuseEditDuringRun())
        return;
    results_.remove(listRows);
    index_->forgetProgress(); // its place in the table moved
    mining_->forgetCounting();
    statusScope_.rowsEdited();
    setNotice(QStringLiteral("已删除 %1 行").arg(listRows.size()));
    noteState();
}

ExportOutcome Workbench::writeCsv(const QString& folder) const {
    return exportTable(results_, settings_.keyword, folder);
}

void Workbench::exportCsv(const QString& folder) {
    gate_.run([this, folder] {
        const QString keyword = settings_.keyword;
        const ExportOutcome outcome = writeCsv(folder);
        noteExport(outcome, QDir(folder).filePath(keyword + u".csv"));
        Q_EMIT message(exportMessage(outcome));
    });
}

void Workbench::noteExport(const ExportOutcome& outcome, const QString& path) {
    if (outcome.kind != ExportOutcome::Kind::Written)
        return;
    lastExportPath_ = QFileInfo(path).absoluteFilePath();
    QString notice = QStringLiteral("已导出：") + QDir::toNativeSeparators(lastExportPath_);
    if (!outcome.note.isEmpty())
        notice += u'；' + outcome.note;
    setNotice(notice);
}

ExportOutcome Workbench::writeWorkbook(const QString& folder,
                                       const std::vector<std::int64_t>& order) const {
    return quilla::exportWorkbook(results_, order, settings_.keyword, folder, {}, {}, rootSheets(),
                                  tableChanges());
}

TableChanges Workbench::tableChanges() const {
    TableChanges changes;
    for (std::int64_t i = 1; i < results_.count(); ++i) {
        const QString keyword = results_.row(i).keyword();
        if (const RowChange change = changeOf(history_, keyword); change != RowChange{})
            changes.insert(keyword, change);
    }
    return changes;
}

RootSheets Workbench::rootSheets() const {
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, results_.count() - 1)));
    for (std::int64_t i = 1; i < results_.count(); ++i)
        rows.push_back(results_.row(i));
    std::vector<RootFigures> roots = rootTable(rows, *segmenter_);
    sortBySearch(roots);
    std::vector<RootSheetRow> sheet;
    sheet.reserve(roots.size());
    for (const RootFigures& f : roots)
        sheet.push_back(
            {f.root, f.keywords, f.searchIndex(), f.tradeIndex(), f.itemCount(), f.opportunity()});
    return {std::move(sheet), composedTitle_};
}

// A workbook of thousands of series takes seconds: it is written on a thread
// of its own from a copy of the rows, and the runs go on.
void Workbench::exportWorkbook(const QString& folder, std::vector<std::int64_t> order) {
    gate_.run([this, folder, order = std::move(order)]() mutable {
        if (workbookBusy_) {
            Q_EMIT message(QStringLiteral("上一个 Excel 文件还在写入，请稍候。"));
            return;
        }
        workbookBusy_ = true;
        setNotice(QStringLiteral("正在写入 Excel 文件…"));
        // The workbench going stops the writer: a cancelled file is not kept.
        workbookWriter_ =
            std::jthread([this, rows = rowsOf(results_), order = std::move(order),
                          extra = rootSheets(), changes = tableChanges(),
                          keyword = settings_.keyword, folder](std::stop_token stop) mutable {
                RowList table;
                table.append(std::move(rows));
                const ExportOutcome outcome =
                    quilla::exportWorkbook(table, order, keyword, folder, {}, stop, extra, changes);
                if (stop.stop_requested())
                    return;
                QMetaObject::invokeMethod(
                    this,
                    [this, outcome, path = QDir(folder).filePath(keyword + u".xlsx")] {
                        workbookBusy_ = false;
                        setNotice({}); // no longer writing
                        noteExport(outcome, path);
                        Q_EMIT message(exportMessage(outcome));
                    },
                    Qt::QueuedConnection);
            });
    });
}

// A query the page gave no figures for says nothing about the keyword: it
// would only hide the move between the queries around it.
void Workbench::recordSnapshot(std::int64_t listRow) {
    const Row row = results_.row(listRow);
    if (queriedWithoutFigures(row))
        return;
    const auto snapshot = makeSnapshot(now_(), row.keyword(), figureOf(row, column::count),
                                       row.fields.mid(column::searchYesterday, snapshotFigureCount),
                                       row.series ? row.series->endDate : std::nullopt);
    if (!snapshot || history_.size() >= historyBounds::maxEntries)
        return;
    history_.append(*snapshot);
    columns_.noteChanges(listRow);
    if (journal_)
        journal_->noteChange();
    Q_EMIT historyChanged();
}

void Workbench::setOfferedWords(std::vector<QString> words) {
    offeredWords_ = std::move(words);
    noteState();
}

void Workbench::addOfferedWords(const QStringList& words) {
    if (words.isEmpty() || refuseEditDuringRun())
        return;
    addKeywords(words.join(u'\n'));
    std::erase_if(offeredWords_, [&](const QString& w) { return results_.containsKeyword(w); });
    noteState();
}

ChangeReport Workbench::changeReport(const ChangeThresholds& thresholds) const {
    QStringList keywords;
    for (std::int64_t i = 1; i < results_.count(); ++i)
        keywords.append(results_.row(i).keyword());
    return quilla::changeReport(history_, keywords, offeredWords_, thresholds);
}

SessionState Workbench::currentState() const {
    SessionState s = runState(*mining_, *index_);
    s.offeredWords = offeredWords_;
    s.keyword = settings_.keyword;
    s.include = settings_.include;
    s.exclude = settings_.exclude;
    s.quantity = settings_.quantity;
    s.interval = settings_.interval;
    return s;
}

// The runs and the settings change without the lists too (a stop, typing).
void Workbench::noteState() {
    if (journal_) {
        if (const auto failure = journal_->takeFailure())
            notice_ = QStringLiteral("会话记录写入失败：") + *failure +
                      QStringLiteral("（运行照常进行）");
        if (SessionState now = currentState(); !(now == journalled_)) {
            journalled_ = std::move(now);
            journal_->noteChange();
        }
    }
    Q_EMIT statusChanged();
}

SessionSnapshot Workbench::snapshot() const {
    return {rowsOf(candidates_), rowsOf(results_), currentState(), history_};
}

void Workbench::applySnapshot(const SessionSnapshot& snapshot) {
    miningTimer_.setInterval(0);
    indexTimer_.setInterval(0);
    // Before the rows, so the change columns read the new history.
    history_ = snapshot.history;
    offeredWords_ = snapshot.state.offeredWords;
    if (journal_)
        journal_->noteHistoryReplaced();
    restoreSession(snapshot, candidates_, results_, *mining_, *index_);
    Q_EMIT historyChanged();
    const SessionState& s = snapshot.state;
    setSettings({s.keyword, s.include, s.exclude, s.quantity, s.interval});
    Q_EMIT settingsChanged();
    noteState();
}

bool Workbench::unsaved() const {
    return edited_ && (candidates_.count() > 1 || results_.count() > 0);
}

namespace {

QString heldElsewhereMessage(const QString& path) {
    return QStringLiteral("项目“%1”已在另一个窗口或命令中打开。").arg(QFileInfo(path).fileName());
}

bool samePath(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && projectLockPath(a) == projectLockPath(b);
}

} // namespace

NewFileResult Workbench::saveProject(const QString& path, bool replaceExisting) {
    // A project of another name is ours once saved: nobody else may hold it.
    ProjectLock taken;
    if (lockProjects_ && !(projectLock_ && samePath(path, projectPath_))) {
        taken = lockProject(path);
        if (taken.heldElsewhere) {
            Q_EMIT message(heldElsewhereMessage(path));
            return {NewFileResult::Kind::Failed, heldElsewhereMessage(path)};
        }
    }
    const NewFileResult saved = quilla::saveProject(snapshot(), path, replaceExisting);
    switch (saved.kind) {
    case NewFileResult::Kind::Written:
        if (taken.lock || (lockProjects_ && !samePath(path, projectPath_)))
            projectLock_ = std::move(taken.lock);
        projectPath_ = path;
        edited_ = false;
        Q_EMIT projectPathChanged(path);
        setNotice(QStringLiteral("项目已保存：") + QDir::toNativeSeparators(path));
        break;
    case NewFileResult::Kind::Exists:
        Q_EMIT message(QStringLiteral("文件已存在，没有保存。请换一个文件名。"));
        break;
    case NewFileResult::Kind::Failed:
        Q_EMIT message(QStringLiteral("保存失败：") + saved.reason);
        break;
    }
    return saved;
}

bool Workbench::openProject(const QString& path) {
    ProjectLock taken;
    if (lockProjects_ && !(projectLock_ && samePath(path, projectPath_))) {
        taken = lockProject(path);
        if (taken.heldElsewhere) {
            Q_EMIT message(heldElsewhereMessage(path));
            return false;
        }
    }
    const auto read = readSession(path);
    if (const auto* error = std::get_if<SessionReadError>(&read)) {
        Q_EMIT message(sessionReadMessage(*error));
        return false;
    }
    if (taken.lock || (lockProjects_ && !samePath(path, projectPath_)))
        projectLock_ = std::move(taken.lock);
    applySnapshot(std::get<SessionSnapshot>(read));
    projectPath_ = path;
    edited_ = false;
    Q_EMIT projectPathChanged(path);
    setNotice(QStringLiteral("已打开项目：") + QDir::toNativeSeparators(path));
    return true;
}

void Workbench::recover(const std::function<bool()>& restore) {
    if (!journal_)
        return;
    if (const auto left = journal_->leftOver()) {
        const LeftOverSession found = readLeftOver(*left, snapshot());
        if (found.kind == LeftOverSession::Kind::Nothing) {
            journal_->discardLeftOver();
        } else if (found.kind == LeftOverSession::Kind::Session) {
            if (restore())
                applySnapshot(found.session);
        } else {
            const auto aside = journal_->moveLeftOverAside();
            Q_EMIT message(QStringLiteral("上次的会话记录已损坏，无法恢复") +
                           (aside ? QStringLiteral("，已移到 ") + *aside : QString()) +
                           QStringLiteral("。程序重新开始。"));
        }
    }
    journal_->start();
    journalled_ = currentState();
}

void Workbench::endNormally() {
    miningTimer_.setInterval(0);
    indexTimer_.setInterval(0);
    if (journal_)
        journal_->endNormally();
}

} // namespace quilla
