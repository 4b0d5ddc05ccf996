#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace quilla::test {

// Once a modal message box is up, hands it to `inspect`, then presses
// `answer` (OK by default). Polls on a timer, so it works from inside the
// box's own event loop. `over`, when given, turns true once it has answered
// or given up, so a test can make sure it meets no later box.
inline void answerNextMessageBox(std::function<void(QMessageBox&)> inspect, int attempts = 400,
                                 QMessageBox::StandardButton answer = QMessageBox::Ok,
                                 std::shared_ptr<bool> over = {}) {
    QTimer::singleShot(10, [inspect = std::move(inspect), attempts, answer, over]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        const auto done = [&] {
            if (over)
                *over = true;
        };
        if (!box) {
            if (attempts > 0)
                answerNextMessageBox(std::move(inspect), attempts - 1, answer, over);
            else
                done();
            return;
        }
        done();
        QAbstractButton* button = box->button(answer);
        if (!button) { // not the box this answer was meant for
            ADD_FAILURE() << "a message box without the expected button: "
                          << box->text().toStdString();
            box->reject();
            return;
        }
        if (inspect)
            inspect(*box);
        button->click();
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
        // selectFile() leaves the name box alone once it has the focus, which
        // on a busy machine it may have by now: type the name into the box.
        dialog->setDirectory(QFileInfo(path).absolutePath());
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
        else
            dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace quilla::test
