// Project files and left-over journals: whatever bytes a file holds, reading
// it ends (the reader bounds SQLite's work) and either refuses it with a
// reason or gives lists that save as a project and read back the same. A
// project is read without changing a byte of it, and a journal reads as the
// project reading of the same file does. A history that reads holds only
// snapshots this program could write, each keyword's latest two found again,
// and makes a report.

#include "fuzz_support.h"

#include "history/changes.h"
#include "session/project_file.h"
#include "session/session_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <variant>

namespace {

using namespace quilla::fuzz;
using quilla::SessionReadError;
using quilla::SessionSnapshot;

// Where the files go: in memory when the system has a place for it (saving
// a project waits for the disk), unless TMPDIR says otherwise.
QString scratchFolder() {
    if (!qEnvironmentVariableIsSet("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

// The files of one input: the database and what SQLite puts beside it.
struct Scratch {
    Scratch() : dir(scratchFolder() + QStringLiteral("/quilla-session-fuzz-XXXXXX")) {}
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
    void clear() const {
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(name));
    }
};

// The session drivers are plugins, which need an application object.
Scratch& scratch() {
    static int argc = 1;
    static char name[] = "session_file_fuzzer";
    static char* argv[] = {name, nullptr};
    static const auto app =
        QCoreApplication::instance() ? nullptr : std::make_unique<QCoreApplication>(argc, argv);
    static Scratch s;
    FUZZ_CHECK(s.dir.isValid());
    return s;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void checkHistory(const SessionSnapshot& snapshot) {
    const quilla::History& history = snapshot.history;
    FUZZ_CHECK(history.size() <= quilla::historyBounds::maxEntries);
    QStringList keywords;
    for (const quilla::Snapshot& entry : history.entries()) {
        FUZZ_CHECK(quilla::isStorable(entry));
        FUZZ_CHECK(history.latest(entry.keyword) != nullptr);
        keywords.append(entry.keyword);
    }
    if (!history.empty())
        FUZZ_CHECK(*history.latest(history.entries().back().keyword) == history.entries().back());
    const auto report = quilla::changeReport(history, keywords, snapshot.state.offeredWords);
    FUZZ_CHECK(!quilla::changeReportText(report).isEmpty());
}

// Saved as a project and read again, the session is what it was.
void checkResaves(const SessionSnapshot& snapshot, const Scratch& s) {
    checkHistory(snapshot);
    const QString saved = s.file(QStringLiteral("resaved.quilla"));
    const quilla::NewFileResult result = quilla::saveProject(snapshot, saved, true);
    FUZZ_CHECK(result.kind == quilla::NewFileResult::Kind::Written);
    const auto again = quilla::readSession(saved);
    FUZZ_CHECK(std::holds_alternative<SessionSnapshot>(again));
    FUZZ_CHECK(std::get<SessionSnapshot>(again) == snapshot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Scratch& s = scratch();
    s.clear();
    const QByteArray bytes = bytesOf(data, size);
    const QString path = s.file(QStringLiteral("input.quilla"));
    FUZZ_CHECK(write(path, bytes));

    const auto project = quilla::readSession(path, quilla::ReadAccess::ReadOnly);
    FUZZ_CHECK(contents(path) == bytes);
    if (const auto* error = std::get_if<SessionReadError>(&project)) {
        FUZZ_CHECK(error->kind != SessionReadError::Kind::Missing);
        FUZZ_CHECK(!quilla::sessionReadMessage(*error).isEmpty());
    } else {
        checkResaves(std::get<SessionSnapshot>(project), s);
    }

    // The same bytes as a journal a killed session left: read with writing
    // allowed, which must come to what reading it as a project came to.
    const SessionSnapshot beginning;
    const quilla::LeftOverSession left = quilla::readLeftOver(path, beginning);
    using Kind = quilla::LeftOverSession::Kind;
    if (const auto* snapshot = std::get_if<SessionSnapshot>(&project)) {
        if (*snapshot == beginning)
            FUZZ_CHECK(left.kind == Kind::Nothing);
        else
            FUZZ_CHECK(left.kind == Kind::Session && left.session == *snapshot);
    } else if (left.kind == Kind::Session) {
        // Only a journal in write-ahead mode may read where the project
        // reading could not: that one needs to write its index beside it.
        FUZZ_CHECK(bytes.size() > 19 && bytes[18] == 2 && bytes[19] == 2);
        checkResaves(left.session, s);
    } else if (std::get<SessionReadError>(project).kind == SessionReadError::Kind::Empty) {
        FUZZ_CHECK(left.kind == Kind::Nothing);
    }
    return 0;
}
