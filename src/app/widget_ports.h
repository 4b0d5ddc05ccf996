#pragma once

// The window's widgets behind the small interfaces the runs talk to.

#include "core/ports.h"

#include <QLineEdit>
#include <QPointer>

#include <functional>

class QWidget;

namespace quilla {

class LineEditBox final : public TextBox {
public:
    explicit LineEditBox(const QLineEdit* edit) : edit_(edit) {}
    QString text() const override { return edit_ ? edit_->text() : QString(); }

private:
    QPointer<const QLineEdit> edit_;
};

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

// The embedded browser as the place where the user sees a page.
class BrowserPageView final : public PageView {
public:
    explicit BrowserPageView(std::function<void(const QString&)> navigate)
        : navigate_(std::move(navigate)) {}
    void show(const QString& address) override { navigate_(address); }

private:
    std::function<void(const QString&)> navigate_;
};

} // namespace quilla
