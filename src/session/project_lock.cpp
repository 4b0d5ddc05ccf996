#include "session/project_lock.h"

#include <QFileInfo>

namespace quilla {

QString projectLockPath(const QString& projectPath) {
    // The same file however the project is named: relative, through a link.
    const QFileInfo project(projectPath);
    const QFileInfo real(project.exists() ? project.canonicalFilePath()
                                          : project.absoluteFilePath());
    return real.absolutePath() + u"/." + real.fileName() + u".lock";
}

ProjectLock lockProject(const QString& projectPath) {
    ProjectLock taken;
    taken.lock = ProcessLock::tryTake(projectLockPath(projectPath), &taken.heldElsewhere);
    return taken;
}

} // namespace quilla
