#pragma once

// "图表": demand against supply of the indexed keywords, the scarce ones
// listed beside, and the trend of the selected keyword. It follows the
// result table as it changes, a few times a second at most.

#include "core/row_list.h"
#include "results/demand_supply.h"

#include <QTimer>
#include <QWidget>

class QAreaSeries;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QListWidget;
class QMenu;
class QScatterSeries;

namespace quilla {

class ChartWindow final : public QWidget {
    Q_OBJECT

public:
    explicit ChartWindow(const RowList& results, QWidget* parent = nullptr);

    // Shows this row's series in the trend chart.
    void showTrendOf(std::int64_t listRow);
    std::int64_t trendRow() const { return trendRow_; }

    // What is drawn now.
    const DemandSupply& drawn() const { return drawn_; }

    // The whole window as a picture, for "保存图片".
    bool savePicture(const QString& path);

Q_SIGNALS:
    // A point or a listed keyword was clicked: the table should select it.
    void rowChosen(std::int64_t listRow);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildDemandChart();
    void buildTrendChart();
    void redrawSoon();
    void redraw();
    void drawTrend();
    const DemandPoint* nearestPoint(const QPointF& at) const;

    const RowList& results_;
    DemandSupply drawn_;
    std::int64_t trendRow_ = 0;
    std::shared_ptr<const TrendSeries> trendSeries_; // what the trend chart shows
    QString trendKeyword_;
    QTimer redrawTimer_;

    QChartView* demandView_ = nullptr;
    QScatterSeries* points_ = nullptr;
    QScatterSeries* scarcePoints_ = nullptr;
    QAreaSeries* quarter_ = nullptr;
    QLineSeries* quarterTop_ = nullptr;
    QLineSeries* quarterBottom_ = nullptr;
    QLabel* note_ = nullptr;
    QListWidget* scarceList_ = nullptr;
    QChartView* trendView_ = nullptr;
    QMenu* menu_ = nullptr;
};

} // namespace quilla
