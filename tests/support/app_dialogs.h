#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace quilla::test {

// Once a modal message box is up, hands it to `inspect`, then presses
// `answer` (OK by default). Polls on a timer, so it works from inside the
// box's own event loop.
inline void answerNextMessageBox(std::function<void(QMessageBox&)> inspect, int attempts = 400,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok) {
    QTimer::singleShot(10, [inspect = std::move(inspect), attempts, answer]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (attempts > 0)
                answerNextMessageBox(std::move(inspect), attempts - 1, answer);
            return;
        }
        if (inspect)
            inspect(*box);
        box->button(answer)->click();
    });
}

// Clicks `button`, then waits, at most `ms`, until the message box that the
// click brings up has been inspected and answered; false when none came.
inline bool clickAndAnswer(QAbstractButton* button, std::function<void(QMessageBox&)> inspect = {},
                           int ms = 5000) {
    auto answered = std::make_shared<bool>(false);
    answerNextMessageBox([answered, inspect = std::move(inspect)](QMessageBox& box) {
        if (inspect)
            inspect(box);
        *answered = true;
    });
    button->click();
    return QTest::qWaitFor([&] { return *answered; }, ms);
}

// The text of the message box that clicking `button` brings up; empty when none came.
inline QString messageAfterClicking(QAbstractButton* button) {
    QString text;
    clickAndAnswer(button, [&](QMessageBox& box) { text = box.text(); });
    return text;
}

// Once a modal file dialog is up, chooses `path` in it and accepts it.
inline void answerNextFileDialog(const QString& path, int attempts = 400) {
    QTimer::singleShot(10, [path, attempts] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (attempts > 0)
                answerNextFileDialog(path, attempts - 1);
            return;
        }
        // The dialog fills in its suggested name as it settles: choose again
        // until the choice holds.
        dialog->selectFile(path);
        if (dialog->selectedFiles().value(0) != path && attempts > 0) {
            answerNextFileDialog(path, attempts - 1);
            return;
        }
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace quilla::test
