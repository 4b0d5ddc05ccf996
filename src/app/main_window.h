#pragma once

// The one window: five boxes, six buttons, the two lists and the embedded
// browser, showing a workbench and passing the user's commands to it.

#include "app/widget_ports.h"
#include "links/links.h"
#include "net/cookie_jar.h"
#include "net/page_fetch.h"
#include "workbench/workbench.h"

#include <QKeySequence>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QAbstractItemModel;
class QAbstractItemView;
class QPushButton;
class QAction;
class QMenu;
class QSettings;
class QWebEngineProfile;
class QWebEngineView;

namespace quilla {

class ChangePanel;
class ChartWindow;
class KeywordListView;
class ResultTableView;
class RootWindow;
class WebEngineBrowser;

class MainWindow final : public QWidget {
    Q_OBJECT

public:
    // The fetcher runs on the background fetch's thread.
    // With a cookie jar, the fetcher's, the browser's marketplace cookies go
    // into it. With a journal folder (the program's data folder), the session
    // is journalled there and the browser keeps its login there.
    MainWindow(AddressOpener& opener, std::shared_ptr<PageFetcher> fetcher,
               std::shared_ptr<CookieJar> cookies = {}, const QString& journalFolder = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString title() { return QStringLiteral("Quilla淘宝指数批量查询工具 v1.0  by:tarnick"); }

    Workbench& workbench() { return *bench_; }
    const Workbench& workbench() const { return *bench_; }
    QString statusText() const { return bench_->statusText(); }

    // "清除登录" in the browser's context menu: the marketplace's login and
    // the browser's cache are forgotten, on disk too.
    void forgetLogin();
    QWebEngineProfile* browserProfile() const { return profile_; }

    // The buttons.
    void exportResults();
    void askForFeedback();
    void openHomePage();

    // The result table's context menu and keys.
    void pasteKeywords();
    void chooseKeywordFiles();
    void deleteSelectedRows();
    void copySelectedRows() const;
    void exportWorkbookFile();

    // "图表" and Ctrl+G: the chart window, made on first use.
    ChartWindow& openChartWindow();
    ChartWindow* chartWindow() const { return chart_; }
    // "词根" and Ctrl+R: the root view, made on first use.
    RootWindow& openRootWindow();
    // "自上次以来": opened by its command, and by itself once new snapshots
    // (an index run, a project opened) show a move past its thresholds.
    ChangePanel& openChangePanel();
    // Selects the row in the result table and brings it into view.
    void selectListRow(std::int64_t listRow);

    // The window's size, the splitter, the file dialogs' last folders and the
    // recent projects are kept in `settings` (which outlives the window);
    // without it nothing is remembered.
    void rememberIn(QSettings* settings);
    // "更多": every command of the window, with its shortcut.
    QMenu* moreMenu() const { return more_; }
    QStringList recentProjects() const { return recent_; }
    // The folder of the last export, or the working folder before any.
    void openExportFolder();

    // At start: a session that did not end normally is offered back.
    void offerRecovery();

    // Ctrl+S and Ctrl+O; a .quilla file dropped on the window opens too.
    // False when nothing was saved (the user cancelled, or it failed).
    bool saveProjectFile();
    // "另存为…": always asks for the name.
    bool saveProjectFileAs();
    void saveProjectTo(const QString& path, bool replaceExisting);
    void openProjectFile();
    void openProjectFrom(const QString& path);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void offerForgetLogin();
    void connectControls();
    void connectResultTable();
    QAction* addWindowAction(const QString& text, const QKeySequence& keys);
    void showSettings();
    void takeSettings();
    void refreshStatus();
    void placeContinueButton(bool shown);
    void layoutControls();
    void buildMoreMenu();
    void showRecentProjects();
    void noteRecentProject(const QString& path);
    QString lastFolder(const char* key) const;
    void keepFolder(const char* key, const QString& chosenFile);
    // Asks first when the lists hold anything.
    bool mayReplaceLists();
    // Before the window closes: save, throw away or stay (false).
    bool mayClose();
    void showProjectName(const QString& path);

    AddressOpener& opener_;
    WindowMessageBox messages_{this};
    QTimer statusTimer_;

    QLineEdit* keywordEdit_ = nullptr;
    QLineEdit* includeEdit_ = nullptr;
    QLineEdit* excludeEdit_ = nullptr;
    QLineEdit* quantityEdit_ = nullptr;
    QLineEdit* intervalEdit_ = nullptr;
    KeywordListView* candidateView_ = nullptr;
    ResultTableView* resultView_ = nullptr;
    QWebEngineView* browserView_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* continueButton_ = nullptr;
    QPushButton* moreButton_ = nullptr;
    QWidget* splitter_ = nullptr;
    int browserExtra_ = 0; // the splitter's place: see boundedBrowserExtra
    int dragFrom_ = -1;    // where a drag of the splitter began, in window y
    int extraAtDrag_ = 0;
    QMenu* more_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QStringList recent_;
    QSettings* settings_ = nullptr;
    // The commands that the context menu, the shortcuts and "更多" share.
    QAction* pasteAction_ = nullptr;
    QAction* importAction_ = nullptr;
    QAction* copyAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    QAction* selectAllAction_ = nullptr;
    QAction* requeryAction_ = nullptr;
    QAction* retryAction_ = nullptr;
    QAction* countAction_ = nullptr;
    QAction* chartAction_ = nullptr;
    QAction* rootsAction_ = nullptr;
    QAction* changesAction_ = nullptr;
    ChangePanel* changes_ = nullptr;
    bool changesArrived_ = false; // since the panel last looked
    QAction* excelAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* continueAction_ = nullptr;
    QAction* exportFolderAction_ = nullptr;
    ChartWindow* chart_ = nullptr;
    RootWindow* roots_ = nullptr;
    bool showingSettings_ = false;
    bool closing_ = false;

    QWebEngineProfile* profile_ = nullptr; // a child: outlives the view's page
    std::unique_ptr<WebEngineBrowser> browser_;
    std::unique_ptr<Workbench> bench_;
};

} // namespace quilla
