// The chart window over the real window's result table: it opens with
// Ctrl+G, follows the table as it changes, and chooses rows both ways.

#include "app/chart_window.h"
#include "app/main_window.h"
#include "app/point_cloud.h"

#include "core/list_headers.h"
#include "session/session_state.h"
#include "support/fake_fetcher.h"
#include "support/fake_opener.h"
#include "support/qstring_print.h"
#include "support/screen_grab.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLineSeries>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include "support/wait.h"
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace quilla {
namespace {

using namespace Qt::StringLiterals;
using test::onScreen;
using test::painted;
using test::u8;

Row indexed(const QString& keyword, int count, int search) {
    auto series = std::make_shared<TrendSeries>();
    series->search = SeriesValues({search / 2.0, std::nullopt, double(search)});
    series->trade = SeriesValues({1, 2, 3});
    series->endDate = QDate(2024, 5, 31);
    return Row{{keyword, QString::number(count), QString::number(search), u"1"_s, u"2"_s, u"3"_s,
                u"+1%"_s, u"-1%"_s, u"+2%"_s, u"-2%"_s, u8("上升")},
               series};
}

class ChartWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        RowList& rows = window.workbench().results();
        rows.append(Row{resultHeader()});
        rows.append(indexed(u"a"_s, 100, 9000));
        rows.append(indexed(u"b"_s, 50000, 10));
        rows.append(indexed(u"c"_s, 1000, 1000));
    }
    QTableView* table() { return window.findChild<QTableView*>(u"resultTable"_s); }

    test::FakeOpener shell;
    MainWindow window{shell, std::make_shared<test::FakePageFetcher>()};
};

TEST_F(ChartWindowTest, OpensWithCtrlGAndFollowsTheTable) {
    QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
    ChartWindow* chart = window.chartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(chart->drawn().points.size(), 3u);
    ASSERT_EQ(chart->drawn().scarce.size(), 1u);
    EXPECT_EQ(chart->drawn().scarce[0].keyword, u"a"_s);

    // An index run rewriting a row and a mining run adding one.
    window.workbench().results().setRow(2, indexed(u"b"_s, 10, 20000));
    window.workbench().results().append(indexed(u"d"_s, 5, 30000));
    ASSERT_EVENTUALLY((chart->drawn().points.size()) == (4u), 5000);
    auto* list = chart->findChild<QTableView*>(u"scarceList"_s);
    ASSERT_EVENTUALLY((list->model()->rowCount()) == (int(chart->drawn().scarce.size())), 5000);
    EXPECT_EQ(chart->drawn().scarce[0].keyword, u"d"_s); // 6,000,000 per thousand first

    // Closed, it draws nothing; opened again, it shows the table as it is.
    chart->close();
    window.workbench().results().append(indexed(u"e"_s, 2, 40000));
    QTest::qWait(400);
    EXPECT_EQ(chart->drawn().points.size(), 4u);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
    ASSERT_EVENTUALLY((chart->drawn().points.size()) == (5u), 5000);
    EXPECT_EQ(chart->drawn().scarce[0].keyword, u"e"_s);
}

TEST_F(ChartWindowTest, ChoosingAKeywordSelectsItsRowAndSelectingARowShowsItsTrend) {
    ChartWindow& chart = window.openChartWindow();
    auto* list = chart.findChild<QTableView*>(u"scarceList"_s);
    ASSERT_EQ(list->model()->rowCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    ASSERT_TRUE(table()->currentIndex().isValid());
    EXPECT_EQ(window.workbench().order().listRow(table()->currentIndex().row()), 1);
    EXPECT_EQ(chart.trendRow(), 1);

    window.selectListRow(3);
    EXPECT_EQ(chart.trendRow(), 3);
    // With the view sorted, rows are still found by their place in the list.
    window.workbench().order().sort(2, Qt::AscendingOrder);
    window.selectListRow(1);
    EXPECT_EQ(chart.trendRow(), 1);
    EXPECT_EQ(table()->model()->index(table()->currentIndex().row(), 0).data().toString(), u"a"_s);
}

// The points are drawn where the chart's own axes put their figures, and a
// click on one chooses its row.
TEST_F(ChartWindowTest, PointsSitOnTheAxesAndAClickChoosesOne) {
    ChartWindow& chart = window.openChartWindow();
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    auto* view = chart.findChild<QChartView*>(u"demandChart"_s);
    QAbstractSeries* axesOwner = view->chart()->series().value(1); // "关键词"
    ASSERT_NE(qobject_cast<QScatterSeries*>(axesOwner), nullptr);
    ASSERT_EQ(chart.drawn().points.size(), 3u);
    for (const DemandPoint& p : chart.drawn().points) {
        const QPointF expected = view->chart()->mapToPosition({p.count, p.search}, axesOwner);
        const QPointF drawn = chart.drawnAt(p);
        EXPECT_NEAR(drawn.x(), expected.x(), 0.5) << p.keyword.toStdString();
        EXPECT_NEAR(drawn.y(), expected.y(), 0.5) << p.keyword.toStdString();
    }
    const DemandPoint& c = chart.drawn().points[2];
    ASSERT_EQ(c.keyword, u"c"_s);
    const QPoint at = view->mapFromScene(view->chart()->mapToScene(chart.drawnAt(c)));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at + QPoint(2, -1));
    EXPECT_EQ(chart.trendRow(), 3);
    ASSERT_TRUE(table()->currentIndex().isValid());
    EXPECT_EQ(window.workbench().order().listRow(table()->currentIndex().row()), 3);
    // Far from every point a click chooses nothing.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(chart.trendRow(), 3);
}

// What a redraw keeps up to date row by row (the points, medians and
// scarce list, and the picture mended where points changed) is what reading
// and painting everything again gives, after every kind of change.
TEST_F(ChartWindowTest, ARedrawRowByRowDrawsWhatOneFromNothingWould) {
    RowList& rows = window.workbench().results();
    rows.clear();
    rows.append(Row{resultHeader()});
    for (int i = 1; i <= 300; ++i)
        rows.append(indexed(u"k"_s + QString::number(i), 1 + i * 7919 % 9973, 1 + i * 31 % 2000));
    ChartWindow& chart = window.openChartWindow();
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    auto* view = chart.findChild<QChartView*>(u"demandChart"_s);
    auto* scarce = chart.findChild<QTableView*>(u"scarceList"_s);
    PointCloud* cloud = nullptr;
    for (QGraphicsItem* item : view->chart()->childItems())
        if (auto* c = dynamic_cast<PointCloud*>(item))
            cloud = c;
    ASSERT_NE(cloud, nullptr);
    const auto rowsOf = [](const std::vector<DemandPoint>& points) {
        std::vector<std::tuple<std::int64_t, double, double>> out;
        for (const DemandPoint& p : points)
            out.emplace_back(p.listRow, p.count, p.search);
        return out;
    };
    const auto asRead = [&] {
        const DemandSupply now = demandSupplyOf(rows);
        const DemandSupply& drawn = chart.drawn();
        return rowsOf(drawn.points) == rowsOf(now.points) &&
               rowsOf(drawn.scarce) == rowsOf(now.scarce) && drawn.leftOut == now.leftOut &&
               drawn.medianCount == now.medianCount && drawn.medianSearch == now.medianSearch;
    };
    const auto k = [](int i) -> QString { return u"k"_s + QString::number(i); };
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"a point moves a little", [&] { rows.setRow(50, indexed(k(50), 500, 700)); }},
        {"a point far from the medians moves", [&] { rows.setRow(7, indexed(k(7), 20, 1990)); }},
        {"a point leaves: no search index", [&] { rows.setRow(60, indexed(k(60), 500, 0)); }},
        {"it comes back scarce", [&] { rows.setRow(60, indexed(k(60), 30, 1900)); }},
        {"it moves within the scarce quarter", [&] { rows.setRow(60, indexed(k(60), 25, 1950)); }},
        {"a point crosses both medians", [&] { rows.setRow(90, indexed(k(90), 9000, 3)); }},
        {"two rows at once",
         [&] {
             rows.setRow(91, indexed(k(91), 40, 1500));
             rows.setRow(92, indexed(k(92), 41, 1501));
         }},
        {"a row not indexed yet comes",
         [&] {
             rows.append(Row{{u"new"_s, u"5"_s}});
         }},
        {"it is indexed", [&] { rows.setRow(301, indexed(u"new"_s, 5, 1700)); }},
        {"a row beyond the axes", [&] { rows.setRow(10, indexed(k(10), 5000000, 5)); }},
        {"three points on the median count",
         [&] {
             const auto m = static_cast<int>(std::lround(demandSupplyOf(rows).medianCount));
             for (int r : {200, 201, 202})
                 rows.setRow(r, indexed(k(r), m, 1999));
         }},
        {"the median count moves past them",
         [&] {
             const DemandSupply now = demandSupplyOf(rows);
             int moved = 0;
             for (const DemandPoint& p : now.points)
                 if (p.count < now.medianCount && p.listRow < 200 && moved++ < 3)
                     rows.setRow(p.listRow, indexed(p.keyword, 9000, 5));
         }},
        {"a row removed", [&] { rows.remove({20}); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        ASSERT_EVENTUALLY(asRead(), 5000);
        const qreal ratio = chart.devicePixelRatioF();
        EXPECT_TRUE(cloud->picture(ratio) == cloud->paintedAfresh(ratio));
        // And the view on screen, repainted only where the cloud said, is
        // what painting it all gives.
        QTest::qWait(30);
        EXPECT_TRUE(onScreen(*view->viewport()) == painted(*view->viewport()));
        // The list beside it, told only the rows that went, came or changed.
        QStringList listed;
        for (const DemandPoint& p : chart.drawn().scarce)
            listed.append(p.keyword);
        QStringList shown;
        for (int row = 0; row < scarce->model()->rowCount(); ++row)
            shown.append(scarce->model()->index(row, 0).data().toString().section(u"　"_s, 0, 0));
        EXPECT_EQ(shown, listed);
        EXPECT_TRUE(onScreen(*scarce->viewport()) == painted(*scarce->viewport()));
    }
}

// Every text a chart shows: titles, axis labels, legend.
QStringList textsOf(const QChartView& view) {
    QStringList texts;
    for (QGraphicsItem* item : view.scene()->items()) {
        if (!item->isVisible())
            continue;
        if (const auto* text = dynamic_cast<QGraphicsTextItem*>(item))
            texts.append(text->toPlainText());
        else if (const auto* simple = dynamic_cast<QGraphicsSimpleTextItem*>(item))
            texts.append(simple->text());
    }
    return texts;
}

// Axes read as sellers read figures: whole, grouped by thousands, in 万 or
// 亿 once large; never "1e+06" or "677.213".
TEST_F(ChartWindowTest, AxesShowWholeFiguresAsSellersReadThem) {
    const std::vector<std::pair<double, const char*>> labels = {
        {0, "0"},
        {-0.3, "0"},
        {1, "1"},
        {677.213, "677"},
        {1000, "1,000"},
        {12345, "12,345"},
        {99999, "99,999"},
        {99999.6, "10万"},
        {100000, "10万"},
        {125000, "12.5万"},
        {1e6, "100万"},
        {1.2e6, "120万"},
        {12345678, "1,234.6万"},
        {99999999, "1亿"},
        {1e8, "1亿"},
        {1.5e8, "1.5亿"},
        {1.234e12, "12,340亿"},
        {-20000, "-20,000"},
        {std::numeric_limits<double>::infinity(), ""},
        {std::nan(""), ""},
    };
    for (const auto& [value, label] : labels)
        EXPECT_EQ(axisFigure(value), QString::fromUtf8(label)) << value;

    // The window itself: counts up to 1,200,000 on a log axis, and a trend
    // whose top is no round number.
    RowList& rows = window.workbench().results();
    rows.setRow(2, indexed(u"b"_s, 1200000, 10));
    rows.setRow(1, indexed(u"a"_s, 100, 6450));
    ChartWindow& chart = window.openChartWindow();
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.showTrendOf(1);
    auto* demand = chart.findChild<QChartView*>(u"demandChart"_s);
    auto* trend = chart.findChild<QChartView*>(u"trendChart"_s);
    ASSERT_EVENTUALLY((chart.drawn().points.size()) == (3u), 5000);
    QTest::qWait(50);
    const QStringList demandTexts = textsOf(*demand), trendTexts = textsOf(*trend);
    for (const char* decade : {"100", "1,000", "10,000", "10万", "100万", "1,000万"})
        EXPECT_TRUE(demandTexts.contains(QString::fromUtf8(decade))) << decade;
    EXPECT_TRUE(trendTexts.contains(u"0"_s));
    EXPECT_TRUE(trendTexts.contains(u"6,000"_s));
    const QRegularExpression unread(u"e[+-]|\\d\\.\\d"_s);
    for (const QString& text : demandTexts + trendTexts)
        EXPECT_FALSE(text.contains(unread)) << text.toStdString();
}

// The tip of a point stays while the mouse rests on it, and goes when the
// mouse leaves it.
TEST_F(ChartWindowTest, APointsTipStaysWhileTheMouseRestsOnIt) {
    ChartWindow& chart = window.openChartWindow();
    chart.move(window.frameGeometry().topRight() + QPoint(50, 0));
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    auto* view = chart.findChild<QChartView*>(u"demandChart"_s);
    const DemandPoint& c = chart.drawn().points[2];
    ASSERT_EQ(c.keyword, u"c"_s);
    const QPoint at = view->mapFromScene(view->chart()->mapToScene(chart.drawnAt(c)));
    QTest::mouseMove(view->viewport(), at + QPoint(1, 1));
    ASSERT_EVENTUALLY(QToolTip::isVisible(), 2000);
    EXPECT_TRUE(QToolTip::text().startsWith(u"c\n"_s)) << QToolTip::text().toStdString();
    // Resting well past the moment the view looks for a tip of its own.
    EXPECT_FALSE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2500));
    QTest::mouseMove(view->viewport(), QPoint(3, 3));
    ASSERT_EVENTUALLY(!QToolTip::isVisible(), 2000);
}

// The trend shows the item counts of the keyword's snapshots as a line of
// its own, on its own axis at the right, on the series' days.
TEST_F(ChartWindowTest, TheTrendShowsTheItemCountOfEachSnapshotOnItsOwnAxis) {
    SessionSnapshot session = window.workbench().snapshot();
    const auto at = [](int day) {
        return QDateTime(QDate(2024, 5, day), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    };
    for (const auto& [day, keyword, items] :
         {std::tuple{29, u"c"_s, 800}, std::tuple{30, u"b"_s, 9}, std::tuple{30, u"c"_s, 900},
          std::tuple{31, u"c"_s, 1000}})
        session.history.append(*makeSnapshot(at(day), keyword, items, {}, QDate(2024, 5, day - 1)));
    window.workbench().applySnapshot(session);
    ChartWindow& chart = window.openChartWindow();
    chart.showTrendOf(3);
    QChart* trend = chart.findChild<QChartView*>(u"trendChart"_s)->chart();
    QLineSeries* items = nullptr;
    for (QAbstractSeries* series : trend->series())
        if (series->name() == u8("宝贝数"))
            items = qobject_cast<QLineSeries*>(series);
    ASSERT_NE(items, nullptr);
    QList<QPointF> expected;
    for (int day : {28, 29, 30})
        expected.append(QPointF(double(QDate(2024, 5, day).startOfDay(Qt::UTC).toMSecsSinceEpoch()),
                                (day - 20) * 100));
    EXPECT_EQ(items->points(), expected);
    const auto axes = trend->axes(Qt::Vertical, items);
    ASSERT_EQ(axes.size(), 1);
    EXPECT_EQ(axes.first()->alignment(), Qt::AlignRight);
    EXPECT_EQ(axes.first()->titleText(), u8("宝贝数"));
    EXPECT_EQ(trend->axes(Qt::Vertical).size(), 2);

    // A keyword without snapshots shows its series alone.
    chart.showTrendOf(1);
    EXPECT_EQ(trend->series().size(), 2);
    EXPECT_EQ(trend->axes(Qt::Vertical).size(), 1);
}

TEST_F(ChartWindowTest, SavesItsPictureOrSaysItCouldNot) {
    ChartWindow& chart = window.openChartWindow();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(u"图表.png"_s);
    ASSERT_TRUE(chart.savePicture(path));
    const QImage picture(path);
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), chart.size() * chart.devicePixelRatio());
    EXPECT_FALSE(chart.savePicture(folder.filePath(u"absent/图表.png"_s)));
}

} // namespace
} // namespace quilla
