#include "core/file_archive.h"

#include <QDir>
#include <QSaveFile>

namespace quilla {

std::optional<QString> FileArchive::keep(const QString& name, const QString& text) {
    if (!QDir().mkpath(folder_))
        return std::nullopt;
    const QString path = QDir(folder_).filePath(name);
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    // Unbuffered, so that a full disk shows in the write rather than in a
    // commit that reports success over a cut-off file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return std::nullopt;
    return path;
}

} // namespace quilla
