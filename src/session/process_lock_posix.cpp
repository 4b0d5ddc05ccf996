#ifndef _WIN32

#include "session/process_lock.h"

#include <QFile>

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quilla {

namespace {
int fdOf(void* handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}
} // namespace

std::unique_ptr<ProcessLock> ProcessLock::tryTake(const QString& path, bool* held) {
    const QByteArray name = QFile::encodeName(path);
    if (held)
        *held = false;
    // Each try either finds the lock held or takes it; a file removed under
    // us by the holder before sends us round once more.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return nullptr;
        // flock, not fcntl: two opens in one process exclude each other too.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (held)
                *held = errno == EWOULDBLOCK;
            ::close(fd);
            return nullptr;
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return std::unique_ptr<ProcessLock>(
                new ProcessLock(path, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd))));
        ::close(fd);
    }
    return nullptr;
}

// Removed while still held, so that whoever opened it meanwhile sees it gone.
ProcessLock::~ProcessLock() {
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fdOf(handle_));
}

} // namespace quilla

#endif
