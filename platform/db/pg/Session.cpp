// libpq: connecting, prepared statements, and statements read row by row.
#include "platform/db/pg/Session.h"

#include "platform/db/pg/Errors.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>

namespace db::pg {

void ResultDeleter::operator()(pg_result* r) const { PQclear(r); }

namespace {
void ignoreNotice(void*, const char*) {}
}  // namespace

Keywords parseConninfo(const QString& conninfo) {
    char* err = nullptr;
    PQconninfoOption* opts = PQconninfoParse(conninfo.toUtf8().constData(), &err);
    if (!opts) {
        const QString why = err ? QString::fromUtf8(err).trimmed() : QStringLiteral("out of memory");
        PQfreemem(err);
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The server settings \"%1\" are not valid (%2).").arg(conninfo, why));
    }
    Keywords k;
    for (PQconninfoOption* o = opts; o->keyword; ++o)
        if (o->val && *o->val) k.emplace_back(o->keyword, o->val);
    PQconninfoFree(opts);
    return k;
}

// ---- Session ----

Session::Session(pg_conn* conn, QString label, std::vector<std::string> setup)
    : conn_(conn), label_(std::move(label)), setup_(std::move(setup)) {}

Session::~Session() { PQfinish(conn_); }

std::unique_ptr<Session> Session::connect(const Keywords& keywords, const QString& label,
                                          std::vector<std::string> setup) {
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : keywords) {
        keys.push_back(k.c_str());
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!conn) rt::raise(rt::err::DbGeneric, QStringLiteral("Out of memory connecting to '%1'.").arg(label));
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString msg = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        PQfinish(conn);
        const bool login = msg.contains(QLatin1String("password")) ||
                           msg.contains(QLatin1String("authentication"));
        rt::raise(login ? rt::err::DbBadPassword : rt::err::DbGeneric,
                  login ? QStringLiteral("The database server refused the login for '%1' (%2).")
                              .arg(label, msg)
                        : QStringLiteral("Could not connect to the database server for '%1' "
                                         "(%2).")
                              .arg(label, msg));
    }
    PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
    std::unique_ptr<Session> s(new Session(conn, label, std::move(setup)));
    s->runSetup();
    return s;
}

void Session::runSetup() {
    for (const std::string& sql : setup_) exec(sql);
}

bool Session::connected() const { return PQstatus(conn_) == CONNECTION_OK; }

bool Session::reconnect() {
    lru_.clear();
    prepared_.clear();
    busy_ = false;
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) return false;
    ++reconnects_;
    try {
        runSetup();
    } catch (const rt::Error&) {
        return false;
    }
    return true;
}

void Session::fail(const pg_result* r, const QString& context, const std::string& sql) const {
    if (PQstatus(conn_) != CONNECTION_OK && sqlState(r).isEmpty()) failConnection();
    throw errorFromResult(r, label_, context, sql, names_);
}

void Session::failConnection() const { throw errorFromConnection(conn_, label_); }

void Session::exec(const std::string& sql) {
    if (busy_)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The connection to '%1' is busy with another statement.").arg(label_));
    ResultPtr r(PQexec(conn_, sql.c_str()));
    if (!r) failConnection();
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY)
        fail(r.get(), {}, sql);
}

ResultPtr Session::query(const std::string& sql, const std::vector<Param>& params) {
    if (busy_)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The connection to '%1' is busy with another statement.").arg(label_));
    std::vector<Oid> types;
    std::vector<const char*> values;
    for (const Param& p : params) {
        types.push_back(p.type);
        values.push_back(p.null ? nullptr : p.text.c_str());
    }
    ResultPtr r(PQexecParams(conn_, sql.c_str(), int(params.size()), types.data(), values.data(),
                             nullptr, nullptr, 0));
    if (!r) failConnection();
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) fail(r.get(), {}, sql);
    return r;
}

void Session::copyIn(const std::string& copySql,
                     const std::function<bool(std::string& chunk)>& produce) {
    if (busy_)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The connection to '%1' is busy with another statement.").arg(label_));
    ResultPtr r(PQexec(conn_, copySql.c_str()));
    if (!r) failConnection();
    if (PQresultStatus(r.get()) != PGRES_COPY_IN) fail(r.get());
    std::string chunk;
    bool sent = true;
    try {
        while (sent) {
            chunk.clear();
            const bool more = produce(chunk);
            if (!chunk.empty() && PQputCopyData(conn_, chunk.data(), int(chunk.size())) != 1)
                sent = false;
            if (!more) break;
        }
    } catch (...) {
        PQputCopyEnd(conn_, "cancelled by the client");
        while (ResultPtr rest{PQgetResult(conn_)}) {
        }
        throw;
    }
    if (!sent || PQputCopyEnd(conn_, nullptr) != 1) failConnection();
    ResultPtr last;
    while (ResultPtr rest{PQgetResult(conn_)}) last = std::move(rest);
    if (!last) failConnection();
    if (PQresultStatus(last.get()) != PGRES_COMMAND_OK) fail(last.get());
}

namespace {
std::string cacheKey(const std::string& sql, const std::vector<Oid>& types) {
    std::string key = sql;
    key += '\0';
    for (Oid t : types) {
        key += std::to_string(t);
        key += ',';
    }
    return key;
}
}  // namespace

const std::string& Session::prepared(const std::string& sql, const std::vector<Oid>& types) {
    const std::string key = cacheKey(sql, types);
    auto it = prepared_.find(key);
    if (it != prepared_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second);
        return it->second->name;
    }
    while (prepared_.size() >= kMaxPrepared) {
        const Entry& old = lru_.back();
        ResultPtr r(PQexec(conn_, ("DEALLOCATE " + old.name).c_str()));
        prepared_.erase(old.key);
        lru_.pop_back();
    }
    std::string name = "n" + std::to_string(++nextName_);
    ResultPtr r(PQprepare(conn_, name.c_str(), sql.c_str(), int(types.size()), types.data()));
    if (!r) failConnection();
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        if (!connected() && sqlState(r.get()).isEmpty()) failConnection();
        throw errorFromResult(r.get(), label_, {}, sql, names_);
    }
    lru_.push_front(Entry{key, std::move(name)});
    prepared_.emplace(key, lru_.begin());
    return lru_.front().name;
}

void Session::forget(const std::string& sql, const std::vector<Oid>& types) {
    auto it = prepared_.find(cacheKey(sql, types));
    if (it == prepared_.end()) return;
    ResultPtr r(PQexec(conn_, ("DEALLOCATE " + it->second->name).c_str()));
    lru_.erase(it->second);
    prepared_.erase(it);
}

// ---- Statement ----

Statement::Statement(Session& session, const std::string& sql, const std::vector<Param>& params,
                     bool repeatable)
    : s_(session), sql_(sql), params_(params), repeatable_(repeatable) {
    if (s_.busy_)
        rt::raise(rt::err::DbGeneric,
                  QStringLiteral("The connection to '%1' is busy with another statement.")
                      .arg(s_.label_));
    types_.reserve(params_.size());
    for (const Param& p : params_) types_.push_back(p.type);
    start();
}

Statement::~Statement() {
    try {
        cancel();
    } catch (...) {
    }
}

void Statement::start() {
    // A statement not yet sent is safe to send again on a new connection.
    const std::string* name = nullptr;
    for (int attempt = 0;; ++attempt) {
        try {
            name = &s_.prepared(sql_, types_);
            break;
        } catch (const rt::Error&) {
            if (attempt > 0 || s_.connected() || !s_.reconnect()) throw;
        }
    }
    std::vector<const char*> values;
    values.reserve(params_.size());
    for (const Param& p : params_) values.push_back(p.null ? nullptr : p.text.c_str());
    if (!PQsendQueryPrepared(s_.conn_, name->c_str(), int(params_.size()), values.data(), nullptr,
                             nullptr, 0)) {
        s_.reconnect();
        s_.failConnection();
    }
    PQsetSingleRowMode(s_.conn_);
    running_ = true;
    s_.busy_ = true;
}

void Statement::drain() {
    while (ResultPtr r{PQgetResult(s_.conn_)}) {
    }
    running_ = false;
    s_.busy_ = false;
}

bool Statement::next() {
    if (!running_) return false;
    row_.reset();
    int retries = 0;
    for (;;) {
        ResultPtr r(PQgetResult(s_.conn_));
        if (!r) {
            running_ = false;
            s_.busy_ = false;
            return false;
        }
        switch (PQresultStatus(r.get())) {
            case PGRES_SINGLE_TUPLE:
                row_ = std::move(r);
                delivered_ = true;
                return true;
            case PGRES_TUPLES_OK:  // the end of rows (a SELECT, or a change RETURNING rows)
            case PGRES_COMMAND_OK: {
                const char* n = PQcmdTuples(r.get());
                affected_ = (n && *n) ? std::atoll(n) : 0;
                if (PQresultStatus(r.get()) == PGRES_TUPLES_OK) shape_ = std::move(r);
                continue;
            }
            case PGRES_EMPTY_QUERY:
                continue;
            default: {
                drain();
                const QString state = sqlState(r.get());
                const bool lost = PQstatus(s_.conn_) != CONNECTION_OK;
                if (!delivered_ && retries == 0 && state == u"0A000") {
                    // A cached plan whose result type changed (a table was
                    // altered): prepare it again and run it once more.
                    ++retries;
                    s_.forget(sql_, types_);
                    start();
                    continue;
                }
                if (lost) {
                    const bool again = s_.reconnect() && repeatable_ && !delivered_ && retries == 0;
                    if (again) {
                        ++retries;
                        start();
                        continue;
                    }
                    throw errorFromResult(r.get(), s_.label_, context_);
                }
                throw errorFromResult(r.get(), s_.label_, context_, sql_, s_.names_);
            }
        }
    }
}

void Statement::cancel() {
    if (!running_) return;
    row_.reset();
    // Rows already received are dropped without a round trip; only a query
    // still sending is cancelled on the server.
    PQconsumeInput(s_.conn_);
    while (!PQisBusy(s_.conn_)) {
        ResultPtr r(PQgetResult(s_.conn_));
        if (!r) {
            running_ = false;
            s_.busy_ = false;
            return;
        }
    }
    if (PGcancel* c = PQgetCancel(s_.conn_)) {
        char buf[256];
        PQcancel(c, buf, sizeof buf);
        PQfreeCancel(c);
    }
    drain();
}

namespace {
const PGresult* described(const ResultPtr& row, const ResultPtr& shape) {
    return row ? row.get() : shape.get();
}
}  // namespace

int Statement::columnCount() const {
    const PGresult* r = described(row_, shape_);
    return r ? PQnfields(r) : 0;
}
QString Statement::columnName(int c) const {
    return QString::fromUtf8(PQfname(described(row_, shape_), c));
}
Oid Statement::columnType(int c) const { return PQftype(described(row_, shape_), c); }
int Statement::columnTypmod(int c) const { return PQfmod(described(row_, shape_), c); }
Oid Statement::columnTable(int c) const { return PQftable(described(row_, shape_), c); }
int Statement::columnTableIndex(int c) const { return PQftablecol(described(row_, shape_), c); }
bool Statement::isNull(int c) const { return PQgetisnull(row_.get(), 0, c) != 0; }
const char* Statement::value(int c) const { return PQgetvalue(row_.get(), 0, c); }
int Statement::length(int c) const { return PQgetlength(row_.get(), 0, c); }

}  // namespace db::pg
