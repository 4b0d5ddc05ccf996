#pragma once

// One holder at a time for a project file: a window or a command that has
// it open holds a lock file beside it, which the system lets go of when the
// holder ends, however it ends.

#include "session/process_lock.h"

#include <QString>

#include <memory>

namespace quilla {

// The hidden lock file beside `projectPath`.
QString projectLockPath(const QString& projectPath);

struct ProjectLock {
    std::unique_ptr<ProcessLock> lock; // none when held elsewhere or not to be had
    bool heldElsewhere = false;        // another window or command has it open
};

// A folder where no lock file can be made (read-only, say) gives no lock and
// no refusal: the project opens, as it would with nobody else around.
ProjectLock lockProject(const QString& projectPath);

} // namespace quilla
