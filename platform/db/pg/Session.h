// One connection to the database server (libpq), its prepared statements,
// and the RAII statement type that runs one query on it.
//
// <libpq-fe.h> stays out of this header: the libpq structs are declared here
// by their tag names only.
//
// Contracts:
//  - every failure raises rt::Error through Errors.h (the one mapping);
//  - a Session runs one query at a time (libpq's rule): a Statement owns the
//    connection from its start until it is read to the end, cancelled or
//    destroyed, and a second Statement on a busy session is refused;
//  - prepared statements are kept per session, at most kMaxPrepared, the
//    least recently used deallocated first; they are prepared again when the
//    server says a cached plan changed its result type (after DDL) and after
//    a reconnect;
//  - on a lost connection the session reconnects once; a read that had
//    delivered no row yet is repeated, a write never is (its outcome is
//    unknown, so the failure is reported).
#pragma once

#include "platform/db/pg/Errors.h"
#include "platform/runtime/Error.h"
#include "platform/runtime/Variant.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;

namespace db::pg {

using Oid = unsigned int;

// Type numbers of the server's built-in types used here.
namespace oid {
inline constexpr Oid Bool = 16;
inline constexpr Oid Bytea = 17;
inline constexpr Oid Int8 = 20;
inline constexpr Oid Int2 = 21;
inline constexpr Oid Int4 = 23;
inline constexpr Oid Text = 25;
inline constexpr Oid Float4 = 700;
inline constexpr Oid Float8 = 701;
inline constexpr Oid Unknown = 705;
inline constexpr Oid Bpchar = 1042;
inline constexpr Oid Varchar = 1043;
inline constexpr Oid Date = 1082;
inline constexpr Oid Time = 1083;
inline constexpr Oid Timestamp = 1114;
inline constexpr Oid Timestamptz = 1184;
inline constexpr Oid Numeric = 1700;
inline constexpr Oid Uuid = 2950;
}  // namespace oid

// The most prepared statements one session keeps.
inline constexpr size_t kMaxPrepared = 128;
// How long a statement waits for another workstation's row lock.
inline constexpr int kLockTimeoutMs = 20000;

// One parameter value in the server's text form.
struct Param {
    Oid type = 0;  // 0: the server infers the type from where the value stands
    bool null = true;
    std::string text;
    friend bool operator==(const Param&, const Param&) = default;
};

struct ResultDeleter {
    void operator()(pg_result* r) const;
};
using ResultPtr = std::unique_ptr<pg_result, ResultDeleter>;

// libpq connection keywords and values, in order.
using Keywords = std::vector<std::pair<std::string, std::string>>;
// "host=... dbname=..." (or a postgresql:// URI) as keywords; throws rt::Error.
Keywords parseConninfo(const QString& conninfo);

class Session {
public:
    // Connects with the keywords given. `label` names the database in
    // failures (e.g. "site/db2026_27 on /run/postgresql"). Each `setup`
    // statement runs once after connecting and again after a reconnect.
    static std::unique_ptr<Session> connect(const Keywords& keywords, const QString& label,
                                            std::vector<std::string> setup = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    pg_conn* handle() const { return conn_; }
    const QString& label() const { return label_; }
    bool busy() const { return busy_; }

    // Runs SQL text (one or more statements, no parameters). Throws.
    void exec(const std::string& sql);
    // Runs one statement with parameters and returns its whole result (for
    // small results: catalog lookups, administration). Throws.
    ResultPtr query(const std::string& sql, const std::vector<Param>& params = {});

    // Runs COPY ... FROM STDIN, sending the text `produce` hands over until it
    // returns false (rows in COPY's text format). Throws on failure.
    void copyIn(const std::string& copySql, const std::function<bool(std::string& chunk)>& produce);

    // The failure a result or the connection stands for; `sql`, when given,
    // is the statement that failed (for the names it wrote).
    [[noreturn]] void fail(const pg_result* r, const QString& context = {},
                           const std::string& sql = {}) const;
    // How failures name a table's column the statement itself did not write
    // (the written names the engine's catalog keeps).
    void setNameLookup(NameLookup names) { names_ = std::move(names); }
    [[noreturn]] void failConnection() const;

    // Prepared statements (used by Statement).
    const std::string& prepared(const std::string& sql, const std::vector<Oid>& types);
    void forget(const std::string& sql, const std::vector<Oid>& types);
    size_t preparedCount() const { return prepared_.size(); }
    // Reconnects once (prepared statements are forgotten); false on failure.
    bool reconnect();
    bool connected() const;
    // A count of reconnections, for tests and diagnostics.
    int reconnects() const { return reconnects_; }

private:
    NameLookup names_;
    friend class Statement;
    Session(pg_conn* conn, QString label, std::vector<std::string> setup);
    void runSetup();

    pg_conn* conn_;
    QString label_;
    std::vector<std::string> setup_;
    bool busy_ = false;
    int reconnects_ = 0;
    uint64_t nextName_ = 0;

    struct Entry {
        std::string key;
        std::string name;
    };
    std::list<Entry> lru_;  // front: most recently used
    std::unordered_map<std::string, std::list<Entry>::iterator> prepared_;
};

// One statement running on a session: prepared (or taken from the session's
// cache), sent, and read one row at a time (single-row mode), so that a large
// result never sits whole in memory. Destroying or cancelling a statement
// whose result is not read to the end cancels the query on the server.
class Statement {
public:
    // Starts the statement. `repeatable`: true for a statement that only reads
    // (it may be sent again after a reconnect). Throws on failure.
    Statement(Session& session, const std::string& sql, const std::vector<Param>& params,
              bool repeatable);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // A text added to the descriptions of failures of this statement.
    void setContext(QString context) { context_ = std::move(context); }
    // Moves to the next row; false at the end of the result. Throws on failure.
    bool next();
    // Stops reading: a query still running is cancelled; the session is free
    // again afterwards.
    void cancel();
    bool done() const { return !running_; }

    // Columns (known once the first row or the end has been read).
    int columnCount() const;
    QString columnName(int c) const;
    Oid columnType(int c) const;
    int columnTypmod(int c) const;
    Oid columnTable(int c) const;     // 0 when the column is no table column
    int columnTableIndex(int c) const;  // the column's number in its table (1-based)

    // The current row's values, in the server's text form.
    bool isNull(int c) const;
    const char* value(int c) const;
    int length(int c) const;

    // Rows a data-changing statement changed; valid once next() returned false.
    int64_t rowsAffected() const { return affected_; }

    // Takes the current row out of the statement (a one-row result), so that
    // it outlives the statement's next move.
    ResultPtr takeRow() { return std::move(row_); }
    // The result that describes the columns: the current row, or at the end
    // the empty result the server closed with (null before either).
    const pg_result* description() const { return row_ ? row_.get() : shape_.get(); }

private:
    void start();
    void drain();

    Session& s_;
    std::string sql_;
    std::vector<Param> params_;
    std::vector<Oid> types_;
    bool repeatable_;
    bool running_ = false;
    bool delivered_ = false;  // a row was handed out
    ResultPtr row_;           // the current row (single-row result)
    ResultPtr shape_;         // a result that describes the columns
    int64_t affected_ = 0;
    QString context_;
};

}  // namespace db::pg
