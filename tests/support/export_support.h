#pragma once

// Folders, files and tables for the export tests.

#include "core/new_file.h"
#include "core/row_list.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <initializer_list>

namespace quilla::test {

void appendRows(RowList& table, std::initializer_list<QStringList> rows);

// The three ways a finished file takes its name, each as a file system that
// offers it first would take it.
enum class MoveWay { Rename, Link, Copy };
inline constexpr MoveWay allMoveWays[] = {MoveWay::Rename, MoveWay::Link, MoveWay::Copy};
NewFileOptions optionsFor(MoveWay way);
const char* nameOf(MoveWay way);

// Every entry of a folder, hidden ones and dangling links included, sorted.
QStringList entriesIn(const QString& folder);

QByteArray fileBytes(const QString& path);
bool writeFileBytes(const QString& path, const QByteArray& bytes);

// A small tmpfs over `folder` for as long as this lives. Mounting needs
// privileges the test may not have: then mounted() is false and reason() says why.
class TmpfsMount {
public:
    TmpfsMount(const QString& folder, const QString& options, bool readOnly);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    QString reason() const { return reason_; }

private:
    QByteArray folder_;
    bool mounted_ = false;
    QString reason_;
};

} // namespace quilla::test
