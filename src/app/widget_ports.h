#pragma once

// The window's message box behind the interface the runs talk to.

#include "core/ports.h"

#include <QPointer>

#include <functional>

class QWidget;

namespace quilla {

// Text, one OK button, no icon, the program's short title as caption; modal.
// The box opens from the event loop, after the caller has returned, so no
// caller waits for the user: whatever step or gate the caller was in goes on,
// and the timers keep firing and the runs keep going behind the box.
class WindowMessageBox final : public MessageBox {
public:
    static QString caption() { return QStringLiteral("Quilla"); }

    explicit WindowMessageBox(QWidget* owner) : owner_(owner) {}
    void show(const QString& text) override { show(text, {}); }
    // `closed` runs once the user has closed the box.
    void show(const QString& text, std::function<void()> closed);

private:
    QPointer<QWidget> owner_;
};

} // namespace quilla
