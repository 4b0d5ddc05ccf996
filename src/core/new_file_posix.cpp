#ifndef _WIN32

#include "core/new_file.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <optional>
#include <utility>
#include <variant>

#include <cerrno>
#include <cstdio> // renameat2
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quilla {
namespace {

// A signal storm must not keep a write or a sync spinning for ever.
constexpr int maxInterruptions = 1000;
constexpr int maxNameDraws = 16;

NewFileResult failed(int error) {
    return {NewFileResult::Kind::Failed, qt_error_string(error)};
}

NewFileResult outcomeOf(int error) {
    if (error == 0)
        return {NewFileResult::Kind::Written, {}};
    if (error == EEXIST)
        return {NewFileResult::Kind::Exists, {}};
    if (error == EINVAL) // by now no way of moving is left to blame: the name is
        return {NewFileResult::Kind::Failed,
                QStringLiteral("文件系统不接受这个文件名（") + qt_error_string(error) + u'）'};
    return failed(error);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // 0, or the errno of a close that may have lost data. An interrupted
    // close has still released the descriptor, and the data is synced by then.
    int close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int fd_;
};

// 0, or the errno that stopped the bytes; short writes just continue.
int writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    int interruptions = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(left));
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n == 0) {
            return EIO;
        } else if (errno != EINTR || ++interruptions >= maxInterruptions) {
            return errno;
        }
    }
    return 0;
}

int syncAll(int fd) {
    for (int interruptions = 0; interruptions < maxInterruptions; ++interruptions) {
        if (::fsync(fd) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
    return EINTR;
}

// 0, or the errno that kept the bytes from reaching the disk whole.
int fill(Descriptor& file, const QByteArray& bytes) {
    if (const int error = writeAll(file.get(), bytes))
        return error;
    if (const int error = syncAll(file.get()))
        return error;
    return file.close();
}

std::optional<NewFileResult> occupied(int dir, const QByteArray& target) {
    struct stat info {};
    if (::fstatat(dir, target.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return NewFileResult{NewFileResult::Kind::Exists, {}};
    if (errno == ENOENT)
        return std::nullopt;
    return failed(errno);
}

// A short hidden name of its own, so a long keyword still leaves room; a
// clash with a leftover draws again.
int openTemp(int dir, QByteArray& name) {
    for (int draw = 0; draw < maxNameDraws; ++draw) {
        const quint64 tag = QRandomGenerator::global()->generate64();
        name = ".quilla-" + QByteArray::number(tag, 16) + ".tmp";
        const int fd =
            ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Errors that say a file system cannot do this kind of move at all, as
// opposed to a reason that holds for this name or this folder.
bool unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP ||
           error == EPERM;
}

int renameNoReplace(int dir, const QByteArray& temp, const QByteArray& target, bool refuse) {
    if (refuse)
        return EINVAL;
#ifdef RENAME_NOREPLACE
    return ::renameat2(dir, temp.constData(), dir, target.constData(), RENAME_NOREPLACE) == 0
               ? 0
               : errno;
#else
    return ENOSYS;
#endif
}

int hardLink(int dir, const QByteArray& temp, const QByteArray& target, bool refuse) {
    if (refuse)
        return EPERM;
    return ::linkat(dir, temp.constData(), dir, target.constData(), 0) == 0 ? 0 : errno;
}

// 0, or the errno that stopped the copy of `from` into `to`.
int copyAll(int from, int to) {
    char buffer[64 * 1024];
    int interruptions = 0;
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0)
            return 0;
        if (n < 0) {
            if (errno == EINTR && ++interruptions < maxInterruptions)
                continue;
            return errno;
        }
        if (const int error = writeAll(to, QByteArray::fromRawData(buffer, n)))
            return error;
    }
}

// The target created exclusively and filled from the temporary file; a
// failure midway removes what it wrote.
int copyIntoNew(int dir, const QByteArray& temp, const QByteArray& target) {
    const Descriptor from(::openat(dir, temp.constData(), O_RDONLY | O_CLOEXEC));
    if (!from.valid())
        return errno;
    Descriptor to(::openat(dir, target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!to.valid())
        return errno;
    int error = copyAll(from.get(), to.get());
    if (error == 0)
        error = syncAll(to.get());
    if (error == 0)
        error = to.close();
    if (error != 0)
        ::unlinkat(dir, target.constData(), 0);
    return error;
}

// The temporary file is gone afterwards, whatever happened.
NewFileResult moveIntoPlace(int dir, const QByteArray& temp, const QByteArray& target,
                            const NewFileOptions& options) {
    if (options.replaceExisting) {
        const int replaced =
            ::renameat(dir, temp.constData(), dir, target.constData()) == 0 ? 0 : errno;
        if (replaced != 0)
            ::unlinkat(dir, temp.constData(), 0);
        return outcomeOf(replaced);
    }
    int error = renameNoReplace(dir, temp, target, options.refuseRename);
    if (error == 0)
        return outcomeOf(0);
    if (unsupported(error))
        error = hardLink(dir, temp, target, options.refuseLink);
    if (unsupported(error))
        error = copyIntoNew(dir, temp, target);
    ::unlinkat(dir, temp.constData(), 0);
    return outcomeOf(error);
}

} // namespace

namespace {

// The complete temporary file takes the target's name; the folder's entry
// is synced after. A folder that fails to sync is no reason to call the
// export failed: the file is in place and complete.
NewFileResult place(int dir, const QByteArray& temp, const QByteArray& target,
                    const NewFileOptions& options) {
    if (options.beforeMove)
        options.beforeMove();
    const NewFileResult result = moveIntoPlace(dir, temp, target, options);
    if (result.kind == NewFileResult::Kind::Written)
        static_cast<void>(::fsync(dir));
    return result;
}

// The folder, open, when the target's name is free there.
std::variant<int, NewFileResult> openFolderFor(const QString& folder, const QByteArray& target,
                                               bool replace) {
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return failed(errno);
    if (replace)
        return dir;
    if (const auto taken = occupied(dir, target)) {
        ::close(dir);
        return *taken;
    }
    return dir;
}

} // namespace

NewFileResult writeNewFile(const QString& folder, const QString& name, const QByteArray& bytes,
                           const NewFileOptions& options) {
    const QByteArray target = QFile::encodeName(name);
    auto opened = openFolderFor(folder, target, options.replaceExisting);
    if (auto* refused = std::get_if<NewFileResult>(&opened))
        return *refused;
    const Descriptor dir(std::get<int>(opened));

    QByteArray temp;
    Descriptor file(openTemp(dir.get(), temp));
    if (!file.valid())
        return failed(errno);
    if (const int error = fill(file, bytes)) {
        ::unlinkat(dir.get(), temp.constData(), 0);
        return failed(error);
    }
    return place(dir.get(), temp, target, options);
}

NewFileResult writeNewFile(const QString& folder, const QString& name, const FileWriter& write,
                           const NewFileOptions& options) {
    const QByteArray target = QFile::encodeName(name);
    auto opened = openFolderFor(folder, target, options.replaceExisting);
    if (auto* refused = std::get_if<NewFileResult>(&opened))
        return *refused;
    const Descriptor dir(std::get<int>(opened));

    QByteArray temp;
    {
        Descriptor file(openTemp(dir.get(), temp));
        if (!file.valid())
            return failed(errno);
    }
    const auto fail = [&](const QString& reason) {
        ::unlinkat(dir.get(), temp.constData(), 0);
        return NewFileResult{NewFileResult::Kind::Failed, reason};
    };
    QString reason;
    if (!write(QDir(folder).filePath(QFile::decodeName(temp)), reason))
        return fail(reason.isEmpty() ? qt_error_string(EIO) : reason);
    // What the writer wrote reaches the disk before it takes the name.
    Descriptor written(::openat(dir.get(), temp.constData(), O_RDONLY | O_CLOEXEC));
    if (!written.valid())
        return fail(qt_error_string(errno));
    if (const int error = syncAll(written.get()))
        return fail(qt_error_string(error));
    written.close();
    return place(dir.get(), temp, target, options);
}

} // namespace quilla

#endif
