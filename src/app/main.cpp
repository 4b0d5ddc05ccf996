#include "app/main_window.h"
#include "app/ready_exit.h"
#include "app/web_setup.h"

#include <QApplication>
#include <QIcon>
#include <QMetaObject>
#include <QStandardPaths>

int main(int argc, char** argv) {
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));

    quilla::DesktopShell shell;
    auto cookies = std::make_shared<quilla::CookieJar>();
    quilla::MainWindow window(
        shell, std::make_shared<quilla::CurlFetcher>(quilla::FetchLimits{}, cookies), cookies,
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    window.show();
    // Once the window is there: the question, when there is one, comes over it.
    QMetaObject::invokeMethod(&window, &quilla::MainWindow::offerRecovery, Qt::QueuedConnection);
    if (qEnvironmentVariableIsSet("QUILLA_EXIT_WHEN_READY"))
        quilla::exitWhenReady(window);
    return app.exec();
}
