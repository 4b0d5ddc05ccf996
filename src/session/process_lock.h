#pragma once

#include <QString>

#include <memory>

namespace quilla {

// A lock on a file that the system lets go of when its process ends, however
// it ends. A lock that lives only in a file's contents outlives a program
// killed while it writes them, and then nobody can tell it was never held.
class ProcessLock {
public:
    // Nothing when another holder has it, in this process or another, or
    // when the file cannot be had at all; `held` (when given) tells which.
    static std::unique_ptr<ProcessLock> tryTake(const QString& path, bool* held = nullptr);
    ~ProcessLock();

    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

private:
    ProcessLock(QString path, void* handle) : path_(std::move(path)), handle_(handle) {}
    QString path_;
    void* handle_; // an fd or a HANDLE, whichever the system gives
};

} // namespace quilla
