// draw_icon SIZE FILE          draws the program's icon SIZE pixels square into FILE (PNG)
// draw_icon --check SIZE FILE  exits 1 unless FILE holds exactly what SIZE would draw
//
// The 32-pixel icon was drawn by hand on a 32 by 32 grid; this draws the same
// picture on that grid scaled up, so that the larger sizes are sharp rather
// than blown-up pixels.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

const QColor blue(41, 128, 185);
const QColor orange(243, 156, 18);

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // A white frame one grid cell wide around a blue square.
    const QRectF inside(1, 1, 30, 30);
    painter.fillRect(inside, blue);
    painter.setClipRect(inside);

    // Three bars standing on one line.
    painter.fillRect(QRectF(6, 18, 4, 8), Qt::white);
    painter.fillRect(QRectF(12, 12, 4, 14), Qt::white);
    painter.fillRect(QRectF(18, 16, 4, 10), Qt::white);

    // A magnifying glass over the tallest bars, its handle running out to
    // the frame at the lower right.
    const QPointF centre(21.5, 12.5);
    const double radius = 6.0;
    QPen ring(orange, 2.75);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    QPen handle(orange, 1.6, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(handle);
    const double diagonal = std::sqrt(0.5);
    const double from = radius + 1.5;
    painter.drawLine(centre + QPointF(from, from) * diagonal, centre + QPointF(12, 12));
    painter.end();
    return image;
}

std::optional<int> sizeFrom(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 16 || value > 1024)
        return std::nullopt;
    return value;
}

int usage() {
    std::fputs("usage: draw_icon [--check] SIZE FILE (SIZE from 16 to 1024)\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const bool check = argc == 4 && std::string_view(argv[1]) == "--check";
    if (argc != 3 && !check)
        return usage();
    const std::optional<int> size = sizeFrom(argv[check ? 2 : 1]);
    if (!size)
        return usage();
    const QString file = QString::fromLocal8Bit(argv[check ? 3 : 2]);
    const QImage drawn = drawIcon(*size);

    if (check) {
        const QImage stored = QImage(file).convertToFormat(QImage::Format_RGB32);
        if (stored != drawn) {
            std::fprintf(stderr, "%s is not what draw_icon %d draws%s\n", argv[3], *size,
                         stored.isNull() ? " (it cannot be read)" : "");
            return 1;
        }
        return 0;
    }
    if (!drawn.save(file, "PNG")) {
        std::fprintf(stderr, "draw_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
