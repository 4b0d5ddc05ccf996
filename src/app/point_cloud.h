#pragma once

// Thousands of points on log axes in one graphics item. A scatter series
// keeps a graphics item per point, which at 10,000 points costs tens of
// milliseconds at every redraw; here a redraw places the points, sets their
// pixels in one picture and draws that. The scarce points are drawn again,
// larger, on top.

#include <QColor>
#include <QGraphicsItem>
#include <QImage>
#include <QPixmap>

#include <optional>
#include <vector>

namespace quilla {

class PointCloud final : public QGraphicsItem {
public:
    explicit PointCloud(QGraphicsItem* parent = nullptr);

    // The plot area, in the parent's coordinates, and the ranges of its two
    // log axes.
    void setFrame(const QRectF& plot, double x0, double x1, double y0, double y1);
    // Points as the base-10 logarithms of their values; `scarce` are drawn
    // on top of `points`.
    void setPoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce);
    void setColors(const QColor& points, const QColor& scarce);

    // Where a value is drawn, in the parent's coordinates.
    QPointF positionOf(const QPointF& value) const;
    // The point drawn nearest to `at` (parent's coordinates) within
    // `radius` pixels: its place in the points given.
    std::optional<std::size_t> nearest(const QPointF& at, double radius) const;

    QRectF boundingRect() const override { return plot_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QPointF placed(const QPointF& logValue) const;
    void place();
    void paintPicture(qreal ratio);

    QRectF plot_;
    double lx0_ = 0, lx1_ = 1, ly0_ = 0, ly1_ = 1; // log10 of the ranges
    std::vector<QPointF> logs_, scarceLogs_;
    std::vector<QPointF> at_, scarceAt_;
    QColor color_, scarceColor_;
    QImage picture_;
    bool pictureStale_ = true;
    QPixmap scarceMark_;
};

} // namespace quilla
