// SQLite engine: opening files safely, caches, value conversion and errors.
#include "platform/db/sqlite/Engine.h"

#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/db/sqlite/JetFunctions.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Numbers.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <cmath>
#include <cstring>

namespace db {

namespace {

constexpr size_t kMaxCachedStatements = 128;
constexpr int kMaxCachedTranslations = 1024;
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

}  // namespace

void registerJetCollation(sqlite3* db) {
    sqlite3_create_collation(db, "JETTEXT", SQLITE_UTF8, nullptr, jetTextCompare);
    sqlite3_create_collation(db, "JETDECIMAL", SQLITE_UTF8, nullptr,
                             [](void*, int n1, const void* p1, int n2, const void* p2) {
                                 return compareDecimalText(n1, p1, n2, p2);
                             });
}

QByteArray passwordDigest(const QString& password, const QByteArray& salt, int rounds) {
    // PBKDF2-HMAC-SHA256, one block of 32 bytes.
    const QByteArray key = password.toUtf8();
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key);
    mac.addData(salt);
    mac.addData(QByteArray("\0\0\0\1", 4));
    QByteArray u = mac.result();
    QByteArray out = u;
    for (int i = 1; i < rounds; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (int k = 0; k < out.size(); ++k) out[k] = char(out[k] ^ u[k]);
    }
    return out;
}

Engine::Engine(sqlite3* db, QString path, const rt::RegionalSettings* settings,
               const rt::Clock* clock)
    : db_(db), path_(std::move(path)), settings_(settings), clock_(clock) {}

Engine::~Engine() {
    for (auto& [sql, list] : freeStatements_)
        for (sqlite3_stmt* s : list) sqlite3_finalize(s);
    sqlite3_close_v2(db_);
}

std::unique_ptr<Engine> Engine::open(const QString& path, const QString& password,
                                     const rt::RegionalSettings* settings, const rt::Clock* clock) {
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
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        sqlite3_close_v2(raw);
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("Could not open database '%1' (%2).").arg(path, msg));
    }
    std::unique_ptr<Engine> e(new Engine(raw, path, settings, clock));
    sqlite3_extended_result_codes(raw, 0);
    // A double-quoted name is always a name: an unknown column must fail, not
    // turn into a text literal.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    registerJetCollation(raw);
    registerJetFunctions(raw, settings, clock);

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
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) e->fail(rc, path);
        rt::raise(rt::err::DbUnrecognised,
                  QStringLiteral("The database '%1' is damaged or not a database (%2).")
                      .arg(path, fromUtf8(sqlite3_errstr(rc))));
    }
    if (hasVerifier) {
        rc = sqlite3_prepare_v2(raw, "SELECT salt, rounds, digest FROM MSysPassword", -1, &st,
                                nullptr);
        if (rc != SQLITE_OK) e->fail(rc, path);
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
            if (rc != SQLITE_DONE) e->fail(rc, path);
        }
    }
    return e;
}

void Engine::createFile(const QString& path, const QString& password) {
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

void Engine::execNative(const std::string& sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (msg) sqlite3_free(msg);
    if (rc != SQLITE_OK) fail(rc);
    if (sql.find("CREATE") != std::string::npos || sql.find("DROP") != std::string::npos ||
        sql.find("ALTER") != std::string::npos)
        schemaChanged();
}

std::shared_ptr<const jet::Translation> Engine::translate(const QString& jetSql, bool wantRowid) {
    auto& cache = translations_[wantRowid ? 1 : 0];
    auto it = cache.find(jetSql);
    if (it != cache.end() && it->revision == settings_->revision()) return it->t;
    jet::TranslateOptions opt;
    opt.settings = settings_;
    opt.wantRowid = wantRowid;
    opt.columnKind = [this](const QString& table, const QString& column) {
        return columnKind(table, column);
    };
    auto t = std::make_shared<const jet::Translation>(
        jet::translate(jetSql, jet::sqliteDialect(), opt));
    if (cache.size() >= kMaxCachedTranslations) cache.clear();
    cache.insert(jetSql, CachedTranslation{settings_->revision(), t});
    return t;
}

sqlite3_stmt* Engine::acquire(const std::string& sql) {
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

void Engine::finishReaders() {
    const std::vector<Reader*> open = readers_;  // reading to the end removes them
    for (Reader* r : open) r->readToEnd();
}

void Engine::release(sqlite3_stmt* stmt) {
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

void Engine::fail(int rc, const QString& context) const {
    const int primary = rc & 0xff;
    QString msg = fromUtf8(sqlite3_errmsg(db_));
    if (msg.isEmpty() || msg == QLatin1String("not an error")) msg = fromUtf8(sqlite3_errstr(rc));
    auto with = [&](const QString& text) {
        return context.isEmpty() ? text : text + QStringLiteral(" (") + context + u')';
    };
    switch (primary) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Could not use '%1'; the file is locked by another "
                                          "user.")
                               .arg(path_)));
        case SQLITE_CONSTRAINT:
            rt::raise(rt::err::DbConstraint,
                      with(QStringLiteral("The changes you requested to the table were not "
                                          "successful because they would break a rule of the "
                                          "table (%1).")
                               .arg(msg)));
        case SQLITE_READONLY:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Cannot update. Database or object is read-only (%1).")
                               .arg(path_)));
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            rt::raise(rt::err::DbUnrecognised,
                      with(QStringLiteral("The database '%1' is damaged (%2).").arg(path_, msg)));
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
            rt::raise(rt::err::DbGeneric,
                      with(QStringLiteral("Disk or network error on '%1' (%2).").arg(path_, msg)));
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

void Engine::schemaChanged() {
    tables_.clear();
    translations_[0].clear();
    translations_[1].clear();
}

const std::vector<std::pair<QString, rt::VarType>>& Engine::tableColumns(const QString& table) {
    const QString key = table.toLower();
    auto it = tables_.find(key);
    if (it != tables_.end()) return *it;
    std::vector<std::pair<QString, rt::VarType>> cols;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT name, type FROM pragma_table_info(?1)", -1, &st,
                           nullptr) == SQLITE_OK) {
        QByteArray t = table.toUtf8();
        sqlite3_bind_text(st, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QString name = fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            QString type = fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            cols.emplace_back(name, varTypeForDeclared(type));
        }
    }
    sqlite3_finalize(st);
    return *tables_.insert(key, std::move(cols));
}

rt::VarType Engine::columnKind(const QString& table, const QString& column) {
    for (const auto& [name, kind] : tableColumns(table))
        if (name.compare(column, Qt::CaseInsensitive) == 0) return kind;
    return rt::VarType::Empty;
}

// ---- Values ----

void Engine::bind(sqlite3_stmt* st, int i, const rt::Variant& v) const {
    using rt::VarType;
    switch (v.type()) {
        case VarType::Empty:
        case VarType::Null: sqlite3_bind_null(st, i); break;
        case VarType::Byte: sqlite3_bind_int(st, i, v.asByte()); break;
        case VarType::Int16: sqlite3_bind_int(st, i, v.asInt16()); break;
        case VarType::Int32: sqlite3_bind_int(st, i, v.asInt32()); break;
        case VarType::Single: sqlite3_bind_double(st, i, double(v.asSingle())); break;
        case VarType::Double: sqlite3_bind_double(st, i, v.asDouble()); break;
        case VarType::Currency: sqlite3_bind_double(st, i, v.asCurrency().toDouble()); break;
        case VarType::Decimal: sqlite3_bind_double(st, i, v.asDecimal().toDouble()); break;
        case VarType::Date: {
            QByteArray t = jet::storedDateText(v.asDate()).toUtf8();
            sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case VarType::Boolean: sqlite3_bind_int(st, i, v.asBool() ? -1 : 0); break;
        case VarType::Text: {
            QByteArray t = v.asText().toUtf8();
            sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case VarType::Binary: {
            const QByteArray& b = v.asBinary();
            sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

void Engine::bindForColumn(sqlite3_stmt* st, int i, const rt::Variant& v,
                           rt::VarType kind) const {
    using rt::VarType;
    if (v.isNull() || v.isEmpty()) {
        sqlite3_bind_null(st, i);
        return;
    }
    const rt::RegionalSettings& rs = *settings_;
    switch (kind) {
        case VarType::Text: bind(st, i, rt::Variant(v.toText(rs))); return;
        case VarType::Byte: {
            int16_t b = v.toInt16(rs);
            if (b < 0 || b > 255) rt::raiseStandard(rt::err::Overflow);
            sqlite3_bind_int(st, i, b);
            return;
        }
        case VarType::Int16: sqlite3_bind_int(st, i, v.toInt16(rs)); return;
        case VarType::Int32: sqlite3_bind_int(st, i, v.toInt32(rs)); return;
        case VarType::Single: sqlite3_bind_double(st, i, double(float(v.toDouble(rs)))); return;
        case VarType::Double: sqlite3_bind_double(st, i, v.toDouble(rs)); return;
        case VarType::Currency: {
            double d = v.type() == VarType::Currency ? v.asCurrency().toDouble() : v.toDouble(rs);
            sqlite3_bind_double(st, i, std::nearbyint(d * 10000.0) / 10000.0);
            return;
        }
        case VarType::Decimal: {
            // Decimal columns keep the exact digits as text.
            const QString exact = v.type() == VarType::Decimal
                                      ? v.asDecimal().toPlainText()
                                      : rt::formatGeneral(v.toDouble(rs), u'.', 15);
            bind(st, i, rt::Variant(exact));
            return;
        }
        case VarType::Date: bind(st, i, rt::Variant(v.toDate(rs))); return;
        case VarType::Boolean: sqlite3_bind_int(st, i, v.toBool(rs) ? -1 : 0); return;
        default: bind(st, i, v); return;
    }
}

rt::Variant Engine::read(sqlite3_stmt* st, int c, rt::VarType kind) const {
    using rt::VarType;
    const int storage = sqlite3_column_type(st, c);
    if (storage == SQLITE_NULL) return rt::Variant::null();
    auto text = [&] {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                 sqlite3_column_bytes(st, c));
    };
    auto byStorage = [&]() -> rt::Variant {
        switch (storage) {
            case SQLITE_INTEGER: {
                sqlite3_int64 v = sqlite3_column_int64(st, c);
                if (v >= INT32_MIN && v <= INT32_MAX) return rt::Variant(int32_t(v));
                return rt::Variant(double(v));
            }
            case SQLITE_FLOAT: return rt::Variant(sqlite3_column_double(st, c));
            case SQLITE_BLOB:
                return rt::Variant(QByteArray(static_cast<const char*>(sqlite3_column_blob(st, c)),
                                              sqlite3_column_bytes(st, c)));
            default: return rt::Variant(text());
        }
    };
    switch (kind) {
        case VarType::Text:
            if (storage == SQLITE_BLOB) return byStorage();
            if (storage == SQLITE_TEXT) return rt::Variant(text());
            return rt::Variant(byStorage().toText(*settings_));
        case VarType::Byte:
        case VarType::Int16:
        case VarType::Int32: {
            if (storage == SQLITE_INTEGER) {
                sqlite3_int64 v = sqlite3_column_int64(st, c);
                if (kind == VarType::Byte && v >= 0 && v <= 255) return rt::Variant::byte(uint8_t(v));
                if (kind == VarType::Int16 && v >= INT16_MIN && v <= INT16_MAX)
                    return rt::Variant(int16_t(v));
                if (v >= INT32_MIN && v <= INT32_MAX) return rt::Variant(int32_t(v));
                return rt::Variant(double(v));
            }
            return byStorage();  // what the column really holds (text such as 57/A)
        }
        case VarType::Single:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return rt::Variant(float(sqlite3_column_double(st, c)));
            return byStorage();
        case VarType::Double:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return rt::Variant(sqlite3_column_double(st, c));
            return byStorage();
        case VarType::Currency: {
            if (storage == SQLITE_INTEGER)
                return rt::Variant(rt::Currency{sqlite3_column_int64(st, c) * rt::Currency::kScale});
            if (storage == SQLITE_FLOAT)
                return rt::Variant(rt::Currency{
                    int64_t(std::llround(sqlite3_column_double(st, c) * rt::Currency::kScale))});
            rt::Decimal d;
            if (storage == SQLITE_TEXT && rt::Decimal::parse(text(), d) && d.scale <= 4) {
                __int128 m = d.mantissa;
                for (int k = d.scale; k < 4; ++k) m *= 10;
                return rt::Variant(rt::Currency{int64_t(m)});
            }
            return byStorage();
        }
        case VarType::Decimal: {
            rt::Decimal d;
            if (storage == SQLITE_INTEGER) {
                d.mantissa = sqlite3_column_int64(st, c);
                return rt::Variant(d);
            }
            if (storage == SQLITE_FLOAT) {
                QString t = rt::formatGeneral(sqlite3_column_double(st, c), u'.', 15);
                if (rt::Decimal::parse(t, d)) return rt::Variant(d);
                return byStorage();
            }
            if (storage == SQLITE_TEXT && rt::Decimal::parse(text(), d)) return rt::Variant(d);
            return byStorage();
        }
        case VarType::Date: {
            if (storage == SQLITE_TEXT) {
                if (auto d = jet::parseStoredDate(text())) return rt::Variant(*d);
                return rt::Variant(text());
            }
            if (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER)
                return rt::Variant(rt::serialToDate(sqlite3_column_double(st, c)));
            return byStorage();
        }
        case VarType::Boolean:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
                return rt::Variant(sqlite3_column_double(st, c) != 0.0);
            return byStorage();
        case VarType::Binary:
            if (storage == SQLITE_BLOB) return byStorage();
            return rt::Variant(QByteArray(reinterpret_cast<const char*>(sqlite3_column_blob(st, c)),
                                          sqlite3_column_bytes(st, c)));
        default: return byStorage();
    }
}

}  // namespace db
