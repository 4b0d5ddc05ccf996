#include "app/main_window.h"

#include "app/controls.h"
#include "app/status_line.h"
#include "app/web_browser.h"
#include "core/number_text.h"
#include "export/csv_export.h"
#include "mining/headers.h"

#include <QCloseEvent>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QWebEngineView>

// The icon lives in a static library, whose resources load only when asked.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quilla {

MainWindow::MainWindow(Shell& shell, std::shared_ptr<PageFetcher> fetcher, QWidget* parent)
    : QWidget(parent), shell_(shell) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(title());
    loadResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));
    setFixedSize(clientWidthTwips / twipsPerPixel, clientHeightTwips / twipsPerPixel);
    buildControls();

    keywordBox_ = std::make_unique<LineEditBox>(Text1_);
    includeBox_ = std::make_unique<LineEditBox>(Text2_);
    excludeBox_ = std::make_unique<LineEditBox>(Text3_);
    quantityBox_ = std::make_unique<LineEditBox>(Text4_);
    intervalBox_ = std::make_unique<LineEditBox>(Text5_);
    browser_ = std::make_unique<WebEngineBrowser>(WebBrowser1_);
    background_ = std::make_unique<BackgroundFetch>(fetcher);
    mining_ = std::make_unique<MiningRun>(
        List1_, List2_, Timer1_, *fetcher, messages_,
        MiningRun::Boxes{*keywordBox_, *includeBox_, *excludeBox_, *quantityBox_});
    index_ = std::make_unique<IndexRun>(List2_, Timer2_, *browser_, *intervalBox_, gate_);

    connectControls();
    Form_Load();
}

MainWindow::~MainWindow() {
    // The runs talk to the browser and the timers: stop them before either goes.
    Timer1_.setInterval(0);
    Timer2_.setInterval(0);
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
        w = new QLineEdit(QString::fromLatin1(spot.name), parent);
        break;
    case ControlKind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(false);
        w = button;
        break;
    }
    case ControlKind::List: {
        auto* list = new QListView(parent);
        list->setUniformItemSizes(true);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        w = list;
        break;
    }
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

    Text1_ = findChild<QLineEdit*>(QStringLiteral("Text1"));
    Text2_ = findChild<QLineEdit*>(QStringLiteral("Text2"));
    Text3_ = findChild<QLineEdit*>(QStringLiteral("Text3"));
    Text4_ = findChild<QLineEdit*>(QStringLiteral("Text4"));
    Text5_ = findChild<QLineEdit*>(QStringLiteral("Text5"));
    List1View_ = findChild<QListView*>(QStringLiteral("List1"));
    List2View_ = findChild<QListView*>(QStringLiteral("List2"));
    WebBrowser1_ = findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
    List1View_->setModel(&List1_);
    List2View_->setModel(&List2_);

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
    connect(button("Command1"), &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(button("Command2"), &QPushButton::clicked, this, &MainWindow::Command2_Click);
    connect(button("Command3"), &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(button("Command4"), &QPushButton::clicked, this, &MainWindow::Command4_Click);
    connect(button("Command5"), &QPushButton::clicked, this, &MainWindow::Command5_Click);
    connect(button("Command6"), &QPushButton::clicked, this, &MainWindow::Command6_Click);
    connect(&Timer1_, &IntervalTimer::ticked, this, &MainWindow::Timer1_Timer);
    connect(&Timer2_, &IntervalTimer::ticked, this, [this] { index_->timerFired(); });
    connect(browser_.get(), &WebEngineBrowser::newWindowRequested, this,
            [this] { gate_.run([this] { index_->WebBrowser1_NewWindow2(); }); });
    followNewRows(List1View_, List1_);
    followNewRows(List2View_, List2_);
    connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::refreshStatus);
    statusTimer_.start(250);
}

void MainWindow::Form_Load() {
    browser_->navigate(IndexRun::startAddress());
    findChild<QPushButton*>(QStringLiteral("Command1"))->setText(QStringLiteral("挖词"));
    List1_.append(Row{candidateHeader()});
    Text1_->setText(QStringLiteral("qq"));
    Text2_->setText(QString());
    Text3_->setText(QString());
    Text4_->setText(QStringLiteral("3"));
    Text5_->setText(QStringLiteral("6000"));
}

void MainWindow::Command1_Click() {
    gate_.run([this] {
        // The index run walks rows that a new mining start has just removed.
        if (mining_->Command1_Click())
            Timer2_.setInterval(0);
    });
}

void MainWindow::Command2_Click() {
    gate_.run([this] { index_->Command2_Click(); });
}

void MainWindow::Command3_Click() {
    gate_.run([this] {
        Timer1_.setInterval(0);
        Timer2_.setInterval(0);
    });
}

void MainWindow::Command4_Click() {
    gate_.run([this] {
        const auto outcome = exportTable(List2_, Text1_->text(), QDir::currentPath());
        messages_.show(exportMessage(outcome));
    });
}

void MainWindow::Command5_Click() {
    messages_.show(
        QStringLiteral("请把您需要功能和遇到的问题反馈给我们，如果必要可以截图，谢谢！"));
    openweb(shell_, links::contactLink());
}

void MainWindow::Command6_Click() {
    openweb(shell_, links::homePage());
}

void MainWindow::Timer1_Timer() {
    // A stopped timer delivers no tick, even one that fell due during a step.
    gate_.runOnce(QStringLiteral("mining-tick"), [this] {
        if (Timer1_.interval() > 0)
            startMiningStep();
    });
}

// The step's page arrives on another thread; until then the step holds the
// gate, so clicks made meanwhile take effect after it, as one thread would.
void MainWindow::startMiningStep() {
    const auto address = mining_->stepAddress();
    if (!address)
        return;
    fetching_ = true;
    gate_.begin();
    background_->fetch(*address, [this](const QString& page) {
        mining_->finishStep(page);
        fetching_ = false;
        refreshStatus();
        gate_.end();
    });
}

QString MainWindow::statusText() const {
    const IndexProgress index = index_->progress();
    const std::int64_t currentWait = Timer2_.isActive() ? Timer2_.remainingTime() : 0;
    const auto interval = numberFromText(Text5_->text()).value_or(0);
    return statusLine(miningStatus(mining_->progress()),
                      indexStatus(index, indexTimeLeft(index, currentWait, interval)));
}

void MainWindow::refreshStatus() {
    const QString text = statusText();
    if (status_->text() != text)
        status_->setText(text);
}

// Keeps the newest row in view while rows arrive, unless the user has
// scrolled away from the end. One scroll for all the rows a step adds: each
// scroll lays the whole list out again.
void MainWindow::followNewRows(QListView* view, RowList& rows) {
    struct Follow {
        bool atEnd = true;
        bool scrollPending = false;
    };
    auto follow = std::make_shared<Follow>();
    connect(&rows, &QAbstractItemModel::rowsAboutToBeInserted, view, [view, follow] {
        const QScrollBar* bar = view->verticalScrollBar();
        follow->atEnd = follow->scrollPending || bar->value() == bar->maximum();
    });
    connect(&rows, &QAbstractItemModel::rowsInserted, view, [view, follow] {
        if (!follow->atEnd || follow->scrollPending)
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

void MainWindow::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void MainWindow::Form_Unload() {
    openweb(shell_, links::promotionLink());
}

} // namespace quilla
