#pragma once

// "图表": demand against supply of the indexed keywords, the scarce ones
// listed beside, and the trend of the selected keyword. It follows the
// result table as it changes, a few times a second at most.

#include "core/row_list.h"
#include "history/history.h"
#include "results/demand_supply.h"

#include <QTimer>
#include <QWidget>

class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QMenu;
class QScatterSeries;

namespace quilla {

class GrowingTableView;
class PointCloud;
class ScarceKeywordsModel;

// A figure on an axis as sellers read it: whole, grouped by thousands, and
// counted in 万 or 亿 once large ("12,345", "120万", "1.5亿").
QString axisFigure(double value);

class ChartWindow final : public QWidget {
    Q_OBJECT

public:
    explicit ChartWindow(const RowList& results, QWidget* parent = nullptr);

    // Shows this row's series in the trend chart.
    void showTrendOf(std::int64_t listRow);
    // The snapshots whose item counts the trend shows on an axis of their
    // own; it must outlive the window. Call historyChanged() when it grows.
    void setHistory(const History* history);
    void historyChanged();
    std::int64_t trendRow() const { return trendRow_; }

    // What is drawn now, and where a point of it is, in the demand chart's
    // coordinates.
    const DemandSupply& drawn() const { return drawn_; }
    QPointF drawnAt(const DemandPoint& point) const;

    // The whole window as a picture, for "保存图片".
    bool savePicture(const QString& path);

Q_SIGNALS:
    // A point or a listed keyword was clicked: the table should select it.
    void rowChosen(std::int64_t listRow);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Hovering over and clicking the points of the demand chart.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildDemandChart();
    void buildTrendChart();
    void redrawSoon();
    void readAgain(std::int64_t from, std::int64_t to);
    void redraw();
    // A row whose reading changed, and its point before.
    struct Change {
        std::int64_t row;
        std::optional<DemandPoint> was;
    };
    std::vector<Change> readRows(std::int64_t from, std::int64_t to, bool whole,
                                 std::vector<QPointF>& touched);
    std::vector<DemandPoint> scarceAfresh() const;
    void changeScarce(const std::vector<Change>& changed, double medianCount, double medianSearch,
                      std::vector<QPointF>& touched);
    void drawQuarter();
    void placePoints();
    void drawTrend();
    const DemandPoint* pointAt(const QPoint& viewportPosition) const;

    const RowList& results_;
    // Each list row as last read, so that a tick reads only the row it wrote.
    std::vector<DemandReading> readings_;
    std::vector<QPointF> logs_; // the logarithms of each point's figures
    bool readAll_ = true;
    std::int64_t staleFrom_ = 0, staleTo_ = -1;
    DemandSupply drawn_;
    // The figures of the points drawn with their rows, in ascending order,
    // for the medians and the rows near them.
    std::vector<std::pair<double, std::int64_t>> counts_, searches_;
    double x0_ = 1, x1_ = 10, y0_ = 1, y1_ = 10; // the axes' ranges
    QPoint quarterPixel_{-1, -1};                // the quarter's corner as drawn, in pixels
    std::int64_t trendRow_ = 0;
    std::shared_ptr<const TrendSeries> trendSeries_; // what the trend chart shows
    QString trendKeyword_;
    const History* history_ = nullptr;
    QTimer redrawTimer_;
    bool redrawWhenShown_ = false;

    QChartView* demandView_ = nullptr;
    // Only for the legend and the axes: the points are the cloud's.
    QScatterSeries* points_ = nullptr;
    QScatterSeries* scarcePoints_ = nullptr;
    PointCloud* cloud_ = nullptr;
    QAreaSeries* quarter_ = nullptr;
    QLineSeries* quarterTop_ = nullptr;
    QLineSeries* quarterBottom_ = nullptr;
    // The log axes place the points; these, over the same decades, label them.
    QCategoryAxis* xLabels_ = nullptr;
    QCategoryAxis* yLabels_ = nullptr;
    QLabel* note_ = nullptr;
    GrowingTableView* scarceList_ = nullptr;
    ScarceKeywordsModel* scarceModel_ = nullptr;
    QChartView* trendView_ = nullptr;
    QMenu* menu_ = nullptr;
};

} // namespace quilla
