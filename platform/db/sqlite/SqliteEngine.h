// The SQLite engine: one open database file behind the engine contract
// (platform/db/Engine.h). Its statement type (SqliteStatement, in the .cpp)
// leases prepared statements from a cache; SqliteEngine::fail is the one place
// where SQLite result codes become rt::Error.
#pragma once

#include "platform/db/Engine.h"

#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

class SqliteEngine final : public Engine {
public:
    // Opens an existing file (never creates one). Checks the kind of file, its
    // integrity header and its password verifier. Throws rt::Error.
    static std::unique_ptr<SqliteEngine> open(const QString& path, const QString& password,
                                              const rt::RegionalSettings* settings,
                                              const rt::Clock* clock, int lockWaitMs);
    // Creates a new database file with the password's verifier (none for an
    // empty password). Fails when the file exists.
    static void createFile(const QString& path, const QString& password);

    ~SqliteEngine() override;

    const jet::Dialect& dialect() const override;
    StatementPtr prepare(const std::string& sql) override;
    void execNative(const std::string& sql) override;
    int64_t changes() const override;
    void setTrace(std::function<void(const std::string& sql)> trace) override;
    void beginWrite() override;
    void commit() override;
    void rollback() noexcept override;
    void setLockWait(int milliseconds) override;
    int lockWait() const override { return lockWaitMs_; }
    QStringList userTables() override;
    void createTable(const TableDef& table) override;

    // The raw handle, for tests and tools that inspect the file itself.
    sqlite3* handle() const { return db_; }

    // Throws the rt::Error that a SQLite result code stands for.
    [[noreturn]] void fail(int rc, const QString& context = {}) const;

protected:
    std::vector<ColumnInfo> readTableColumns(const QString& table) override;

private:
    friend class SqliteStatement;
    SqliteEngine(sqlite3* db, QString path, const rt::RegionalSettings* settings,
                 const rt::Clock* clock);
    sqlite3_stmt* acquire(const std::string& sql);
    void release(sqlite3_stmt* stmt) noexcept;

    sqlite3* db_;
    static int busyHandler(void* engine, int attempt);
    static int authorize(void* engine, int action, const char*, const char*, const char*,
                         const char*);
    void noteSchemaChanges();

    int lockWaitMs_ = kBusyTimeoutMs;
    int64_t busySinceNs_ = 0;  // when the current wait for a lock began
    bool schemaTouched_ = false;  // a statement prepared since the last look changes the schema
    std::unordered_map<std::string, std::vector<sqlite3_stmt*>> freeStatements_;
    size_t cachedCount_ = 0;
    std::function<void(const std::string&)> trace_;
};

// The SQLite handle of an engine that is a SqliteEngine; throws otherwise.
sqlite3* sqliteHandle(Engine& engine);

// Registers the JETTEXT collation (text compared without regard to letter case)
// and the JETDECIMAL collation (decimal texts compared by value, see Schema.h).
void registerJetCollation(sqlite3* db);

}  // namespace db
