#pragma once

// The one window: five boxes, six buttons, the two lists, the embedded
// browser and the two timers that carry the runs.

#include "app/widget_ports.h"
#include "core/file_archive.h"
#include "core/interval_timer.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "index/index_run.h"
#include "links/links.h"
#include "mining/mining_run.h"
#include "net/background_fetch.h"
#include "net/page_fetch.h"
#include "results/result_columns.h"
#include "results/result_order.h"
#include "session/session_journal.h"

#include <QKeySequence>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <thread>

class QLabel;
class QLineEdit;
class QAbstractItemModel;
class QAbstractItemView;
class QPushButton;
class QAction;
class QWebEngineView;

namespace quilla {

class ChartWindow;
class KeywordListView;
class ResultTableView;
class WebEngineBrowser;

class MainWindow final : public QWidget {
    Q_OBJECT

public:
    // The fetcher runs on the background fetch's thread.
    // With a cookie jar, the fetcher's, the browser's marketplace cookies go
    // into it. With a journal folder, the session is journalled there.
    MainWindow(Shell& shell, std::shared_ptr<PageFetcher> fetcher,
               std::shared_ptr<CookieJar> cookies = {}, const QString& journalFolder = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString title() { return QStringLiteral("Quilla淘宝指数批量查询工具 v1.0  by:tarnick"); }

    std::int32_t miningRow() const { return mining_->miningRow(); }
    std::int32_t queryRow() const { return index_->queryRow(); }
    std::int32_t queriesSinceLongWait() const { return index_->queriesSinceLongWait(); }

    RowList& candidates() { return candidates_; }
    RowList& results() { return results_; }
    IntervalTimer& miningTimer() { return miningTimer_; }
    IntervalTimer& indexTimer() { return indexTimer_; }

    // True while a mining step waits for its page.
    bool fetching() const { return mining_->stepInFlight(); }
    QString statusText() const;

    // The buttons. Those that touch the runs or the lists go through the
    // step gate: a click made while a step waits takes effect after it.
    void startMining();
    void startIndex();
    void stopRuns();
    void exportResults();
    void askForFeedback();
    void openHomePage();

    // The result table's own keywords and files. Edits are refused while a
    // run goes: the runs own the table then.
    void pasteKeywords();
    void importKeywordFiles(const QStringList& paths);
    void chooseKeywordFiles();
    void deleteSelectedRows();
    void copySelectedRows() const;
    void exportWorkbookFile();

    // F5 and "继续": go on with the runs that a block, a pause or a stop ended.
    void continueRuns();
    // Queries the index of the rows without figures only.
    void requeryEmptyRows();

    // "图表" and Ctrl+G: the chart window, made on first use.
    ChartWindow& openChartWindow();
    ChartWindow* chartWindow() const { return chart_; }
    // Selects the row in the result table and brings it into view.
    void selectListRow(std::int64_t listRow);

    // At start: a journal left by a session that did not end normally is
    // offered back (or, damaged, moved aside); then journalling begins.
    void offerRecovery();
    SessionJournal* journal() const { return journal_.get(); }

    // Ctrl+S and Ctrl+O; a .quilla file dropped on the window opens too.
    void saveProjectFile();
    void saveProjectTo(const QString& path, bool replaceExisting);
    void openProjectFile();
    void openProjectFrom(const QString& path);
    QString projectPath() const { return projectPath_; }

    // The whole session as a project or journal holds it.
    SessionSnapshot snapshot() const;

    // True while either run goes (a timer running or a step under way).
    bool runsGoing() const;
    ResultOrder& resultOrder() { return resultOrder_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void setStartValues();
    void connectResultTable();
    QAction* addWindowAction(const QString& text, const QKeySequence& keys);
    void refreshStatus();
    void placeContinueButton(bool shown);
    void followNewRows(QAbstractItemView* view, QAbstractItemModel& rows);
    bool refuseEditDuringRun();
    SessionState currentState() const;
    // Asks first when the lists hold anything.
    bool mayReplaceLists();
    void applySnapshot(const SessionSnapshot& snapshot);
    void showProjectName();
    void addKeywords(const QString& text);

    Shell& shell_;
    RowList candidates_;
    RowList results_;
    ResultColumns resultColumns_{results_};
    ResultOrder resultOrder_{resultColumns_};
    IntervalTimer miningTimer_;
    IntervalTimer indexTimer_;
    StepGate gate_;
    QTimer statusTimer_;
    WindowMessageBox messages_{this};

    QLineEdit* keywordEdit_ = nullptr;
    QLineEdit* includeEdit_ = nullptr;
    QLineEdit* excludeEdit_ = nullptr;
    QLineEdit* quantityEdit_ = nullptr;
    QLineEdit* intervalEdit_ = nullptr;
    KeywordListView* candidateView_ = nullptr;
    ResultTableView* resultView_ = nullptr;
    QWebEngineView* browserView_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* continueButton_ = nullptr;
    ChartWindow* chart_ = nullptr;
    std::unique_ptr<SessionJournal> journal_;
    std::jthread workbookWriter_;
    bool workbookBusy_ = false;
    SessionState lastJournalled_;
    QString projectPath_;
    QString notice_; // what the last edit did, until a run starts

    std::unique_ptr<LineEditBox> keywordBox_, includeBox_, excludeBox_, quantityBox_, intervalBox_;
    std::unique_ptr<WebEngineBrowser> browser_;
    std::unique_ptr<BrowserPageView> pageView_;
    std::unique_ptr<FileArchive> archive_;
    std::unique_ptr<BackgroundFetch> background_;
    std::unique_ptr<MiningRun> mining_;
    std::unique_ptr<IndexRun> index_;
};

} // namespace quilla
