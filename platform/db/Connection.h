// Connection and Recordset: the database layer the library relies on.
//
// The connection string is the one the system builds:
//   Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH;Persist Security Info=False;
//   Jet OLEDB:Database Password=PW
// PATH may use '\' or '/' between folders. The files hold SQLite databases;
// statements are written in Jet SQL and translated before they run.
//
// Every failure raises rt::Error with a negative 32-bit number and a description
// that names the object at fault.
#pragma once

#include "platform/runtime/Environment.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace db {

class Engine;

// Cursor, lock and option numbers of the Recordset's Open.
inline constexpr int32_t adOpenForwardOnly = 0;
inline constexpr int32_t adOpenKeyset = 1;
inline constexpr int32_t adOpenDynamic = 2;
inline constexpr int32_t adOpenStatic = 3;
inline constexpr int32_t adLockReadOnly = 1;
inline constexpr int32_t adLockPessimistic = 2;
inline constexpr int32_t adLockOptimistic = 3;
inline constexpr int32_t adLockBatchOptimistic = 4;
inline constexpr int32_t adCmdUnspecified = -1;

// Object states.
inline constexpr int32_t adStateClosed = 0;
inline constexpr int32_t adStateOpen = 1;

// The parts of a connection string this layer understands.
struct ConnectionParts {
    QString provider;
    QString dataSource;  // as written (either separator)
    QString password;
    int lockWaitMs = -1;  // "Lock Wait" in milliseconds; -1: the default wait
    QString localPath() const;  // dataSource with '\' turned into '/'
};
// Throws rt::Error for an empty string, a missing Data Source or another provider.
// A value may stand between double or single quotes; inside them a doubled
// quote stands for one.
ConnectionParts parseConnectionString(const QString& text);

// The value as a connection string writes it: unchanged when it needs no
// quoting, otherwise between quotes (a ';', a quote, a '=', or blanks at
// either end need them), so that any text reads back as itself.
QString connectionStringValue(const QString& value);
// The connection string the system builds for a database file:
//   Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH;Persist Security Info=False;
//   Jet OLEDB:Database Password=PW
// with PATH and PW quoted where they need it (exactly the system's text when
// neither does).
QString jetConnectionString(const QString& dataSource, const QString& password);

// The failure for a table or query the database does not hold.
rt::Error missingTableError(const QString& name);

class Connection : public std::enable_shared_from_this<Connection> {
public:
    // `settings` and `clock` are used by the translator and the SQL functions
    // (date literals, Date(), Now(), text forms); they must outlive the
    // connection. Null means the process settings and the system clock.
    static std::shared_ptr<Connection> create(const rt::RegionalSettings* settings = nullptr,
                                              const rt::Clock* clock = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString ConnectionString() const { return connectionString_; }
    // Fails when the connection is open.
    void setConnectionString(const QString& text);

    // Opens the file named by the connection string. Never creates a file.
    // Fails for a missing file, a Jet file (names the importer), a file of
    // another kind, a damaged database and a wrong password; files stay untouched.
    void Open(const QString& userId = {}, const QString& password = {},
              int32_t options = adCmdUnspecified);
    // Fails when the connection is not open.
    void Close();
    int32_t State() const;

    // Runs one statement that returns no rows; the number of rows changed.
    int64_t Execute(const QString& jetSql);

    // The engine underneath (for the schema helper and tools). Fails when the
    // connection is not open.
    Engine& engine();
    std::shared_ptr<Engine> sharedEngine();
    const rt::RegionalSettings& settings() const { return *settings_; }
    const rt::Clock& clock() const { return *clock_; }

private:
    Connection(const rt::RegionalSettings* settings, const rt::Clock* clock);

    QString connectionString_;
    const rt::RegionalSettings* settings_;
    const rt::Clock* clock_;
    std::shared_ptr<Engine> engine_;  // recordsets share it while they read
};

class Recordset;

// One column of the current row.
class Field {
public:
    QString Name() const;
    rt::VarType Type() const;  // the variant kind the column delivers
    // The value in the current row; Null for an empty column. Fails at EOF.
    rt::Variant Value() const;
    // Assigns a value for the next Update; fails on a read-only result.
    void setValue(const rt::Variant& v);
    Field& operator=(const rt::Variant& v) {
        setValue(v);
        return *this;
    }

private:
    friend class Recordset;
    Field(Recordset* rs, int index) : rs_(rs), index_(index) {}
    Recordset* rs_;
    int index_;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs `source`. A statement that returns rows is read from the database in
    // one step into the workstation's own copy (memory, then a private
    // temporary file), so the open result holds no lock on the shared file;
    // the recordset stands on its first row (or at EOF). A statement that
    // changes data runs and leaves the recordset closed. A single-table SELECT
    // opened with a lock other than read-only can be updated and extended.
    // Fails when already open.
    void Open(const QString& source, const std::shared_ptr<Connection>& activeConnection,
              int32_t cursorType = adOpenForwardOnly, int32_t lockType = adLockReadOnly,
              int32_t options = adCmdUnspecified);
    void Close();  // fails when not open
    int32_t State() const;

    bool Eof() const;  // true when there is no current row; fails when closed
    int32_t FieldCount() const;
    Field Fields(int32_t index);        // by zero-based position
    Field Fields(const QString& name);  // by name, any letter case
    void MoveFirst();  // back to the first row of the copy (the query is not run again)
    void MoveNext();
    void AddNew();
    // Stores the new row, or the assigned fields of the current row. A row
    // that another user changed or deleted since it was read is left as it is:
    // the update fails with DbRowChanged and the assignments stay pending.
    void Update();
    bool Updatable() const;

    // At most this many rows are read by the next Open (0: all of them).
    // Fails when open.
    int64_t MaxRecords() const;
    void setMaxRecords(int64_t rows);

private:
    friend class Field;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace db
