#include "app/point_cloud.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>
#include <utility>

namespace quilla {
namespace {

constexpr double markSize = 6;
constexpr int scarceSize = 9;

} // namespace

PointCloud::PointCloud(QGraphicsItem* parent) : QGraphicsItem(parent) {
    setAcceptedMouseButtons(Qt::NoButton);
    setFlag(ItemUsesExtendedStyleOption);
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
    pictureStale_ = true;
    update();
}

void PointCloud::setPoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce) {
    takePoints(std::move(logPoints), std::move(logScarce));
    pictureStale_ = true;
    update();
}

void PointCloud::takePoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce) {
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

void PointCloud::changePoints(std::vector<QPointF> logPoints, std::vector<QPointF> logScarce,
                              const std::vector<QPointF>& touched) {
    constexpr std::size_t fewEnough = 64; // more, and painting it all is as cheap
    if (pictureStale_ || touched.size() > fewEnough) {
        setPoints(std::move(logPoints), std::move(logScarce));
        return;
    }
    takePoints(std::move(logPoints), std::move(logScarce));
    const qreal ratio = picture_.devicePixelRatio();
    const double reach = std::max<double>(markSize, scarceSize) / 2 + 1;
    for (const QPointF& log : touched) {
        const QPointF at = placed(log);
        const QRectF around(at.x() - reach, at.y() - reach, 2 * reach, 2 * reach);
        const QRectF inPicture = around.translated(-plot_.topLeft());
        mend_.push_back(QRectF(inPicture.topLeft() * ratio, inPicture.size() * ratio)
                            .toAlignedRect()
                            .intersected(picture_.rect()));
        update(around);
    }
}

const QImage& PointCloud::picture(qreal ratio) {
    if (pictureStale_ || picture_.devicePixelRatio() != ratio)
        paintPicture(ratio);
    for (const QRect& area : std::exchange(mend_, {}))
        paintArea(area);
    return picture_;
}

QImage PointCloud::paintedAfresh(qreal ratio) const {
    PointCloud fresh;
    fresh.plot_ = plot_;
    fresh.lx0_ = lx0_;
    fresh.lx1_ = lx1_;
    fresh.ly0_ = ly0_;
    fresh.ly1_ = ly1_;
    fresh.color_ = color_;
    fresh.scarceColor_ = scarceColor_;
    fresh.setPoints(logs_, scarceLogs_);
    return fresh.picture(ratio);
}

void PointCloud::paintPicture(qreal ratio) {
    const QSize size = (plot_.size() * ratio).toSize();
    if (picture_.size() != size || picture_.devicePixelRatio() != ratio) {
        picture_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        picture_.setDevicePixelRatio(ratio);
    }
    mend_.clear();
    paintArea(picture_.rect());
    pictureStale_ = false;
}

// Squares of one colour, set pixel by pixel: ten thousand of them cost a
// fraction of as many rectangles through the paint engine. The scarce
// marks go on top, in their order, so that any part painted again comes out
// as the whole would.
void PointCloud::paintArea(const QRect& area) {
    if (area.isEmpty())
        return;
    const qreal ratio = picture_.devicePixelRatio();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
        std::fill(line + area.left(), line + area.right() + 1, QRgb(0));
    }
    const QRgb pixel = qPremultiply(color_.rgba());
    const int side = std::max(1, static_cast<int>(std::lround(markSize * ratio)));
    for (const QPointF& p : at_) {
        const int left = static_cast<int>(std::lround((p.x() - plot_.left()) * ratio)) - side / 2;
        const int top = static_cast<int>(std::lround((p.y() - plot_.top()) * ratio)) - side / 2;
        const int x0 = std::max(area.left(), left), x1 = std::min(area.right() + 1, left + side);
        if (x0 >= x1)
            continue;
        for (int y = std::max(area.top(), top); y < std::min(area.bottom() + 1, top + side); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            std::fill(line + x0, line + x1, pixel);
        }
    }
    if (scarceAt_.empty())
        return;
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
    const QRectF logical(QPointF(area.topLeft()) / ratio, QSizeF(area.size()) / ratio);
    const double half = scarceSize / 2.0 + 1;
    std::vector<QPainter::PixmapFragment> stamps;
    stamps.reserve(scarceAt_.size());
    const QSizeF mark = scarceMark_.deviceIndependentSize();
    for (const QPointF& p : scarceAt_) {
        const QPointF centre = p - plot_.topLeft();
        if (centre.x() + half < logical.left() || centre.x() - half > logical.right() ||
            centre.y() + half < logical.top() || centre.y() - half > logical.bottom())
            continue;
        stamps.push_back(
            QPainter::PixmapFragment::create(centre, QRectF(QPointF(0, 0), mark * ratio)));
    }
    if (stamps.empty())
        return;
    QPainter painter(&picture_);
    painter.setClipRect(logical);
    painter.drawPixmapFragments(stamps.data(), static_cast<int>(stamps.size()), scarceMark_);
}

void PointCloud::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) {
    const QImage& now = picture(painter->device()->devicePixelRatioF());
    // Only what is exposed: a mended point repaints a few pixels, not the plot.
    const QRectF part = option->exposedRect.intersected(plot_);
    const qreal ratio = now.devicePixelRatio();
    // Whole pixels of the picture, placed where the whole picture puts them:
    // with the plot at a fractional place, a part cut at the exposed edge
    // would be sampled, and differ from the whole, by a pixel.
    const QRect source = QRectF((part.topLeft() - plot_.topLeft()) * ratio, part.size() * ratio)
                             .toAlignedRect()
                             .intersected(now.rect());
    painter->drawImage(
        QRectF(plot_.topLeft() + QPointF(source.topLeft()) / ratio, QSizeF(source.size()) / ratio),
        now, source);
}

} // namespace quilla
