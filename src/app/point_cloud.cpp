#include "app/point_cloud.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quilla {
namespace {

constexpr double markSize = 6;
constexpr int scarceSize = 9;

} // namespace

PointCloud::PointCloud(QGraphicsItem* parent) : QGraphicsItem(parent) {
    setAcceptedMouseButtons(Qt::NoButton);
}

void PointCloud::setFrame(const QRectF& plot, double x0, double x1, double y0, double y1) {
    const double lx0 = std::log10(x0), lx1 = std::log10(x1);
    const double ly0 = std::log10(y0), ly1 = std::log10(y1);
    if (plot == plot_ && lx0 == lx0_ && lx1 == lx1_ && ly0 == ly0_ && ly1 == ly1_)
        return;
    prepareGeometryChange();
    plot_ = plot;
    lx0_ = lx0;
    lx1_ = lx1;
    ly0_ = ly0;
    ly1_ = ly1;
    place();
}

void PointCloud::setPoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce) {
    logs_ = std::move(logPoints);
    scarceLogs_ = std::move(logScarce);
    place();
}

void PointCloud::setColors(const QColor& points, const QColor& scarce) {
    color_ = points;
    scarceColor_ = scarce;
    scarceMark_ = QPixmap();
    pictureStale_ = true;
    update();
}

QPointF PointCloud::placed(const QPointF& logValue) const {
    const double fx = (logValue.x() - lx0_) / (lx1_ - lx0_);
    const double fy = (logValue.y() - ly0_) / (ly1_ - ly0_);
    return {plot_.left() + fx * plot_.width(), plot_.bottom() - fy * plot_.height()};
}

QPointF PointCloud::positionOf(const QPointF& value) const {
    return placed({std::log10(value.x()), std::log10(value.y())});
}

void PointCloud::place() {
    const auto placeAll = [this](const std::vector<QPointF>& logs, std::vector<QPointF>& at) {
        at.resize(logs.size());
        std::transform(logs.begin(), logs.end(), at.begin(),
                       [this](const QPointF& l) { return placed(l); });
    };
    placeAll(logs_, at_);
    placeAll(scarceLogs_, scarceAt_);
    pictureStale_ = true;
    update();
}

std::optional<std::size_t> PointCloud::nearest(const QPointF& at, double radius) const {
    std::optional<std::size_t> best;
    double bestDistance = radius * radius;
    for (std::size_t i = 0; i < at_.size(); ++i) {
        const QPointF d = at_[i] - at;
        const double distance = d.x() * d.x() + d.y() * d.y();
        if (distance <= bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// Squares of one colour, set pixel by pixel: ten thousand of them cost a
// fraction of as many rectangles through the paint engine.
void PointCloud::paintPicture(qreal ratio) {
    const QSize size = (plot_.size() * ratio).toSize();
    if (picture_.size() != size || picture_.devicePixelRatio() != ratio) {
        picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        picture_.setDevicePixelRatio(ratio);
    }
    picture_.fill(Qt::transparent);
    const QRgb pixel = qPremultiply(color_.rgba());
    const int side = std::max(1, static_cast<int>(std::lround(markSize * ratio)));
    const int width = picture_.width(), height = picture_.height();
    for (const QPointF& p : at_) {
        const int left = static_cast<int>(std::lround((p.x() - plot_.left()) * ratio)) - side / 2;
        const int top = static_cast<int>(std::lround((p.y() - plot_.top()) * ratio)) - side / 2;
        const int x0 = std::max(0, left), x1 = std::min(width, left + side);
        if (x0 >= x1)
            continue;
        for (int y = std::max(0, top); y < std::min(height, top + side); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            std::fill(line + x0, line + x1, pixel);
        }
    }
    if (!scarceAt_.empty()) {
        if (scarceMark_.isNull() || scarceMark_.devicePixelRatio() != ratio) {
            scarceMark_ = QPixmap(QSize(scarceSize, scarceSize) * ratio);
            scarceMark_.setDevicePixelRatio(ratio);
            scarceMark_.fill(Qt::transparent);
            QPainter mark(&scarceMark_);
            mark.setRenderHint(QPainter::Antialiasing);
            mark.setPen(QPen(scarceColor_.darker(150), 1));
            mark.setBrush(scarceColor_);
            mark.drawEllipse(QRectF(0.5, 0.5, scarceSize - 1, scarceSize - 1));
        }
        std::vector<QPainter::PixmapFragment> stamps;
        stamps.reserve(scarceAt_.size());
        const QSizeF mark = scarceMark_.deviceIndependentSize();
        for (const QPointF& p : scarceAt_) {
            const QPointF centre = p - plot_.topLeft();
            stamps.push_back(
                QPainter::PixmapFragment::create(centre, QRectF(QPointF(0, 0), mark * ratio)));
        }
        QPainter painter(&picture_);
        painter.drawPixmapFragments(stamps.data(), static_cast<int>(stamps.size()), scarceMark_);
    }
    pictureStale_ = false;
}

void PointCloud::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const qreal ratio = painter->device()->devicePixelRatioF();
    if (pictureStale_ || picture_.devicePixelRatio() != ratio)
        paintPicture(ratio);
    painter->drawImage(plot_.topLeft(), picture_);
}

} // namespace quilla
