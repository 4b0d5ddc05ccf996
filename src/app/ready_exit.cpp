#include "app/ready_exit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWebEngineView>
#include <QWidget>
#include <QWindow>

namespace quilla {

namespace {

class ReadyWatch final : public QObject {
public:
    ReadyWatch(QWidget& window, QWebEngineView* view) : QObject(&window), window_(window) {
        loaded_ = view == nullptr;
        if (view)
            connect(view, &QWebEngineView::loadFinished, this, [this] {
                loaded_ = true;
                exitIfReady();
            });
        if (QWindow* handle = window.windowHandle())
            handle->installEventFilter(this);
        // exit() before the event loop runs would be lost.
        QMetaObject::invokeMethod(this, &ReadyWatch::exitIfReady, Qt::QueuedConnection);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose)
            // The window knows itself exposed only after this event.
            QMetaObject::invokeMethod(this, &ReadyWatch::exitIfReady, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void exitIfReady() {
        const QWindow* handle = window_.windowHandle();
        if (loaded_ && handle && handle->isExposed())
            QCoreApplication::exit(0);
    }

    QWidget& window_;
    bool loaded_ = false;
};

} // namespace

void exitWhenReady(QWidget& window) {
    new ReadyWatch(window, window.findChild<QWebEngineView*>());
}

} // namespace quilla
