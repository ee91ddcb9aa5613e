// Test helper: an in-memory SQLite database opened directly, with the JETTEXT
// collation and the Jet functions registered, that runs Jet statements through
// the translator the way the engine does (parameters bound as the engine binds
// them, result columns read with the translator's hints or the declared types).
// On the server engine's run (NARVO_TEST_ENGINE=server) the same statements
// run on a schema of its own on the test server, through the server engine
// and its dialect; the setup SQL's SQLite column types are written as the
// server's.
#pragma once

#include <sqlite3.h>

#include <QLocale>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/db/Schema.h"
#include "platform/db/jet/Functions.h"
#include "platform/db/pg/PgEngine.h"
#include "tests/support/PgServer.h"

#include <QRegularExpression>
#include "platform/db/jet/Translator.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/db/sqlite/JetFunctions.h"
#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/RegionalSettings.h"

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace jettest {

using Row = std::vector<rt::Variant>;
using Rows = std::vector<Row>;

inline std::unique_ptr<rt::RegionalSettings> settingsFor(const char* localeName) {
    return std::make_unique<rt::RegionalSettings>(QLocale(QString::fromLatin1(localeName)));
}

class JetDb {
  public:
    explicit JetDb(const rt::RegionalSettings& rs,
                   QDateTime now = rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 0)))
        : rs_(rs), clock_(std::move(now)) {
        if (testing_support::onServer()) {
            server_ = std::make_unique<ServerSide>(rs_, clock_);
            return;
        }
        if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open :memory:");
        db::registerJetCollation(db_);
        db::registerJetFunctions(db_, &rs_, &clock_);
    }
    ~JetDb() { sqlite3_close_v2(db_); }
    JetDb(const JetDb&) = delete;
    JetDb& operator=(const JetDb&) = delete;

    sqlite3* handle() const { return db_; }
    rt::FixedClock& clock() { return clock_; }

    // Native SQL for setting up tables and rows.
    void native(const std::string& sql) {
        if (server_) return server_->native(sql);
        char* msg = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            std::string m = msg ? msg : "?";
            sqlite3_free(msg);
            throw std::runtime_error(m + " in: " + sql);
        }
    }

    // The declared kind of a column, read from the schema.
    rt::VarType columnKind(const QString& table, const QString& column) const {
        if (server_) return server_->engine->columnKind(table, column);
        std::string sql = "PRAGMA table_info(\"" + table.toStdString() + "\")";
        sqlite3_stmt* st = nullptr;
        rt::VarType kind = rt::VarType::Empty;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                QString name =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
                if (name.compare(column, Qt::CaseInsensitive) == 0) {
                    kind = db::varTypeForDeclared(QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, 2))));
                    break;
                }
            }
        }
        sqlite3_finalize(st);
        return kind;
    }

    db::jet::Translation translate(const QString& jet, bool wantRowid = false) const {
        db::jet::TranslateOptions o;
        o.settings = &rs_;
        o.wantRowid = wantRowid;
        o.columnKind = [this](const QString& t, const QString& c) { return columnKind(t, c); };
        return db::jet::translate(jet, server_ ? server_->engine->dialect() : db::jet::sqliteDialect(), o);
    }

    // Translates and runs a Jet statement; the rows it returns. SQLite
    // failures (a Jet function's error included) raise rt::Error(DbGeneric).
    Rows run(const QString& jet) {
        const db::jet::Translation t = translate(jet);
        if (server_) return server_->run(t);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, t.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) fail(t.sql);
        for (size_t i = 0; i < t.params.size(); ++i) bind(st, int(i + 1), t.params[i]);
        Rows rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            Row row;
            const int n = sqlite3_column_count(st);
            for (int c = 0; c < n; ++c) {
                rt::VarType kind =
                    c < int(t.columnHints.size()) ? t.columnHints[c] : rt::VarType::Empty;
                if (kind == rt::VarType::Empty) {
                    const char* decl = sqlite3_column_decltype(st, c);
                    if (decl) kind = db::varTypeForDeclared(QString::fromUtf8(decl));
                }
                row.push_back(read(st, c, kind));
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            sqlite3_finalize(st);
            fail(t.sql);
        }
        sqlite3_finalize(st);
        return rows;
    }

    // The single value of a one-row, one-column query.
    rt::Variant value(const QString& jet) {
        Rows r = run(jet);
        if (r.size() != 1 || r[0].size() != 1)
            throw std::runtime_error("not a single value: " + jet.toStdString());
        return r[0][0];
    }

    int64_t count(const QString& table) {
        Rows r = run(QStringLiteral("select count(*) from ") + table);
        return r.at(0).at(0).asInt32();
    }

  private:
    // The server engine on a schema of its own (dropped when the process ends).
    struct ServerSide {
        std::unique_ptr<db::PgEngine> engine;

        ServerSide(const rt::RegionalSettings& rs, const rt::Clock& clock) {
            const auto server = testing_support::pgServer();
            if (!server) throw std::runtime_error("no database server (NARVO_PG)");
            testing_support::pgAdminSession(*server);
            const QString schema = testing_support::uniqueSchemaName("j");
            testing_support::PgSites::instance().addSchema(schema);
            db::pg::Keywords k = *server;
            k.emplace_back("options", "-c search_path=" + schema.toStdString() + ",jet");
            auto session = db::pg::Session::connect(k, QStringLiteral("jettest"));
            session->exec("CREATE SCHEMA " + db::pg::quoteIdent(schema));
            engine = db::PgEngine::attach(std::move(session), QStringLiteral("jettest"), &rs, &clock);
        }

        // The setup SQL, its SQLite column types written as the server's.
        void native(const std::string& sql) {
            QString t = QString::fromStdString(sql);
            const std::pair<const char*, const char*> types[] = {
                {R"(INTEGER PRIMARY KEY( AUTOINCREMENT)?)", "integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"},
                {R"(\bTEXT\((\d+)\)(\s+COLLATE\s+JETTEXT)?)", "varchar(\\1) COLLATE jet.ci"},
                {R"(\bLONGTEXT(\s+COLLATE\s+JETTEXT)?)", "text COLLATE jet.ci"},
                {R"(\bTEXT\s+COLLATE\s+JETTEXT)", "text COLLATE jet.ci"},
                {R"(\bLONG\b)", "integer"},
                {R"(\bYESNO\b)", "jet.yesno"},
                {R"(\bDATETIME\b)", "timestamp(3)"},
                {R"(\bCURRENCY\b)", "jet.currency"},
                {R"(\bDOUBLE\b)", "double precision"},
            };
            for (const auto& [from, to] : types)
                t.replace(QRegularExpression(QString::fromLatin1(from)), QString::fromLatin1(to));
            engine->execNative(t.toStdString());
        }

        // The kinds the file side of this helper reads (its read()): numbers
        // with a fraction as Double, Byte as Int16.
        static rt::Variant asTheFileHarnessReads(rt::Variant v) {
            switch (v.type()) {
                case rt::VarType::Currency: return rt::Variant(v.asCurrency().toDouble());
                case rt::VarType::Single: return rt::Variant(double(v.asSingle()));
                case rt::VarType::Decimal: return rt::Variant(v.asDecimal().toDouble());
                case rt::VarType::Byte: return rt::Variant(int16_t(v.asByte()));
                default: return v;
            }
        }

        Rows run(const db::jet::Translation& t) {
            db::StatementPtr st = engine->prepare(t.sql);
            for (size_t i = 0; i < t.params.size(); ++i) st->bind(int(i + 1), t.params[i]);
            Rows rows;
            while (st->next()) {
                Row row;
                for (int c = 0; c < st->columnCount(); ++c) {
                    rt::VarType kind = c < int(t.columnHints.size()) ? t.columnHints[c] : rt::VarType::Empty;
                    if (kind == rt::VarType::Empty) kind = st->declaredKind(c);
                    rt::Variant v = st->value(c, kind);
                    if (c < int(t.clientFormats.size()) && t.clientFormats[c] && !v.isNull())
                        v = rt::Variant(db::jet::fn::format(v, *t.clientFormats[c], engine->settings()));
                    row.push_back(asTheFileHarnessReads(std::move(v)));
                }
                rows.push_back(std::move(row));
            }
            return rows;
        }
    };
    std::unique_ptr<ServerSide> server_;

    [[noreturn]] void fail(const std::string& sql) const {
        rt::raise(rt::err::DbGeneric, QString::fromUtf8(sqlite3_errmsg(db_)) +
                                          QStringLiteral(" [") + QString::fromStdString(sql) +
                                          u']');
    }

    static void bind(sqlite3_stmt* st, int i, const rt::Variant& v) {
        using rt::VarType;
        switch (v.type()) {
            case VarType::Empty:
            case VarType::Null:
                sqlite3_bind_null(st, i);
                break;
            case VarType::Int16:
                sqlite3_bind_int(st, i, v.asInt16());
                break;
            case VarType::Int32:
                sqlite3_bind_int(st, i, v.asInt32());
                break;
            case VarType::Double:
                sqlite3_bind_double(st, i, v.asDouble());
                break;
            case VarType::Boolean:
                sqlite3_bind_int(st, i, v.asBool() ? -1 : 0);
                break;
            case VarType::Date: {
                QByteArray t = db::jet::storedDateText(v.asDate()).toUtf8();
                sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
                break;
            }
            case VarType::Text: {
                QByteArray t = v.asText().toUtf8();
                sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
                break;
            }
            default:
                throw std::runtime_error("unexpected parameter kind");
        }
    }

    rt::Variant read(sqlite3_stmt* st, int c, rt::VarType kind) const {
        using rt::VarType;
        const int storage = sqlite3_column_type(st, c);
        if (storage == SQLITE_NULL) return rt::Variant::null();
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        switch (kind) {
            case VarType::Date:
                if (auto d = db::jet::parseStoredDate(text)) return rt::Variant(*d);
                return rt::Variant(text);
            case VarType::Boolean:
                return rt::Variant(sqlite3_column_double(st, c) != 0.0);
            case VarType::Text:
                return rt::Variant(text);
            case VarType::Byte:
            case VarType::Int16:
                if (storage == SQLITE_INTEGER)
                    return rt::Variant(int16_t(sqlite3_column_int(st, c)));
                break;
            case VarType::Int32:
                if (storage == SQLITE_INTEGER)
                    return rt::Variant(int32_t(sqlite3_column_int(st, c)));
                break;
            case VarType::Single:
            case VarType::Double:
            case VarType::Currency:
                return rt::Variant(sqlite3_column_double(st, c));
            default:
                break;
        }
        switch (storage) {
            case SQLITE_INTEGER:
                return rt::Variant(int32_t(sqlite3_column_int64(st, c)));
            case SQLITE_FLOAT:
                return rt::Variant(sqlite3_column_double(st, c));
            default:
                return rt::Variant(text);
        }
    }

    const rt::RegionalSettings& rs_;
    rt::FixedClock clock_;
    sqlite3* db_ = nullptr;
};

// The system's tables, declared as the project's tools declare them.
inline void createSystemTables(JetDb& db) {
    db.native(
        "CREATE TABLE DB_Years (minYear LONG, maxYear LONG, curryear YESNO);"
        "CREATE TABLE logs (id INTEGER PRIMARY KEY AUTOINCREMENT, dates DATETIME, "
        "  note TEXT(50) COLLATE JETTEXT);"
        "CREATE TABLE errlog (ErrText TEXT(255) COLLATE JETTEXT, ErrDate DATETIME);"
        "CREATE TABLE OnLineUsers (DateT DATETIME, SysId LONG, UserId LONG, UserVal LONG, "
        "  ScreenId LONG);"
        "CREATE TABLE User1 (UserId LONG, UserName TEXT(50) COLLATE JETTEXT);"
        "CREATE TABLE ImpSystems (SysId LONG, SysName TEXT(50) COLLATE JETTEXT);"
        "CREATE TABLE DCINV (dcinvid INTEGER PRIMARY KEY AUTOINCREMENT, dcno TEXT(20) COLLATE "
        "  JETTEXT, invno TEXT(20) COLLATE JETTEXT, invdatet DATETIME);"
        "CREATE TABLE DCOUTGOINGINV (dcid INTEGER PRIMARY KEY AUTOINCREMENT, dcno TEXT(20) "
        "  COLLATE JETTEXT, invno TEXT(20) COLLATE JETTEXT, invdatet DATETIME);"
        "CREATE TABLE DCSUBCONOUTGOING (dcid INTEGER PRIMARY KEY AUTOINCREMENT, dcno TEXT(20) "
        "  COLLATE JETTEXT);"
        "CREATE TABLE SUBCONPO (suPPid LONG, CUstid LONG, vendorcode LONG, "
        "  PONo TEXT(50) COLLATE JETTEXT);");
}

}  // namespace jettest
