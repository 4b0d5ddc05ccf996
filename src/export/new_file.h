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

struct NewFileOptions {
    // Runs just before the move, once the temporary file is complete; lets a
    // test put something in the way at the last moment.
    std::function<void()> beforeMove;
    // Moves by a hard link even where the no-replace rename works, as on
    // file systems that refuse that rename.
    bool moveByLink = false;
};

// Any entry of that name already there (a file, a folder, a dangling link)
// gives Exists, and is left as it was.
NewFileResult writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes,
                           const NewFileOptions& options = {});

} // namespace quilla
