#include "app/main_window.h"

#include "app/browser_cookies.h"
#include "app/chart_window.h"
#include "app/controls.h"
#include "app/keyword_list_view.h"
#include "app/result_table.h"
#include "app/status_line.h"
#include "app/web_browser.h"
#include "core/list_headers.h"
#include "core/number_text.h"
#include "export/csv_export.h"
#include "export/xlsx_export.h"
#include "results/cell_values.h"
#include "results/keyword_import.h"
#include "results/tsv_text.h"
#include "session/project_file.h"
#include "session/session_binding.h"
#include "session/session_store.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

// The icon lives in a static library, whose resources load only when asked.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quilla {

MainWindow::MainWindow(Shell& shell, std::shared_ptr<PageFetcher> fetcher,
                       std::shared_ptr<CookieJar> cookies, const QString& journalFolder,
                       QWidget* parent)
    : QWidget(parent), shell_(shell) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(title());
    loadResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));
    setFixedSize(clientWidthTwips / twipsPerPixel, clientHeightTwips / twipsPerPixel);
    buildControls();

    keywordBox_ = std::make_unique<LineEditBox>(keywordEdit_);
    includeBox_ = std::make_unique<LineEditBox>(includeEdit_);
    excludeBox_ = std::make_unique<LineEditBox>(excludeEdit_);
    quantityBox_ = std::make_unique<LineEditBox>(quantityEdit_);
    intervalBox_ = std::make_unique<LineEditBox>(intervalEdit_);
    browser_ = std::make_unique<WebEngineBrowser>(browserView_);
    if (cookies)
        followBrowserCookies(*browserView_->page()->profile()->cookieStore(), cookies);
    pageView_ = std::make_unique<BrowserPageView>(
        [this](const QString& address) { browser_->navigate(address); });
    archive_ = std::make_unique<FileArchive>(
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    background_ = std::make_unique<BackgroundFetch>(std::move(fetcher));
    mining_ = std::make_unique<MiningRun>(
        candidates_, results_, miningTimer_, *background_, gate_, messages_,
        MiningRun::Boxes{*keywordBox_, *includeBox_, *excludeBox_, *quantityBox_},
        PushBackParts{nullptr, pageView_.get(), archive_.get(), {}});
    index_ = std::make_unique<IndexRun>(results_, indexTimer_, *browser_, *intervalBox_, gate_,
                                        &messages_);

    connectControls();
    setStartValues();
    setAcceptDrops(true);
    if (!journalFolder.isEmpty())
        journal_ = SessionJournal::open(journalFolder, candidates_, results_,
                                        [this] { return currentState(); });
}

MainWindow::~MainWindow() {
    // The runs talk to the browser, the fetch and the timers: stop them
    // before any of those goes. The fetch thread is joined here.
    miningTimer_.setInterval(0);
    indexTimer_.setInterval(0);
    workbookWriter_ = {}; // a workbook being written is finished first
    journal_.reset();
    index_.reset();
    background_.reset();
    mining_.reset();
    browser_.reset();
}

namespace {

QWidget* makeControl(const ControlSpot& spot, QWidget* parent) {
    const QString caption = QString::fromUtf16(spot.caption);
    QWidget* w = nullptr;
    switch (spot.kind) {
    case ControlKind::Label:
        w = new QLabel(caption, parent);
        break;
    case ControlKind::TextBox:
        w = new QLineEdit(parent);
        break;
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        w = button;
        break;
    }
    case ControlKind::List: {
        w = new KeywordListView(parent);
        break;
    }
    case ControlKind::Table:
        w = new ResultTableView(parent);
        break;
    case ControlKind::Browser:
        w = new QWebEngineView(parent);
        break;
    }
    w->setObjectName(QString::fromLatin1(spot.name));
    w->setGeometry(toPixels(spot));
    return w;
}

} // namespace

void MainWindow::buildControls() {
    for (const ControlSpot& spot : controlSpots)
        makeControl(spot, this);
    status_ = static_cast<QLabel*>(makeControl(statusSpot, this));
    continueButton_ = static_cast<QPushButton*>(makeControl(continueSpot, this));
    continueButton_->setFocusPolicy(Qt::NoFocus);
    continueButton_->hide();

    const auto edit = [this](const char* name) {
        return findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    keywordEdit_ = edit("keywordBox");
    includeEdit_ = edit("includeBox");
    excludeEdit_ = edit("excludeBox");
    quantityEdit_ = edit("quantityBox");
    intervalEdit_ = edit("intervalBox");
    candidateView_ = findChild<KeywordListView*>(QStringLiteral("candidateList"));
    resultView_ = findChild<ResultTableView*>(QStringLiteral("resultTable"));
    browserView_ = findChild<QWebEngineView*>(QStringLiteral("browser"));
    candidateView_->setModel(&candidates_);
    resultView_->setOrder(&resultOrder_);

    QWidget* before = nullptr;
    for (const char* name : focusOrder) {
        auto* w = findChild<QWidget*>(QString::fromLatin1(name));
        if (before)
            QWidget::setTabOrder(before, w);
        before = w;
    }
}

void MainWindow::connectControls() {
    const auto button = [this](const char* name) {
        return findChild<QPushButton*>(QString::fromLatin1(name));
    };
    connect(button("mineButton"), &QPushButton::clicked, this, &MainWindow::startMining);
    connect(button("indexButton"), &QPushButton::clicked, this, &MainWindow::startIndex);
    connect(button("stopButton"), &QPushButton::clicked, this, &MainWindow::stopRuns);
    connect(button("exportButton"), &QPushButton::clicked, this, &MainWindow::exportResults);
    connect(button("feedbackButton"), &QPushButton::clicked, this, &MainWindow::askForFeedback);
    connect(button("homePageButton"), &QPushButton::clicked, this, &MainWindow::openHomePage);
    connect(&miningTimer_, &IntervalTimer::ticked, this, [this] { mining_->timerFired(); });
    connect(&indexTimer_, &IntervalTimer::ticked, this, [this] { index_->timerFired(); });
    connect(browser_.get(), &WebEngineBrowser::newWindowRequested, this,
            [this] { gate_.run([this] { index_->openRefusedWindowHere(); }); });
    followNewRows(candidateView_, candidates_);
    followNewRows(resultView_, resultOrder_);
    connectResultTable();
    connect(continueButton_, &QPushButton::clicked, this, &MainWindow::continueRuns);
    connect(addWindowAction(QStringLiteral("保存项目"), QKeySequence::Save), &QAction::triggered,
            this, &MainWindow::saveProjectFile);
    connect(addWindowAction(QStringLiteral("打开项目"), QKeySequence::Open), &QAction::triggered,
            this, &MainWindow::openProjectFile);
    connect(addWindowAction(QStringLiteral("继续"), QKeySequence(Qt::Key_F5)), &QAction::triggered,
            this, &MainWindow::continueRuns);
    connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::refreshStatus);
    statusTimer_.start(250);
}

void MainWindow::setStartValues() {
    browser_->navigate(IndexRun::startAddress());
    findChild<QPushButton*>(QStringLiteral("mineButton"))->setText(QStringLiteral("挖词"));
    candidates_.append(Row{candidateHeader()});
    keywordEdit_->setText(QStringLiteral("qq"));
    includeEdit_->setText(QString());
    excludeEdit_->setText(QString());
    quantityEdit_->setText(QStringLiteral("3"));
    intervalEdit_->setText(QStringLiteral("6000"));
}

void MainWindow::startMining() {
    gate_.run([this] {
        notice_.clear();
        // The index run walks rows that a new mining start has just removed.
        if (mining_->start())
            indexTimer_.setInterval(0);
    });
}

void MainWindow::startIndex() {
    gate_.run([this] {
        notice_.clear();
        index_->start();
    });
}

void MainWindow::stopRuns() {
    gate_.run([this] {
        miningTimer_.setInterval(0);
        indexTimer_.setInterval(0);
    });
}

void MainWindow::exportResults() {
    gate_.run([this] {
        const auto outcome = exportTable(results_, keywordEdit_->text(), QDir::currentPath());
        messages_.show(exportMessage(outcome));
    });
}

void MainWindow::askForFeedback() {
    messages_.show(QStringLiteral("请把您需要功能和遇到的问题反馈给我们，如果必要可以截图，谢谢！"),
                   [this] { openAddress(shell_, links::contactLink()); });
}

void MainWindow::openHomePage() {
    openAddress(shell_, links::homePage());
}

QAction* MainWindow::addWindowAction(const QString& text, const QKeySequence& keys) {
    auto* action = new QAction(text, this);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

void MainWindow::connectResultTable() {
    QMenu* menu = resultView_->menu();
    QAction* paste =
        menu->addAction(QStringLiteral("粘贴关键词"), this, &MainWindow::pasteKeywords);
    paste->setShortcut(QKeySequence::Paste);
    menu->addAction(QStringLiteral("导入关键词…"), this, &MainWindow::chooseKeywordFiles);
    menu->addSeparator();
    menu->addAction(QStringLiteral("重查空行"), this, &MainWindow::requeryEmptyRows);
    menu->addSeparator();
    QAction* chart = addWindowAction(QStringLiteral("图表"), QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(chart, &QAction::triggered, this, [this] { openChartWindow(); });
    menu->addAction(chart);
    QAction* excel =
        addWindowAction(QStringLiteral("导出 Excel"), QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(excel, &QAction::triggered, this, &MainWindow::exportWorkbookFile);
    menu->addAction(excel);
    connect(resultView_, &ResultTableView::pasteRequested, this, &MainWindow::pasteKeywords);
    connect(resultView_, &ResultTableView::deleteRequested, this, &MainWindow::deleteSelectedRows);
    connect(resultView_, &ResultTableView::copyRequested, this, &MainWindow::copySelectedRows);
    connect(resultView_, &ResultTableView::filesDropped, this, &MainWindow::importKeywordFiles);
}

bool MainWindow::runsGoing() const {
    return miningTimer_.interval() > 0 || mining_->stepInFlight() || index_->progress().running;
}

bool MainWindow::refuseEditDuringRun() {
    if (!runsGoing())
        return false;
    messages_.show(QStringLiteral("挖词或查询指数进行中，结果表不能修改。请先按“停止”。"));
    return true;
}

void MainWindow::addKeywords(const QString& text) {
    const QString caption = resultColumns_.captions().value(0);
    const KeywordImport found = keywordsFrom(
        text, caption, [this](const QString& k) { return results_.containsKeyword(k); });
    appendKeywordRows(results_, found.added);
    notice_ =
        QStringLiteral("已添加 %1 个关键词，跳过 %2 个").arg(found.added.size()).arg(found.skipped);
    refreshStatus();
}

void MainWindow::pasteKeywords() {
    if (refuseEditDuringRun())
        return;
    addKeywords(QGuiApplication::clipboard()->text());
}

void MainWindow::chooseKeywordFiles() {
    if (refuseEditDuringRun())
        return;
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, QStringLiteral("导入关键词"), QDir::currentPath(),
                                      QStringLiteral("关键词列表 (*.txt *.csv);;所有文件 (*)"));
    importKeywordFiles(paths);
}

void MainWindow::importKeywordFiles(const QStringList& paths) {
    if (paths.isEmpty() || refuseEditDuringRun())
        return;
    QString text;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            messages_.show(QStringLiteral("导入失败：") + file.errorString());
            return;
        }
        text += decodeKeywordFile(file.readAll()) + u'\n';
    }
    addKeywords(text);
}

void MainWindow::deleteSelectedRows() {
    const std::vector<std::int64_t> rows = resultView_->selectedListRows();
    if (rows.empty() || refuseEditDuringRun())
        return;
    results_.remove(rows);
    index_->forgetProgress(); // its place in the table moved
    notice_ = QStringLiteral("已删除 %1 行").arg(rows.size());
    refreshStatus();
}

void MainWindow::copySelectedRows() const {
    const std::vector<std::int64_t> rows = resultView_->selectedListRows();
    if (rows.empty())
        return;
    std::vector<QStringList> lines{resultColumns_.captions()};
    for (const std::int64_t row : rows)
        lines.push_back(resultColumns_.cells(row));
    QGuiApplication::clipboard()->setText(tsvText(lines));
}

// A workbook of thousands of series takes seconds: it is written on a thread
// of its own from a copy of the rows, and the runs and the window go on.
void MainWindow::exportWorkbookFile() {
    gate_.run([this] {
        if (workbookBusy_) {
            messages_.show(QStringLiteral("上一个 Excel 文件还在写入，请稍候。"));
            return;
        }
        workbookBusy_ = true;
        notice_ = QStringLiteral("正在写入 Excel 文件…");
        refreshStatus();
        std::vector<Row> rows = rowsOf(results_);
        std::vector<std::int64_t> order = resultOrder_.listRowsInOrder();
        workbookWriter_ =
            std::jthread([this, rows = std::move(rows), order = std::move(order),
                          keyword = keywordEdit_->text(), folder = QDir::currentPath()]() mutable {
                RowList table;
                table.append(std::move(rows));
                const ExportOutcome outcome = exportWorkbook(table, order, keyword, folder);
                QMetaObject::invokeMethod(
                    this,
                    [this, outcome] {
                        workbookBusy_ = false;
                        notice_.clear();
                        messages_.show(exportMessage(outcome));
                    },
                    Qt::QueuedConnection);
            });
    });
}

QString MainWindow::statusText() const {
    const IndexProgress index = index_->progress();
    const std::int64_t currentWait = indexTimer_.isActive() ? indexTimer_.remainingTime() : 0;
    const auto interval = numberFromText(intervalEdit_->text()).value_or(0);
    const QString runs =
        statusLine(miningStatus(mining_->progress()),
                   indexStatus(index, QueryPacing::timeLeft(index, currentWait, interval)));
    return notice_.isEmpty() ? runs : statusLine(notice_, runs);
}

void MainWindow::refreshStatus() {
    if (journal_) {
        if (const auto failure = journal_->takeFailure())
            notice_ = QStringLiteral("会话记录写入失败：") + *failure +
                      QStringLiteral("（运行照常进行）");
        // The runs and the boxes change without the lists too (a stop, typing).
        if (const SessionState now = currentState(); !(now == lastJournalled_)) {
            lastJournalled_ = now;
            journal_->noteChange();
        }
    }
    const QString text = statusText();
    if (status_->text() != text)
        status_->setText(text);
    placeContinueButton(mining_->progress().canContinue || index_->progress().canContinue);
}

void MainWindow::placeContinueButton(bool shown) {
    if (continueButton_->isVisible() == shown)
        return;
    continueButton_->setVisible(shown);
    QRect strip = toPixels(statusSpot);
    if (shown)
        strip.setRight(continueButton_->geometry().left() - 8);
    status_->setGeometry(strip);
}

ChartWindow& MainWindow::openChartWindow() {
    if (!chart_) {
        chart_ = new ChartWindow(results_, this);
        connect(chart_, &ChartWindow::rowChosen, this, &MainWindow::selectListRow);
        connect(resultView_->selectionModel(), &QItemSelectionModel::currentRowChanged, chart_,
                [this](const QModelIndex& current) {
                    if (current.isValid())
                        chart_->showTrendOf(resultOrder_.listRow(current.row()));
                });
        const QModelIndex current = resultView_->currentIndex();
        if (current.isValid())
            chart_->showTrendOf(resultOrder_.listRow(current.row()));
    }
    chart_->show();
    chart_->raise();
    chart_->activateWindow();
    return *chart_;
}

void MainWindow::selectListRow(std::int64_t listRow) {
    const QModelIndex at =
        resultOrder_.mapFromSource(resultColumns_.index(ResultColumns::tableRow(listRow), 0));
    if (!at.isValid())
        return;
    resultView_->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    resultView_->scrollTo(at);
}

void MainWindow::continueRuns() {
    gate_.run([this] {
        notice_.clear();
        mining_->resume();
        index_->resume();
        refreshStatus();
    });
}

void MainWindow::requeryEmptyRows() {
    gate_.run([this] {
        std::vector<std::int64_t> rows;
        for (std::int64_t i = 1; i < results_.count(); ++i)
            if (lacksFigures(results_.row(i)))
                rows.push_back(i);
        if (rows.empty()) {
            notice_ = QStringLiteral("没有需要重查的空行");
            refreshStatus();
            return;
        }
        notice_.clear();
        index_->startWith(std::move(rows));
    });
}

// Keeps the newest row in view while rows arrive, unless the user has
// scrolled away from the end. One scroll for all the rows a step adds: each
// scroll lays the whole list out again.
void MainWindow::followNewRows(QAbstractItemView* view, QAbstractItemModel& rows) {
    struct Follow {
        bool atEnd = true;
        bool scrollPending = false;
    };
    auto follow = std::make_shared<Follow>();
    connect(&rows, &QAbstractItemModel::rowsAboutToBeInserted, view, [view, follow] {
        const QScrollBar* bar = view->verticalScrollBar();
        follow->atEnd = follow->scrollPending || bar->value() == bar->maximum();
    });
    connect(&rows, &QAbstractItemModel::rowsInserted, view, [this, view, follow] {
        // In a sorted table new rows land where they belong, not at the end.
        if (!follow->atEnd || follow->scrollPending ||
            (view == resultView_ && resultOrder_.sorting()))
            return;
        follow->scrollPending = true;
        QMetaObject::invokeMethod(
            view,
            [view, follow] {
                follow->scrollPending = false;
                view->scrollToBottom();
            },
            Qt::QueuedConnection);
    });
}

// Closing cannot be refused: the promotion opens and the program ends. A
// normal end keeps nothing: the journal goes.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (journal_)
        journal_->endNormally();
    openAddress(shell_, links::promotionLink());
    event->accept();
}

SessionState MainWindow::currentState() const {
    SessionState s = runState(*mining_, *index_);
    s.keyword = keywordEdit_->text();
    s.include = includeEdit_->text();
    s.exclude = excludeEdit_->text();
    s.quantity = quantityEdit_->text();
    s.interval = intervalEdit_->text();
    return s;
}

SessionSnapshot MainWindow::snapshot() const {
    return {rowsOf(candidates_), rowsOf(results_), currentState()};
}

void MainWindow::applySnapshot(const SessionSnapshot& snapshot) {
    miningTimer_.setInterval(0);
    indexTimer_.setInterval(0);
    restoreSession(snapshot, candidates_, results_, *mining_, *index_);
    keywordEdit_->setText(snapshot.state.keyword);
    includeEdit_->setText(snapshot.state.include);
    excludeEdit_->setText(snapshot.state.exclude);
    quantityEdit_->setText(snapshot.state.quantity);
    intervalEdit_->setText(snapshot.state.interval);
    refreshStatus();
}

void MainWindow::offerRecovery() {
    if (!journal_)
        return;
    if (const auto left = journal_->leftOver()) {
        const LeftOverSession found = readLeftOver(*left, snapshot());
        if (found.kind == LeftOverSession::Kind::Nothing) {
            journal_->discardLeftOver();
        } else if (found.kind == LeftOverSession::Kind::Session) {
            QMessageBox ask(QMessageBox::Question, WindowMessageBox::caption(),
                            QStringLiteral("上次的运行没有正常结束。要恢复上次的关键词和结果吗？"),
                            QMessageBox::Yes | QMessageBox::No, this);
            ask.setObjectName(QStringLiteral("recoveryQuestion"));
            ask.setDefaultButton(QMessageBox::Yes);
            ask.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
            ask.button(QMessageBox::No)->setText(QStringLiteral("否"));
            if (ask.exec() == QMessageBox::Yes)
                applySnapshot(found.session);
        } else {
            const auto aside = journal_->moveLeftOverAside();
            messages_.show(QStringLiteral("上次的会话记录已损坏，无法恢复") +
                           (aside ? QStringLiteral("，已移到 ") + *aside : QString()) +
                           QStringLiteral("。程序重新开始。"));
        }
    }
    journal_->start();
    lastJournalled_ = currentState();
}

void MainWindow::showProjectName() {
    setWindowTitle(projectPath_.isEmpty() ? title()
                                          : title() + QStringLiteral(" - ") +
                                                QFileInfo(projectPath_).completeBaseName());
}

void MainWindow::saveProjectFile() {
    const QString suggested =
        projectPath_.isEmpty()
            ? QDir::current().filePath(keywordEdit_->text() + QLatin1StringView(projectSuffix))
            : projectPath_;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存项目"), suggested,
                                                      QStringLiteral("Quilla 项目 (*.quilla)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    bool replace = false;
    if (QFileInfo(path) == QFileInfo(projectPath_) && QFileInfo::exists(path)) {
        replace =
            QMessageBox::question(
                this, WindowMessageBox::caption(),
                QStringLiteral("要用现在的会话替换“%1”吗？").arg(QFileInfo(path).fileName())) ==
            QMessageBox::Yes;
        if (!replace)
            return;
    }
    saveProjectTo(path, replace);
}

void MainWindow::saveProjectTo(const QString& path, bool replaceExisting) {
    gate_.run([this, path, replaceExisting] {
        const NewFileResult saved = saveProject(snapshot(), path, replaceExisting);
        switch (saved.kind) {
        case NewFileResult::Kind::Written:
            projectPath_ = path;
            showProjectName();
            notice_ = QStringLiteral("项目已保存：") + QDir::toNativeSeparators(path);
            refreshStatus();
            return;
        case NewFileResult::Kind::Exists:
            messages_.show(QStringLiteral("文件已存在，没有保存。请换一个文件名。"));
            return;
        case NewFileResult::Kind::Failed:
            messages_.show(QStringLiteral("保存失败：") + saved.reason);
            return;
        }
    });
}

bool MainWindow::mayReplaceLists() {
    const bool hasLists = candidates_.count() > 1 || results_.count() > 0;
    return !hasLists ||
           QMessageBox::question(this, WindowMessageBox::caption(),
                                 QStringLiteral("打开项目会替换现在的关键词和结果。要继续吗？")) ==
               QMessageBox::Yes;
}

void MainWindow::openProjectFile() {
    if (!mayReplaceLists())
        return;
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("打开项目"), QDir::currentPath(),
                                     QStringLiteral("Quilla 项目 (*.quilla);;所有文件 (*)"));
    if (!path.isEmpty())
        openProjectFrom(path);
}

void MainWindow::openProjectFrom(const QString& path) {
    gate_.run([this, path] {
        const auto read = openProject(path);
        if (const auto* error = std::get_if<SessionReadError>(&read)) {
            messages_.show(sessionReadMessage(*error));
            return;
        }
        applySnapshot(std::get<SessionSnapshot>(read));
        projectPath_ = path;
        showProjectName();
        notice_ = QStringLiteral("已打开项目：") + QDir::toNativeSeparators(path);
        refreshStatus();
    });
}

namespace {

QString projectIn(const QMimeData* mime) {
    if (!mime->hasUrls())
        return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1StringView(projectSuffix)))
            return url.toLocalFile();
    return {};
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!projectIn(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = projectIn(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has finished, as a question may come first.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (mayReplaceLists())
                openProjectFrom(path);
        },
        Qt::QueuedConnection);
}

} // namespace quilla
