#pragma once

// The SQLite schema that a session journal and a project file share, and
// reading and writing whole sessions in it.
//
// Tables: "rows" (list 0 candidates / 1 results, place, fields as a JSON
// array, series as a blob), "state" (name, value) and, from version 2 on,
// "history" (one dated snapshot a row per index query, in the order taken).
// The schema's version is the database's user_version; its kind,
// "quilla-session", is in state. A version-1 file reads with no history.

#include "session/session_state.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

class QSqlDatabase;

namespace quilla {

inline constexpr int sessionSchemaVersion = 2;

enum class SessionList { Candidates = 0, Results = 1 };

// Why a file cannot be read as a session, in words for the user.
struct SessionReadError {
    // Empty: an empty file or a database with no session in it yet, as a
    // journal is when its program ended before the first write.
    enum class Kind { NotASession, Newer, Damaged, Missing, Empty };
    Kind kind = Kind::Damaged;
    QString detail;
};

// A text as a state value: never NULL.
QString storedText(const QString& text);

// The fields as stored, and back.
QByteArray encodeFields(const QStringList& fields);
std::optional<QStringList> decodeFields(const QByteArray& json);
QByteArray encodeSeries(const TrendSeries& series);
std::optional<TrendSeries> decodeSeries(const QByteArray& blob);

// Opens the file as a database under a connection name of its own; the
// schema is made when `create` and the file is new.
std::optional<QString> openSessionDatabase(QSqlDatabase& db, const QString& path,
                                           const QString& connection, bool create,
                                           bool readOnly = false);

// Writes the whole session into an open database, in one transaction.
std::optional<QString> writeSession(QSqlDatabase& db, const SessionSnapshot& snapshot);

// Adds snapshots to the history table, within the caller's transaction.
std::optional<QString> insertHistory(QSqlDatabase& db, const std::vector<Snapshot>& entries);

// How a file is read: a project from elsewhere is never written to; a
// journal this program left when it was killed may need SQLite to undo the
// write the kill interrupted (a hot rollback journal), which takes writing.
enum class ReadAccess { ReadOnly, Recover };

// Reads a whole session; refuses what is not one, a newer version, and any
// damage (views, triggers, other columns, work beyond what the file's size
// calls for, far days), without changing what the file holds.
std::variant<SessionSnapshot, SessionReadError>
readSession(const QString& path, ReadAccess access = ReadAccess::ReadOnly);

// What a start makes of the journal a session left: nothing worth keeping
// (it ended before its first write, or holds just the session this start
// begins with), a session to offer back, or a damaged file.
struct LeftOverSession {
    enum class Kind { Nothing, Session, Damaged };
    Kind kind = Kind::Nothing;
    SessionSnapshot session; // for Session
};
LeftOverSession readLeftOver(const QString& path, const SessionSnapshot& beginning);

// The message the window shows when a file cannot be opened as a session.
QString sessionReadMessage(const SessionReadError& error);

// The state as name/value pairs, and back.
std::vector<std::pair<QString, QString>> statePairs(const SessionState& state);
SessionState stateFromPairs(const std::vector<std::pair<QString, QString>>& pairs);

} // namespace quilla
