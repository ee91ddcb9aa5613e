// The server engine: statements, the catalog, writes and DDL on PostgreSQL.
#include "platform/db/pg/PgEngine.h"

#include "platform/db/Coerce.h"
#include "platform/db/ProviderErrors.h"

#include "platform/db/Schema.h"
#include "platform/db/jet/PgDialect.h"
#include "platform/db/jet/Translator.h"
#include "platform/db/pg/Errors.h"
#include "platform/db/pg/Site.h"
#include "platform/db/pg/Values.h"
#include "platform/runtime/Error.h"

#include <libpq-fe.h>

#include "platform/runtime/Numbers.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string_view>

namespace db {

namespace {

constexpr pg::Oid kTid = 27;
constexpr pg::Oid kOid = 26;

// A tuple id "(block,offset)" as one number, and back.
RowId tidNumber(const char* text) {
    long long block = 0, offset = 0;
    std::sscanf(text, "(%lld,%lld)", &block, &offset);
    return RowId(block) * 65536 + offset;
}
std::string tidText(RowId id) {
    return "(" + std::to_string(id / 65536) + "," + std::to_string(id % 65536) + ")";
}

enum class ClockValue { Now, Date, Time };

struct ClockParam {
    int index;
    ClockValue value;
};

// The highest $n in native SQL (quoted names and texts skipped).
int highestParameter(const std::string& sql) {
    int highest = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '"' || c == '\'') {
            const size_t end = sql.find(c, i + 1);
            if (end == std::string::npos) break;
            i = end;
            continue;
        }
        if (c == '$' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
            int n = 0;
            size_t j = i + 1;
            while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') n = n * 10 + (sql[j++] - '0');
            highest = std::max(highest, n);
            i = j - 1;
        }
    }
    return highest;
}

bool startsWithWord(const std::string& sql, std::string_view word) {
    size_t i = 0;
    while (i < sql.size() && (sql[i] == ' ' || sql[i] == '(' || sql[i] == '\n')) ++i;
    if (sql.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (std::toupper(static_cast<unsigned char>(sql[i + k])) != word[k]) return false;
    return true;
}

rt::Error changedByAnotherUser(const QString& context) {
    QString text = QStringLiteral(
        "The Microsoft Jet database engine stopped the process because you and another user "
        "are attempting to change the same data at the same time.");
    if (!context.isEmpty()) text += QStringLiteral(" (") + context + u')';
    return rt::Error(rt::err::DbGeneric, text);
}

}  // namespace

// ---- the statement ----

class PgStatement final : public Statement {
public:
    PgStatement(PgEngine& e, std::string sql, std::vector<ClockParam> clocks, int rowIdParam,
                bool rowsForCaller, bool repeatable)
        : Statement(e.settings()),
          e_(e),
          sql_(std::move(sql)),
          clocks_(std::move(clocks)),
          rowIdParam_(rowIdParam),
          hideRows_(rowIdParam && !rowsForCaller),
          repeatable_(repeatable) {}

    ~PgStatement() override {
        run_.reset();  // cancels a query still running
        e_.release(this);
    }

    void bindNull(int i) override { slot(i) = pg::Param{}; }
    void bindInteger(int i, int64_t v) override {
        slot(i) = pg::Param{v >= INT32_MIN && v <= INT32_MAX ? pg::oid::Int4 : pg::oid::Int8,
                            false, std::to_string(v)};
    }
    void bindReal(int i, double v) override { slot(i) = pg::toParam(rt::Variant(v)); }
    void bindText(int i, QByteArrayView utf8) override {
        slot(i) = pg::Param{0, false, std::string(utf8.data(), size_t(utf8.size()))};
    }
    void bindBlob(int i, QByteArrayView bytes) override {
        slot(i) = pg::toParam(rt::Variant(QByteArray(bytes.data(), bytes.size())));
    }
    void bindRowId(int i, RowId id) override {
        // Follow the row to where this engine's own updates moved it.
        for (auto it = e_.moved_.find(id); it != e_.moved_.end(); it = e_.moved_.find(id)) id = it->second;
        slot(i) = pg::Param{kTid, false, tidText(id)};
    }
    void bind(int i, const rt::Variant& v) override { slot(i) = pg::toParam(v); }

    bool next() override {
        if (finished_) return false;
        if (!started_) start();
        if (!spool_.empty()) {
            current_ = std::move(spool_.front());
            spool_.pop_front();
            return true;
        }
        current_.reset();
        if (failure_) {
            const rt::Error e = *failure_;
            failure_.reset();
            abandon();
            throw e;
        }
        if (!run_) return end();
        try {
            while (run_->next()) {
                pg::ResultPtr row = run_->takeRow();
                describe(row.get());
                if (rowIdParam_) {
                    noteMove(row.get());
                    if (hideRows_) continue;
                }
                current_ = std::move(row);
                return true;
            }
        } catch (const rt::Error&) {
            abandon();
            throw;
        }
        return end();
    }

    void reset() override {
        run_.reset();
        e_.release(this);
        spool_.clear();
        current_.reset();
        started_ = false;
        finished_ = false;
    }

    int columnCount() const override {
        ensureDescribed();
        return int(columns_.size());
    }
    QString columnName(int c) const override {
        ensureDescribed();
        // A table's column under its own name keeps the name as written in
        // the table; a renamed one is named as the statement names it.
        const QString& name = columns_.at(size_t(c)).name;
        const auto* cc = catalog(c);
        if (cc && cc->column.compare(name, Qt::CaseInsensitive) == 0) return cc->column;
        return name;
    }
    rt::VarType declaredKind(int c) const override {
        ensureDescribed();
        if (const auto* cc = catalog(c)) return cc->kind;
        const Column& col = columns_.at(size_t(c));
        switch (col.type) {
            case pg::oid::Timestamp:
            case pg::oid::Timestamptz:
            case pg::oid::Date: return rt::VarType::Date;
            case pg::oid::Bool: return rt::VarType::Boolean;
            default: return rt::VarType::Empty;
        }
    }
    Origin columnOrigin(int c) const override {
        ensureDescribed();
        if (const auto* cc = catalog(c)) return Origin{cc->table, cc->column};
        return {};
    }

    Cell cell(int c) const override {
        Cell out;
        const pg_result* r = current_.get();
        if (!r || PQgetisnull(r, 0, c)) return out;
        const char* v = PQgetvalue(r, 0, c);
        const int n = PQgetlength(r, 0, c);
        const Column& col = columns_.at(size_t(c));
        switch (col.type) {
            case pg::oid::Int2:
            case pg::oid::Int4:
            case pg::oid::Int8:
            case kOid:
                out.type = CellType::Integer;
                out.integer = std::strtoll(v, nullptr, 10);
                return out;
            case pg::oid::Bool:
                out.type = CellType::Integer;
                out.integer = v[0] == 't' ? -1 : 0;
                return out;
            case kTid:
                out.type = CellType::Integer;
                out.integer = tidNumber(v);
                return out;
            case pg::oid::Float4:
            case pg::oid::Float8:
                out.type = CellType::Real;
                out.real = std::strtod(v, nullptr);
                return out;
            case pg::oid::Numeric:
                if (col.typmod < 0) {  // a computed number (avg, sum): a double
                    out.type = CellType::Real;
                    out.real = std::strtod(v, nullptr);
                    return out;
                }
                break;  // a column's exact digits as text
            case pg::oid::Timestamp:
            case pg::oid::Timestamptz:
            case pg::oid::Date:
                if (auto d = pg::parseTimestamp(v, n)) {
                    buffers_[size_t(c)] = jet::storedDateText(*d).toUtf8();
                    return text(c);
                }
                break;
            case pg::oid::Bytea: {
                buffers_[size_t(c)] = pg::readValue(v, n, pg::oid::Bytea, rt::VarType::Binary).asBinary();
                Cell b = text(c);
                b.type = CellType::Blob;
                return b;
            }
            default: break;
        }
        out.type = CellType::Text;
        out.data = v;
        out.size = n;
        return out;
    }

    // Reads the rest of the result into memory, freeing the session.
    void spoolRest() {
        if (!run_) return;
        try {
            while (run_->next()) {
                pg::ResultPtr row = run_->takeRow();
                describe(row.get());
                if (rowIdParam_) {
                    noteMove(row.get());
                    if (hideRows_) continue;
                }
                spool_.push_back(std::move(row));
            }
            affected_ = run_->rowsAffected();
            if (!described_) describe(run_->description());
        } catch (const rt::Error& e) {
            // Reported to this statement's own reader, after the rows before it.
            failure_ = std::make_unique<rt::Error>(e);
        }
        run_.reset();
        e_.release(this);
    }

private:
    struct Column {
        QString name;
        pg::Oid type = 0;
        int typmod = -1;
        pg::Oid table = 0;
        int attnum = 0;
    };

    // The columns are known once the server answered: the statement is started
    // and its first row (if any) read ahead.
    void ensureDescribed() const {
        if (described_) return;
        auto* self = const_cast<PgStatement*>(this);
        if (!self->started_) self->start();
        if (!self->run_) return;
        try {
            if (self->run_->next()) {
                pg::ResultPtr row = self->run_->takeRow();
                self->describe(row.get());
                if (!hideRows_) self->spool_.push_front(std::move(row));
            } else {
                self->affected_ = self->run_->rowsAffected();
                self->describe(self->run_->description());
                self->run_.reset();
                self->e_.release(self);
            }
        } catch (const rt::Error&) {
            self->abandon();
            throw;
        }
    }

    pg::Param& slot(int i) {
        if (i < 1) rt::raise(rt::err::DbGeneric, QStringLiteral("Parameter index %1 out of range.").arg(i));
        if (params_.size() < size_t(i)) params_.resize(size_t(i));
        return params_[size_t(i - 1)];
    }

    Cell text(int c) const {
        Cell out;
        out.type = CellType::Text;
        out.data = buffers_[size_t(c)].constData();
        out.size = buffers_[size_t(c)].size();
        return out;
    }

    const PgEngine::CatalogColumn* catalog(int c) const {
        const Column& col = columns_.at(size_t(c));
        if (!col.table) return nullptr;
        return e_.catalogColumn(col.table, col.attnum);
    }

    void describe(const pg_result* r) {
        if (described_ || !r) return;
        const int n = PQnfields(r);
        columns_.clear();
        columns_.reserve(size_t(n));
        for (int c = 0; c < n; ++c)
            columns_.push_back({pg::writtenName(QString::fromUtf8(PQfname(r, c)), sql_),
                                PQftype(r, c), PQfmod(r, c), PQftable(r, c), PQftablecol(r, c)});
        buffers_.assign(size_t(n), QByteArray());
        described_ = true;
    }

    void start() {
        e_.claim(this);
        e_.syncSettings();
        if (e_.catalogStale_) e_.loadCatalog();
        for (const ClockParam& p : clocks_) {
            const QDateTime now = e_.clock().now();
            rt::Variant v;
            switch (p.value) {
                case ClockValue::Now: v = rt::Variant(now); break;
                case ClockValue::Date: v = rt::Variant(rt::naiveDateTime(now.date(), QTime(0, 0))); break;
                case ClockValue::Time:
                    v = rt::Variant(rt::naiveDateTime(QDate(1899, 12, 30), now.time()));
                    break;
            }
            slot(p.index) = pg::toParam(v);
        }
        if (e_.trace_) e_.trace_(sql_);
        described_ = false;
        affected_ = 0;
        run_ = std::make_unique<pg::Statement>(*e_.session_, sql_, params_, repeatable_);
        run_->setContext(errorContext());
        e_.active_ = this;
        started_ = true;
    }

    bool end() {
        if (!described_ && run_) describe(run_->description());
        if (run_) {
            affected_ = run_->rowsAffected();
            if (!described_) describe(run_->description());
            run_.reset();
        }
        e_.release(this);
        finished_ = true;
        e_.changes_ = affected_;
        if (rowIdParam_ && affected_ == 0) throw changedByAnotherUser(errorContext());
        return false;
    }

    void abandon() {
        run_.reset();
        e_.release(this);
        started_ = false;
    }

    // An update by row id returns the row's new tuple id.
    void noteMove(const pg_result* r) {
        if (PQnfields(r) < 1 || PQgetisnull(r, 0, 0)) return;
        const pg::Param& old = params_.at(size_t(rowIdParam_ - 1));
        const RowId from = tidNumber(old.text.c_str());
        const RowId to = tidNumber(PQgetvalue(r, 0, 0));
        if (e_.moved_.size() > 100000) e_.moved_.clear();
        e_.moved_[from] = to;
    }

    PgEngine& e_;
    std::string sql_;
    std::vector<ClockParam> clocks_;
    int rowIdParam_;  // 1-based; 0: not an update by row id
    bool hideRows_;   // the tuple id was asked for by the engine, not the caller
    bool repeatable_;
    std::vector<pg::Param> params_;
    std::unique_ptr<pg::Statement> run_;
    std::deque<pg::ResultPtr> spool_;
    pg::ResultPtr current_;
    std::vector<Column> columns_;
    mutable std::vector<QByteArray> buffers_;
    std::unique_ptr<rt::Error> failure_;
    int64_t affected_ = 0;
    bool started_ = false;
    bool finished_ = false;
    bool described_ = false;
};

// ---- the engine ----

PgEngine::PgEngine(std::unique_ptr<pg::Session> session, QString label,
                   const rt::RegionalSettings* settings, const rt::Clock* clock)
    : Engine(std::move(label), settings, clock), session_(std::move(session)) {
    settingsRevision_ = settings->revision();
    // Failures name tables and columns as they were written, from the
    // catalog this engine has read (no statement runs while one fails).
    session_->setNameLookup([this](const QString& table, const QString& column) {
        auto oid = tableOids_.find(table);
        if (oid == tableOids_.end()) return column.isEmpty() ? table : column;
        for (auto it = catalog_.lower_bound({*oid, 0});
             it != catalog_.end() && it->first.first == *oid; ++it) {
            if (column.isEmpty()) return it->second.table;
            if (it->second.column.compare(column, Qt::CaseInsensitive) == 0)
                return it->second.column;
        }
        return column.isEmpty() ? table : column;
    });
}

PgEngine::~PgEngine() = default;

std::unique_ptr<PgEngine> PgEngine::open(const QString& linkPath, const QString& password,
                                         const rt::RegionalSettings* settings,
                                         const rt::Clock* clock) {
    const pg::Link link = pg::readLinkFile(linkPath);
    auto session = pg::openLink(link, password, *settings);
    return attach(std::move(session), linkPath, settings, clock);
}

std::unique_ptr<PgEngine> PgEngine::attach(std::unique_ptr<pg::Session> session, QString label,
                                           const rt::RegionalSettings* settings,
                                           const rt::Clock* clock) {
    std::unique_ptr<PgEngine> e(new PgEngine(std::move(session), std::move(label), settings, clock));
    e->settingsRevision_ = ~uint64_t(0);  // send the regional settings before the first statement
    return e;
}

const jet::Dialect& PgEngine::dialect() const { return jet::pgDialect(); }

StatementPtr PgEngine::prepare(const std::string& native) {
    std::string sql = native;
    // Now(), Date() and Time() become parameters bound to the workstation's clock.
    std::vector<ClockParam> clocks;
    int next = highestParameter(sql);
    const std::pair<const char*, ClockValue> markers[] = {{jet::kClockNow, ClockValue::Now},
                                                          {jet::kClockDate, ClockValue::Date},
                                                          {jet::kClockTime, ClockValue::Time}};
    for (const auto& [marker, value] : markers) {
        const std::string m(marker);
        for (size_t at = sql.find(m); at != std::string::npos; at = sql.find(m, at)) {
            clocks.push_back({++next, value});
            const std::string p = "$" + std::to_string(next) + "::timestamp";
            sql.replace(at, m.size(), p);
            at += p.size();
        }
    }
    // An update of one row by its tuple id: checked (no row changed means
    // another workstation changed it) and followed to the row's new tuple id.
    // A caller that asks for the row back names its tuple id first.
    int rowIdParam = 0;
    bool rowsForCaller = false;
    if (startsWithWord(sql, "UPDATE")) {
        const size_t returning = sql.find(" RETURNING ");
        rowsForCaller = returning != std::string::npos;
        const size_t at = sql.rfind("\".ctid = $", returning);
        const size_t open = at == std::string::npos ? at : sql.rfind('"', at - 1);
        if (open != std::string::npos) {
            rowIdParam = std::atoi(sql.c_str() + at + 10);
            if (!rowsForCaller)
                sql += " RETURNING " + sql.substr(open, at + 1 - open) + ".ctid";
        }
    }
    const bool repeatable = startsWithWord(sql, "SELECT") || startsWithWord(sql, "WITH");
    return std::make_unique<PgStatement>(*this, std::move(sql), std::move(clocks), rowIdParam,
                                         rowsForCaller, repeatable);
}

void PgEngine::claim(PgStatement* next) {
    if (active_ && active_ != next) {
        PgStatement* reading = active_;
        reading->spoolRest();  // frees the session (and clears active_)
    }
}

void PgEngine::release(PgStatement* s) noexcept {
    if (active_ == s) active_ = nullptr;
}

void PgEngine::syncSettings() {
    // The year of the workstation's clock: a date text without a year falls
    // in it. Read from the clock at the first statement and then once a
    // minute at most (the clock's reading costs more than a lookup's parsing).
    const auto tick = std::chrono::steady_clock::now();
    if (clockYear_ == 0 || tick - yearCheckedAt_ > std::chrono::minutes(1)) {
        yearCheckedAt_ = tick;
        const int year = clock().now().date().year();
        if (year != clockYear_) {
            session_->exec("SET jet.year = '" + std::to_string(year) + "'");
            clockYear_ = year;
        }
    }
    if (settingsRevision_ == settings().revision()) return;
    session_->exec(pg::regionalSettingsSql(settings()));
    settingsRevision_ = settings().revision();
}

void PgEngine::noteSchemaChange(const std::string& sql) {
    // Native SQL in any letter case; a word that only looks like one of these
    // costs no more than a second reading of the catalog.
    std::string upper(sql);
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char* word : {"CREATE", "DROP", "ALTER", "COMMENT", "RENAME"})
        if (upper.find(word) != std::string::npos) {
            catalogStale_ = true;
            schemaChanged();
            return;
        }
}

void PgEngine::execNative(const std::string& sql) {
    claim(nullptr);
    if (trace_) trace_(sql);
    session_->exec(sql);
    noteSchemaChange(sql);
}

void PgEngine::setTrace(std::function<void(const std::string& sql)> trace) {
    trace_ = std::move(trace);
}

void PgEngine::beginWrite() { execNative("BEGIN"); }
void PgEngine::commit() { execNative("COMMIT"); }
void PgEngine::rollback() noexcept {
    try {
        claim(nullptr);
        if (PQtransactionStatus(session_->handle()) != PQTRANS_IDLE) session_->exec("ROLLBACK");
    } catch (...) {
    }
}

void PgEngine::setLockWait(int milliseconds) {
    lockWaitMs_ = milliseconds < 0 ? 0 : milliseconds;
    // lock_timeout 0 would mean "wait for ever": fail at once instead.
    execNative("SET lock_timeout = " + std::to_string(lockWaitMs_ == 0 ? 1 : lockWaitMs_));
}

void PgEngine::loadCatalog() {
    claim(nullptr);
    pg::ResultPtr r = session_->query(
        "SELECT c.oid, a.attnum, coalesce(obj_description(c.oid, 'pg_class'), c.relname), "
        "coalesce(col_description(c.oid, a.attnum), a.attname), tn.nspname, t.typname, "
        "CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.oid END, "
        "CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END, "
        "format_type(a.atttypid, a.atttypmod), a.attnotnull, a.attidentity <> '' "
        "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "JOIN pg_type t ON t.oid = a.atttypid JOIN pg_namespace tn ON tn.oid = t.typnamespace "
        "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'v', 'm', 'p', 'f') "
        "ORDER BY c.oid, a.attnum");
    catalog_.clear();
    tableOids_.clear();
    const int rows = PQntuples(r.get());
    for (int i = 0; i < rows; ++i) {
        auto val = [&](int c) { return QString::fromUtf8(PQgetvalue(r.get(), i, c)); };
        const pg::Oid table = pg::Oid(std::strtoul(PQgetvalue(r.get(), i, 0), nullptr, 10));
        const int attnum = std::atoi(PQgetvalue(r.get(), i, 1));
        CatalogColumn cc;
        cc.table = val(2);
        cc.column = val(3);
        cc.declared = val(8);
        cc.required = val(9) == u"t";
        cc.autoNumber = val(10) == u"t";
        const QString typeSchema = val(4), typeName = val(5);
        if (typeSchema == u"jet" && typeName == u"yesno")
            cc.kind = rt::VarType::Boolean;
        else if (typeSchema == u"jet" && typeName == u"byte")
            cc.kind = rt::VarType::Byte;
        else if (typeSchema == u"jet" && typeName == u"currency")
            cc.kind = rt::VarType::Currency;
        else
            cc.kind = pg::kindOfType(pg::Oid(std::strtoul(PQgetvalue(r.get(), i, 6), nullptr, 10)),
                                     std::atoi(PQgetvalue(r.get(), i, 7)));
        if (cc.kind == rt::VarType::Empty) cc.kind = rt::VarType::Text;
        tableOids_.insert(cc.table.toLower(), table);
        catalog_.emplace(std::make_pair(table, attnum), std::move(cc));
    }
    catalogStale_ = false;
}

const PgEngine::CatalogColumn* PgEngine::catalogColumn(pg::Oid table, int attnum) {
    auto it = catalog_.find({table, attnum});
    if (it != catalog_.end()) return &it->second;
    // A table this engine has not seen yet: read the catalog again when the
    // session is next free.
    catalogStale_ = true;
    return nullptr;
}

std::vector<ColumnInfo> PgEngine::readTableColumns(const QString& table) {
    if (catalogStale_ || !tableOids_.contains(table.toLower())) loadCatalog();
    std::vector<ColumnInfo> out;
    auto oid = tableOids_.find(table.toLower());
    if (oid == tableOids_.end()) return out;
    for (auto it = catalog_.lower_bound({*oid, 0}); it != catalog_.end() && it->first.first == *oid; ++it)
    {
        // The sizes, the rule against Null and the numbering the written
        // values are converted and checked by.
        ColumnInfo c{it->second.column, it->second.kind, it->second.declared};
        c.required = it->second.required;
        c.autoNumber = it->second.autoNumber;
        readDeclaredSizes(c);
        out.push_back(std::move(c));
    }
    return out;
}

QStringList PgEngine::userTables() {
    loadCatalog();
    QStringList names;
    for (auto it = tableOids_.begin(); it != tableOids_.end(); ++it) {
        const CatalogColumn& first = catalog_.lower_bound({it.value(), 0})->second;
        if (it.key() == QLatin1String(pg::kVerifierTable)) continue;
        names << first.table;
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

void PgEngine::createTable(const TableDef& table) { execNative(tableDefinitionSql(table)); }

namespace {

[[noreturn]] void ddlError(const QString& text) { rt::raise(rt::err::DbSyntax, text); }

}  // namespace

// Whether the schema holds an index named `name`, or `table` a constraint
// named `name` (the server's lower-case names).
bool PgEngine::hasIndex(const std::string& name) {
    claim(nullptr);
    pg::ResultPtr r = session_->query(
        "SELECT 1 FROM pg_class c WHERE c.relkind = 'i' AND c.relnamespace = "
        "current_schema()::regnamespace AND c.relname = $1",
        {pg::Param{0, false, name}});
    return PQntuples(r.get()) > 0;
}

bool PgEngine::hasConstraint(const QString& table, const std::string& name) {
    claim(nullptr);
    pg::ResultPtr r = session_->query(
        "SELECT 1 FROM pg_constraint WHERE conrelid = to_regclass($1) AND conname = $2",
        {pg::Param{0, false, pg::quoteIdent(table.toLower())}, pg::Param{0, false, name}});
    return PQntuples(r.get()) > 0;
}

// Whether an index, a relationship of the table or a relationship that
// points at the table uses the column.
bool PgEngine::columnInUse(const QString& table, const QString& column) {
    claim(nullptr);
    pg::ResultPtr r = session_->query(
        "SELECT 1 FROM pg_attribute a WHERE a.attrelid = to_regclass($1) AND a.attname = $2 AND ("
        "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = a.attrelid AND a.attnum = ANY (i.indkey)) "
        "OR EXISTS (SELECT 1 FROM pg_constraint k WHERE k.conrelid = a.attrelid AND k.contype = 'f' "
        "AND a.attnum = ANY (k.conkey)) "
        "OR EXISTS (SELECT 1 FROM pg_constraint k WHERE k.confrelid = a.attrelid "
        "AND a.attnum = ANY (k.confkey)))",
        {pg::Param{0, false, pg::quoteIdent(table.toLower())},
         pg::Param{0, false, column.toLower().toStdString()}});
    return PQntuples(r.get()) > 0;
}

void PgEngine::changeSchema(const SchemaChange& change) {
    // A change of several statements is sent as one text, which the server
    // runs whole or not at all. Indexes and constraints of a table are named
    // TABLE_NAME, as the file engine names its indexes.
    checkSchemaChange(*this, change);
    const jet::Dialect& d = dialect();
    const std::string table = d.quoteIdentifier(change.tableName);
    const std::string own = (change.tableName + u'_' + change.name).toLower().toStdString();
    switch (change.kind) {
        case SchemaChange::Kind::CreateTable:
            createTable(change.table);
            break;
        case SchemaChange::Kind::DropTable:
            execNative("DROP TABLE " + table);
            break;
        case SchemaChange::Kind::CreateIndex:
            execNative(indexSql(change.tableName, change.index));
            break;
        case SchemaChange::Kind::DropIndex:
            if (!hasIndex(own)) ddlError(missingIndexText(change.tableName, change.name));
            execNative("DROP INDEX " + d.quoteIdentifier(change.tableName + u'_' + change.name));
            break;
        case SchemaChange::Kind::AddColumn: {
            std::string sql = "ALTER TABLE " + table + " ADD COLUMN " + columnSql(change.column) +
                              ";\nCOMMENT ON COLUMN " + table + "." +
                              d.quoteIdentifier(change.column.name) + " IS " +
                              pg::quoteLiteral(change.column.name) + ";\n";
            if (!change.index.columns.isEmpty()) sql += indexSql(change.tableName, change.index);
            execNative(sql);
            break;
        }
        case SchemaChange::Kind::DropColumn:
            // Jet keeps a field that an index or a relationship needs.
            if (columnInUse(change.tableName, change.name))
                throw fieldInUseError();
            execNative("ALTER TABLE " + table + " DROP COLUMN " + d.quoteIdentifier(change.name));
            break;
        case SchemaChange::Kind::AddConstraint:
            if (change.foreignKey)
                execNative("ALTER TABLE " + table + " ADD " +
                           foreignKeySql(change.tableName, *change.foreignKey));
            else if (change.index.primaryKey)
                execNative("ALTER TABLE " + table + " ADD " +
                           primaryKeySql(change.tableName, change.index));
            else
                execNative(indexSql(change.tableName, change.index));
            break;
        case SchemaChange::Kind::DropConstraint:
            if (hasIndex(own) && !hasConstraint(change.tableName, own))
                execNative("DROP INDEX " + d.quoteIdentifier(change.tableName + u'_' + change.name));
            else if (hasConstraint(change.tableName, own))
                execNative("ALTER TABLE " + table + " DROP CONSTRAINT " +
                           d.quoteIdentifier(change.tableName + u'_' + change.name));
            else
                ddlError(QStringLiteral("Cannot find table or constraint."));
            break;
    }
    schemaChanged();
}

namespace {

std::string columnType(const ColumnDef& c) {
    switch (c.type) {
        case JetType::Text: return "varchar(" + std::to_string(std::max(1, c.size)) + ") COLLATE jet.ci";
        case JetType::Memo: return "text COLLATE jet.ci";
        case JetType::Byte: return "jet.byte";
        case JetType::Integer: return "smallint";
        case JetType::Long: return "integer";
        case JetType::AutoNumber: return "integer GENERATED BY DEFAULT AS IDENTITY";
        case JetType::Single: return "real";
        case JetType::Double: return "double precision";
        case JetType::Currency: return "jet.currency";
        case JetType::Decimal:
            return "numeric(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
        case JetType::DateTime: return "timestamp(3)";
        case JetType::YesNo: return "jet.yesno";
        case JetType::Binary:
        case JetType::LongBinary: return "bytea";
        case JetType::Guid: return "varchar(38) COLLATE jet.ci";
    }
    return "text COLLATE jet.ci";
}

}  // namespace

std::string PgEngine::columnSql(const ColumnDef& c) {
    const jet::Dialect& d = jet::pgDialect();
    std::string sql = d.quoteIdentifier(c.name) + " " + columnType(c);
    if (c.required) sql += " NOT NULL";
    if (c.defaultValue && c.type != JetType::AutoNumber)
        sql += " DEFAULT " + d.literal(*c.defaultValue);
    else if (c.type == JetType::YesNo)
        sql += " DEFAULT 0";  // a Yes/No column is never Null
    return sql;
}

// A secondary index, named TABLE_NAME as the file engine names it.
std::string PgEngine::indexSql(const QString& tableName, const IndexDef& ix) {
    const jet::Dialect& d = jet::pgDialect();
    std::string cols;
    for (const QString& n : ix.columns) cols += (cols.empty() ? "" : ", ") + d.quoteIdentifier(n);
    const QString name = tableName + u'_' + (ix.name.isEmpty() ? ix.columns.join(u'_') : ix.name);
    return std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
           d.quoteIdentifier(name) + " ON " + d.quoteIdentifier(tableName) + " (" + cols + ");\n";
}

namespace {

std::string columnList(const QStringList& names) {
    const jet::Dialect& d = jet::pgDialect();
    std::string cols;
    for (const QString& n : names) cols += (cols.empty() ? "" : ", ") + d.quoteIdentifier(n);
    return cols;
}

}  // namespace

std::string PgEngine::primaryKeySql(const QString& tableName, const IndexDef& ix) {
    const jet::Dialect& d = jet::pgDialect();
    std::string sql;
    if (!ix.name.isEmpty()) sql = "CONSTRAINT " + d.quoteIdentifier(tableName + u'_' + ix.name) + " ";
    return sql + "PRIMARY KEY (" + columnList(ix.columns) + ")";
}

std::string PgEngine::foreignKeySql(const QString& tableName, const ForeignKeyDef& fk) {
    const jet::Dialect& d = jet::pgDialect();
    std::string sql;
    if (!fk.name.isEmpty()) sql = "CONSTRAINT " + d.quoteIdentifier(tableName + u'_' + fk.name) + " ";
    sql += "FOREIGN KEY (" + columnList(fk.columns) + ") REFERENCES " +
           d.quoteIdentifier(fk.refTable);
    if (!fk.refColumns.isEmpty()) sql += " (" + columnList(fk.refColumns) + ")";
    if (fk.cascadeUpdate) sql += " ON UPDATE CASCADE";
    if (fk.cascadeDelete) sql += " ON DELETE CASCADE";
    return sql;
}

std::string PgEngine::tableDefinitionSql(const TableDef& t) {
    const jet::Dialect& d = jet::pgDialect();
    const std::string table = d.quoteIdentifier(t.name);
    std::string sql = "CREATE TABLE " + table + " (";
    for (size_t i = 0; i < t.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += columnSql(t.columns[i]);
    }
    for (const IndexDef& ix : t.indexes)
        if (ix.primaryKey) sql += ", " + primaryKeySql(t.name, ix);
    for (const ForeignKeyDef& fk : t.foreignKeys) sql += ", " + foreignKeySql(t.name, fk);
    for (const CheckDef& c : t.checks)
        sql += ", " + (c.name.isEmpty() ? std::string()
                                        : "CONSTRAINT " + d.quoteIdentifier(t.name + u'_' + c.name) +
                                              " ") +
               "CHECK (" + checkConditionSql(t, c, d) + ")";
    sql += ");\n";
    sql += "COMMENT ON TABLE " + table + " IS " + pg::quoteLiteral(t.name) + ";\n";
    for (const ColumnDef& c : t.columns)
        sql += "COMMENT ON COLUMN " + table + "." + d.quoteIdentifier(c.name) + " IS " +
               pg::quoteLiteral(c.name) + ";\n";
    for (const IndexDef& ix : t.indexes)
        if (!ix.primaryKey) sql += indexSql(t.name, ix);
    return sql;
}

}  // namespace db
