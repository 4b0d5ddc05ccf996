#include "app/widget_ports.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

namespace quilla {

void WindowMessageBox::show(const QString& text, std::function<void()> closed) {
    QObject* context = owner_ ? static_cast<QObject*>(owner_) : QCoreApplication::instance();
    QMetaObject::invokeMethod(
        context,
        [owner = owner_, text, closed = std::move(closed)] {
            QMessageBox box(QMessageBox::NoIcon, caption(), text, QMessageBox::Ok, owner);
            box.setObjectName(QStringLiteral("messageBox"));
            box.exec();
            if (closed)
                closed();
        },
        Qt::QueuedConnection);
}

} // namespace quilla
