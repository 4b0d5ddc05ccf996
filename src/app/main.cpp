#include "app/main_window.h"
#include "app/qt_texts.h"
#include "app/ready_exit.h"
#include "browser/web_setup.h"
#include "cli/command_line.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QMetaObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

namespace {

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void nameTheProgram() {
    QCoreApplication::setApplicationName(QStringLiteral("Quilla"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLA_VERSION));
}

} // namespace

int main(int argc, char** argv) {
    const QStringList arguments = argumentsOf(argc, argv);
    // A command needs no display. One that queries the marketplace's pages
    // runs the browser offscreen, unless a platform was chosen.
    if (quilla::cli::wantsCommand(arguments) && quilla::cli::needsBrowser(arguments)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        quilla::prepareWebEngine();
        QGuiApplication app(argc, argv);
        nameTheProgram();
        return quilla::cli::run(QCoreApplication::arguments());
    }
    if (quilla::cli::wantsCommand(arguments)) {
        QCoreApplication app(argc, argv);
        nameTheProgram();
        return quilla::cli::run(QCoreApplication::arguments());
    }
    quilla::prepareWebEngine();
    QApplication app(argc, argv);
    nameTheProgram();
    QTranslator qtTexts;
    quilla::speakTheLanguageOf(QLocale::system(), qtTexts);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/quilla.png")));

    // Outlives the window, which writes into it as it closes.
    QSettings remembered(QStringLiteral("Quilla"), QStringLiteral("Quilla"));
    quilla::DesktopOpener shell;
    auto cookies = std::make_shared<quilla::CookieJar>();
    quilla::MainWindow window(
        shell, std::make_shared<quilla::CurlFetcher>(quilla::FetchLimits{}, cookies), cookies,
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    window.rememberIn(&remembered);
    window.show();
    // Once the window is there: the question, when there is one, comes over
    // it; then the project named on the command line.
    const QString project = quilla::cli::projectToOpen(QCoreApplication::arguments());
    QMetaObject::invokeMethod(
        &window,
        [&window, project] {
            window.offerRecovery();
            if (!project.isEmpty())
                window.openProjectFrom(project);
        },
        Qt::QueuedConnection);
    if (qEnvironmentVariableIsSet("QUILLA_EXIT_WHEN_READY"))
        quilla::exitWhenReady(window);
    return app.exec();
}
