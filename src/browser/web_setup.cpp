#include "browser/web_setup.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace quilla {

namespace {

QtMessageHandler qtMessageHandler = nullptr;

bool offscreen() {
    return qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1StringView("offscreen");
}

// Said on every start without a display; drawing in software is what the
// offscreen start asks for.
void dropOffscreenNotice(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && qstrcmp(context.category, "default") == 0 &&
        text.trimmed() == QLatin1StringView("No suitable graphics backend found"))
        return;
    qtMessageHandler(type, context, text);
}

} // namespace

bool runsAsRoot() {
#if defined(Q_OS_UNIX)
    return ::geteuid() == 0;
#else
    return false;
#endif
}

void prepareWebEngine() {
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // Chromium's own notices stay off the terminal (fatal errors still come).
    // The sandbox goes off by switch rather than by QTWEBENGINE_DISABLE_SANDBOX,
    // which has Qt say so on every start. Ours go in front: of a switch given
    // twice Chromium keeps the last, so the user's own switches win.
    QByteArray flags = "--log-level=3";
    if (runsAsRoot())
        flags += " --no-sandbox";
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        flags += ' ' + qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    else if (offscreen())
        // Without a display there is no GPU to use; software drawing is enough.
        flags += " --disable-gpu";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);

    // The browser's set-up report and the page's own console chatter. Rules
    // from QT_LOGGING_CONF and QT_LOGGING_RULES come later and win; the page's
    // script errors still show.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                    "js.info=false\n"
                                                    "js.warning=false"));
    if (offscreen())
        qtMessageHandler = qInstallMessageHandler(dropOffscreenNotice);
}

} // namespace quilla
