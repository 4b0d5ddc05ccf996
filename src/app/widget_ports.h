#pragma once

// The window's widgets behind the small interfaces the runs talk to.

#include "core/ports.h"

#include <QLineEdit>
#include <QPointer>

class QWidget;

namespace quilla {

class LineEditBox final : public TextBox {
public:
    explicit LineEditBox(const QLineEdit* edit) : edit_(edit) {}
    QString text() const override { return edit_ ? edit_->text() : QString(); }

private:
    QPointer<const QLineEdit> edit_;
};

// Text, one OK button, no icon, the program's short title as caption; modal,
// while the timers go on firing behind it.
class WindowMessageBox final : public MessageBox {
public:
    static QString caption() { return QStringLiteral("Quilla"); }

    explicit WindowMessageBox(QWidget* owner) : owner_(owner) {}
    void show(const QString& text) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace quilla
