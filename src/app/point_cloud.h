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
    // The same, when only the points at `touched` (logarithms too: where
    // points came, went, moved or became scarce or not) look different:
    // the picture is mended around those places alone.
    void changePoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce,
                      const std::vector<QPointF>& touched);
    void setColors(const QColor& points, const QColor& scarce);

    // The picture as it is painted now, and as a cloud given the same frame
    // and points would paint it from nothing.
    const QImage& picture(qreal ratio);
    QImage paintedAfresh(qreal ratio) const;

    // Where a value is drawn, in the parent's coordinates.
    QPointF positionOf(const QPointF& value) const;
    // The point drawn nearest to `at` (parent's coordinates) within
    // `radius` pixels: its place in the points given.
    std::optional<std::size_t> nearest(const QPointF& at, double radius) const;

    QRectF boundingRect() const override { return plot_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QPointF placed(const QPointF& logValue) const;
    void takePoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce);
    void place();
    void paintPicture(qreal ratio);
    void paintArea(const QRect& area);

    QRectF plot_;
    double lx0_ = 0, lx1_ = 1, ly0_ = 0, ly1_ = 1; // log10 of the ranges
    std::vector<QPointF> logs_, scarceLogs_;
    std::vector<QPointF> at_, scarceAt_;
    QColor color_, scarceColor_;
    QImage picture_;
    bool pictureStale_ = true;
    std::vector<QRect> mend_; // device pixels of the picture to paint again
    QPixmap scarceMark_;
};

} // namespace quilla
