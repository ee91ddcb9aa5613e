// The server engine: one schema of a site database on PostgreSQL behind the
// engine contract (platform/db/Engine.h), reached through a link file.
//
// Statements are prepared with typed parameters (the session keeps at most
// kMaxPrepared) and read one row at a time. The server runs one query at a
// time per connection: before another statement starts, a result still being
// read is read to its end into memory (its rows stay in order), so callers
// may interleave statements as they do on the file engine.
//
// Row ids of updatable results are the rows' tuple ids (ctid) as one number;
// an update of a row that another workstation changed or deleted meanwhile
// (its tuple id no longer there) changes nothing and fails as Jet's "changed
// by another user". The engine follows its own updates to a row's new tuple id.
//
// Column kinds come from the catalog: the domains of the jet schema (Yes/No,
// Byte, Currency), then the base types. Jet's names (letter case) are kept in
// the catalog's comments; the server's own names are lower case.
#pragma once

#include "platform/db/Engine.h"
#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/Session.h"

#include <QHash>

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace db {

struct ColumnDef;
struct IndexDef;
struct ForeignKeyDef;

class PgStatement;

class PgEngine final : public Engine {
public:
    // Opens the schema a link file names, its password checked against the
    // schema's verifier. Throws rt::Error.
    static std::unique_ptr<PgEngine> open(const QString& linkPath, const QString& password,
                                          const rt::RegionalSettings* settings,
                                          const rt::Clock* clock);
    // An engine on a session already open in the schema it works in (tools,
    // tests). `label` names it in messages.
    static std::unique_ptr<PgEngine> attach(std::unique_ptr<pg::Session> session, QString label,
                                            const rt::RegionalSettings* settings,
                                            const rt::Clock* clock);
    ~PgEngine() override;

    const jet::Dialect& dialect() const override;
    StatementPtr prepare(const std::string& sql) override;
    void execNative(const std::string& sql) override;
    int64_t changes() const override { return changes_; }
    void setTrace(std::function<void(const std::string& sql)> trace) override;
    void beginWrite() override;
    void commit() override;
    void rollback() noexcept override;
    void setLockWait(int milliseconds) override;
    int lockWait() const override { return lockWaitMs_; }
    QStringList userTables() override;
    void createTable(const TableDef& table) override;
    void changeSchema(const SchemaChange& change) override;

    pg::Session& session() { return *session_; }

    // The catalog's knowledge of one table column.
    struct CatalogColumn {
        QString table;   // Jet name of the table
        QString column;  // Jet name of the column
        rt::VarType kind = rt::VarType::Empty;
        QString declared;  // the server's type
        bool required = false;    // NOT NULL
        bool autoNumber = false;  // an identity column
    };
    // The column `attnum` of the table with oid `table`; null when unknown.
    const CatalogColumn* catalogColumn(pg::Oid table, int attnum);

    // The DDL of a table from its Jet definition (tools print it).
    static std::string tableDefinitionSql(const TableDef& table);
    // A column's declaration, and a secondary index of a table.
    static std::string columnSql(const ColumnDef& column);
    static std::string indexSql(const QString& tableName, const IndexDef& index);
    // A table's key and a relationship, as table constraints named TABLE_NAME.
    static std::string primaryKeySql(const QString& tableName, const IndexDef& key);
    static std::string foreignKeySql(const QString& tableName, const ForeignKeyDef& fk);

protected:
    std::vector<ColumnInfo> readTableColumns(const QString& table) override;

private:
    friend class PgStatement;
    PgEngine(std::unique_ptr<pg::Session> session, QString label, const rt::RegionalSettings* settings,
             const rt::Clock* clock);

    // Makes the session free for `next`: a statement still being read is read
    // to its end into memory.
    void claim(PgStatement* next);
    void release(PgStatement* s) noexcept;
    void loadCatalog();
    void noteSchemaChange(const std::string& sql);
    // The schema's own indexes, constraints and uses of a column (names in
    // the server's lower case).
    bool hasIndex(const std::string& name);
    bool hasConstraint(const QString& table, const std::string& name);
    bool columnInUse(const QString& table, const QString& column);
    // Regional settings sent again when they changed since the last statement.
    void syncSettings();

    std::unique_ptr<pg::Session> session_;
    PgStatement* active_ = nullptr;
    int64_t changes_ = 0;
    int lockWaitMs_ = kBusyTimeoutMs;
    uint64_t settingsRevision_ = 0;
    int clockYear_ = 0;  // the year last sent as jet.year
    std::chrono::steady_clock::time_point yearCheckedAt_{};
    std::function<void(const std::string&)> trace_;
    bool catalogStale_ = true;
    std::map<std::pair<pg::Oid, int>, CatalogColumn> catalog_;
    QHash<QString, pg::Oid> tableOids_;  // lower-case Jet name -> oid
    // Tuple ids this engine's own updates moved rows to (old -> new).
    std::map<RowId, RowId> moved_;
};

}  // namespace db
