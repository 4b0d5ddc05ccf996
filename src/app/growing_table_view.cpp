#include "app/growing_table_view.h"

#include <QScrollBar>

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>

namespace quilla {

SteadyScrollBar::SteadyScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

void SteadyScrollBar::paintEvent(QPaintEvent* event) {
    if (underMouse() || isSliderDown()) {
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    const Look now{
        size(),
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        static_cast<int>(option.state),
        value() == minimum(),
        value() == maximum(),
        palette().cacheKey(),
        devicePixelRatio()};
    if (picture_.isNull() || !(now == look_)) {
        picture_ = QPixmap(size() * now.pixelRatio);
        picture_.setDevicePixelRatio(now.pixelRatio);
        picture_.fill(Qt::transparent);
        QPainter painter(&picture_);
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
        look_ = now;
    }
    QPainter(this).drawPixmap(0, 0, picture_);
}

void SteadyScrollBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange)
        picture_ = QPixmap();
    QScrollBar::changeEvent(event);
}

GrowingTableView::GrowingTableView(QWidget* parent) : QTableView(parent) {
    setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new SteadyScrollBar(Qt::Horizontal, this));
    // Read-only rows of one line each, chosen whole.
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // By pixels, so that a longer list leaves the rows in view where they are.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void GrowingTableView::setModel(QAbstractItemModel* model) {
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QTableView::setModel(model);
    fullLayout_ = true;
    if (model)
        watch(model);
}

void GrowingTableView::watch(QAbstractItemModel* model) {
    const auto moved = [this](const QModelIndex& parent, int first, int) {
        if (!parent.isValid())
            firstMoved_ = std::min(firstMoved_, first);
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, moved);
    connect(model, &QAbstractItemModel::rowsRemoved, this, moved);
    connect(model, &QAbstractItemModel::rowsMoved, this, &GrowingTableView::layOutFully);
    connect(model, &QAbstractItemModel::columnsInserted, this, &GrowingTableView::layOutFully);
    connect(model, &QAbstractItemModel::columnsRemoved, this, &GrowingTableView::layOutFully);
    connect(model, &QAbstractItemModel::columnsMoved, this, &GrowingTableView::layOutFully);
    connect(model, &QAbstractItemModel::modelReset, this, &GrowingTableView::layOutFully);
    connect(model, &QAbstractItemModel::layoutChanged, this, &GrowingTableView::layOutFully);
}

void GrowingTableView::doItemsLayout() {
    const bool onlyMoved = !fullLayout_ && firstMoved_ != INT_MAX;
    const int first = firstMoved_;
    fullLayout_ = false;
    firstMoved_ = INT_MAX;
    if (!onlyMoved) {
        QTableView::doItemsLayout();
        return;
    }
    // The rows above the first moved one stay where they were, unless the
    // new scroll range moved what is in view. Rows taken from the end leave
    // blank from where the last row now ends.
    const QPoint offset(horizontalOffset(), verticalOffset());
    updateGeometries();
    const bool scrolled = offset != QPoint(horizontalOffset(), verticalOffset());
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    int top = 0;
    if (!scrolled && first < rows)
        top = std::max(0, rowViewportPosition(first));
    else if (!scrolled && rows > 0)
        top = std::max(0, rowViewportPosition(rows - 1) + rowHeight(rows - 1));
    const QRect area = viewport()->rect();
    if (top < area.height())
        viewport()->update(area.adjusted(0, top, 0, 0));
}

void GrowingTableView::followNewRows(QAbstractItemModel& rows, std::function<bool()> sorted) {
    QAbstractItemView* view = this;
    struct Follow {
        bool atEnd = true;
        bool scrollPending = false;
    };
    auto follow = std::make_shared<Follow>();
    connect(&rows, &QAbstractItemModel::rowsAboutToBeInserted, view, [view, follow] {
        const QScrollBar* bar = view->verticalScrollBar();
        follow->atEnd = follow->scrollPending || bar->value() == bar->maximum();
    });
    connect(&rows, &QAbstractItemModel::rowsInserted, view, [view, follow, sorted] {
        if (!follow->atEnd || follow->scrollPending || (sorted && sorted()))
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

} // namespace quilla
