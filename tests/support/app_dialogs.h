#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace quilla::test {

// Once a modal message box is up, hands it to `inspect`, then presses OK.
// Polls on a timer, so it works from inside the box's own event loop.
inline void answerNextMessageBox(std::function<void(QMessageBox&)> inspect, int attempts = 200) {
    QTimer::singleShot(10, [inspect = std::move(inspect), attempts]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (attempts > 0)
                answerNextMessageBox(std::move(inspect), attempts - 1);
            return;
        }
        inspect(*box);
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace quilla::test
