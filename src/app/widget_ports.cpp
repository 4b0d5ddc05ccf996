#include "app/widget_ports.h"

#include <QMessageBox>

namespace quilla {

void WindowMessageBox::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption(), text, QMessageBox::Ok, owner_);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

} // namespace quilla
