#ifdef _WIN32

#include "session/process_lock.h"

#include <QDir>

#include <windows.h>

namespace quilla {

std::unique_ptr<ProcessLock> ProcessLock::tryTake(const QString& path, bool* held) {
    if (held)
        *held = false;
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE file =
        CreateFileW(reinterpret_cast<LPCWSTR>(native.utf16()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    OVERLAPPED at{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (held)
            *held = GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<ProcessLock>(new ProcessLock(path, file));
}

// The file stays: removing it here could race another program that opened it.
ProcessLock::~ProcessLock() {
    CloseHandle(static_cast<HANDLE>(handle_));
}

} // namespace quilla

#endif
