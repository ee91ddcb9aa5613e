// Recordset: a query result walked forward row by row, with updates.
//
// Rows are fetched in batches; when the statement is exhausted it is given back
// at once, so that a small result holds no lock on the shared file while the
// caller works with it. A large result streams with bounded memory.
#include "platform/db/Connection.h"

#include "platform/db/Engine.h"
#include "platform/db/jet/Functions.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"

#include <deque>
#include <optional>
#include <limits>
#include <map>

namespace db {

namespace {
// The first batch is small, so that a caller who looks only at the first row
// (an existence test, a single value) pays for few rows; later batches are
// larger. A result that fits in the first batch holds no lock afterwards.
constexpr size_t kFirstBatchRows = 32;
constexpr size_t kBatchRows = 256;

[[noreturn]] void closedError() {
    rt::raise(rt::err::DbObjectClosed,
              QStringLiteral("Recordset: operation is not allowed when the object is closed."));
}
[[noreturn]] void noCurrentRow() {
    rt::raise(rt::err::DbNoCurrentRow,
              QStringLiteral("Recordset: either BOF or EOF is True, or the current record has "
                             "been deleted. Requested operation requires a current record."));
}
}  // namespace

struct Recordset::Impl final : Engine::Reader {
    struct Column {
        QString name;
        rt::VarType kind;                // read as
        std::optional<QString> format;   // then formatted on the client
    };
    struct Row {
        int64_t rowid = 0;
        std::vector<rt::Variant> values;
    };
    enum class Edit { None, Change, Add };

    std::shared_ptr<Engine> engine;
    std::shared_ptr<const jet::Translation> translation;
    StatementPtr stmt;
    bool open = false;
    bool atStart = true;
    bool updatable = false;
    int first = 0;  // 1 when column 0 is the hidden row id
    std::vector<Column> columns;
    std::deque<Row> rows;  // rows[0] is the current row
    Edit edit = Edit::None;
    std::map<int, rt::Variant> pending;

    ~Impl() { releaseStatement(); }

    // The current statement row's value of column c (Format applied when the
    // engine left it to the client).
    rt::Variant readColumn(size_t c) const {
        rt::Variant v = stmt->value(int(c) + first, columns[c].kind);
        if (columns[c].format && !v.isNull())
            v = rt::Variant(jet::fn::format(v, *columns[c].format, engine->settings()));
        return v;
    }

    void releaseStatement() {
        if (stmt) {
            engine->removeReader(this);
            stmt.reset();
        }
    }

    void execute() {
        stmt = engine->prepare(translation->sql);
        engine->addReader(this);
        for (size_t i = 0; i < translation->params.size(); ++i)
            stmt->bind(int(i + 1), translation->params[i]);
    }

    void fill(size_t limit = kBatchRows) {
        while (stmt && rows.size() < limit) {
            bool row;
            try {
                row = stmt->next();
            } catch (...) {
                releaseStatement();
                throw;
            }
            if (row) {
                Row r;
                if (first) r.rowid = stmt->rowId(0);
                r.values.reserve(columns.size());
                for (size_t c = 0; c < columns.size(); ++c)
                    r.values.push_back(readColumn(c));
                rows.push_back(std::move(r));
            } else {
                releaseStatement();
            }
        }
    }

    // Reads the rest of the result into memory and gives the statement back
    // (see Engine::Reader): called before the connection writes.
    void readToEnd() override { fill(std::numeric_limits<size_t>::max()); }

    int indexOf(const QString& name) const {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
        return -1;
    }

    void requireOpen() const {
        if (!open) closedError();
    }
};

Recordset::Recordset() : d_(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::Open(const QString& source, const std::shared_ptr<Connection>& activeConnection,
                     int32_t cursorType, int32_t lockType, int32_t) {
    if (d_->open)
        rt::raise(rt::err::DbObjectOpen,
                  QStringLiteral("Recordset: operation is not allowed when the object is open."));
    if (!activeConnection || activeConnection->State() != adStateOpen)
        rt::raise(-2146824579,
                  QStringLiteral("Recordset: the connection cannot be used to perform this "
                                 "operation. It is either closed or invalid in this context."));
    auto engine = activeConnection->sharedEngine();
    const bool wantUpdates = lockType != adLockReadOnly;
    auto t = engine->translate(source, wantUpdates);

    auto fresh = std::make_unique<Impl>();
    fresh->engine = engine;
    fresh->translation = t;
    if (t->kind != jet::StatementKind::Select) {
        // A statement that changes data runs; the recordset stays closed.
        engine->finishReaders();
        fresh->execute();
        fresh->stmt->run();
        fresh->releaseStatement();
        d_ = std::make_unique<Impl>();
        return;
    }
    fresh->first = t->rowidFirst ? 1 : 0;
    fresh->updatable = wantUpdates && t->rowidFirst;
    fresh->execute();
    const int n = fresh->stmt->columnCount() - fresh->first;
    fresh->columns.reserve(n);
    for (int c = 0; c < n; ++c) {
        rt::VarType kind = c < int(t->columnHints.size()) ? t->columnHints[c] : rt::VarType::Empty;
        if (kind == rt::VarType::Empty) kind = fresh->stmt->declaredKind(c + fresh->first);
        fresh->columns.push_back({fresh->stmt->columnName(c + fresh->first), kind});
        if (c < int(t->clientFormats.size()) && t->clientFormats[c])
            fresh->columns.back().format = t->clientFormats[c];
    }
    fresh->fill(kFirstBatchRows);
    fresh->open = true;
    d_ = std::move(fresh);
    (void)cursorType;
}

void Recordset::Close() {
    d_->requireOpen();
    d_ = std::make_unique<Impl>();
}

int32_t Recordset::State() const { return d_->open ? adStateOpen : adStateClosed; }

bool Recordset::Eof() const {
    d_->requireOpen();
    return d_->rows.empty() && d_->edit != Impl::Edit::Add;
}

int32_t Recordset::FieldCount() const {
    d_->requireOpen();
    return int32_t(d_->columns.size());
}

Field Recordset::Fields(int32_t index) {
    d_->requireOpen();
    if (index < 0 || index >= int32_t(d_->columns.size()))
        rt::raise(rt::err::DbItemNotFound,
                  QStringLiteral("Recordset: item cannot be found in the collection corresponding "
                                 "to the requested name or ordinal (%1).")
                      .arg(index));
    return Field(this, index);
}

Field Recordset::Fields(const QString& name) {
    d_->requireOpen();
    int i = d_->indexOf(name);
    if (i < 0)
        rt::raise(rt::err::DbItemNotFound,
                  QStringLiteral("Recordset: item cannot be found in the collection corresponding "
                                 "to the requested name or ordinal ('%1').")
                      .arg(name));
    return Field(this, i);
}

void Recordset::MoveFirst() {
    d_->requireOpen();
    d_->edit = Impl::Edit::None;
    d_->pending.clear();
    if (d_->atStart) return;
    // Forward reading: start the query again.
    d_->releaseStatement();
    d_->rows.clear();
    d_->execute();
    d_->fill(kFirstBatchRows);
    d_->atStart = true;
}

void Recordset::MoveNext() {
    d_->requireOpen();
    if (d_->rows.empty()) noCurrentRow();
    d_->edit = Impl::Edit::None;
    d_->pending.clear();
    d_->rows.pop_front();
    d_->atStart = false;
    if (d_->rows.empty()) d_->fill();
}

bool Recordset::Updatable() const { return d_->open && d_->updatable; }

void Recordset::AddNew() {
    d_->requireOpen();
    if (!d_->updatable)
        rt::raise(rt::err::DbReadOnly,
                  QStringLiteral("Recordset: the current recordset does not support updating "
                                 "(read-only result)."));
    d_->edit = Impl::Edit::Add;
    d_->pending.clear();
}

void Recordset::Update() {
    d_->requireOpen();
    Impl& d = *d_;
    if (!d.updatable)
        rt::raise(rt::err::DbReadOnly,
                  QStringLiteral("Recordset: the current recordset does not support updating "
                                 "(read-only result)."));
    if (d.edit == Impl::Edit::None && d.pending.empty()) return;
    Engine& e = *d.engine;
    e.finishReaders();
    const jet::Dialect& dialect = e.dialect();
    const QString table = d.translation->updatableTable;
    const std::string quotedTable = dialect.quoteIdentifier(table);
    std::vector<std::string> names;
    std::vector<std::pair<rt::Variant, rt::VarType>> values;
    for (const auto& [index, value] : d.pending) {
        const QString& col = d.columns[index].name;
        rt::VarType kind = e.columnKind(table, col);
        if (kind == rt::VarType::Empty) kind = d.columns[index].kind;
        names.push_back(dialect.quoteIdentifier(col));
        values.emplace_back(value, kind);
    }
    // Built by plain joining: names and parameters are never scanned again.
    std::string sql;
    if (d.edit == Impl::Edit::Add) {
        if (names.empty()) {
            sql = "INSERT INTO " + quotedTable + " DEFAULT VALUES";
        } else {
            std::string cols, marks;
            for (size_t i = 0; i < names.size(); ++i) {
                if (i) {
                    cols += ", ";
                    marks += ", ";
                }
                cols += names[i];
                marks += dialect.parameter(int(i + 1));
            }
            sql = "INSERT INTO " + quotedTable + " (" + cols + ") VALUES (" + marks + ")";
        }
    } else {
        if (d.rows.empty()) noCurrentRow();
        std::string sets;
        for (size_t i = 0; i < names.size(); ++i) {
            if (i) sets += ", ";
            sets += names[i] + " = " + dialect.parameter(int(i + 1));
        }
        sql = "UPDATE " + quotedTable + " SET " + sets + " WHERE " +
              dialect.rowidExpression(table) + " = " + dialect.parameter(int(names.size() + 1));
    }
    StatementPtr st = e.prepare(sql);
    st->setErrorContext(table);
    for (size_t i = 0; i < values.size(); ++i)
        st->bindForColumn(int(i + 1), values[i].first, values[i].second);
    if (d.edit != Impl::Edit::Add) st->bindRowId(int(values.size() + 1), d.rows.front().rowid);
    st->run();
    if (d.edit != Impl::Edit::Add)
        for (const auto& [index, value] : d.pending) d.rows.front().values[index] = value;
    d.edit = Impl::Edit::None;
    d.pending.clear();
}

// ---- Field ----

QString Field::Name() const { return rs_->d_->columns[index_].name; }

rt::VarType Field::Type() const {
    const auto& c = rs_->d_->columns[index_];
    return c.format ? rt::VarType::Text : c.kind;
}

rt::Variant Field::Value() const {
    Recordset::Impl& d = *rs_->d_;
    d.requireOpen();
    auto p = d.pending.find(index_);
    if (p != d.pending.end()) return p->second;
    if (d.edit == Recordset::Impl::Edit::Add) return rt::Variant::null();
    if (d.rows.empty()) noCurrentRow();
    return d.rows.front().values[index_];
}

void Field::setValue(const rt::Variant& v) {
    Recordset::Impl& d = *rs_->d_;
    d.requireOpen();
    if (!d.updatable)
        rt::raise(rt::err::DbReadOnly,
                  QStringLiteral("Recordset: field '%1' cannot be updated; the result is "
                                 "read-only.")
                      .arg(d.columns[index_].name));
    if (d.edit == Recordset::Impl::Edit::None) {
        if (d.rows.empty()) noCurrentRow();
        d.edit = Recordset::Impl::Edit::Change;
    }
    d.pending[index_] = v;
}

}  // namespace db
