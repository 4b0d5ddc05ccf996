#include "app/main_window.h"
#include "app/web_setup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilla"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));

    quilla::DesktopShell shell;
    quilla::CurlFetcher fetcher;
    quilla::MainWindow window(shell, fetcher);
    window.show();
    return app.exec();
}
