#include "support/export_support.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/mount.h>

namespace quilla::test {

void appendRows(RowList& table, std::initializer_list<QStringList> rows) {
    for (const QStringList& fields : rows)
        table.append(Row{fields});
}

QStringList entriesIn(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

TmpfsMount::TmpfsMount(const QString& folder, const QString& options, bool readOnly)
    : folder_(QFile::encodeName(folder)) {
    const QByteArray data = options.toUtf8();
    const unsigned long flags = MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    mounted_ = ::mount("tmpfs", folder_.constData(), "tmpfs", flags, data.constData()) == 0;
    if (!mounted_)
        reason_ = qt_error_string(errno);
}

TmpfsMount::~TmpfsMount() {
    if (mounted_)
        ::umount2(folder_.constData(), MNT_DETACH);
}

NewFileOptions optionsFor(MoveWay way) {
    NewFileOptions options;
    options.refuseRename = way != MoveWay::Rename;
    options.refuseLink = way == MoveWay::Copy;
    return options;
}

const char* nameOf(MoveWay way) {
    switch (way) {
    case MoveWay::Rename:
        return "by_rename";
    case MoveWay::Link:
        return "by_link";
    case MoveWay::Copy:
        return "by_copy";
    }
    return "?";
}

} // namespace quilla::test
