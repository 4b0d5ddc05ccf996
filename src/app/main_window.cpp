#include "app/main_window.h"

#include "app/change_panel.h"
#include "app/chart_window.h"
#include "app/controls.h"
#include "app/keyword_list_view.h"
#include "app/result_table.h"
#include "app/root_window.h"
#include "browser/browser_cookies.h"
#include "browser/login_profile.h"
#include "browser/web_browser.h"
#include "results/tsv_text.h"
#include "session/project_file.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

// The icon lives in a static library, whose resources load only when asked.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quilla {

MainWindow::MainWindow(AddressOpener& opener, std::shared_ptr<PageFetcher> fetcher,
                       std::shared_ptr<CookieJar> cookies, const QString& journalFolder,
                       QWidget* parent)
    : QWidget(parent), opener_(opener) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(title());
    loadResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));
    setMinimumSize(firstSize());
    resize(firstSize());
    buildControls();
    // Made after the view, so it goes after the view's page.
    profile_ = makeLoginProfile(journalFolder, this);
    browser_ = std::make_unique<WebEngineBrowser>(profile_, browserView_);
    browserView_->setPage(browser_->page());
    if (cookies)
        followBrowserCookies(*profile_->cookieStore(), cookies);
    offerForgetLogin();
    Workbench::Parts parts;
    parts.fetcher = std::move(fetcher);
    parts.browser = browser_.get();
    parts.journalFolder = journalFolder;
    parts.lockProjects = true;
    bench_ = std::make_unique<Workbench>(std::move(parts));
    candidateView_->setModel(&bench_->candidates());
    resultView_->setOrder(&bench_->order());
    findChild<QPushButton*>(QStringLiteral("mineButton"))->setText(QStringLiteral("挖词"));
    showSettings();
    connectControls();
    setAcceptDrops(true);
}

MainWindow::~MainWindow() {
    // The runs talk to the browser: they go first.
    bench_.reset();
    browser_.reset();
}

void MainWindow::buildControls() {
    placeControls(this);
    statusLabel_ = static_cast<QLabel*>(makeControl(statusPlacement, this));
    continueButton_ = static_cast<QPushButton*>(makeControl(continuePlacement, this));
    continueButton_->setFocusPolicy(Qt::NoFocus);
    continueButton_->hide();
    moreButton_ = static_cast<QPushButton*>(makeControl(morePlacement, this));
    moreButton_->setFocusPolicy(Qt::NoFocus);
    splitter_ = makeControl(splitterPlacement, this);
    splitter_->installEventFilter(this);

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
}

void MainWindow::connectControls() {
    const auto button = [this](const char* name) {
        return findChild<QPushButton*>(QString::fromLatin1(name));
    };
    Workbench* bench = bench_.get();
    connect(button("mineButton"), &QPushButton::clicked, bench, &Workbench::startMining);
    connect(button("indexButton"), &QPushButton::clicked, bench, &Workbench::startIndex);
    for (const char* start : {"mineButton", "indexButton"})
        connect(button(start), &QPushButton::clicked, resultView_,
                &ResultTableView::showSortColumn);
    connect(button("stopButton"), &QPushButton::clicked, bench, &Workbench::stopRuns);
    connect(button("exportButton"), &QPushButton::clicked, this, &MainWindow::exportResults);
    connect(button("feedbackButton"), &QPushButton::clicked, this, &MainWindow::askForFeedback);
    connect(button("homePageButton"), &QPushButton::clicked, this, &MainWindow::openHomePage);
    for (QLineEdit* edit : {keywordEdit_, includeEdit_, excludeEdit_, quantityEdit_, intervalEdit_})
        connect(edit, &QLineEdit::textChanged, this, &MainWindow::takeSettings);
    connect(bench, &Workbench::settingsChanged, this, &MainWindow::showSettings);
    connect(bench, &Workbench::message, this,
            [this](const QString& text) { messages_.show(text); });
    connect(bench, &Workbench::pageToShow, browser_.get(), &WebEngineBrowser::navigate);
    connect(bench, &Workbench::statusChanged, this, &MainWindow::refreshStatus);
    connect(bench, &Workbench::projectPathChanged, this, &MainWindow::showProjectName);
    // Shown once the snapshots have settled: at the end of a run, not at each row.
    connect(bench, &Workbench::historyChanged, this, [this] { changesArrived_ = true; });
    connect(bench, &Workbench::statusChanged, this, [this] {
        if (!changesArrived_ || bench_->runsGoing())
            return;
        changesArrived_ = false;
        if (!bench_->changeReport(changes_ ? changes_->thresholds() : ChangeThresholds{}).empty())
            openChangePanel();
    });
    connect(browser_.get(), &WebEngineBrowser::newWindowRequested, bench,
            &Workbench::openRefusedWindow);
    candidateView_->followNewRows(bench_->candidates());
    // In a sorted table new rows land where they belong, not at the end.
    resultView_->followNewRows(bench_->order(),
                               [this] { return bench_->order().sorting().has_value(); });
    connectResultTable();
    connect(continueButton_, &QPushButton::clicked, bench, &Workbench::continueRuns);
    saveAction_ = addWindowAction(QStringLiteral("保存项目"), QKeySequence::Save);
    connect(saveAction_, &QAction::triggered, this, &MainWindow::saveProjectFile);
    saveAsAction_ = addWindowAction(QStringLiteral("另存为…"), QKeySequence::SaveAs);
    connect(saveAsAction_, &QAction::triggered, this, &MainWindow::saveProjectFileAs);
    openAction_ = addWindowAction(QStringLiteral("打开项目…"), QKeySequence::Open);
    connect(openAction_, &QAction::triggered, this, &MainWindow::openProjectFile);
    continueAction_ = addWindowAction(QStringLiteral("继续"), QKeySequence(Qt::Key_F5));
    connect(continueAction_, &QAction::triggered, bench, &Workbench::continueRuns);
    exportFolderAction_ = new QAction(QStringLiteral("打开导出文件夹"), this);
    connect(exportFolderAction_, &QAction::triggered, this, &MainWindow::openExportFolder);
    connect(bench, &Workbench::projectPathChanged, this, &MainWindow::noteRecentProject);
    buildMoreMenu();
    // The time left counts down between the runs' steps.
    connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::refreshStatus);
    statusTimer_.start(250);
}

void MainWindow::showSettings() {
    const Settings& s = bench_->settings();
    showingSettings_ = true;
    keywordEdit_->setText(s.keyword);
    includeEdit_->setText(s.include);
    excludeEdit_->setText(s.exclude);
    quantityEdit_->setText(s.quantity);
    intervalEdit_->setText(s.interval);
    showingSettings_ = false;
}

void MainWindow::takeSettings() {
    if (!showingSettings_)
        bench_->setSettings({keywordEdit_->text(), includeEdit_->text(), excludeEdit_->text(),
                             quantityEdit_->text(), intervalEdit_->text()});
}

// The view's own menu, with "清除登录" after it.
void MainWindow::offerForgetLogin() {
    browserView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(browserView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = browserView_->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(QStringLiteral("清除登录"), this, &MainWindow::forgetLogin);
        menu->popup(browserView_->mapToGlobal(at));
    });
}

void MainWindow::forgetLogin() {
    quilla::forgetLogin(*profile_);
}

void MainWindow::exportResults() {
    bench_->exportCsv(QDir::currentPath());
}

void MainWindow::askForFeedback() {
    messages_.show(QStringLiteral("请把您需要功能和遇到的问题反馈给我们，如果必要可以截图，谢谢！"),
                   [this] { opener_.open(links::contactLink()); });
}

void MainWindow::openHomePage() {
    opener_.open(links::homePage());
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
    // The table's own keys do the work while it has the focus; the menus
    // show them.
    pasteAction_ = menu->addAction(QStringLiteral("粘贴关键词"), this, &MainWindow::pasteKeywords);
    pasteAction_->setShortcut(QKeySequence::Paste);
    importAction_ =
        menu->addAction(QStringLiteral("导入关键词…"), this, &MainWindow::chooseKeywordFiles);
    menu->addSeparator();
    copyAction_ = menu->addAction(QStringLiteral("复制"), this, &MainWindow::copySelectedRows);
    copyAction_->setShortcut(QKeySequence::Copy);
    deleteAction_ = menu->addAction(QStringLiteral("删除"), this, &MainWindow::deleteSelectedRows);
    deleteAction_->setShortcut(QKeySequence::Delete);
    selectAllAction_ =
        menu->addAction(QStringLiteral("全选"), resultView_, &QAbstractItemView::selectAll);
    selectAllAction_->setShortcut(QKeySequence::SelectAll);
    menu->addSeparator();
    requeryAction_ =
        menu->addAction(QStringLiteral("重查空行"), bench_.get(), &Workbench::requeryEmptyRows);
    retryAction_ = menu->addAction(QStringLiteral("重查失败的词"), bench_.get(),
                                   &Workbench::retryFailedKeywords);
    // The selected rows, or with none selected every row without a count.
    countAction_ = addWindowAction(QStringLiteral("查宝贝数"), QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(countAction_, &QAction::triggered, this,
            [this] { bench_->countItems(resultView_->selectedListRows()); });
    menu->addAction(countAction_);
    menu->addSeparator();
    chartAction_ = addWindowAction(QStringLiteral("图表"), QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(chartAction_, &QAction::triggered, this, [this] { openChartWindow(); });
    menu->addAction(chartAction_);
    rootsAction_ = addWindowAction(QStringLiteral("词根"), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(rootsAction_, &QAction::triggered, this, [this] { openRootWindow(); });
    menu->addAction(rootsAction_);
    changesAction_ =
        menu->addAction(QStringLiteral("自上次以来"), this, [this] { openChangePanel().raise(); });
    excelAction_ =
        addWindowAction(QStringLiteral("导出 Excel"), QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(excelAction_, &QAction::triggered, this, &MainWindow::exportWorkbookFile);
    menu->addAction(excelAction_);
    connect(resultView_, &ResultTableView::pasteRequested, this, &MainWindow::pasteKeywords);
    connect(resultView_, &ResultTableView::deleteRequested, this, &MainWindow::deleteSelectedRows);
    connect(resultView_, &ResultTableView::copyRequested, this, &MainWindow::copySelectedRows);
    connect(resultView_, &ResultTableView::filesDropped, bench_.get(),
            &Workbench::importKeywordFiles);
}

void MainWindow::pasteKeywords() {
    bench_->addKeywords(QGuiApplication::clipboard()->text());
}

void MainWindow::chooseKeywordFiles() {
    if (bench_->runsGoing()) {
        bench_->addKeywords({}); // says why not
        return;
    }
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, QStringLiteral("导入关键词"), lastFolder("keywords"),
                                      QStringLiteral("关键词列表 (*.txt *.csv);;所有文件 (*)"));
    keepFolder("keywords", paths.value(0));
    bench_->importKeywordFiles(paths);
}

void MainWindow::deleteSelectedRows() {
    bench_->deleteRows(resultView_->selectedListRows());
}

void MainWindow::copySelectedRows() const {
    const std::vector<std::int64_t> rows = resultView_->selectedListRows();
    if (rows.empty())
        return;
    std::vector<QStringList> lines{bench_->columns().captions()};
    for (const std::int64_t row : rows)
        lines.push_back(bench_->columns().cells(row));
    QGuiApplication::clipboard()->setText(tsvText(lines));
}

void MainWindow::exportWorkbookFile() {
    bench_->exportWorkbook(QDir::currentPath(), bench_->order().listRowsInOrder());
}

void MainWindow::refreshStatus() {
    const QString text = bench_->statusText();
    if (statusLabel_->text() != text)
        statusLabel_->setText(text);
    placeContinueButton(bench_->mining().progress().canContinue ||
                        bench_->index().progress().canContinue);
}

void MainWindow::placeContinueButton(bool shown) {
    if (continueButton_->isVisible() == shown)
        return;
    continueButton_->setVisible(shown);
    layoutControls();
}

void MainWindow::layoutControls() {
    if (!statusLabel_)
        return; // not built yet
    const QSize now = size();
    browserExtra_ = boundedBrowserExtra(now, browserExtra_);
    for (const ControlPlacement& place : controlPlacements)
        if (auto* w =
                findChild<QWidget*>(QString::fromLatin1(place.name), Qt::FindDirectChildrenOnly))
            w->setGeometry(placeIn(place, now, browserExtra_));
    for (const ControlPlacement* place : {&morePlacement, &continuePlacement, &splitterPlacement})
        findChild<QWidget*>(QString::fromLatin1(place->name), Qt::FindDirectChildrenOnly)
            ->setGeometry(placeIn(*place, now, browserExtra_));
    QRect strip = placeIn(statusPlacement, now, browserExtra_);
    if (continueButton_->isVisibleTo(this))
        strip.setRight(continueButton_->geometry().left() - 8);
    statusLabel_->setGeometry(strip);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
}

// The splitter is dragged: the browser gets what the table gives up.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != splitter_)
        return QWidget::eventFilter(watched, event);
    const auto y = [this](QEvent* e) {
        return mapFromGlobal(static_cast<QMouseEvent*>(e)->globalPosition().toPoint()).y();
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        dragFrom_ = y(event);
        extraAtDrag_ = browserExtra_;
        return true;
    case QEvent::MouseMove:
        if (dragFrom_ < 0)
            return false;
        browserExtra_ = boundedBrowserExtra(size(), extraAtDrag_ - (y(event) - dragFrom_));
        layoutControls();
        return true;
    case QEvent::MouseButtonRelease:
        dragFrom_ = -1;
        return true;
    default:
        return false;
    }
}

void MainWindow::buildMoreMenu() {
    more_ = new QMenu(this);
    more_->setObjectName(QStringLiteral("moreMenu"));
    more_->addActions({importAction_, pasteAction_});
    more_->addSeparator();
    more_->addActions({copyAction_, deleteAction_, selectAllAction_});
    more_->addSeparator();
    more_->addActions({countAction_, requeryAction_, retryAction_, continueAction_});
    more_->addSeparator();
    more_->addActions({excelAction_, chartAction_, rootsAction_, changesAction_});
    more_->addSeparator();
    more_->addActions({openAction_, saveAction_, saveAsAction_});
    recentMenu_ = more_->addMenu(QStringLiteral("最近的项目"));
    more_->addSeparator();
    more_->addAction(exportFolderAction_);
    moreButton_->setMenu(more_);
    showRecentProjects();
}

void MainWindow::showRecentProjects() {
    recentMenu_->clear();
    for (const QString& path : std::as_const(recent_))
        recentMenu_->addAction(QDir::toNativeSeparators(path), this, [this, path] {
            if (mayReplaceLists())
                openProjectFrom(path);
        });
    recentMenu_->setEnabled(!recent_.isEmpty());
}

void MainWindow::noteRecentProject(const QString& path) {
    if (path.isEmpty())
        return;
    const QString full = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(full);
    recent_.prepend(full);
    while (recent_.size() > 5)
        recent_.removeLast();
    if (settings_)
        settings_->setValue(QStringLiteral("recentProjects"), recent_);
    showRecentProjects();
}

QString MainWindow::lastFolder(const char* key) const {
    const QString folder =
        settings_ ? settings_->value(QStringLiteral("folders/") + QLatin1StringView(key)).toString()
                  : QString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void MainWindow::keepFolder(const char* key, const QString& chosenFile) {
    if (settings_ && !chosenFile.isEmpty())
        settings_->setValue(QStringLiteral("folders/") + QLatin1StringView(key),
                            QFileInfo(chosenFile).absolutePath());
}

void MainWindow::rememberIn(QSettings* settings) {
    settings_ = settings;
    if (!settings_)
        return;
    const QSize kept = settings_->value(QStringLiteral("window/size")).toSize();
    // A size from the file is only a wish: no larger than the desktop (or a
    // 4K screen, where the desktop reports less).
    const QSize largest = screen()->availableVirtualSize().expandedTo(QSize(3840, 2160));
    if (kept.isValid())
        resize(kept.boundedTo(largest).expandedTo(minimumSize()));
    browserExtra_ = settings_->value(QStringLiteral("window/browserExtra"), 0).toInt();
    layoutControls();
    if (settings_->value(QStringLiteral("window/maximized"), false).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
    recent_.clear();
    for (const QString& path : settings_->value(QStringLiteral("recentProjects")).toStringList())
        if (recent_.size() < 5 && !path.isEmpty() && !recent_.contains(path))
            recent_.append(path);
    showRecentProjects();
}

void MainWindow::openExportFolder() {
    const QString written = bench_->lastExportPath();
    const QString folder =
        written.isEmpty() ? QDir::currentPath() : QFileInfo(written).absolutePath();
    opener_.open(QUrl::fromLocalFile(folder).toString());
}

ChangePanel& MainWindow::openChangePanel() {
    if (!changes_)
        changes_ = new ChangePanel(*bench_, this);
    changes_->refresh();
    changes_->show();
    return *changes_;
}

RootWindow& MainWindow::openRootWindow() {
    if (!roots_) {
        roots_ = new RootWindow(*bench_, this);
        roots_->attachFilterButton(resultView_);
    }
    roots_->show();
    roots_->raise();
    roots_->activateWindow();
    return *roots_;
}

ChartWindow& MainWindow::openChartWindow() {
    if (!chart_) {
        chart_ = new ChartWindow(bench_->results(), this);
        chart_->setHistory(&bench_->history());
        connect(bench_.get(), &Workbench::historyChanged, chart_, &ChartWindow::historyChanged);
        connect(chart_, &ChartWindow::rowChosen, this, &MainWindow::selectListRow);
        connect(resultView_->selectionModel(), &QItemSelectionModel::currentRowChanged, chart_,
                [this](const QModelIndex& current) {
                    if (current.isValid())
                        chart_->showTrendOf(bench_->order().listRow(current.row()));
                });
        const QModelIndex current = resultView_->currentIndex();
        if (current.isValid())
            chart_->showTrendOf(bench_->order().listRow(current.row()));
    }
    chart_->show();
    chart_->raise();
    chart_->activateWindow();
    return *chart_;
}

void MainWindow::selectListRow(std::int64_t listRow) {
    const QModelIndex at =
        bench_->order().mapFromSource(bench_->columns().index(ResultColumns::tableRow(listRow), 0));
    if (!at.isValid())
        return;
    resultView_->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
    resultView_->scrollTo(at);
}

bool MainWindow::mayClose() {
    if (!bench_->unsaved())
        return true;
    bench_->stopRuns();
    QMessageBox ask(QMessageBox::Question, WindowMessageBox::caption(),
                    QStringLiteral("结果还没有保存为项目。关闭前要保存吗？"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    ask.setObjectName(QStringLiteral("closeQuestion"));
    ask.setDefaultButton(QMessageBox::Save);
    ask.setEscapeButton(QMessageBox::Cancel);
    ask.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    ask.button(QMessageBox::Save)->setShortcut(QKeySequence::Save);
    ask.button(QMessageBox::Discard)->setText(QStringLiteral("不保存"));
    ask.button(QMessageBox::Discard)->setShortcut(QKeySequence(Qt::ALT | Qt::Key_N));
    ask.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    switch (ask.exec()) {
    case QMessageBox::Save:
        return saveProjectFile();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

// Once the user has chosen, the promotion opens and the program ends. A
// normal end keeps nothing: the journal goes.
void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_ && !mayClose()) {
        event->ignore();
        return;
    }
    closing_ = true;
    if (settings_) {
        settings_->setValue(QStringLiteral("window/maximized"), isMaximized());
        if (!isMaximized())
            settings_->setValue(QStringLiteral("window/size"), size());
        settings_->setValue(QStringLiteral("window/browserExtra"), browserExtra_);
    }
    bench_->endNormally();
    opener_.open(links::promotionLink());
    event->accept();
}

void MainWindow::offerRecovery() {
    bench_->recover([this] {
        QMessageBox ask(QMessageBox::Question, WindowMessageBox::caption(),
                        QStringLiteral("上次的运行没有正常结束。要恢复上次的关键词和结果吗？"),
                        QMessageBox::Yes | QMessageBox::No, this);
        ask.setObjectName(QStringLiteral("recoveryQuestion"));
        ask.setDefaultButton(QMessageBox::Yes);
        ask.button(QMessageBox::Yes)->setText(QStringLiteral("是"));
        ask.button(QMessageBox::No)->setText(QStringLiteral("否"));
        return ask.exec() == QMessageBox::Yes;
    });
}

void MainWindow::showProjectName(const QString& path) {
    setWindowTitle(path.isEmpty()
                       ? title()
                       : title() + QStringLiteral(" - ") + QFileInfo(path).completeBaseName());
}

bool MainWindow::saveProjectFile() {
    // A session that is a project already is saved into it.
    const QString current = bench_->projectPath();
    if (!current.isEmpty() && QFileInfo::exists(current))
        return bench_->saveProject(current, true).kind == NewFileResult::Kind::Written;
    return saveProjectFileAs();
}

bool MainWindow::saveProjectFileAs() {
    const QString current = bench_->projectPath();
    const QString suggested =
        current.isEmpty()
            ? QDir(lastFolder("projects"))
                  .filePath(bench_->settings().keyword + QLatin1StringView(projectSuffix))
            : current;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("保存项目"), suggested,
                                                QStringLiteral("Quilla 项目 (*.quilla)"), nullptr,
                                                QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return false;
    keepFolder("projects", path);
    path = withProjectSuffix(path);
    bool replace = false;
    if (QFileInfo(path) == QFileInfo(current) && QFileInfo::exists(path)) {
        replace =
            QMessageBox::question(
                this, WindowMessageBox::caption(),
                QStringLiteral("要用现在的会话替换“%1”吗？").arg(QFileInfo(path).fileName())) ==
            QMessageBox::Yes;
        if (!replace)
            return false;
    }
    return bench_->saveProject(path, replace).kind == NewFileResult::Kind::Written;
}

void MainWindow::saveProjectTo(const QString& path, bool replaceExisting) {
    bench_->afterStep(
        [this, path, replaceExisting] { bench_->saveProject(path, replaceExisting); });
}

bool MainWindow::mayReplaceLists() {
    const bool hasLists = bench_->candidates().count() > 1 || bench_->results().count() > 0;
    return !hasLists ||
           QMessageBox::question(this, WindowMessageBox::caption(),
                                 QStringLiteral("打开项目会替换现在的关键词和结果。要继续吗？")) ==
               QMessageBox::Yes;
}

void MainWindow::openProjectFile() {
    if (!mayReplaceLists())
        return;
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("打开项目"), lastFolder("projects"),
                                     QStringLiteral("Quilla 项目 (*.quilla);;所有文件 (*)"));
    keepFolder("projects", path);
    if (!path.isEmpty())
        openProjectFrom(path);
}

void MainWindow::openProjectFrom(const QString& path) {
    bench_->afterStep([this, path] { bench_->openProject(path); });
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
