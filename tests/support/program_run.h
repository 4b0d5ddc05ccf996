#pragma once

// The program as the command-line tests run it: built beside them, with no
// display of any kind, its output and exit status read back.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quilla::test {

struct Ran {
    int status = -1; // -1: killed, crashed or never ended
    QString out, err;
};

// This process's environment with no display named and Qt's platform left
// for the program to choose.
inline QProcessEnvironment withoutDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

inline void startQuilla(QProcess& program, const QStringList& arguments, const QString& folder,
                        const QProcessEnvironment& env) {
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
    program.start(qEnvironmentVariable("QUILLA_BINARY_DIR") + QStringLiteral("/quilla"), arguments);
}

// Waits up to `ms` for the program to end, killing it after that.
inline Ran finish(QProcess& program, int ms) {
    Ran ran;
    if (!program.waitForFinished(ms)) {
        program.kill();
        program.waitForFinished();
        return ran;
    }
    ran.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    ran.out = QString::fromUtf8(program.readAllStandardOutput());
    ran.err = QString::fromUtf8(program.readAllStandardError());
    return ran;
}

} // namespace quilla::test
