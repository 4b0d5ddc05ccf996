#include "session/session_store.h"

#include <QDataStream>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quilla {
namespace {

constexpr quint8 seriesFormat = 1;
const QString sessionKind = QStringLiteral("quilla-session");

// What a file may claim before it is taken for damaged: more than any run
// makes, few enough that reading it cannot take the machine.
constexpr quint32 maxSeriesValues = 100000;
constexpr std::size_t maxRowsPerList = 2000000;
constexpr std::size_t maxOfferedWords = 100000;
constexpr qsizetype maxOfferedText = 16 * 1024 * 1024;

sqlite3* sqliteOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(handle.constData());
    return nullptr;
}

// A database connection that is closed and forgotten when it goes.
class Connection {
public:
    explicit Connection(const QString& name) : name_(name) {}
    ~Connection() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_;
};

// At most as many values as a reader takes: the latest ones.
void writeValues(QDataStream& out, const SeriesValues& values) {
    const std::size_t from = values.size() - std::min<std::size_t>(values.size(), maxSeriesValues);
    out << quint8(values.whole() ? 0 : 1) << quint32(values.size() - from);
    for (std::size_t i = from; i < values.size(); ++i) {
        const auto v = values.at(i);
        if (values.whole())
            out << qint32(v ? static_cast<qint32>(*v) : std::numeric_limits<qint32>::min());
        else
            out << (v ? *v : std::numeric_limits<double>::quiet_NaN());
    }
}

std::optional<SeriesValues> readValues(QDataStream& in) {
    quint8 kind = 0;
    quint32 n = 0;
    in >> kind >> n;
    if (in.status() != QDataStream::Ok || kind > 1 || n > maxSeriesValues)
        return std::nullopt;
    std::vector<std::optional<double>> values;
    values.reserve(n);
    for (quint32 i = 0; i < n; ++i) {
        if (kind == 0) {
            qint32 v = 0;
            in >> v;
            values.push_back(v == std::numeric_limits<qint32>::min() ? std::nullopt
                                                                     : std::optional<double>(v));
        } else {
            double v = 0;
            in >> v;
            values.push_back(std::isnan(v) ? std::nullopt : std::optional(v));
        }
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return SeriesValues(values);
}

QString boolText(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

// A cap on the steps SQLite takes for one reading: a file that would take
// more (a view over an endless query, a loop in its pages) is refused rather
// than waited for. What a reader of plain tables does grows with the file.
class WorkBound {
public:
    WorkBound(const QSqlDatabase& db, qint64 fileBytes)
        : limit_(quotaBase + quotaPerByte * fileBytes), sqlite_(sqliteOf(db)) {
        if (sqlite_)
            sqlite3_progress_handler(sqlite_, stride, &WorkBound::step, this);
    }
    ~WorkBound() {
        if (sqlite_)
            sqlite3_progress_handler(sqlite_, 0, nullptr, nullptr);
    }
    WorkBound(const WorkBound&) = delete;
    WorkBound& operator=(const WorkBound&) = delete;

    bool exceeded() const { return steps_ > limit_; }

private:
    static constexpr int stride = 1000;
    static constexpr qint64 quotaBase = 1'000'000, quotaPerByte = 64;
    static int step(void* self) {
        auto* bound = static_cast<WorkBound*>(self);
        bound->steps_ += stride;
        return bound->exceeded() ? 1 : 0;
    }
    qint64 limit_;
    qint64 steps_ = 0;
    sqlite3* sqlite_;
};

// What the schema holds: nothing yet, no session tables at all (someone
// else's database), exactly the tables of a session of its version, or
// something else.
enum class Shape { Empty, Foreign, Session, Other };

const QStringList historyColumns = {QStringLiteral("at"), QStringLiteral("keyword"),
                                    QStringLiteral("items"), QStringLiteral("figures"),
                                    QStringLiteral("series_end")};

bool hasColumns(QSqlDatabase& db, const QString& table, const QStringList& columns) {
    QSqlQuery q(db);
    // table_xinfo shows hidden and generated columns too.
    if (!q.exec(QStringLiteral("PRAGMA table_xinfo(%1)").arg(table)))
        return false;
    QStringList found;
    while (q.next()) {
        if (q.value(6).toInt() != 0)
            return false;
        found.append(q.value(1).toString());
    }
    return !q.lastError().isValid() && found == columns;
}

// Only plain tables with the session's columns and the index SQLite makes
// for state's key: a view or a virtual table runs queries of its own when
// read, a trigger when written, an index with an expression when checked.
Shape shapeOf(QSqlDatabase& db, bool withHistory) {
    const int tables = withHistory ? 4 : 3;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT type, name, tbl_name, rootpage, sql FROM sqlite_master")))
        return Shape::Other;
    int entries = 0, expected = 0;
    bool named = false;
    while (q.next()) {
        if (++entries > tables)
            return Shape::Other;
        const QString type = q.value(0).toString(), name = q.value(1).toString();
        const bool stored = q.value(2).toString() == name || type == u"index";
        const bool plain = q.value(3).toLongLong() > 0 &&
                           (type != u"table" ||
                            q.value(4).toString().startsWith(u"CREATE TABLE", Qt::CaseInsensitive));
        named = named || name == u"rows" || name == u"state";
        if (stored && plain &&
            ((type == u"table" &&
              (name == u"rows" || name == u"state" || (withHistory && name == u"history"))) ||
             (type == u"index" && name == u"sqlite_autoindex_state_1" &&
              q.value(2).toString() == u"state")))
            ++expected;
    }
    if (q.lastError().isValid())
        return Shape::Other;
    if (entries == 0)
        return Shape::Empty;
    if (!named)
        return Shape::Foreign;
    if (expected != tables || entries != tables ||
        (withHistory && !hasColumns(db, QStringLiteral("history"), historyColumns)) ||
        !hasColumns(db, QStringLiteral("rows"),
                    {QStringLiteral("list"), QStringLiteral("place"), QStringLiteral("fields"),
                     QStringLiteral("series")}) ||
        !hasColumns(db, QStringLiteral("state"), {QStringLiteral("name"), QStringLiteral("value")}))
        return Shape::Other;
    return Shape::Session;
}

} // namespace

QString storedText(const QString& text) {
    // A null QString binds as NULL; an empty box is text all the same.
    return text.isNull() ? QString::fromLatin1("") : text;
}

QByteArray encodeFields(const QStringList& fields) {
    return QJsonDocument(QJsonArray::fromStringList(fields)).toJson(QJsonDocument::Compact);
}

std::optional<QStringList> decodeFields(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QStringList fields;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString())
            return std::nullopt;
        fields.append(v.toString());
    }
    return fields;
}

QByteArray encodeSeries(const TrendSeries& series) {
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    // A day no reader takes is kept as none, so that what is saved opens again.
    const bool dated = series.endDate && isSaneEndDay(*series.endDate);
    out << seriesFormat << qint64(dated ? series.endDate->toJulianDay() : -1);
    writeValues(out, series.search);
    writeValues(out, series.trade);
    return blob;
}

std::optional<TrendSeries> decodeSeries(const QByteArray& blob) {
    QDataStream in(blob);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 format = 0;
    qint64 end = -1;
    in >> format >> end;
    if (in.status() != QDataStream::Ok || format != seriesFormat)
        return std::nullopt;
    TrendSeries series;
    if (end != -1) {
        const QDate day = QDate::fromJulianDay(end);
        if (!isSaneEndDay(day))
            return std::nullopt;
        series.endDate = day;
    }
    auto search = readValues(in);
    auto trade = readValues(in);
    if (!search || !trade || !in.atEnd())
        return std::nullopt;
    series.search = std::move(*search);
    series.trade = std::move(*trade);
    return series;
}

namespace {

// A list of rows as a state value: empty for none.
QString rowsText(const std::optional<std::vector<std::int64_t>>& rows) {
    if (!rows)
        return {};
    QJsonArray array;
    for (const std::int64_t row : *rows)
        array.append(static_cast<qint64>(row));
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::optional<std::vector<std::int64_t>> rowsFromText(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    std::vector<std::int64_t> rows;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array())
        rows.push_back(v.toInteger());
    return rows;
}

// The offered words as a JSON array; empty when there are none, so a session
// without them stores what it always stored.
QString offeredText(const std::vector<QString>& words) {
    if (words.empty())
        return {};
    QJsonArray array;
    for (const QString& word : words)
        array.append(word);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// What does not fit is left out: a file's list is the file's, not the page's.
std::vector<QString> offeredFrom(const QString& text) {
    std::vector<QString> words;
    if (text.isEmpty() || text.size() > maxOfferedText)
        return words;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QString word = v.toString();
        if (words.size() >= maxOfferedWords)
            break;
        if (v.isString() && !word.isEmpty() && word.size() <= historyBounds::maxKeywordLength)
            words.push_back(word);
    }
    return words;
}

} // namespace

std::vector<std::pair<QString, QString>> statePairs(const SessionState& s) {
    return {{QStringLiteral("kind"), sessionKind},
            {QStringLiteral("keyword"), s.keyword},
            {QStringLiteral("include"), s.include},
            {QStringLiteral("exclude"), s.exclude},
            {QStringLiteral("quantity"), s.quantity},
            {QStringLiteral("interval"), s.interval},
            {QStringLiteral("mining_row"), QString::number(s.miningRow)},
            {QStringLiteral("query_row"), QString::number(s.queryRow)},
            {QStringLiteral("queries_since_long_wait"), QString::number(s.queriesSinceLongWait)},
            {QStringLiteral("mining_started"), boolText(s.miningStarted)},
            {QStringLiteral("index_started"), boolText(s.indexStarted)},
            {QStringLiteral("mining_going"), boolText(s.miningGoing)},
            {QStringLiteral("index_going"), boolText(s.indexGoing)},
            {QStringLiteral("index_only"), rowsText(s.indexOnly)},
            {QStringLiteral("count_rows"), rowsText(s.countRows)},
            {QStringLiteral("index_only_at"), QString::number(s.indexOnlyAt)},
            {QStringLiteral("mining_pace_ms"), QString::number(s.miningPaceMs)},
            {QStringLiteral("offered_words"), offeredText(s.offeredWords)}};
}

SessionState stateFromPairs(const std::vector<std::pair<QString, QString>>& pairs) {
    SessionState s;
    for (const auto& [name, value] : pairs) {
        if (name == u"keyword")
            s.keyword = value;
        else if (name == u"include")
            s.include = value;
        else if (name == u"exclude")
            s.exclude = value;
        else if (name == u"quantity")
            s.quantity = value;
        else if (name == u"interval")
            s.interval = value;
        else if (name == u"mining_row")
            s.miningRow = value.toInt();
        else if (name == u"query_row")
            s.queryRow = value.toInt();
        else if (name == u"queries_since_long_wait")
            s.queriesSinceLongWait = value.toInt();
        else if (name == u"mining_started")
            s.miningStarted = value == u"1";
        else if (name == u"index_started")
            s.indexStarted = value == u"1";
        else if (name == u"mining_going")
            s.miningGoing = value == u"1";
        else if (name == u"index_going")
            s.indexGoing = value == u"1";
        else if (name == u"index_only_at")
            s.indexOnlyAt = value.toLongLong();
        else if (name == u"mining_pace_ms")
            s.miningPaceMs = value.toLongLong();
        else if (name == u"offered_words")
            s.offeredWords = offeredFrom(value);
        else if (name == u"index_only")
            s.indexOnly = rowsFromText(value);
        else if (name == u"count_rows")
            s.countRows = rowsFromText(value);
    }
    return s;
}

std::optional<QString> openSessionDatabase(QSqlDatabase& db, const QString& path,
                                           const QString& connection, bool create, bool readOnly) {
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    if (readOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        return db.lastError().text();
    if (!create)
        return std::nullopt;
    QSqlQuery q(db);
    const QString schema[] = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS rows (list INTEGER NOT NULL, place INTEGER NOT "
                       "NULL, fields BLOB NOT NULL, series BLOB, PRIMARY KEY (list, place)) "
                       "WITHOUT ROWID"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS state (name TEXT PRIMARY KEY, value TEXT NOT "
                       "NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history (at INTEGER NOT NULL, keyword TEXT NOT "
                       "NULL, items INTEGER, figures TEXT NOT NULL, series_end INTEGER)"),
        QStringLiteral("PRAGMA user_version = %1").arg(sessionSchemaVersion),
    };
    // One transaction: a process killed meanwhile leaves no tables or all of
    // them with their version, never a file that reads as someone else's.
    if (!db.transaction())
        return db.lastError().text();
    for (const QString& sql : schema) {
        if (!q.exec(sql)) {
            const QString why = q.lastError().text();
            db.rollback();
            return why;
        }
    }
    if (!db.commit())
        return db.lastError().text();
    return std::nullopt;
}

std::optional<QString> writeSession(QSqlDatabase& db, const SessionSnapshot& snapshot) {
    if (!db.transaction())
        return db.lastError().text();
    QSqlQuery q(db);
    const auto fail = [&](const QSqlQuery& failed) {
        const QString why = failed.lastError().text();
        db.rollback();
        return std::optional(why);
    };
    if (!q.exec(QStringLiteral("DELETE FROM rows")) ||
        !q.exec(QStringLiteral("DELETE FROM state")) ||
        !q.exec(QStringLiteral("DELETE FROM history")))
        return fail(q);
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO rows VALUES (?, ?, ?, ?)")))
        return fail(insert);
    for (const auto& [list, rows] : {std::pair{SessionList::Candidates, &snapshot.candidates},
                                     std::pair{SessionList::Results, &snapshot.results}}) {
        for (std::size_t place = 0; place < rows->size(); ++place) {
            const Row& row = (*rows)[place];
            insert.bindValue(0, static_cast<int>(list));
            insert.bindValue(1, static_cast<qint64>(place));
            insert.bindValue(2, encodeFields(row.fields));
            insert.bindValue(3, row.series ? QVariant(encodeSeries(*row.series))
                                           : QVariant(QMetaType(QMetaType::QByteArray)));
            if (!insert.exec())
                return fail(insert);
        }
    }
    QSqlQuery state(db);
    if (!state.prepare(QStringLiteral("INSERT INTO state VALUES (?, ?)")))
        return fail(state);
    for (const auto& [name, value] : statePairs(snapshot.state)) {
        state.bindValue(0, name);
        state.bindValue(1, storedText(value));
        if (!state.exec())
            return fail(state);
    }
    if (auto error = insertHistory(db, snapshot.history.entries())) {
        db.rollback();
        return error;
    }
    if (!db.commit())
        return db.lastError().text();
    return std::nullopt;
}

// Straight through SQLite: a year of daily snapshots of a thousand rows is
// hundreds of thousands of them, which must read and write in well under a
// second.
std::optional<QString> insertHistory(QSqlDatabase& db, const std::vector<Snapshot>& entries) {
    if (entries.empty())
        return std::nullopt;
    sqlite3* sqlite = sqliteOf(db);
    if (!sqlite)
        return QStringLiteral("no SQLite connection");
    sqlite3_stmt* insert = nullptr;
    const char sql[] = "INSERT INTO history VALUES (?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(sqlite, sql, -1, &insert, nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(sqlite));
    std::optional<QString> failure;
    for (const Snapshot& s : entries) {
        const QByteArray keyword = s.keyword.toUtf8(), figures = s.figures.toUtf8();
        sqlite3_bind_int64(insert, 1, s.atMs);
        sqlite3_bind_text(insert, 2, keyword.constData(), int(keyword.size()), SQLITE_TRANSIENT);
        if (s.items >= 0)
            sqlite3_bind_int64(insert, 3, s.items);
        else
            sqlite3_bind_null(insert, 3);
        sqlite3_bind_text(insert, 4, figures.constData(), int(figures.size()), SQLITE_TRANSIENT);
        if (s.seriesEnd >= 0)
            sqlite3_bind_int64(insert, 5, s.seriesEnd);
        else
            sqlite3_bind_null(insert, 5);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            failure = QString::fromUtf8(sqlite3_errmsg(sqlite));
            break;
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    return failure;
}

namespace {

QString columnText(sqlite3_stmt* q, int column) {
    // The text first: asking for the length first may give that of another form.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(q, column));
}

// The history as stored, every snapshot checked; nothing when the file
// holds one that this program could not have written.
bool readHistory(const QSqlDatabase& db, History& history) {
    sqlite3* sqlite = sqliteOf(db);
    sqlite3_stmt* q = nullptr;
    const char sql[] = "SELECT at, keyword, items, figures, series_end FROM history ORDER BY rowid";
    if (!sqlite || sqlite3_prepare_v2(sqlite, sql, -1, &q, nullptr) != SQLITE_OK)
        return false;
    const auto integerOr = [q](int column, std::int64_t none) -> std::optional<std::int64_t> {
        switch (sqlite3_column_type(q, column)) {
        case SQLITE_NULL:
            return none;
        case SQLITE_INTEGER:
            return sqlite3_column_int64(q, column);
        default:
            return std::nullopt;
        }
    };
    QHash<QByteArray, QString> keywords;
    bool ok = true;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(q)) == SQLITE_ROW) {
        const auto items = integerOr(2, -1), end = integerOr(4, -1);
        if (history.size() >= historyBounds::maxEntries ||
            sqlite3_column_type(q, 0) != SQLITE_INTEGER ||
            sqlite3_column_type(q, 1) != SQLITE_TEXT || sqlite3_column_type(q, 3) != SQLITE_TEXT ||
            sqlite3_column_bytes(q, 3) > 4 * snapshotFigureCount * historyBounds::maxFigureLength ||
            !items || !end) {
            ok = false;
            break;
        }
        // A keyword's text is read once, however many snapshots it has.
        const auto* keywordText = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
        const QByteArray keywordBytes =
            QByteArray::fromRawData(keywordText, sqlite3_column_bytes(q, 1));
        auto known = keywords.constFind(keywordBytes);
        if (known == keywords.cend())
            known = keywords.insert(QByteArray(keywordBytes.constData(), keywordBytes.size()),
                                    QString::fromUtf8(keywordBytes));
        Snapshot s{sqlite3_column_int64(q, 0), *known, *items, columnText(q, 3), *end};
        if (!isStorable(s)) {
            ok = false;
            break;
        }
        history.append(std::move(s));
    }
    sqlite3_finalize(q);
    return ok && step == SQLITE_DONE;
}

} // namespace

std::variant<SessionSnapshot, SessionReadError> readSession(const QString& path,
                                                            ReadAccess access) {
    using Kind = SessionReadError::Kind;
    const QFileInfo file(path);
    if (!file.isFile())
        return SessionReadError{Kind::Missing, {}};
    if (file.size() == 0)
        return SessionReadError{Kind::Empty, {}};
    const QString name = QStringLiteral("read-") + QUuid::createUuid().toString(QUuid::Id128);
    const Connection connection(name);
    QSqlDatabase db;
    if (const auto error =
            openSessionDatabase(db, path, name, false, access == ReadAccess::ReadOnly))
        return SessionReadError{Kind::NotASession, *error};
    // A journal's latest writes may still be in its write-ahead log.
    const WorkBound bound(db, file.size() + std::max<qint64>(0, QFileInfo(path + u"-wal").size()));
    const auto damaged = [&](const QString& why) {
        return SessionReadError{Kind::Damaged,
                                bound.exceeded() ? QStringLiteral("too much work") : why};
    };
    QSqlQuery q(db);
    // SQLite reads a file lazily: what is no database shows at the first query.
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return SessionReadError{Kind::NotASession, q.lastError().text()};
    const int version = q.value(0).toInt();
    if (version > sessionSchemaVersion)
        return SessionReadError{Kind::Newer, QString::number(version)};
    switch (shapeOf(db, version >= 2)) {
    case Shape::Empty:
        return SessionReadError{Kind::Empty, {}};
    case Shape::Foreign:
        return SessionReadError{Kind::NotASession, {}};
    case Shape::Other:
        return damaged(QStringLiteral("schema"));
    case Shape::Session:
        break;
    }
    // Checked first: pages that are damaged can read as no rows at all, and
    // then as a journal that never had a session, or not even that.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
        q.value(0).toString() != u"ok")
        return damaged(q.isValid() ? q.value(0).toString() : q.lastError().text());
    if (!q.exec(QStringLiteral("SELECT value FROM state WHERE name = 'kind'")))
        return damaged(q.lastError().text());
    if (!q.next() || q.value(0).toString() != sessionKind || version < 1) {
        // A journal whose program ended before its first write holds the
        // schema and nothing else.
        QSqlQuery rows(db);
        const bool schemaOnly = version >= 1 &&
                                rows.exec(QStringLiteral("SELECT count(*) FROM rows")) &&
                                rows.next() && rows.value(0).toInt() == 0;
        return SessionReadError{schemaOnly ? Kind::Empty : Kind::NotASession, {}};
    }

    SessionSnapshot snapshot;
    std::vector<std::pair<QString, QString>> pairs;
    if (!q.exec(QStringLiteral("SELECT name, value FROM state")))
        return damaged(q.lastError().text());
    while (q.next())
        pairs.emplace_back(q.value(0).toString(), q.value(1).toString());
    if (q.lastError().isValid())
        return damaged(q.lastError().text());
    snapshot.state = stateFromPairs(pairs);
    if (!q.exec(
            QStringLiteral("SELECT list, place, fields, series FROM rows ORDER BY list, place")))
        return damaged(q.lastError().text());
    while (q.next()) {
        const int list = q.value(0).toInt();
        const bool known = list == static_cast<int>(SessionList::Candidates) ||
                           list == static_cast<int>(SessionList::Results);
        std::vector<Row>& rows = list == static_cast<int>(SessionList::Candidates)
                                     ? snapshot.candidates
                                     : snapshot.results;
        const auto fields = decodeFields(q.value(2).toByteArray());
        if (!known || rows.size() >= maxRowsPerList ||
            q.value(1).toLongLong() != static_cast<qint64>(rows.size()) || !fields)
            return damaged(QStringLiteral("rows"));
        Row row{*fields};
        if (!q.value(3).isNull()) {
            auto series = decodeSeries(q.value(3).toByteArray());
            if (!series)
                return damaged(QStringLiteral("series"));
            row.series = std::make_shared<const TrendSeries>(std::move(*series));
        }
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        return damaged(q.lastError().text());
    q.finish();
    if (version >= 2 && !readHistory(db, snapshot.history))
        return damaged(QStringLiteral("history"));
    return snapshot;
}

LeftOverSession readLeftOver(const QString& path, const SessionSnapshot& beginning) {
    auto read = readSession(path, ReadAccess::Recover);
    if (auto* found = std::get_if<SessionSnapshot>(&read)) {
        // Killed before anything happened: bringing it back would change nothing.
        if (*found == beginning)
            return {};
        return {LeftOverSession::Kind::Session, std::move(*found)};
    }
    if (std::get<SessionReadError>(read).kind == SessionReadError::Kind::Empty)
        return {};
    return {LeftOverSession::Kind::Damaged, {}};
}

QString sessionReadMessage(const SessionReadError& error) {
    switch (error.kind) {
    case SessionReadError::Kind::NotASession:
    case SessionReadError::Kind::Empty:
        return QStringLiteral("这个文件不是 Quilla 项目，没有打开。");
    case SessionReadError::Kind::Newer:
        return QStringLiteral("这个项目来自更新版本的 Quilla（格式 %1），这个版本打不开它。")
            .arg(error.detail);
    case SessionReadError::Kind::Damaged:
        return QStringLiteral("这个项目文件已损坏，没有打开。");
    case SessionReadError::Kind::Missing:
        break;
    }
    return QStringLiteral("找不到这个项目文件。");
}

} // namespace quilla
