#pragma once

// The session without its window: both lists, the runs and their timers,
// the journal, the exports and the project file, and the five settings.
// The window shows it and passes the user's commands on; the command line
// drives it with no window at all. It tells what happens through signals.

#include "core/file_archive.h"
#include "core/interval_timer.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "export/export_outcome.h"
#include "export/xlsx_export.h"
#include "history/changes.h"
#include "index/browser.h"
#include "index/index_run.h"
#include "mining/mining_run.h"
#include "net/background_fetch.h"
#include "net/page_fetch.h"
#include "results/result_columns.h"
#include "results/result_order.h"
#include "session/project_lock.h"
#include "session/session_journal.h"
#include "session/session_store.h"
#include "workbench/status_line.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace quilla {

class Segmenter;

// What the user typed into the five boxes; the runs read them anew each time.
struct Settings {
    QString keyword, include, exclude, quantity, interval;

    bool operator==(const Settings&) const = default;
};

class Workbench final : public QObject {
    Q_OBJECT

public:
    struct Parts {
        // Fetches the search pages, on a thread of its own; without one,
        // every fetch fails as if no connection could be made.
        std::shared_ptr<PageFetcher> fetcher;
        // Answers in place of `fetcher` when given (tests and benchmarks).
        AsyncFetcher* pages = nullptr;
        // The trend page; without one, the index run talks to nothing.
        Browser* browser = nullptr;
        // The session is journalled there; none without it.
        QString journalFolder;
        // Where a search page that no longer reads as expected is kept.
        QString archiveFolder;
        // The open project is locked against other windows and commands,
        // which then refuse it (the window); without it, projects are read
        // and written with no regard for others (the reading commands).
        bool lockProjects = false;
        // Clock and jitter for the mining run's waits (tests).
        Clock* clock = nullptr;
        std::function<double()> jitter;
        // The time a snapshot is dated with, UTC ms since the epoch; the
        // system's when none (tests set it).
        std::function<std::int64_t()> now;
    };

    explicit Workbench(Parts parts, QObject* parent = nullptr);
    ~Workbench() override;

    static Settings startSettings();

    RowList& candidates() { return candidates_; }
    RowList& results() { return results_; }
    const RowList& results() const { return results_; }
    ResultColumns& columns() { return columns_; }
    ResultOrder& order() { return order_; }
    IntervalTimer& miningTimer() { return miningTimer_; }
    IntervalTimer& indexTimer() { return indexTimer_; }
    MiningRun& mining() { return *mining_; }
    IndexRun& index() { return *index_; }
    SessionJournal* journal() const { return journal_.get(); }
    // Splits keywords into root words; its user words live in the journal
    // folder (none without one).
    Segmenter& segmenter() { return *segmenter_; }

    const Settings& settings() const { return settings_; }
    void setSettings(const Settings& settings);

    // The commands. Those that touch the runs or the lists go through the
    // step gate: a command given while a step waits takes effect after it.
    void startMining();
    void startIndex();
    void stopRuns();
    // Goes on with the runs that a block, a pause or a stop ended.
    void continueRuns();
    // Queries the index of the rows without figures only.
    void requeryEmptyRows();
    // Mines again the keywords whose search page never loaded.
    void retryFailedKeywords();
    // Fetches the item counts of these result rows (list places), or, with
    // none given, of every row without a count or whose page never loaded,
    // on the mining run's path; the related words are not offered (see
    // MiningRun::relatedFromCounts).
    void countItems(std::vector<std::int64_t> listRows = {});
    // The browser refused a page's new window: its link opens in the browser.
    void openRefusedWindow();

    // Runs `action` now, or after the step that waits (see StepGate).
    void afterStep(std::function<void()> action) { gate_.run(std::move(action)); }

    // True while either run goes (a timer running or a step under way).
    bool runsGoing() const;
    // True while a mining step waits for its page.
    bool fetching() const { return mining_->stepInFlight(); }
    QString statusText() const;

    // The result table's own keywords. Edits are refused, with a message,
    // while a run goes: the runs own the table then.
    void addKeywords(const QString& text);
    void importKeywordFiles(const QStringList& paths);
    void deleteRows(const std::vector<std::int64_t>& listRows);

    // <keyword>.csv into `folder`; the message says how it went.
    void exportCsv(const QString& folder);
    ExportOutcome writeCsv(const QString& folder) const;
    // <keyword>.xlsx into `folder`, the rows in `order`, on a thread of its
    // own; the message comes when it is written.
    void exportWorkbook(const QString& folder, std::vector<std::int64_t> order);
    ExportOutcome writeWorkbook(const QString& folder,
                                const std::vector<std::int64_t>& order) const;
    bool workbookBusy() const { return workbookBusy_; }
    // The full path of the file the last export wrote; empty before any.
    QString lastExportPath() const { return lastExportPath_; }
    // The title the workbook's sheet "标题" shows: the last one composed.
    void setComposedTitle(std::optional<TitleSheet> title) { composedTitle_ = std::move(title); }
    // The workbook's sheets after the table's: the roots and that title.
    RootSheets rootSheets() const;
    // The rows' changes since their previous snapshots, by keyword.
    TableChanges tableChanges() const;

    // Every index query of a row that gave figures, dated.
    const History& history() const { return history_; }
    // The related words the pages offered that the table does not hold (a
    // re-query with counts fills them).
    const std::vector<QString>& offeredWords() const { return offeredWords_; }
    void setOfferedWords(std::vector<QString> words);
    // Adds these offered words as rows; they are offered no more.
    void addOfferedWords(const QStringList& words);
    // What moved at the latest snapshots, for the panel and the command line.
    ChangeReport changeReport(const ChangeThresholds& thresholds = {}) const;

    // The whole session as a project or journal holds it.
    SessionSnapshot snapshot() const;
    // Replaces the lists, the runs' places and the settings; nothing goes.
    void applySnapshot(const SessionSnapshot& snapshot);

    // Saves the session as a project; the user's notice or message follows.
    NewFileResult saveProject(const QString& path, bool replaceExisting);
    // Opens a project in place of the session; false, with a message, when
    // it is refused (another window or command holding it among the reasons).
    bool openProject(const QString& path);
    QString projectPath() const { return projectPath_; }
    // The lists hold rows that no project file holds.
    bool unsaved() const;

    // At start: a session that did not end normally is offered back through
    // `restore` (true: take it), or, damaged, moved aside with a message;
    // then journalling begins.
    void recover(const std::function<bool()>& restore);
    // The session ends as the user wanted: the journal goes.
    void endNormally();

Q_SIGNALS:
    // A message for the user, with one OK button.
    void message(const QString& text);
    // The browser must show this page (a login the marketplace asks for).
    void pageToShow(const QString& address);
    // What the status line shows may have changed.
    void statusChanged();
    // The settings were replaced (a project or a recovered session).
    void settingsChanged();
    void projectPathChanged(const QString& path);
    // Snapshots were appended, or the history replaced (a project opened).
    void historyChanged();

private:
    class SettingBox;
    class Messages;
    class NoBrowser;

    bool refuseEditDuringRun();
    void setNotice(const QString& text);
    // The status line names the written file, with what it could not hold.
    void noteExport(const ExportOutcome& outcome, const QString& path);
    void noteState();
    SessionState currentState() const;
    void recordSnapshot(std::int64_t listRow);

    Settings settings_;
    RowList candidates_;
    RowList results_;
    History history_;
    std::vector<QString> offeredWords_;
    std::function<std::int64_t()> now_;
    ResultColumns columns_{results_};
    ResultOrder order_{columns_};
    IntervalTimer miningTimer_;
    IntervalTimer indexTimer_;
    StepGate gate_;
    std::unique_ptr<Messages> messages_;
    std::unique_ptr<NoBrowser> noBrowser_;
    std::unique_ptr<SettingBox> keywordBox_, includeBox_, excludeBox_, quantityBox_, intervalBox_;
    std::unique_ptr<PageView> pageView_;
    std::unique_ptr<FileArchive> archive_;
    std::unique_ptr<BackgroundFetch> background_;
    std::unique_ptr<MiningRun> mining_;
    std::unique_ptr<IndexRun> index_;
    std::unique_ptr<SessionJournal> journal_;
    std::unique_ptr<Segmenter> segmenter_;
    std::optional<TitleSheet> composedTitle_;
    SessionState journalled_;
    std::jthread workbookWriter_;
    bool workbookBusy_ = false;
    StatusScope statusScope_;
    QString projectPath_;
    bool lockProjects_ = false;
    std::unique_ptr<ProcessLock> projectLock_; // on projectPath_
    QString lastExportPath_;
    QString notice_;      // what the last edit did, until a run starts
    bool edited_ = false; // since the last save or open
};

} // namespace quilla
