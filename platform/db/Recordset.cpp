// Recordset: a query result walked forward row by row, with updates.
//
// Opening a SELECT reads its whole result (or MaxRecords rows) from the
// database in one step into a ResultSpool and gives the statement back, so an
// open result never holds a lock on the shared file while the caller works
// with it. Rows are served from the spool and their values decoded only when
// a field is read.
//
// An updatable result (one table, opened with a lock other than read-only)
// carries each row's engine row id. Update writes back optimistically, in one
// write transaction:
//   1. read the row again by its row id; when it is gone, or a column the
//      result took from the table differs from what was read, another user
//      changed it: fail with DbRowChanged and change nothing;
//   2. update the assigned columns by the row id, returning the row as stored;
//   3. keep that row as the result's copy of it (a later Update of the same
//      row compares with what this one wrote).
#include "platform/db/Connection.h"

#include "platform/db/Coerce.h"
#include "platform/db/Engine.h"
#include "platform/db/ResultSpool.h"
#include "platform/db/Schema.h"
#include "platform/db/jet/Functions.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Error.h"

#include <cstring>
#include <map>
#include <optional>

namespace db {

namespace {

[[noreturn]] void closedError() {
    rt::raise(rt::err::DbObjectClosed,
              QStringLiteral("Recordset: operation is not allowed when the object is closed."));
}
[[noreturn]] void openError() {
    rt::raise(rt::err::DbObjectOpen,
              QStringLiteral("Recordset: operation is not allowed when the object is open."));
}
[[noreturn]] void noCurrentRow() {
    rt::raise(rt::err::DbNoCurrentRow,
              QStringLiteral("Recordset: either BOF or EOF is True, or the current record has "
                             "been deleted. Requested operation requires a current record."));
}
[[noreturn]] void readOnlyResult() {
    rt::raise(rt::err::DbReadOnly,
              QStringLiteral("Recordset: the current recordset does not support updating "
                             "(read-only result)."));
}
[[noreturn]] void changedByAnotherUser(const QString& table) {
    rt::raise(rt::err::DbRowChanged,
              QStringLiteral("Row cannot be located for updating. Some values may have been "
                             "changed since it was last read (table '%1': another user changed "
                             "or deleted the row).")
                  .arg(table));
}

bool sameCell(const Cell& a, const Cell& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case CellType::Null: return true;
        case CellType::Integer: return a.integer == b.integer;
        case CellType::Real: return std::memcmp(&a.real, &b.real, sizeof a.real) == 0;
        case CellType::Text:
        case CellType::Blob:
            return a.size == b.size && (a.size == 0 || std::memcmp(a.data, b.data, size_t(a.size)) == 0);
    }
    return false;
}

}  // namespace

struct Recordset::Impl {
    struct Column {
        QString name;
        rt::VarType kind;
        QString origin;  // its column in the updatable table; empty for an expression
        std::optional<QString> format;  // Format applied on the client after reading
    };
    enum class Edit { None, Change, Add };

    std::shared_ptr<Engine> engine;
    std::shared_ptr<const jet::Translation> translation;
    bool open = false;
    bool updatable = false;
    int64_t maxRecords = 0;
    int first = 0;  // 1 when cell 0 is the hidden row id
    std::vector<Column> columns;
    std::unique_ptr<ResultSpool> spool;
    int64_t index = -1;       // the current row's position in the result
    std::vector<Cell> cells;  // the current row (row id first); empty at EOF
    std::map<int64_t, QByteArray> changed;  // rows as stored by Update, by position
    Edit edit = Edit::None;
    std::map<int, rt::Variant> pending;

    void requireOpen() const {
        if (!open) closedError();
    }

    // Moves to the row after the current one (the first after a rewind).
    void advance() {
        ++index;
        if (!spool->next(cells)) return;
        if (!changed.empty()) {
            auto it = changed.find(index);
            if (it != changed.end()) ResultSpool::decodeRow(it->second, cells);
        }
    }
    bool atEnd() const { return cells.empty(); }

    int indexOf(const QString& name) const {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
        return -1;
    }

    // A value assigned to column `index` as its table column stores it (the
    // one conversion of written values, as for INSERT and UPDATE statements).
    rt::Variant written(int index, const rt::Variant& value) const {
        const Column& c = columns[size_t(index)];
        const QString& name = c.origin.isEmpty() ? c.name : c.origin;
        const QString& table = translation->updatableTable;
        ColumnInfo info;
        if (const ColumnInfo* known = engine->column(table, name))
            info = *known;
        else
            info.name = name, info.kind = c.kind;
        return coerceForColumn(value, info, table, engine->settings());
    }

    void update();
    void insert();
};

Recordset::Recordset() : d_(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::Open(const QString& source, const std::shared_ptr<Connection>& activeConnection,
                     int32_t cursorType, int32_t lockType, int32_t) {
    if (d_->open) openError();
    if (!activeConnection || activeConnection->State() != adStateOpen)
        rt::raise(-2146824579,
                  QStringLiteral("Recordset: the connection cannot be used to perform this "
                                 "operation. It is either closed or invalid in this context."));
    auto engine = activeConnection->sharedEngine();
    const bool wantUpdates = lockType != adLockReadOnly;
    auto t = engine->translate(source, wantUpdates);
    const int64_t maxRecords = d_->maxRecords;

    auto fresh = std::make_unique<Impl>();
    fresh->engine = engine;
    fresh->translation = t;
    fresh->maxRecords = maxRecords;
    if (t->kind == jet::StatementKind::Schema || t->kind == jet::StatementKind::SelectInto) {
        // A table definition, or a new table filled from a query; the
        // recordset stays closed.
        runDefinition(*engine, *t);
        d_ = std::make_unique<Impl>();
        d_->maxRecords = maxRecords;
        return;
    }
    StatementPtr st = engine->prepare(t->sql);
    for (size_t i = 0; i < t->params.size(); ++i) st->bind(int(i + 1), t->params[i]);
    if (t->kind != jet::StatementKind::Select) {
        // A statement that changes data runs; the recordset stays closed.
        st->run();
        d_ = std::make_unique<Impl>();
        d_->maxRecords = maxRecords;
        return;
    }
    fresh->first = t->rowidFirst ? 1 : 0;
    fresh->updatable = wantUpdates && t->rowidFirst;
    const int total = st->columnCount();
    const int n = total - fresh->first;
    fresh->columns.reserve(size_t(n));
    for (int c = 0; c < n; ++c) {
        const int sc = c + fresh->first;
        rt::VarType kind = c < int(t->columnHints.size()) ? t->columnHints[c] : rt::VarType::Empty;
        if (kind == rt::VarType::Empty) kind = st->declaredKind(sc);
        QString origin;
        if (fresh->updatable) {
            const Statement::Origin o = st->columnOrigin(sc);
            if (o.table.compare(t->updatableTable, Qt::CaseInsensitive) == 0) origin = o.column;
        }
        fresh->columns.push_back({st->columnName(sc), kind, origin, std::nullopt});
        if (c < int(t->clientFormats.size()) && t->clientFormats[size_t(c)])
            fresh->columns.back().format = t->clientFormats[size_t(c)];
    }
    // The one step that reads the shared file: every row into the spool, then
    // the statement goes back (and with it the engine's read lock).
    fresh->spool = std::make_unique<ResultSpool>();
    for (int64_t rows = 0; (maxRecords <= 0 || rows < maxRecords) && st->next(); ++rows)
        fresh->spool->append(*st, total);
    st.reset();
    fresh->spool->finish();
    fresh->advance();
    fresh->open = true;
    d_ = std::move(fresh);
    (void)cursorType;
}

void Recordset::Close() {
    d_->requireOpen();
    const int64_t maxRecords = d_->maxRecords;
    d_ = std::make_unique<Impl>();
    d_->maxRecords = maxRecords;
}

int32_t Recordset::State() const { return d_->open ? adStateOpen : adStateClosed; }

int64_t Recordset::MaxRecords() const { return d_->maxRecords; }

void Recordset::setMaxRecords(int64_t rows) {
    if (d_->open) openError();
    d_->maxRecords = rows < 0 ? 0 : rows;
}

bool Recordset::Eof() const {
    d_->requireOpen();
    return d_->atEnd() && d_->edit != Impl::Edit::Add;
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
    d_->spool->rewind();
    d_->index = -1;
    d_->advance();
}

void Recordset::MoveNext() {
    d_->requireOpen();
    if (d_->atEnd()) noCurrentRow();
    d_->edit = Impl::Edit::None;
    d_->pending.clear();
    d_->advance();
}

bool Recordset::Updatable() const { return d_->open && d_->updatable; }

void Recordset::AddNew() {
    d_->requireOpen();
    if (!d_->updatable) readOnlyResult();
    d_->edit = Impl::Edit::Add;
    d_->pending.clear();
}

void Recordset::Update() {
    d_->requireOpen();
    Impl& d = *d_;
    if (!d.updatable) readOnlyResult();
    if (d.edit == Impl::Edit::None && d.pending.empty()) return;
    if (d.edit == Impl::Edit::Add)
        d.insert();
    else
        d.update();
    d.edit = Impl::Edit::None;
    d.pending.clear();
}

void Recordset::Impl::insert() {
    Engine& e = *engine;
    const jet::Dialect& dialect = e.dialect();
    const QString& table = translation->updatableTable;
    std::string cols, marks;
    int i = 0;
    for (const auto& [index, value] : pending) {
        if (i) {
            cols += ", ";
            marks += ", ";
        }
        const Column& c = columns[size_t(index)];
        cols += dialect.quoteIdentifier(c.origin.isEmpty() ? c.name : c.origin);
        marks += dialect.parameter(++i);
    }
    // Built by plain joining: names and parameters are never scanned again.
    const std::string sql = "INSERT INTO " + dialect.quoteIdentifier(table) +
                            (pending.empty() ? std::string(" DEFAULT VALUES")
                                             : " (" + cols + ") VALUES (" + marks + ")");
    StatementPtr st = e.prepare(sql);
    st->setErrorContext(table);
    i = 0;
    for (const auto& [index, value] : pending) st->bind(++i, written(index, value));
    st->run();
}

void Recordset::Impl::update() {
    if (atEnd()) noCurrentRow();
    Engine& e = *engine;
    const jet::Dialect& dialect = e.dialect();
    const QString& table = translation->updatableTable;
    const std::string quotedTable = dialect.quoteIdentifier(table);
    const std::string rowid = dialect.rowidExpression(table);
    const RowId id = cells[0].integer;

    // The result's columns taken straight from the table, compared and
    // returned in this order.
    std::vector<int> fromTable;
    std::string selected;
    for (size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].origin.isEmpty()) continue;
        selected += ", " + dialect.quoteIdentifier(columns[c].origin);
        fromTable.push_back(int(c));
    }

    WriteTransaction tx(e);
    {
        // 1. The row as it is now.
        StatementPtr now = e.prepare("SELECT " + rowid + selected + " FROM " + quotedTable +
                                     " WHERE " + rowid + " = " + dialect.parameter(1));
        now->setErrorContext(table);
        now->bindRowId(1, id);
        if (!now->next()) changedByAnotherUser(table);
        for (size_t k = 0; k < fromTable.size(); ++k)
            if (!sameCell(now->cell(int(k) + 1), cells[size_t(fromTable[k] + first)]))
                changedByAnotherUser(table);
    }
    // 2. The assigned columns, by the row id.
    std::string sets;
    int i = 0;
    for (const auto& [index, value] : pending) {
        if (i) sets += ", ";
        const Column& c = columns[size_t(index)];
        sets += dialect.quoteIdentifier(c.origin.isEmpty() ? c.name : c.origin) + " = " +
                dialect.parameter(++i);
    }
    StatementPtr st = e.prepare("UPDATE " + quotedTable + " SET " + sets + " WHERE " + rowid +
                                " = " + dialect.parameter(i + 1) + " RETURNING " + rowid + selected);
    st->setErrorContext(table);
    i = 0;
    for (const auto& [index, value] : pending) st->bind(++i, written(index, value));
    st->bindRowId(i + 1, id);
    if (!st->next()) changedByAnotherUser(table);
    // 3. The row as stored becomes the result's copy of it (expressions keep
    // the values they were read with).
    std::vector<Cell> stored = cells;
    stored[0] = st->cell(0);
    for (size_t k = 0; k < fromTable.size(); ++k)
        stored[size_t(fromTable[k] + first)] = st->cell(int(k) + 1);
    QByteArray row = ResultSpool::encodeRow(stored);
    st->run();
    st.reset();
    tx.commit();
    auto& slot = changed[index];
    slot = std::move(row);
    ResultSpool::decodeRow(slot, cells);
}

// ---- Field ----

QString Field::Name() const { return rs_->d_->columns[size_t(index_)].name; }

rt::VarType Field::Type() const {
    const auto& c = rs_->d_->columns[size_t(index_)];
    return c.format ? rt::VarType::Text : c.kind;
}

rt::Variant Field::Value() const {
    Recordset::Impl& d = *rs_->d_;
    d.requireOpen();
    if (!d.pending.empty()) {
        auto p = d.pending.find(index_);
        if (p != d.pending.end()) return p->second;
    }
    if (d.edit == Recordset::Impl::Edit::Add) return rt::Variant::null();
    if (d.atEnd()) noCurrentRow();
    const auto& c = d.columns[size_t(index_)];
    rt::Variant v = decodeCell(d.cells[size_t(index_ + d.first)], c.kind, d.engine->settings());
    if (c.format) v = jet::fn::formatted(v, *c.format, d.engine->settings());
    return v;
}

void Field::setValue(const rt::Variant& v) {
    Recordset::Impl& d = *rs_->d_;
    d.requireOpen();
    if (!d.updatable)
        rt::raise(rt::err::DbReadOnly,
                  QStringLiteral("Recordset: field '%1' cannot be updated; the result is "
                                 "read-only.")
                      .arg(d.columns[size_t(index_)].name));
    if (d.edit == Recordset::Impl::Edit::None) {
        if (d.atEnd()) noCurrentRow();
        d.edit = Recordset::Impl::Edit::Change;
    }
    d.pending[index_] = v;
}

}  // namespace db
