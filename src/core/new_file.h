#pragma once

// Creating a file that did not exist, whole or not at all: the bytes go to a
// temporary file in the same folder, reach the disk, and only then take the
// file's name, by a move that refuses to replace anything.

#include <QByteArray>
#include <QString>

#include <functional>

namespace quilla {

struct NewFileResult {
    enum class Kind { Written, Exists, Failed };
    Kind kind = Kind::Failed;
    QString reason; // for Failed
};

// How the finished temporary file takes the file's name, in the order tried:
// a rename that refuses to replace, else a hard link, else (where a file
// system knows neither, as many shared and network folders) a copy into the
// name created exclusively. None of them replaces an existing entry.
struct NewFileOptions {
    // Runs just before the move, once the temporary file is complete; lets a
    // test put something in the way at the last moment.
    std::function<void()> beforeMove;
    // Act as a file system that refuses the no-replace rename, or hard links,
    // as unsupported: for tests of the later ways.
    bool refuseRename = false;
    bool refuseLink = false;
    // Replace what is there, in one rename: only for a file the user has
    // agreed to write over.
    bool replaceExisting = false;
};

// Any entry of that name already there (a file, a folder, a dangling link)
// gives Exists, and is left as it was.
NewFileResult writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes,
                           const NewFileOptions& options = {});

// For a writer that wants a file name: it writes the temporary file at
// `path` (already created, empty) and says whether that worked, and why not.
using FileWriter = std::function<bool(const QString& path, QString& reason)>;
NewFileResult writeNewFile(const QString& folder, const QString& name, const FileWriter& write,
                           const NewFileOptions& options = {});

} // namespace quilla
