// SQLite engine: opening files safely, the statement cache, value binding,
// transactions and the one mapping of result codes to rt::Error.
#include "platform/db/sqlite/SqliteEngine.h"

#include "platform/db/ProviderErrors.h"

#include <sqlite3.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include "platform/db/Connection.h"
#include "platform/db/PasswordVerifier.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/sqlite/JetFunctions.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

namespace db {

namespace {

constexpr size_t kMaxCachedStatements = 128;
constexpr int kPasswordRounds = 4096;
const char* const kPasswordTable = "MSysPassword";

QString fromUtf8(const char* s) { return s ? QString::fromUtf8(s) : QString(); }

// ---- JETTEXT collation ----

bool isAscii(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

int jetTextCompare(void*, int n1, const void* p1, int n2, const void* p2) {
    const char* a = static_cast<const char*>(p1);
    const char* b = static_cast<const char*>(p2);
    if (isAscii(a, n1) && isAscii(b, n2)) {
        int n = n1 < n2 ? n1 : n2;
        for (int i = 0; i < n; ++i) {
            int ca = a[i], cb = b[i];
            if (ca >= 'A' && ca <= 'Z') ca += 32;
            if (cb >= 'A' && cb <= 'Z') cb += 32;
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        return n1 == n2 ? 0 : (n1 < n2 ? -1 : 1);
    }
    QString qa = QString::fromUtf8(a, n1), qb = QString::fromUtf8(b, n2);
    int c = QString::compare(qa.toCaseFolded(), qb.toCaseFolded(), Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// ---- Files ----

enum class FileKind { Missing, Unreadable, Sqlite, Jet, Other };

FileKind fileKind(const QString& path) {
    QFileInfo fi(path);
    if (!fi.exists() || !fi.isFile()) return FileKind::Missing;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return FileKind::Unreadable;
    QByteArray head = f.read(32);
    if (head.startsWith(QByteArray("SQLite format 3\0", 16))) return FileKind::Sqlite;
    if (head.size() >= 19 && (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB"))
        return FileKind::Jet;
    return FileKind::Other;
}

QString unrecognised(const QString& path) {
    return QStringLiteral("Unrecognized database format '%1'.").arg(path);
}

// ---- The provider's wording ----

// What the engine and the Jet functions refuse, in the provider's shape:
// Jet's descriptions and numbers for the common cases. Nothing for the rest,
// which the result codes below map. `msg` is SQLite's message.
std::optional<rt::Error> providerError(int primary, const QString& msg) {
    if (auto f = takeFunctionFailure(msg)) {
        // A Jet function's own failure: database failures keep their number;
        // the run-time's type mismatch is the provider's.
        if (f->number() == rt::err::TypeMismatch) return typeMismatchError();
        if (f->number() < 0) return f;
        return rt::Error(rt::err::DbGeneric, f->description());
    }
    auto after = [&](const char* prefix) {
        return msg.mid(qsizetype(std::strlen(prefix))).trimmed();
    };
    auto unquoted = [](QString n) {
        if (n.size() >= 2 && n.startsWith(u'"') && n.endsWith(u'"')) n = n.mid(1, n.size() - 2);
        return n;
    };
    if (primary == SQLITE_CONSTRAINT) {
        // The kinds and sizes the schema helper writes into each table.
        if (msg.startsWith(QLatin1String("CHECK constraint failed: jetsize:")))
            return fieldTooSmallError();
        if (msg.startsWith(QLatin1String("CHECK constraint failed: jetrange:")))
            return numericOverflowError();
        if (msg.startsWith(QLatin1String("CHECK constraint failed: jettype:")))
            return typeMismatchError();
        if (msg.startsWith(QLatin1String("NOT NULL constraint failed: "))) {
            const QString at = after("NOT NULL constraint failed: ");
            const qsizetype dot = at.lastIndexOf(u'.');
            return requiredNullError(at.left(dot), at.mid(dot + 1));
        }
        return std::nullopt;
    }
    if (msg.startsWith(QLatin1String("misuse of aggregate")) ||
        msg.startsWith(QLatin1String("aggregate functions are not allowed")))
        return rt::Error(rt::err::DbSyntax,
                         msg.startsWith(QLatin1String("misuse"))
                             ? QStringLiteral("Cannot have aggregate function in expression (%1).")
                                   .arg(msg.section(u' ', -1))
                             : QStringLiteral("Cannot have aggregate function in GROUP BY "
                                              "clause."));
    if (msg.startsWith(QLatin1String("ambiguous column name: ")))
        return ambiguousFieldError(after("ambiguous column name: "));
    if (msg.startsWith(QLatin1String("too many columns"))) return tooManyFieldsError();
    if (msg.startsWith(QLatin1String("sub-select returns"))) return subqueryFieldsError();
    if (msg.contains(QLatin1String(" has no column named ")))
        return unknownInsertFieldError(msg.section(QLatin1String(" has no column named "), 1));
    if ((msg.startsWith(QLatin1String("table ")) && msg.contains(QLatin1String(" values for "))) ||
        msg.contains(QLatin1String(" values were supplied")))
        return valueCountError();
    if (msg.startsWith(QLatin1String("table ")) && msg.endsWith(QLatin1String(" already exists")))
        return tableExistsError(unquoted(msg.mid(6, msg.size() - 6 - 15)));
    if (msg.startsWith(QLatin1String("index ")) && msg.endsWith(QLatin1String(" already exists")))
        return indexExistsError(unquoted(msg.mid(6, msg.size() - 6 - 15)));
    if (msg.startsWith(QLatin1String("no such index: ")))
        return rt::Error(rt::err::DbSyntax, QStringLiteral("Cannot find table or constraint."));
    if (msg.startsWith(QLatin1String("cannot drop ")) ||
        msg.contains(QLatin1String("after drop column")))
        return fieldInUseError();
    return std::nullopt;
}

// A journal left beside the file: a change that was interrupted before it
// completed. The next user who may write the file, its folder and the journal
// rolls it back on opening.
bool hotJournal(const QString& path) {
    const QFileInfo journal(path + QStringLiteral("-journal"));
    return journal.exists() && journal.size() > 0;
}

[[noreturn]] void needsRecovery(const QString& path) {
    rt::raise(rt::err::DbGeneric,
              QStringLiteral("The database '%1' needs recovery: a change that was interrupted "
                             "(a workstation stopped while writing) left its journal '%2'. A user "
                             "with write access to the file, its folder and its journal must open "
                             "the database once to complete the recovery. Do not delete the "
                             "journal: that would damage the database.")
                  .arg(path, path + QStringLiteral("-journal")));
}

bool folderWritable(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

}  // namespace

void registerJetCollation(sqlite3* db) {
    sqlite3_create_collation(db, "JETTEXT", SQLITE_UTF8, nullptr, jetTextCompare);
    // Tables made by this layer declare their text columns NOCASE, which any
    // SQLite program can read (it folds ASCII letters only); here NOCASE
    // folds every letter, as JETTEXT does for files of earlier versions.
    sqlite3_create_collation(db, "NOCASE", SQLITE_UTF8, nullptr, jetTextCompare);
    sqlite3_create_collation(db, "JETDECIMAL", SQLITE_UTF8, nullptr,
                             [](void*, int n1, const void* p1, int n2, const void* p2) {
                                 return compareDecimalText(n1, p1, n2, p2);
                             });
}

sqlite3* sqliteHandle(Engine& engine) {
    auto* e = dynamic_cast<SqliteEngine*>(&engine);
    if (!e)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("'%1' is not a database file.").arg(engine.path()));
    return e->handle();
}

// ---- The statement ----

class SqliteStatement final : public Statement {
public:
    SqliteStatement(SqliteEngine& e, sqlite3_stmt* s) : Statement(e.settings()), e_(e), s_(s) {}
    ~SqliteStatement() override { e_.release(s_); }

    void bindNull(int i) override { check(sqlite3_bind_null(s_, i)); }
    void bindInteger(int i, int64_t v) override { check(sqlite3_bind_int64(s_, i, v)); }
    void bindReal(int i, double v) override { check(sqlite3_bind_double(s_, i, v)); }
    void bindText(int i, QByteArrayView t) override {
        check(sqlite3_bind_text64(s_, i, t.data() ? t.data() : "", sqlite3_uint64(t.size()),
                                  SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    void bindBlob(int i, QByteArrayView b) override {
        check(sqlite3_bind_blob64(s_, i, b.data() ? b.data() : "", sqlite3_uint64(b.size()),
                                  SQLITE_TRANSIENT));
    }

    void bind(int i, const rt::Variant& v) override {
        using rt::VarType;
        switch (v.type()) {
            case VarType::Empty:
            case VarType::Null: bindNull(i); break;
            case VarType::Byte: bindInteger(i, v.asByte()); break;
            case VarType::Int16: bindInteger(i, v.asInt16()); break;
            case VarType::Int32: bindInteger(i, v.asInt32()); break;
            case VarType::Single: bindReal(i, double(v.asSingle())); break;
            case VarType::Double: bindReal(i, v.asDouble()); break;
            case VarType::Currency: bindReal(i, v.asCurrency().toDouble()); break;
            case VarType::Decimal: bindReal(i, v.asDecimal().toDouble()); break;
            case VarType::Date: bindText(i, jet::storedDateText(v.asDate()).toUtf8()); break;
            case VarType::Boolean: bindInteger(i, v.asBool() ? -1 : 0); break;
            case VarType::Text: bindText(i, v.asText().toUtf8()); break;
            case VarType::Binary: bindBlob(i, v.asBinary()); break;
        }
    }

    bool next() override {
        const int rc = sqlite3_step(s_);
        if (!started_) {
            started_ = true;
            // Prepared again by SQLite: the schema changed under the cache.
            if (sqlite3_stmt_status(s_, SQLITE_STMTSTATUS_REPREPARE, 1) > 0)
                e_.schemaTouched_ = true;
        }
        if (rc == SQLITE_ROW) return true;
        e_.noteSchemaChanges();
        if (rc == SQLITE_DONE) return false;
        sqlite3_reset(s_);  // the engine's message stays current on the handle
        started_ = false;
        e_.fail(rc, errorContext());
    }
    void reset() override {
        sqlite3_reset(s_);
        started_ = false;
    }

    int columnCount() const override { return sqlite3_column_count(s_); }
    QString columnName(int c) const override { return fromUtf8(sqlite3_column_name(s_, c)); }
    rt::VarType declaredKind(int c) const override {
        const char* decl = sqlite3_column_decltype(s_, c);
        return decl ? varTypeForDeclared(QString::fromUtf8(decl)) : rt::VarType::Empty;
    }
    Origin columnOrigin(int c) const override {
        return Origin{fromUtf8(sqlite3_column_table_name(s_, c)),
                      fromUtf8(sqlite3_column_origin_name(s_, c))};
    }
    Cell cell(int c) const override {
        Cell out;
        switch (sqlite3_column_type(s_, c)) {
            case SQLITE_INTEGER:
                out.type = CellType::Integer;
                out.integer = sqlite3_column_int64(s_, c);
                break;
            case SQLITE_FLOAT:
                out.type = CellType::Real;
                out.real = sqlite3_column_double(s_, c);
                break;
            case SQLITE_TEXT:
                out.type = CellType::Text;
                out.data = reinterpret_cast<const char*>(sqlite3_column_text(s_, c));
                out.size = sqlite3_column_bytes(s_, c);
                break;
            case SQLITE_BLOB:
                out.type = CellType::Blob;
                out.data = static_cast<const char*>(sqlite3_column_blob(s_, c));
                out.size = sqlite3_column_bytes(s_, c);
                break;
            default: break;
        }
        return out;
    }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK) e_.fail(rc, errorContext());
    }

    SqliteEngine& e_;
    sqlite3_stmt* s_;
    bool started_ = false;
};

// ---- The engine ----

SqliteEngine::SqliteEngine(sqlite3* db, QString path, const rt::RegionalSettings* settings,
                           const rt::Clock* clock)
    : Engine(std::move(path), settings, clock), db_(db) {}

SqliteEngine::~SqliteEngine() {
    for (auto& [sql, list] : freeStatements_)
        for (sqlite3_stmt* s : list) sqlite3_finalize(s);
    sqlite3_close_v2(db_);
}

const jet::Dialect& SqliteEngine::dialect() const { return jet::sqliteDialect(); }

std::unique_ptr<SqliteEngine> SqliteEngine::open(const QString& path, const QString& password,
                                                 const rt::RegionalSettings* settings,
                                                 const rt::Clock* clock, int lockWaitMs) {
    switch (fileKind(path)) {
        case FileKind::Missing:
            rt::raise(rt::err::DbGeneric, QStringLiteral("Could not find file '%1'.").arg(path));
        case FileKind::Unreadable:
            rt::raise(rt::err::DbGeneric,
                      QStringLiteral("The file '%1' cannot be read (permission denied).").arg(path));
        case FileKind::Jet:
            rt::raise(rt::err::DbUnrecognised,
                      QStringLiteral("'%1' is a Jet database file, which this program does not open "
                                     "directly. Convert it first with the importer: jetimport "
                                     "SOURCE TARGET.")
                          .arg(path));
        case FileKind::Other: rt::raise(rt::err::DbUnrecognised, unrecognised(path));
        case FileKind::Sqlite: break;
    }
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time (as the engine's caches
    // are), so SQLite's own lock around every call would only cost time: a
    // walk reads several values a row.
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        sqlite3_close_v2(raw);
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Could not open database '%1' (%2).").arg(path, msg));
    }
    std::unique_ptr<SqliteEngine> e(new SqliteEngine(raw, path, settings, clock));
    sqlite3_extended_result_codes(raw, 0);
    // A double-quoted name is always a name: an unknown column must fail, not
    // turn into a text literal.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    e->setLockWait(lockWaitMs);
    sqlite3_set_authorizer(raw, &SqliteEngine::authorize, e.get());
    registerJetCollation(raw);
    registerJetFunctions(raw, settings, clock);
    // Relationships brought over from Jet files are foreign keys, enforced on
    // every connection as Jet enforced them for every user.
    sqlite3_exec(raw, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);

    // Reading the schema proves the file is a sound database.
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(raw,
                            "SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?1",
                            -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(st, 1, kPasswordTable, -1, SQLITE_STATIC);
        rc = sqlite3_step(st);
    }
    bool hasVerifier = rc == SQLITE_ROW && sqlite3_column_int(st, 0) > 0;
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) {
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) e->fail(rc);
        if (hotJournal(path) && rc != SQLITE_CORRUPT && rc != SQLITE_NOTADB) needsRecovery(path);
        rt::raise(rt::err::DbUnrecognised,
                  QStringLiteral("The database '%1' is damaged or not a database (%2).")
                      .arg(path, fromUtf8(sqlite3_errstr(rc))));
    }
    if (hasVerifier) {
        rc = sqlite3_prepare_v2(raw, "SELECT salt, rounds, digest FROM MSysPassword", -1, &st,
                                nullptr);
        if (rc != SQLITE_OK) e->fail(rc);
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            QByteArray salt(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                            sqlite3_column_bytes(st, 0));
            int rounds = sqlite3_column_int(st, 1);
            QByteArray digest(static_cast<const char*>(sqlite3_column_blob(st, 2)),
                              sqlite3_column_bytes(st, 2));
            sqlite3_finalize(st);
            if (rounds < 1 || rounds > 10'000'000 ||
                passwordDigest(password, salt, rounds) != digest)
                rt::raise(rt::err::DbBadPassword, QStringLiteral("Not a valid password."));
        } else {
            sqlite3_finalize(st);
            if (rc != SQLITE_DONE) e->fail(rc);
        }
    }
    return e;
}

void SqliteEngine::createFile(const QString& path, const QString& password) {
    if (QFileInfo::exists(path))
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Database '%1' already exists.").arg(path));
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE,
                             nullptr);
    auto failCreate = [&](const QString& why) {
        sqlite3_close_v2(raw);
        QFile::remove(path);
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Could not create database '%1' (%2).").arg(path, why));
    };
    if (rc != SQLITE_OK) failCreate(fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    char* msg = nullptr;
    rc = sqlite3_exec(raw,
                      "PRAGMA journal_mode=DELETE;"
                      "CREATE TABLE MSysPassword (salt BLOB, rounds INTEGER, digest BLOB);",
                      nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        QString why = fromUtf8(msg);
        sqlite3_free(msg);
        failCreate(why);
    }
    if (password.isEmpty()) {
        rc = sqlite3_exec(raw, "DROP TABLE MSysPassword;", nullptr, nullptr, nullptr);
    } else {
        QByteArray salt(16, '\0');
        QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
        QByteArray digest = passwordDigest(password, salt, kPasswordRounds);
        sqlite3_stmt* st = nullptr;
        rc = sqlite3_prepare_v2(raw, "INSERT INTO MSysPassword VALUES (?1, ?2, ?3)", -1, &st,
                                nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_blob(st, 1, salt.constData(), int(salt.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 2, kPasswordRounds);
            sqlite3_bind_blob(st, 3, digest.constData(), int(digest.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        }
        sqlite3_finalize(st);
    }
    if (rc != SQLITE_OK) failCreate(fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_close_v2(raw);
}

void SqliteEngine::execNative(const std::string& sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (msg) sqlite3_free(msg);
    noteSchemaChanges();  // also after a failure: earlier statements may have run
    if (rc != SQLITE_OK) fail(rc);
}

// The engine learns of every change of the schema, whatever the spelling of
// the statement: SQLite's authorizer names each statement's actions as it is
// prepared (CREATE, DROP, ALTER ... of any kind), and a cached statement that
// SQLite had to prepare again saw another connection change the schema.
int SqliteEngine::authorize(void* engine, int action, const char*, const char*, const char*,
                            const char*) {
    switch (action) {
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_TEMP_INDEX:
        case SQLITE_CREATE_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_TRIGGER:
        case SQLITE_CREATE_TEMP_VIEW:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_CREATE_VIEW:
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_TEMP_INDEX:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_DROP_TEMP_TRIGGER:
        case SQLITE_DROP_TEMP_VIEW:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_DROP_VIEW:
        case SQLITE_ALTER_TABLE:
        case SQLITE_CREATE_VTABLE:
        case SQLITE_DROP_VTABLE:
            static_cast<SqliteEngine*>(engine)->schemaTouched_ = true;
            break;
        default: break;
    }
    return SQLITE_OK;
}

void SqliteEngine::noteSchemaChanges() {
    if (!schemaTouched_) return;
    schemaTouched_ = false;
    schemaChanged();
}

int64_t SqliteEngine::changes() const { return sqlite3_changes64(db_); }

void SqliteEngine::setTrace(std::function<void(const std::string& sql)> trace) {
    trace_ = std::move(trace);
    if (!trace_) {
        sqlite3_trace_v2(db_, 0, nullptr, nullptr);
        return;
    }
    sqlite3_trace_v2(
        db_, SQLITE_TRACE_STMT,
        [](unsigned kind, void* ctx, void* stmt, void*) -> int {
            if (kind == SQLITE_TRACE_STMT) {
                const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
                auto* self = static_cast<SqliteEngine*>(ctx);
                if (!self->readingCatalog_) self->trace_(sql ? sql : "");
            }
            return 0;
        },
        this);
}

void SqliteEngine::beginWrite() { execNative("BEGIN IMMEDIATE"); }
void SqliteEngine::commit() { execNative("COMMIT"); }
void SqliteEngine::rollback() noexcept {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteEngine::setLockWait(int milliseconds) {
    lockWaitMs_ = milliseconds < 0 ? 0 : milliseconds;
    sqlite3_busy_handler(db_, lockWaitMs_ > 0 ? &SqliteEngine::busyHandler : nullptr, this);
}

// Waiting for another workstation's lock. SQLite's own handler backs off to
// sleeps of 100 ms, so under load a waiter keeps missing the moments the lock
// is free while others take it thousands of times. Here every waiter looks
// again after a short sleep (about a millisecond, less the longer it has
// waited, with some jitter so waiters do not move in step) until its lock
// wait is over.
int SqliteEngine::busyHandler(void* engine, int attempt) {
    auto* e = static_cast<SqliteEngine*>(engine);
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (attempt == 0) e->busySinceNs_ = now;
    const int64_t waitedUs = (now - e->busySinceNs_) / 1000;
    const int64_t leftUs = int64_t(e->lockWaitMs_) * 1000 - waitedUs;
    if (leftUs <= 0) return 0;
    thread_local std::minstd_rand random(
        std::minstd_rand::result_type(::getpid() ^ uint64_t(now)));
    // 1 ms at first, down to 0.25 ms after a quarter second of waiting.
    const int64_t baseUs = std::max<int64_t>(250, 1000 - waitedUs / 333);
    const int64_t sleepUs = std::min<int64_t>(leftUs, baseUs / 2 + int64_t(random() % uint64_t(baseUs)));
    ::usleep(useconds_t(sleepUs));
    return 1;
}

StatementPtr SqliteEngine::prepare(const std::string& sql) {
    return std::make_unique<SqliteStatement>(*this, acquire(sql));
}

sqlite3_stmt* SqliteEngine::acquire(const std::string& sql) {
    auto it = freeStatements_.find(sql);
    if (it != freeStatements_.end() && !it->second.empty()) {
        sqlite3_stmt* s = it->second.back();
        it->second.pop_back();
        --cachedCount_;
        return s;
    }
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &s,
                                nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        fail(rc);
    }
    if (!s) rt::raise(rt::err::DbSyntax, QStringLiteral("The statement is empty."));
    return s;
}

void SqliteEngine::release(sqlite3_stmt* stmt) noexcept {
    if (!stmt) return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (cachedCount_ >= kMaxCachedStatements) {
        sqlite3_finalize(stmt);
        return;
    }
    freeStatements_[sqlite3_sql(stmt)].push_back(stmt);
    ++cachedCount_;
}

// ---- Messages of checks ----
// A check brought over from a Jet file (a validation rule, Required, "allow
// zero length = No") is a named CHECK constraint; the file keeps the message
// Jet gave for it in MSysConstraintText (Name, Message). Nothing when the
// failure is no such check.
static std::optional<QString> checkMessage(sqlite3* db, const QString& sqliteMessage) {
    static const QLatin1String prefix("CHECK constraint failed: ");
    if (!sqliteMessage.startsWith(prefix)) return std::nullopt;
    const QByteArray name = sqliteMessage.mid(prefix.size()).toUtf8();
    sqlite3_stmt* st = nullptr;
    std::optional<QString> text;
    if (sqlite3_prepare_v2(db, "SELECT Message FROM MSysConstraintText WHERE Name = ?1", -1, &st,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW)
            text = fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    return text;
}

void SqliteEngine::fail(int rc, const QString& context) const {
    const int primary = rc & 0xff;
    QString msg = fromUtf8(sqlite3_errmsg(db_));
    if (msg.isEmpty() || msg == QLatin1String("not an error")) msg = fromUtf8(sqlite3_errstr(rc));
    auto with = [&](const QString& text) {
        return context.isEmpty() ? text : text + QStringLiteral(" (") + context + u')';
    };
    // A change needs a journal beside the file: a user who may not create
    // files in that folder cannot change the database.
    auto readOnlyFolder = [&](auto&& withContext) {
        rt::raise(rt::err::DbGeneric,
                  withContext(QStringLiteral("Cannot update. Database or object is read-only "
                                             "('%1': this user may not create files in the "
                                             "folder '%2', where a change keeps its journal).")
                                  .arg(path(), QDir::toNativeSeparators(
                                                   QFileInfo(path()).absolutePath()))));
    };
    if (primary == SQLITE_CONSTRAINT)
        if (std::optional<QString> text = checkMessage(db_, msg))
            rt::raise(rt::err::DbGeneric, *text);  // as Jet reports a broken rule
    if (auto e = providerError(primary, msg)) throw *e;
    switch (primary) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Could not use '%1'; the file is locked by another "
                                          "user.")
                               .arg(path())));
        case SQLITE_CONSTRAINT:
            rt::raise(rt::err::DbConstraint,
                      with(QStringLiteral("The changes you requested to the table were not "
                                          "successful because they would break a rule of the "
                                          "table (%1).")
                               .arg(msg)));
        case SQLITE_READONLY:
            if (sqlite3_extended_errcode(db_) == SQLITE_READONLY_ROLLBACK) needsRecovery(path());
            if (sqlite3_extended_errcode(db_) == SQLITE_READONLY_DIRECTORY) readOnlyFolder(with);
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Cannot update. Database or object is read-only (%1).")
                               .arg(path())));
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            rt::raise(rt::err::DbUnrecognised,
                      with(QStringLiteral("The database '%1' is damaged (%2).").arg(path(), msg)));
        case SQLITE_FULL:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Not enough space on the disk for '%1' (%2).")
                               .arg(path(), msg)));
        case SQLITE_CANTOPEN:
            // A hot journal this user cannot read is a recovery for someone
            // else; a journal this user cannot create is a read-only folder.
            if (sqlite3_get_autocommit(db_) && hotJournal(path())) needsRecovery(path());
            if (!folderWritable(path())) readOnlyFolder(with);
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Disk or network error on '%1' (%2).").arg(path(), msg)));
        case SQLITE_IOERR:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Disk or network error on '%1' (%2).").arg(path(), msg)));
        default: break;
    }
    if (msg.startsWith(QLatin1String("no such table: "))) throw missingTableError(msg.mid(15));
    if (msg.startsWith(QLatin1String("no such column: "))) {
        rt::raise(rt::err::DbMissingValue,
                  QStringLiteral("No value given for one or more required parameters "
                                 "(unknown name '%1').")
                      .arg(msg.mid(16)));
    }
    if (msg.contains(QLatin1String("syntax error")) || msg.startsWith(QLatin1String("near ")))
        rt::raise(rt::err::DbSyntax, with(QStringLiteral("Syntax error in the statement: %1.").arg(msg)));
    rt::raise(rt::err::DbGeneric, with(msg));
}

// ---- Catalog ----

std::vector<ColumnInfo> SqliteEngine::readTableColumns(const QString& table) {
    // The catalog is read for the translator, not run for the caller: no trace.
    readingCatalog_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{readingCatalog_};
    std::vector<ColumnInfo> cols;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "SELECT name, type, \"notnull\", pk, (SELECT count(*) FROM "
                           "pragma_table_info(?1) WHERE pk > 0) FROM pragma_table_info(?1)",
                           -1, &st, nullptr) == SQLITE_OK) {
        QByteArray t = table.toUtf8();
        sqlite3_bind_text(st, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            ColumnInfo c;
            c.name = fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            c.declaredType = fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            c.kind = varTypeForDeclared(c.declaredType);
            c.required = sqlite3_column_int(st, 2) != 0;
            // INTEGER PRIMARY KEY alone: the row id, numbered by the engine.
            c.autoNumber =
                sqlite3_column_int(st, 3) == 1 && sqlite3_column_int(st, 4) == 1 &&
                c.declaredType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
            readDeclaredSizes(c);
            cols.push_back(std::move(c));
        }
    }
    sqlite3_finalize(st);
    return cols;
}

QStringList SqliteEngine::userTables() {
    QStringList names;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                           "'sqlite\\_%' ESCAPE '\\' AND name NOT LIKE 'MSys%' ORDER BY name",
                           -1, &st, nullptr) != SQLITE_OK)
        fail(sqlite3_errcode(db_));
    while (sqlite3_step(st) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return names;
}

void SqliteEngine::createTable(const TableDef& table) {
    execNative(tableDefinitionSql(table).toStdString());
}

void SqliteEngine::changeSchema(const SchemaChange& change) {
    // One transaction: a change of several statements is whole or absent.
    const std::string sql = schemaChangeSql(*this, change).toStdString();
    const bool own = sqlite3_get_autocommit(db_) != 0;
    if (own) execNative("SAVEPOINT jet_schema");
    try {
        execNative(sql);
    } catch (...) {
        if (own)
            sqlite3_exec(db_, "ROLLBACK TO jet_schema; RELEASE jet_schema", nullptr, nullptr,
                         nullptr);
        schemaChanged();
        throw;
    }
    if (own) execNative("RELEASE jet_schema");
    schemaChanged();
}

}  // namespace db
