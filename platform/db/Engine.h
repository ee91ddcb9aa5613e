// The engine contract: everything Connection, Recordset and the schema helper
// need from a database engine, and nothing more. The SQLite engine
// (platform/db/sqlite) is one implementation; a server engine is another.
// Nothing above this contract calls an engine's own library.
//
// What an engine provides:
//  1. Opening: openEngine() picks the engine from what the data source names and
//     returns it open, its password checked (never creating a database).
//  2. Statements: prepare() gives a Statement (one RAII type per engine) for
//     native SQL written in the engine's Dialect: typed parameters, rows fetched
//     one at a time, each value handed over as a Cell, the column kinds taken
//     from the engine's catalog. A Statement gives itself back to the engine's
//     statement cache when destroyed.
//  3. Catalog: a table's columns with their Jet kinds (tableColumns), the user
//     tables, creating a table from its Jet definition.
//  4. Writes: a write transaction (beginWrite/commit/rollback), rows changed by
//     the last statement, the engine row id of an updatable result's rows
//     (SQLite's rowid; a server's tuple id) through Dialect::rowidExpression.
//  5. Waiting: how long a statement waits for another workstation's lock
//     (setLockWait), the engine's own way.
//  6. Failures: every failure raised as rt::Error, mapped from the engine's
//     result codes in one place per engine.
// The engine base class keeps what is the same for every engine: the cache of
// Jet translations and of table columns, and the decoding of cells into
// variant values.
#pragma once

#include "platform/runtime/Environment.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace db {

namespace jet {
class Dialect;
struct Translation;
}  // namespace jet

struct TableDef;

// How long a statement waits for another workstation's lock before it fails,
// unless the connection string or the caller says otherwise.
inline constexpr int kBusyTimeoutMs = 20000;
// The lock wait of engines opened from now on without one of their own
// (kBusyTimeoutMs until changed). For tests and tools.
void setDefaultLockWait(int milliseconds);
int defaultLockWait();

// One column of a table as the engine's catalog describes it.
struct ColumnInfo {
    QString name;
    rt::VarType kind = rt::VarType::Empty;  // the variant kind its values read back as
    QString declaredType;                   // the declaration, in the engine's spelling
};

// A value as an engine hands it over, before it becomes a variant. The kinds
// are the storage classes every engine can express its values in: a server
// engine gives exact numbers and date-times as text in the stored forms
// (decimal digits with a '.'; "yyyy-MM-dd HH:mm:ss[.zzz]").
enum class CellType : uint8_t { Null, Integer, Real, Text, Blob };
struct Cell {
    CellType type = CellType::Null;
    int64_t integer = 0;
    double real = 0;
    const char* data = nullptr;  // Text (UTF-8) or Blob bytes; valid until the statement moves
    int64_t size = 0;
};

// The variant a cell stands for in a column of kind `kind` (Empty: by the
// cell's own type). Text in a number column stays text; no value is lost.
rt::Variant decodeCell(const Cell& cell, rt::VarType kind, const rt::RegionalSettings& settings);

// A row's identity in its table, as the engine's row id expression gives it.
using RowId = int64_t;

class Engine;

// A prepared statement leased from an engine. Not copyable; the destructor
// gives it back to the engine's cache (reset, bindings cleared) and never
// throws. REQUIRES: the engine outlives the statement.
class Statement {
public:
    virtual ~Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters ?1..?N (1-based). REQUIRES: before the first next(), or after
    // reset(). Texts and blobs are copied.
    virtual void bindNull(int index) = 0;
    virtual void bindInteger(int index, int64_t value) = 0;
    virtual void bindReal(int index, double value) = 0;
    virtual void bindText(int index, QByteArrayView utf8) = 0;
    virtual void bindBlob(int index, QByteArrayView bytes) = 0;
    // A row id, as the dialect's row id expression compares with it.
    virtual void bindRowId(int index, RowId id) { bindInteger(index, id); }
    // A value as this engine stores it (dates, Yes/No, currency ...).
    virtual void bind(int index, const rt::Variant& value) = 0;
    // A value converted as a column of `kind` takes it; throws rt::Error when
    // the value does not fit the column.
    virtual void bindForColumn(int index, const rt::Variant& value, rt::VarType kind) = 0;

    // Moves to the next row: true when a row is current, false when the
    // statement has run to its end. On failure throws rt::Error (the engine's
    // mapping, with the error context added) and the statement is reset.
    virtual bool next() = 0;
    // Back to before the first row; bindings stay.
    virtual void reset() = 0;
    // Runs a statement to its end, ignoring any rows.
    void run() {
        while (next()) {
        }
    }

    // Result columns (the hidden row id included when the SQL selects it).
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The kind the column's declared type delivers (from the engine's
    // catalog); Empty for an expression or an unknown type.
    virtual rt::VarType declaredKind(int column) const = 0;
    // Where a result column comes straight from: its table and its name there
    // (from the engine's catalog); both empty for an expression.
    struct Origin {
        QString table;
        QString column;
    };
    virtual Origin columnOrigin(int column) const = 0;
    // The value of a column in the current row. REQUIRES: next() returned true.
    virtual Cell cell(int column) const = 0;
    rt::Variant value(int column, rt::VarType kind) const {
        return decodeCell(cell(column), kind, *settings_);
    }
    RowId rowId(int column) const { return cell(column).integer; }

    // A text added to failure descriptions ("... (logs)").
    void setErrorContext(QString context) { context_ = std::move(context); }
    const QString& errorContext() const { return context_; }

protected:
    explicit Statement(const rt::RegionalSettings& settings) : settings_(&settings) {}

private:
    const rt::RegionalSettings* settings_;
    QString context_;
};
using StatementPtr = std::unique_ptr<Statement>;

class Engine {
public:
    virtual ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The database as named when it was opened (for messages).
    const QString& path() const { return path_; }
    const rt::RegionalSettings& settings() const { return *settings_; }
    const rt::Clock& clock() const { return *clock_; }

    // The translator's target dialect for this engine.
    virtual const jet::Dialect& dialect() const = 0;

    // ---- Statements ----
    // A prepared statement for native SQL (the dialect's spelling, parameters
    // ?1..?N), from the engine's cache when one is free. Throws rt::Error.
    virtual StatementPtr prepare(const std::string& sql) = 0;
    // Runs one or more native statements without parameters or results.
    // Throws rt::Error. A statement that changes the schema clears the caches.
    virtual void execNative(const std::string& sql) = 0;
    // Rows changed by the most recent INSERT, UPDATE or DELETE.
    virtual int64_t changes() const = 0;
    // Calls `trace` with the SQL of every statement the engine starts; an
    // empty function stops tracing.
    virtual void setTrace(std::function<void(const std::string& sql)> trace) = 0;

    // The translation of a Jet statement into this engine's dialect, cached by
    // its text (and by the regional settings it was made under).
    std::shared_ptr<const jet::Translation> translate(const QString& jetSql, bool wantRowid);

    // ---- Writes ----
    // Starts a transaction that holds the write lock from its start (waiting
    // for it as any write does); commit() ends it; rollback() undoes it and
    // never throws. REQUIRES: no transaction of this API open.
    virtual void beginWrite() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;

    // ---- Waiting ----
    // How long a statement waits for another workstation's lock before it
    // fails as locked; 0 fails at once.
    virtual void setLockWait(int milliseconds) = 0;
    virtual int lockWait() const = 0;

    // ---- Catalog ----
    // Column names of a table in their order, with their kinds; empty for an
    // unknown table. Cached until schemaChanged().
    const std::vector<ColumnInfo>& tableColumns(const QString& table);
    // The declared kind of a table's column (Empty when unknown).
    rt::VarType columnKind(const QString& table, const QString& column);
    // Names of the user tables (system tables left out), in name order.
    virtual QStringList userTables() = 0;
    // Creates the table and its indexes from its Jet definition.
    virtual void createTable(const TableDef& table) = 0;
    // Forgets cached columns and translations (after a change of the schema).
    void schemaChanged();

protected:
    Engine(QString path, const rt::RegionalSettings* settings, const rt::Clock* clock);
    // The catalog's columns of a table (uncached); empty for an unknown table.
    virtual std::vector<ColumnInfo> readTableColumns(const QString& table) = 0;

private:
    QString path_;
    const rt::RegionalSettings* settings_;
    const rt::Clock* clock_;

    struct CachedTranslation {
        uint64_t revision;
        std::shared_ptr<const jet::Translation> t;
    };
    QHash<QString, CachedTranslation> translations_[2];  // [wantRowid]
    QHash<QString, std::vector<ColumnInfo>> tables_;
};

// Opens the database at `path` with the engine its kind calls for, its
// password checked, waiting up to `lockWaitMs` for a lock (negative: the
// default lock wait) while opening and afterwards. Never creates a database.
// `settings` and `clock` must outlive the engine. Throws rt::Error.
std::unique_ptr<Engine> openEngine(const QString& path, const QString& password,
                                   const rt::RegionalSettings* settings, const rt::Clock* clock,
                                   int lockWaitMs = -1);

// A write transaction that rolls back unless committed.
class WriteTransaction {
public:
    explicit WriteTransaction(Engine& e) : e_(e) { e_.beginWrite(); }
    ~WriteTransaction() {
        if (!done_) e_.rollback();
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit() {
        e_.commit();
        done_ = true;
    }

private:
    Engine& e_;
    bool done_ = false;
};

}  // namespace db
