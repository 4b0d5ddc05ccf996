#pragma once

// The result table's view: columns that sort on a header click, files
// dropped on it, its context menu. What the menu's actions do is the window's.

#include "app/growing_table_view.h"
#include "results/result_order.h"

#include <QTimer>

#include <vector>

class QMenu;

namespace quilla {

class ResultTableView final : public GrowingTableView {
    Q_OBJECT

public:
    explicit ResultTableView(QWidget* parent = nullptr);

    void setOrder(ResultOrder* order);
    ResultOrder* order() const { return order_; }

    // The list rows of the selected view rows, in view order.
    std::vector<std::int64_t> selectedListRows() const;

    // The sorted column's header, with its arrow, brought into view (a new
    // run keeps the sort; the seller sees by what).
    void showSortColumn();

    // The context menu: the window adds its actions.
    QMenu* menu() const { return menu_; }

Q_SIGNALS:
    // Text or CSV files dropped on the table.
    void filesDropped(const QStringList& paths);
    // The table's own keys, while it has the focus: Ctrl+V, Delete, Ctrl+C.
    void pasteRequested();
    void deleteRequested();
    void copyRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void sortBy(int column);
    void fitColumnsSoon();

    ResultOrder* order_ = nullptr;
    QMenu* menu_;
    // Fitting the columns reads the rows in view; once in a while is enough.
    QTimer fitTimer_;
};

// The local .txt and .csv files among dropped addresses.
QStringList keywordFilesIn(const QList<QUrl>& urls);

} // namespace quilla
