#include "app/web_setup.h"

#include <QCoreApplication>
#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace quilla {

bool runsAsRoot() {
#if defined(Q_OS_UNIX)
    return ::geteuid() == 0;
#else
    return false;
#endif
}

void prepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (runsAsRoot())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Without a display there is no GPU to use; software drawing is enough.
    if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1StringView("offscreen") &&
        !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
}

} // namespace quilla
