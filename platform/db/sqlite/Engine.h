// The SQLite engine under Connection and Recordset: one open database file,
// its translation and prepared-statement caches, value conversion both ways,
// and the one place where SQLite result codes become rt::Error.
#pragma once

#include "platform/db/jet/Translator.h"
#include "platform/runtime/Environment.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <QHash>
#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// How long a statement waits for another workstation's lock before it fails.
inline constexpr int kBusyTimeoutMs = 20000;

class Engine {
public:
    // Opens an existing file (never creates one). Checks the kind of file, its
    // integrity header and its password verifier. Throws rt::Error.
    static std::unique_ptr<Engine> open(const QString& path, const QString& password,
                                        const rt::RegionalSettings* settings,
                                        const rt::Clock* clock);
    // Creates a new database file with the password's verifier (none for an
    // empty password). Fails when the file exists.
    static void createFile(const QString& path, const QString& password);

    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    sqlite3* handle() const { return db_; }
    const QString& path() const { return path_; }

    // Runs native SQL (no translation); throws rt::Error.
    void execNative(const std::string& sql);

    // The translation of a Jet statement, cached by its text.
    std::shared_ptr<const jet::Translation> translate(const QString& jetSql, bool wantRowid);

    // A prepared statement from the cache (or a new one). Give it back with
    // release(), which resets it; statements are never shared while leased.
    sqlite3_stmt* acquire(const std::string& sql);
    void release(sqlite3_stmt* stmt);

    // Throws the rt::Error that a SQLite result code stands for.
    [[noreturn]] void fail(int rc, const QString& context = {}) const;
    void check(int rc, const QString& context = {}) const {
        if (rc != 0 && rc != 100 && rc != 101) fail(rc, context);
    }

    // The declared kind of a table's column (Empty when unknown), cached.
    rt::VarType columnKind(const QString& table, const QString& column);
    // Column names of a table in their order, with their kinds.
    const std::vector<std::pair<QString, rt::VarType>>& tableColumns(const QString& table);
    void schemaChanged();

    // Binds a value to a parameter as stored by this engine.
    void bind(sqlite3_stmt* stmt, int index, const rt::Variant& v) const;
    // Binds a value for a column of the given kind (converting it as the
    // column would); throws rt::Error when the value does not fit the column.
    void bindForColumn(sqlite3_stmt* stmt, int index, const rt::Variant& v, rt::VarType kind) const;
    // Reads a result column as the variant kind `kind` (Empty: by storage class).
    rt::Variant read(sqlite3_stmt* stmt, int column, rt::VarType kind) const;

    const rt::RegionalSettings& settings() const { return *settings_; }

    // A result still being read on this connection. While one is, the
    // connection holds a read lock on the file; a connection that holds one
    // cannot wait for another workstation's pending commit (SQLite answers
    // "busy" at once rather than deadlock). So before a statement writes,
    // every open reader reads its result to the end and gives its statement
    // back (finishReaders).
    class Reader {
    public:
        virtual ~Reader() = default;
        virtual void readToEnd() = 0;
    };
    void addReader(Reader* r) { readers_.push_back(r); }
    void removeReader(Reader* r) { std::erase(readers_, r); }
    void finishReaders();

private:
    Engine(sqlite3* db, QString path, const rt::RegionalSettings* settings, const rt::Clock* clock);

    sqlite3* db_;
    QString path_;
    const rt::RegionalSettings* settings_;
    const rt::Clock* clock_;

    struct CachedTranslation {
        uint64_t revision;
        std::shared_ptr<const jet::Translation> t;
    };
    QHash<QString, CachedTranslation> translations_[2];  // [wantRowid]
    std::unordered_map<std::string, std::vector<sqlite3_stmt*>> freeStatements_;
    size_t cachedCount_ = 0;
    QHash<QString, std::vector<std::pair<QString, rt::VarType>>> tables_;
    std::vector<Reader*> readers_;
};

// Registers the JETTEXT collation (text compared without regard to letter case)
// and the JETDECIMAL collation (decimal texts compared by value, see Schema.h).
void registerJetCollation(sqlite3* db);

// The salted verifier of a database password (PBKDF2-HMAC-SHA256).
QByteArray passwordDigest(const QString& password, const QByteArray& salt, int rounds);

}  // namespace db
