#pragma once

// A widget as the window shows it (its backing store) and as it paints when
// asked afresh: views that repaint only part of themselves must not differ.

#include <QImage>
#include <QScreen>
#include <QWidget>

namespace quilla::test {

inline QImage onScreen(QWidget& w) {
    const QPoint at = w.mapTo(w.window(), QPoint(0, 0));
    return w.screen()
        ->grabWindow(w.window()->winId(), at.x(), at.y(), w.width(), w.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

inline QImage painted(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace quilla::test
