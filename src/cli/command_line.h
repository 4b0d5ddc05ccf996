#pragma once

// The program's commands, run without a window: results on stdout, progress
// and errors on stderr ("quilla: " and the reason); exit 0 when it went
// well, 1 when it failed, 2 for arguments it cannot take.

#include <QStringList>

#include <cstdio>

namespace quilla::cli {

enum Exit { Ok = 0, Failed = 1, BadArguments = 2, Blocked = 3 };

// Whether the arguments (the program's name first) ask for a command rather
// than the window: a command word, --help, --version, or anything else that
// is neither a project file to open nor one of Qt's own single-dash options.
bool wantsCommand(const QStringList& arguments);

// Whether the command runs the embedded browser (offscreen): it needs Qt
// WebEngine prepared and a QGuiApplication.
bool needsBrowser(const QStringList& arguments);

// The project file the window is to open, when the arguments name one.
QString projectToOpen(const QStringList& arguments);

// Runs the command the arguments name; needs a QCoreApplication (a
// QGuiApplication for one that needs the browser).
int run(const QStringList& arguments, std::FILE* out = stdout, std::FILE* err = stderr);

} // namespace quilla::cli
