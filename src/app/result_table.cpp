#include "app/result_table.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>

namespace quilla {
namespace {

constexpr int fitDelayMs = 300;
constexpr int fitRows = 200;

} // namespace

QStringList keywordFilesIn(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
        if (suffix == u"txt" || suffix == u"csv")
            paths.append(url.toLocalFile());
    }
    return paths;
}

ResultTableView::ResultTableView(QWidget* parent)
    : GrowingTableView(parent), menu_(new QMenu(this)) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setItemDelegate(new GreyedRows(ResultColumns::greyedRole, this));
    horizontalHeader()->setResizeContentsPrecision(fitRows);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ResultTableView::sortBy);
    fitTimer_.setSingleShot(true);
    fitTimer_.setInterval(fitDelayMs);
    connect(&fitTimer_, &QTimer::timeout, this, [this] { resizeColumnsToContents(); });
}

void ResultTableView::setOrder(ResultOrder* order) {
    order_ = order;
    setModel(order);
    connect(order, &QAbstractItemModel::rowsInserted, this, &ResultTableView::fitColumnsSoon);
    connect(order, &QAbstractItemModel::dataChanged, this, &ResultTableView::fitColumnsSoon);
    connect(order, &QAbstractItemModel::modelReset, this, &ResultTableView::fitColumnsSoon);
    connect(order, &QAbstractItemModel::headerDataChanged, this, &ResultTableView::fitColumnsSoon);
    fitColumnsSoon();
}

void ResultTableView::fitColumnsSoon() {
    if (!fitTimer_.isActive())
        fitTimer_.start();
}

void ResultTableView::sortBy(int column) {
    if (!order_)
        return;
    order_->cycle(column);
    const auto sorting = order_->sorting();
    horizontalHeader()->setSortIndicatorShown(sorting.has_value());
    if (sorting)
        horizontalHeader()->setSortIndicator(sorting->first, sorting->second);
}

void ResultTableView::showSortColumn() {
    const auto sorting = order_ ? order_->sorting() : std::nullopt;
    if (!sorting)
        return;
    QHeaderView* header = horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(sorting->first, sorting->second);
    const int left = header->sectionViewportPosition(sorting->first);
    if (left >= 0 && left + header->sectionSize(sorting->first) <= viewport()->width())
        return;
    horizontalScrollBar()->setValue(horizontalScrollMode() == ScrollPerItem
                                        ? header->visualIndex(sorting->first)
                                        : header->sectionPosition(sorting->first));
}

std::vector<std::int64_t> ResultTableView::selectedListRows() const {
    std::vector<std::int64_t> rows;
    if (!order_)
        return rows;
    QModelIndexList selected = selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& at : selected)
        rows.push_back(order_->listRow(at.row()));
    return rows;
}

void ResultTableView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste))
        Q_EMIT pasteRequested();
    else if (event->matches(QKeySequence::Copy))
        Q_EMIT copyRequested();
    else if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Delete)
        Q_EMIT deleteRequested();
    else
        GrowingTableView::keyPressEvent(event);
}

void ResultTableView::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
}

void ResultTableView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !keywordFilesIn(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ResultTableView::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void ResultTableView::dropEvent(QDropEvent* event) {
    const QStringList paths = keywordFilesIn(event->mimeData()->urls());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT filesDropped(paths);
}

} // namespace quilla
