#include "app/main_window.h"
#include "app/ready_exit.h"
#include "app/web_setup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));

    quilla::DesktopShell shell;
    auto cookies = std::make_shared<quilla::CookieJar>();
    quilla::MainWindow window(
        shell, std::make_shared<quilla::CurlFetcher>(quilla::FetchLimits{}, cookies), cookies);
    window.show();
    if (qEnvironmentVariableIsSet("QUILLA_EXIT_WHEN_READY"))
        quilla::exitWhenReady(window);
    return app.exec();
}
