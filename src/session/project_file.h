#pragma once

// A session saved as a project file (.quilla), in the journal's schema, to be
// opened again later or on another machine. A project is read with
// readSession, which never changes the file.

#include "core/new_file.h"
#include "session/session_store.h"

namespace quilla {

inline constexpr const char* projectSuffix = ".quilla";

// The open dialog shows .quilla files only: a name without a suffix gets it.
QString withProjectSuffix(const QString& path);

// Writes the whole session to `path`, complete or not at all, never over
// an existing entry unless `replaceExisting` (the user agreed to it).
NewFileResult saveProject(const SessionSnapshot& snapshot, const QString& path,
                          bool replaceExisting = false);

} // namespace quilla
