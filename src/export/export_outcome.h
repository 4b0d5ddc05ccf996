#pragma once

// What the exports have in common: the file's name from the keyword, the
// outcome and the message the window shows for it.

#include "core/new_file.h"

#include <QString>

namespace quilla {

struct ExportOutcome {
    enum class Kind { Written, BadName, Exists, Failed, Cancelled };
    Kind kind = Kind::Failed;
    QString reason; // why it failed, for Failed only
    // For Written: what the file could not hold, for the status line; empty
    // when it holds everything.
    QString note = {};
};

// A keyword holding '/', '\' or a NUL would point elsewhere, and an empty one
// would name a hidden file "<extension>" alone: neither names a file.
bool keywordNamesAFile(const QString& keyword);

ExportOutcome outcomeOf(const NewFileResult& result);

// The message the window shows for an outcome.
QString exportMessage(const ExportOutcome& outcome);

} // namespace quilla
