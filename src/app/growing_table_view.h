#pragma once

// A table view for lists that grow while a run goes on. Qt repaints the
// whole viewport whenever the row count changes; a step adds or takes a row
// or a few, mostly below what is in view, so here a layout after insertions
// and removals alone repaints only from the first row they moved down, and
// nothing when that row is out of view. Any other change lays out and
// repaints as Qt does. Its
// rows are read-only, one line each and selected whole; its scroll bars
// repaint only when they would look different.

#include <QPixmap>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>

#include <climits>
#include <functional>

namespace quilla {

// Draws grey the rows whose `role` is true, so that they do not pass for done.
class GreyedRows final : public QStyledItemDelegate {
public:
    GreyedRows(int role, QObject* parent) : QStyledItemDelegate(parent), role_(role) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(role_).toBool())
            option->palette.setColor(QPalette::Text,
                                     option->palette.color(QPalette::Disabled, QPalette::Text));
    }

private:
    int role_;
};

// A scroll bar whose range grows by a few rows at every step looks the same
// once the list is long (the handle stays at its least length, and at the
// end when the view follows), yet it is painted again at every layout of its
// view: while the mouse is away from it, it draws a picture of itself kept
// from the last time it looked that way.
class SteadyScrollBar final : public QScrollBar {
    Q_OBJECT

public:
    explicit SteadyScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // A new style may draw the same look otherwise.
    void changeEvent(QEvent* event) override;

private:
    struct Look {
        QSize size;
        QRect handle;
        int state = 0;
        bool atStart = false;
        bool atEnd = false;
        qint64 palette = 0;
        qreal pixelRatio = 1;
        bool operator==(const Look&) const = default;
    };

    Look look_;
    QPixmap picture_;
};

class GrowingTableView : public QTableView {
    Q_OBJECT

public:
    explicit GrowingTableView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;

    // Keeps the newest row in view while rows arrive, unless the user has
    // scrolled away from the end or `sorted` says they land elsewhere. One
    // scroll for all the rows a step adds: each scroll lays the list out again.
    void followNewRows(QAbstractItemModel& rows, std::function<bool()> sorted = {});

private:
    void watch(QAbstractItemModel* model);
    void layOutFully() { fullLayout_ = true; }

    bool fullLayout_ = true;
    int firstMoved_ = INT_MAX; // the first row an insertion or removal moved
};

} // namespace quilla
