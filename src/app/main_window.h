#pragma once

// The one window: five boxes, six buttons, the two lists, the embedded
// browser and the two timers that carry the runs.

#include "app/widget_ports.h"
#include "core/interval_timer.h"
#include "core/row_list.h"
#include "core/step_gate.h"
#include "index/index_run.h"
#include "links/links.h"
#include "net/background_fetch.h"
#include "mining/mining_run.h"
#include "net/page_fetch.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QWebEngineView;

namespace quilla {

class WebEngineBrowser;

class MainWindow final : public QWidget {
    Q_OBJECT

public:
    // The fetcher is shared with the thread a fetch runs on, which may
    // outlive the window when it is closed during a fetch.
    MainWindow(Shell& shell, std::shared_ptr<PageFetcher> fetcher, QWidget* parent = nullptr);
    ~MainWindow() override;

    static QString title() { return QStringLiteral("Quilla淘宝指数批量查询工具 v1.0  by:tarnick"); }

    std::int32_t minerow() const { return mining_->minerow(); }
    std::int32_t indexrow() const { return index_->indexrow(); }
    std::int32_t querycount() const { return index_->querycount(); }

    RowList& candidates() { return List1_; }
    RowList& results() { return List2_; }
    IntervalTimer& miningTimer() { return Timer1_; }
    IntervalTimer& indexTimer() { return Timer2_; }

    // True while a mining step waits for its page.
    bool fetching() const { return fetching_; }
    QString statusText() const;

    // The button handlers; a click that arrives while a step waits for the
    // browser runs after that step.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void Form_Load();
    void Form_Unload();
    void Timer1_Timer();
    void startMiningStep();
    void refreshStatus();
    void followNewRows(QListView* view, RowList& rows);

    Shell& shell_;
    RowList List1_;
    RowList List2_;
    IntervalTimer Timer1_;
    IntervalTimer Timer2_;
    StepGate gate_;
    QTimer statusTimer_;
    bool fetching_ = false;
    WindowMessageBox messages_{this};

    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QLineEdit* Text3_ = nullptr;
    QLineEdit* Text4_ = nullptr;
    QLineEdit* Text5_ = nullptr;
    QListView* List1View_ = nullptr;
    QListView* List2View_ = nullptr;
    QWebEngineView* WebBrowser1_ = nullptr;
    QLabel* status_ = nullptr;

    std::unique_ptr<LineEditBox> keywordBox_, includeBox_, excludeBox_, quantityBox_, intervalBox_;
    std::unique_ptr<WebEngineBrowser> browser_;
    std::unique_ptr<BackgroundFetch> background_;
    std::unique_ptr<MiningRun> mining_;
    std::unique_ptr<IndexRun> index_;
};

} // namespace quilla
