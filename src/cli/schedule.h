#pragma once

// `quilla schedule`: a daily requery of a project, as a systemd user timer
// (a Task Scheduler task on Windows).

#include <QString>
#include <QStringList>

#include <cstdio>

namespace quilla::cli {

// The unit files' folder: $XDG_CONFIG_HOME/systemd/user, ~/.config/... when
// that is not set.
QString userUnitFolder();

// The units' name for a project, without suffix: the same for every way of
// naming the file.
QString scheduleUnitName(const QString& project);

// An argument as a systemd command line needs it: quoted, with its
// specifier and variable signs doubled.
QString systemdQuoted(const QString& argument);

// The timer and the service that run `program requery project` at hh:mm
// every day, a run missed while the machine was off at the next start.
QString timerUnit(const QString& project, const QString& time, const QString& service);
QString serviceUnit(const QString& program, const QString& project);

// schedule FILE.quilla --daily HH:MM | schedule FILE.quilla --off | schedule --list.
// QUILLA_SYSTEMCTL names the program called in place of systemctl (tests).
int schedule(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace quilla::cli
