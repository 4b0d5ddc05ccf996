// Views that repaint only what a growth of their list changed: after every
// step the screen must show exactly what a fresh paint of the view shows.

#include "app/keyword_list_view.h"

#include "core/row_list.h"
#include "support/screen_grab.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace quilla {
namespace {

using test::onScreen;
using test::painted;

// Whether the view on screen (the window's backing store) equals a fresh
// paint of it, its scroll bars compared with plain ones in the same place.
bool showsAFreshPaint(QAbstractScrollArea& view) {
    // The layout a step left pending, and the paint, which the window takes
    // at its next frame.
    QTest::qWait(30);
    if (onScreen(view) != painted(view))
        return false;
    for (QScrollBar* bar : {view.horizontalScrollBar(), view.verticalScrollBar()}) {
        if (!bar->isVisible())
            continue;
        QScrollBar plain(bar->orientation());
        plain.setRange(bar->minimum(), bar->maximum());
        plain.setPageStep(bar->pageStep());
        plain.setValue(bar->value());
        plain.resize(bar->size());
        if (onScreen(*bar) != painted(plain))
            return false;
    }
    return true;
}

// The first step after which the screen and a fresh paint differ, or -1.
int firstStaleStep(QAbstractScrollArea& view, int steps, const std::function<void(int)>& step) {
    for (int i = 0; i < steps; ++i) {
        step(i);
        if (!showsAFreshPaint(view))
            return i;
    }
    return -1;
}

struct Growth {
    const char* what;
    int startRows;
    int rowsPerStep;
    int removedPerStep; // rows taken from scattered places, or from the end when following
    bool sorted;        // rows land at their sorted place, anywhere in the list
    bool follow;        // the view scrolls to the end after each step, as a run's lists do
    int scrolledTo;     // the row at the top of the view before the steps
};

class GrowingTableViewTest : public ::testing::TestWithParam<Growth> {};

TEST_P(GrowingTableViewTest, ScreenShowsWhatAFreshPaintShows) {
    const Growth& g = GetParam();
    QStandardItemModel rows(0, 3);
    int serial = 0;
    const auto append = [&] {
        ++serial;
        // Keys that scatter new rows over the whole sorted order.
        const int key = serial * 7919 % 1000;
        QList<QStandardItem*> cells{new QStandardItem(QStringLiteral("关键词%1").arg(serial)),
                                    new QStandardItem(QString::number(key)),
                                    new QStandardItem(QStringLiteral("+%1%").arg(serial % 90))};
        cells[1]->setData(key, Qt::UserRole);
        rows.appendRow(cells);
    };
    for (int i = 0; i < g.startRows; ++i)
        append();
    QSortFilterProxyModel order;
    order.setSourceModel(&rows);
    order.setSortRole(Qt::UserRole);
    order.setDynamicSortFilter(true);
    if (g.sorted)
        order.sort(1, Qt::DescendingOrder);

    QWidget window;
    GrowingTableView view(&window);
    view.setGeometry(10, 10, 260, 160);
    view.setModel(&order);
    view.horizontalHeader()->resizeSection(0, 150); // wider than the view: both scroll bars
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    view.scrollTo(order.index(g.scrolledTo, 0), QAbstractItemView::PositionAtTop);

    EXPECT_EQ(firstStaleStep(view, 15,
                             [&](int) {
                                 for (int i = 0; i < g.rowsPerStep; ++i)
                                     append();
                                 for (int i = 0; i < g.removedPerStep && rows.rowCount(); ++i)
                                     rows.removeRow(g.follow ? rows.rowCount() - 1
                                                             : serial * 31 % rows.rowCount());
                                 if (g.follow)
                                     view.scrollToBottom();
                             }),
              -1)
        << g.what;
}

INSTANTIATE_TEST_SUITE_P(
    Growths, GrowingTableViewTest,
    ::testing::Values(
        Growth{"an empty table filling up", 0, 1, 0, false, false, 0},
        Growth{"a full table followed at its end", 30, 1, 0, false, true, 0},
        Growth{"many rows a step, followed", 30, 14, 0, false, true, 0},
        Growth{"the top of a long table, rows below", 200, 3, 0, false, false, 0},
        Growth{"sorted, rows above, in and below the view", 200, 2, 0, true, false, 60},
        Growth{"sorted, at the top", 5, 1, 0, true, false, 0},
        Growth{"sorted, rows coming and going everywhere", 200, 1, 1, true, false, 60},
        Growth{"a short list losing rows", 6, 0, 1, true, false, 0},
        Growth{"a short list losing its last rows, followed", 6, 0, 1, false, true, 0}),
    [](const auto& info) { return std::to_string(info.index); });

// The candidate list scrolls sideways to show a long row whole, and narrows
// again when that row goes; the screen follows it all.
TEST(KeywordListViewTest, IsAsWideAsItsWidestRow) {
    RowList list;
    list.append(Row{{QStringLiteral("已挖")}});
    QWidget window;
    KeywordListView view(&window);
    view.setGeometry(10, 10, 113, 148);
    view.setModel(&list);
    window.resize(140, 180);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const int narrow = view.columnWidth(0);
    EXPECT_EQ(narrow, view.viewport()->width());

    const QString longRow = QStringLiteral("一个很长很长很长很长的关键词,123");
    const int stale = firstStaleStep(view, 12, [&](int i) {
        list.append(Row{{QStringLiteral("词%1").arg(i)}});
        if (i == 5)
            list.setRow(3, Row{longRow.split(u',')});
        view.scrollToBottom();
    });
    EXPECT_EQ(stale, -1);
    EXPECT_GE(view.columnWidth(0), view.fontMetrics().horizontalAdvance(longRow));
    EXPECT_TRUE(view.horizontalScrollBar()->isVisible());

    list.remove({3});
    EXPECT_EQ(view.columnWidth(0), view.viewport()->width());
    EXPECT_TRUE(showsAFreshPaint(view));
}

} // namespace
} // namespace quilla
