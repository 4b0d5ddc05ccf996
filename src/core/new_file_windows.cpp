#ifdef _WIN32

#include "core/new_file.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <optional>

#include <io.h>
#include <windows.h>

namespace quilla {
namespace {

constexpr int maxNameDraws = 16;

NewFileResult failed(DWORD error) {
    return {NewFileResult::Kind::Failed, qt_error_string(static_cast<int>(error))};
}

const wchar_t* wide(const QString& path) {
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

QString tempPathIn(const QString& folder) {
    const quint64 tag = QRandomGenerator::global()->generate64();
    return QDir(folder).filePath(u".quilla-" + QString::number(tag, 16) + u".tmp");
}

// Flushed to the disk and closed; the reason when not.
std::optional<QString> flushAndClose(QFile& file) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (!::FlushFileBuffers(handle))
        return qt_error_string(static_cast<int>(::GetLastError()));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return std::nullopt;
}

// Written, flushed to the disk and closed; the reason when not.
std::optional<QString> fill(QFile& file, const QByteArray& bytes) {
    if (file.write(bytes) != bytes.size())
        return file.errorString();
    return flushAndClose(file);
}

bool openTemp(QFile& file, const QString& folder) {
    for (int draw = 0; draw < maxNameDraws; ++draw) {
        file.setFileName(tempPathIn(folder));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
    }
    return false;
}

} // namespace

namespace {

// Exists or a failure when the target's name is taken or cannot be looked at.
std::optional<NewFileResult> occupied(const QString& target) {
    if (::GetFileAttributesW(wide(target)) != INVALID_FILE_ATTRIBUTES)
        return NewFileResult{NewFileResult::Kind::Exists, {}};
    if (const DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND)
        return failed(error);
    return std::nullopt;
}

// Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name.
NewFileResult place(QFile& temp, const QString& target, const NewFileOptions& options) {
    if (options.beforeMove)
        options.beforeMove();
    const QString source = QDir::toNativeSeparators(temp.fileName());
    const DWORD how = MOVEFILE_WRITE_THROUGH | (options.replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(wide(source), wide(target), how))
        return {NewFileResult::Kind::Written, {}};
    const DWORD error = ::GetLastError();
    temp.remove();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return {NewFileResult::Kind::Exists, {}};
    return failed(error);
}

} // namespace

NewFileResult writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes,
                           const NewFileOptions& options) {
    const QString target = QDir::toNativeSeparators(QDir(folder).filePath(name));
    if (const auto taken = options.replaceExisting ? std::nullopt : occupied(target))
        return *taken;
    QFile temp;
    if (!openTemp(temp, folder))
        return {NewFileResult::Kind::Failed, temp.errorString()};
    if (const auto reason = fill(temp, bytes)) {
        temp.remove();
        return {NewFileResult::Kind::Failed, *reason};
    }
    return place(temp, target, options);
}

NewFileResult writeNewFile(const QString& folder, const QString& name, const FileWriter& write,
                           const NewFileOptions& options) {
    const QString target = QDir::toNativeSeparators(QDir(folder).filePath(name));
    if (const auto taken = options.replaceExisting ? std::nullopt : occupied(target))
        return *taken;
    QFile temp;
    if (!openTemp(temp, folder))
        return {NewFileResult::Kind::Failed, temp.errorString()};
    temp.close();
    QString reason;
    if (!write(temp.fileName(), reason)) {
        temp.remove();
        return {NewFileResult::Kind::Failed, reason};
    }
    if (!temp.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        temp.remove();
        return {NewFileResult::Kind::Failed, temp.errorString()};
    }
    if (const auto error = flushAndClose(temp)) {
        temp.remove();
        return {NewFileResult::Kind::Failed, *error};
    }
    return place(temp, target, options);
}

} // namespace quilla

#endif
