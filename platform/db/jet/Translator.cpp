// The emitter: walks the statement tree and writes the target dialect.
//
// What stays the same for every target lives here: which Jet functions exist
// and how many arguments they take, the variant kind each expression delivers,
// where a Jet value must become a condition and back, literals as parameters,
// Jet's text comparison (letter case ignored) where no column collation
// applies, and the updatable-table rule. How each piece is spelled is the
// Dialect's.
#include "platform/db/jet/Translator.h"
#include "platform/db/ProviderErrors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/db/jet/Ast.h"
#include "platform/db/jet/Parser.h"
#include "platform/db/jet/Tokenizer.h"
#include "platform/runtime/Error.h"

namespace db::jet {

namespace {

using rt::VarType;

bool isNumberKind(VarType k) { return rt::isNumericType(k); }

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// ---- Jet functions: arity and result kinds (the Dialect spells them) ----

enum class ArgMode : unsigned char {
    Value,      // a Jet value
    Text,       // a value a text function reads (dates in their text form)
    Condition,  // IIf's test
};

enum class Rule : unsigned char {
    Fixed,        // always `kind`
    SameAsArg0,   // min, max, first, last
    NumericArg0,  // Int, Fix, Abs, Round: the argument's kind when it is a number
    Branches,     // IIf: the kind both branches share
    Nz,           // Nz: the kind value and replacement share
    Sum,          // Sum: Currency and Double stay; others are the stored value's
    Switch,       // Switch(test, value, ...): the kind every value shares
    Choose,       // Choose(index, value, ...): the kind every value shares
};

struct JetFunction {
    const char* name;
    signed char minArgs;
    signed char maxArgs;
    VarType kind;
    Rule rule;
    ArgMode mode;
    bool aggregate;
    bool condition;  // the dialect's spelling is a condition (1/0), not a Jet value
    bool neverNull;
};

constexpr VarType E = VarType::Empty;
constexpr VarType kText = VarType::Text;
constexpr VarType kInt = VarType::Int16;
constexpr VarType kLong = VarType::Int32;
constexpr VarType kDbl = VarType::Double;
constexpr VarType kDate = VarType::Date;
constexpr VarType kBool = VarType::Boolean;
constexpr ArgMode V = ArgMode::Value;
constexpr ArgMode T = ArgMode::Text;
constexpr bool Y = true;
constexpr bool N = false;

// Sorted by name for the binary search in findFunction().
constexpr JetFunction kFunctions[] = {
    {"ABS", 1, 1, E, Rule::NumericArg0, V, N, N, N},
    {"ASC", 1, 1, kInt, Rule::Fixed, T, N, N, N},
    {"ASCW", 1, 1, kInt, Rule::Fixed, T, N, N, N},
    {"AVG", 1, 1, kDbl, Rule::Fixed, V, Y, N, N},
    {"CBOOL", 1, 1, kBool, Rule::Fixed, V, N, N, N},
    {"CBYTE", 1, 1, VarType::Byte, Rule::Fixed, V, N, N, N},
    {"CCUR", 1, 1, VarType::Currency, Rule::Fixed, V, N, N, N},
    {"CDATE", 1, 1, kDate, Rule::Fixed, V, N, N, N},
    {"CDBL", 1, 1, kDbl, Rule::Fixed, V, N, N, N},
    {"CHOOSE", 2, 30, E, Rule::Choose, V, N, N, N},
    {"CHR", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"CHRW", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"CINT", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"CLNG", 1, 1, kLong, Rule::Fixed, V, N, N, N},
    {"COUNT", 1, 1, kLong, Rule::Fixed, V, Y, N, Y},
    {"CSNG", 1, 1, VarType::Single, Rule::Fixed, V, N, N, N},
    {"CSTR", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"CVDATE", 1, 1, kDate, Rule::Fixed, V, N, N, N},
    {"DATE", 0, 0, kDate, Rule::Fixed, V, N, N, Y},
    {"DATEADD", 3, 3, kDate, Rule::Fixed, V, N, N, N},
    {"DATEDIFF", 3, 5, kLong, Rule::Fixed, V, N, N, N},
    {"DATEPART", 2, 4, kInt, Rule::Fixed, V, N, N, N},
    {"DATESERIAL", 3, 3, kDate, Rule::Fixed, V, N, N, N},
    {"DATEVALUE", 1, 1, kDate, Rule::Fixed, V, N, N, N},
    {"DAY", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"FIRST", 1, 1, E, Rule::SameAsArg0, V, Y, N, N},
    {"FIX", 1, 1, E, Rule::NumericArg0, V, N, N, N},
    {"FORMAT", 1, 2, kText, Rule::Fixed, V, N, N, N},
    {"HEX", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"HOUR", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"IIF", 3, 3, E, Rule::Branches, V, N, N, N},
    {"INSTR", 2, 4, kLong, Rule::Fixed, T, N, N, N},
    {"INSTRREV", 2, 4, kLong, Rule::Fixed, T, N, N, N},
    {"INT", 1, 1, E, Rule::NumericArg0, V, N, N, N},
    {"ISDATE", 1, 1, kBool, Rule::Fixed, V, N, N, Y},
    {"ISNULL", 1, 1, kBool, Rule::Fixed, V, N, Y, Y},
    {"ISNUMERIC", 1, 1, kBool, Rule::Fixed, V, N, N, Y},
    {"LAST", 1, 1, E, Rule::SameAsArg0, V, Y, N, N},
    {"LCASE", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"LEFT", 2, 2, kText, Rule::Fixed, T, N, N, N},
    {"LEN", 1, 1, kLong, Rule::Fixed, T, N, N, N},
    {"LTRIM", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"MAX", 1, 1, E, Rule::SameAsArg0, V, Y, N, N},
    {"MID", 2, 3, kText, Rule::Fixed, T, N, N, N},
    {"MIN", 1, 1, E, Rule::SameAsArg0, V, Y, N, N},
    {"MINUTE", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"MONTH", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"MONTHNAME", 1, 2, kText, Rule::Fixed, V, N, N, N},
    {"NOW", 0, 0, kDate, Rule::Fixed, V, N, N, Y},
    {"NZ", 1, 2, E, Rule::Nz, V, N, N, N},
    {"OCT", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"REPLACE", 3, 6, kText, Rule::Fixed, T, N, N, N},
    {"RIGHT", 2, 2, kText, Rule::Fixed, T, N, N, N},
    {"ROUND", 1, 2, E, Rule::NumericArg0, V, N, N, N},
    {"RTRIM", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"SECOND", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"SGN", 1, 1, kInt, Rule::Fixed, V, N, N, N},
    {"SPACE", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"SQR", 1, 1, kDbl, Rule::Fixed, V, N, N, N},
    {"STDEV", 1, 1, kDbl, Rule::Fixed, V, Y, N, N},
    {"STDEVP", 1, 1, kDbl, Rule::Fixed, V, Y, N, N},
    {"STR", 1, 1, kText, Rule::Fixed, V, N, N, N},
    {"STRCOMP", 2, 3, kInt, Rule::Fixed, T, N, N, N},
    {"STRING", 2, 2, kText, Rule::Fixed, V, N, N, N},
    {"STRREVERSE", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"SUM", 1, 1, E, Rule::Sum, V, Y, N, N},
    {"SWITCH", 2, 30, E, Rule::Switch, V, N, N, N},
    {"TIME", 0, 0, kDate, Rule::Fixed, V, N, N, Y},
    {"TIMESERIAL", 3, 3, kDate, Rule::Fixed, V, N, N, N},
    {"TIMEVALUE", 1, 1, kDate, Rule::Fixed, V, N, N, N},
    {"TRIM", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"UCASE", 1, 1, kText, Rule::Fixed, T, N, N, N},
    {"VAL", 1, 1, kDbl, Rule::Fixed, T, N, N, N},
    {"VAR", 1, 1, kDbl, Rule::Fixed, V, Y, N, N},
    {"VARP", 1, 1, kDbl, Rule::Fixed, V, Y, N, N},
    {"WEEKDAY", 1, 2, kInt, Rule::Fixed, V, N, N, N},
    {"WEEKDAYNAME", 1, 3, kText, Rule::Fixed, V, N, N, N},
    {"YEAR", 1, 1, kInt, Rule::Fixed, V, N, N, N},
};

const JetFunction* findFunction(const QString& upper) {
    if (upper.size() > 16) return nullptr;
    const QByteArray key = upper.toLatin1();
    auto it = std::lower_bound(std::begin(kFunctions), std::end(kFunctions), key,
                               [](const JetFunction& f, const QByteArray& k) {
                                   return std::strcmp(f.name, k.constData()) < 0;
                               });
    if (it != std::end(kFunctions) && key == it->name) return it;
    return nullptr;
}

// ---- emitted expressions ----

// Binding strength of what an emitted expression ends in, in the engine's
// grammar; an operand weaker than its place requires gets parentheses.
enum Prec : int {
    kOr = 1,
    kAnd = 2,
    kNot = 3,
    kEquality = 4,    // = <> IS IN BETWEEN
    kRelational = 5,  // < <= > >=
    kAdd = 7,
    kMul = 8,
    kConcat = 9,
    kUnary = 10,
    kAtomic = 11,  // names, parameters, calls, parenthesised forms
};

struct Emitted {
    std::string sql;
    VarType kind = VarType::Empty;
    bool condition = false;  // the engine's truth value (1/0/Null), not a Jet value
    bool nullable = true;
    bool column = false;  // a plain column reference, which brings its collation
    int prec = kAtomic;
    const rt::Variant* literal = nullptr;  // the value of a literal, when it is one
};

struct SelectInfo {
    std::vector<VarType> hints;
    std::vector<std::optional<QString>> formats;  // parallel to hints
    bool hintsStopped = false;
    std::vector<std::pair<QString, VarType>> columns;  // output names, for derived tables
    QString updatableTable;
    bool rowidFirst = false;
    bool singleRow = false;  // gives at most one row whatever the data
};

// Numbers, and Yes/No values stored as -1 and 0.
bool isNumeric(VarType k) { return isNumberKind(k) || k == VarType::Boolean; }

[[noreturn]] void typeMismatch() { throw typeMismatchError(); }

// Order of two literal values of one family, -1 / 0 / 1; nothing when they
// cannot be compared at translation time.
std::optional<int> compareLiterals(const rt::Variant& a, const rt::Variant& b) {
    auto sign = [](double x) { return x < 0 ? -1 : (x > 0 ? 1 : 0); };
    if (isNumeric(a.type()) && isNumeric(b.type())) {
        const rt::RegionalSettings& rs = rt::RegionalSettings::process();
        return sign(a.toDouble(rs) - b.toDouble(rs));
    }
    if (a.type() == VarType::Date && b.type() == VarType::Date)
        return sign(rt::dateToSerial(a.asDate()) - rt::dateToSerial(b.asDate()));
    if (a.type() == VarType::Text && b.type() == VarType::Text) {
        const int c = a.asText().toCaseFolded().compare(b.asText().toCaseFolded());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return std::nullopt;
}

class Emitter {
  public:
    Emitter(const QString& text, const Dialect& d, const TranslateOptions& o,
            const rt::RegionalSettings& rs)
        : text_(text), d_(d), opt_(o), rs_(rs) {}

    Translation run(const Statement& st);
    // A validation rule: one expression as a CHECK constraint's condition.
    std::string runRule(const Expr& e);

  private:
    struct Entry {
        QString name;                                      // alias, or the table name
        QString table;                                     // empty for a derived table
        std::vector<std::pair<QString, VarType>> columns;  // derived table
    };
    // Where an expression stands, for Jet's refusal of aggregates there.
    enum class Clause : unsigned char { Other, Where, GroupBy, On, InAggregate };
    struct Level {
        std::vector<Entry> entries;
        bool aggregate = false;
        int exprNumber = 1000;  // Jet names unnamed result columns Expr1000, Expr1001 ...
        Clause clause = Clause::Other;
    };
    // Emits `x` with the current level in `clause`.
    Emitted emitIn(Clause clause, const Expr& x) {
        const Clause before = levels_.back().clause;
        levels_.back().clause = clause;
        Emitted e = emitExpr(x);
        levels_.back().clause = before;
        return e;
    }
    // The text of a call from its name to its closing parenthesis.
    QString callText(const Expr& call) const;
    // Jet's rule for a query that groups: every column outside an aggregate
    // is one of the GROUP BY terms (or part of one).
    void checkGrouped(const Select& s, size_t levelIndex) const;
    void checkGroupedExpr(const Expr& x, const Select& s, size_t levelIndex) const;

    [[noreturn]] void failNear(qsizetype pos) const {
        syntaxErrorNear(QStringView(text_).mid(std::clamp<qsizetype>(pos, 0, text_.size())));
    }

    std::string param(rt::Variant v) {
        if (opt_.inlineLiterals || rule_) return d_.literal(v);
        params_.push_back(std::move(v));
        return d_.parameter(int(params_.size()));
    }
    Emitted literal(rt::Variant v) {
        Emitted r;
        r.kind = v.type();
        if (v.isNull()) {
            r.sql = "NULL";
            r.kind = VarType::Null;
            return r;
        }
        values_.push_back(std::make_unique<rt::Variant>(v));
        r.literal = values_.back().get();
        r.sql = param(std::move(v));
        r.nullable = false;
        return r;
    }
    std::string ident(const QString& n) const { return d_.quoteIdentifier(n); }

    // values and conditions
    std::string valueOf(const Emitted& e) const {
        return e.condition ? d_.boolValue(e.sql) : e.sql;
    }
    std::string condOf(const Emitted& e) const { return e.condition ? e.sql : d_.condition(e.sql); }
    // The value of `e` where an operand of strength `need` is required.
    std::string operand(const Emitted& e, int need) const {
        std::string s = valueOf(e);
        const int p = e.condition ? kUnary : e.prec;
        if (p < need || (need >= kUnary && !s.empty() && s[0] == '-')) return "(" + s + ")";
        return s;
    }
    // The condition of `e` where a condition of strength `need` is required.
    // (Dialect::condition returns its operand or a parenthesised form, so a
    // value keeps its strength when it becomes a condition.)
    std::string condOperand(const Emitted& e, int need) const {
        std::string s = condOf(e);
        if (e.prec < need) return "(" + s + ")";
        return s;
    }
    // The kind a value delivers; a condition used as a value is Jet's -1 / 0,
    // a 16-bit number (the functions IsNull, IsDate ... give Yes/No values).
    static VarType hintOf(const Emitted& e) {
        if (e.condition) return e.kind == VarType::Boolean ? VarType::Boolean : VarType::Int16;
        return e.kind == VarType::Null ? VarType::Empty : e.kind;
    }

    // statements
    std::string emitInsert(const Statement& st);
    std::string emitUpdate(const Statement& st);
    std::string emitUpdateJoin(const Statement& st);
    std::string emitSelect(const Select& s, SelectInfo* info, bool wantRowid);
    std::string emitCore(const Select& s, SelectInfo* info, bool wantRowid, bool alone);
    std::string emitItems(const Select& s, SelectInfo* info, size_t levelIndex);
    std::string distinctRowGroups(const Select& s, size_t levelIndex);
    std::string emitSource(const Source& s);
    std::string emitOrderTerm(const OrderTerm& t);
    std::string emitGroupTerm(const Expr& e);
    std::string emitSubselect(const Select& s, VarType* firstKind = nullptr);
    std::string rawSubselect(const Select& s, SelectInfo& info);

    // written values
    const std::vector<ColumnInfo>* columnsOf(const QString& table) const {
        return opt_.tableColumns ? opt_.tableColumns(table) : nullptr;
    }
    const ColumnInfo* columnInfo(const QString& table, const QString& column) const {
        if (const auto* cols = columnsOf(table))
            for (const ColumnInfo& c : *cols)
                if (sameName(c.name, column)) return &c;
        return nullptr;
    }
    std::string written(const Expr& e, const ColumnInfo* column, const QString& table);
    std::string stored(const Emitted& v, const ColumnInfo& column, const QString& table);

    // expressions
    Emitted emitExpr(const Expr& e);
    Emitted emitCoerced(const Expr& e, VarType otherKind);
    VarType columnKind(const Expr& column) const;
    VarType kindOfColumnNode(const Expr& e) const {
        return e.kind == ExprKind::Column ? columnKind(e) : VarType::Empty;
    }
    // The entry of the innermost level a column reference names, or null.
    const Entry* entryOf(const Expr& column, size_t levelIndex) const;
    Emitted emitUnary(const Expr& e);
    Emitted emitBinary(const Expr& e);
    Emitted emitComparison(const Expr& e);
    Emitted emitConcat(const Expr& e);
    Emitted emitArithmetic(const Expr& e);
    Emitted emitCall(const Expr& e);
    Emitted emitPredicate(const Expr& e);
    Emitted emitQuantified(const Expr& e);
    std::string textCompareOperand(const Emitted& left, bool anyColumn, bool anyText) const {
        if (!anyColumn && anyText) return d_.caseInsensitive(operand(left, kAtomic));
        return operand(left, kAdd);
    }

    const QString& text_;
    const Dialect& d_;
    const TranslateOptions& opt_;
    const rt::RegionalSettings& rs_;
    std::vector<rt::Variant> params_;
    std::vector<std::unique_ptr<rt::Variant>> values_;  // literal values, kept for Emitted
    std::vector<Level> levels_;
    bool rule_ = false;  // translating a validation rule (no subqueries, no clock)
};

// ---- statements ----

Translation Emitter::run(const Statement& st) {
    Translation t;
    t.kind = st.kind;
    std::string sql;
    switch (st.kind) {
        case StatementKind::Select:
        case StatementKind::SelectInto: {
            SelectInfo info;
            sql = emitSelect(*st.select, &info, opt_.wantRowid && st.kind == StatementKind::Select);
            t.columnHints = std::move(info.hints);
            t.clientFormats = std::move(info.formats);
            if (st.kind == StatementKind::Select) {
                t.updatableTable = info.updatableTable;
                t.rowidFirst = info.rowidFirst;
            } else {
                t.intoTable = st.select->into;
            }
            break;
        }
        case StatementKind::Insert:
            sql = emitInsert(st);
            break;
        case StatementKind::Update:
            sql = st.joined ? emitUpdateJoin(st) : emitUpdate(st);
            break;
        case StatementKind::Delete: {
            Level level;
            level.entries.push_back({st.alias.isEmpty() ? st.table : st.alias, st.table, {}});
            levels_.push_back(std::move(level));
            sql = "DELETE FROM " + ident(st.table);
            if (!st.alias.isEmpty()) sql += " AS " + ident(st.alias);
            if (st.where) sql += " WHERE " + condOf(emitExpr(*st.where));
            levels_.pop_back();
            break;
        }
        case StatementKind::Schema:
            t.schema = st.schema;
            break;
    }
    t.sql = std::move(sql);
    t.params = std::move(params_);
    return t;
}

// A value written to a column: a literal is converted here (its failure is
// the statement's), anything else by the engine as each row is written.
std::string Emitter::written(const Expr& e, const ColumnInfo* column, const QString& table) {
    if (!column) return valueOf(emitCoerced(e, VarType::Empty));
    if (e.kind == ExprKind::Literal || e.kind == ExprKind::Null) {
        const rt::Variant v = e.kind == ExprKind::Null ? rt::Variant::null() : e.value;
        const rt::Variant stored = coerceForColumn(v, *column, table, rs_);
        return stored.isNull() ? std::string("NULL") : param(stored);
    }
    if (e.kind == ExprKind::Unary && e.op == Op::Neg && e.args[0]->kind == ExprKind::Literal &&
        isNumberKind(e.args[0]->value.type())) {
        const rt::Variant v(-e.args[0]->value.toDouble(rs_));
        return param(coerceForColumn(v, *column, table, rs_));
    }
    return stored(emitExpr(e), *column, table);
}

// A value of any expression written to a column: a date into a text column
// as its regional text (as Jet writes it), then the engine's conversion.
std::string Emitter::stored(const Emitted& v, const ColumnInfo& column, const QString& table) {
    std::string value = valueOf(v);
    if (hintOf(v) == VarType::Date && column.kind == VarType::Text)
        value = d_.textForm(value, VarType::Date);
    return d_.columnValue(value, hintOf(v), column, table);
}

std::string Emitter::emitInsert(const Statement& st) {
    std::string sql = "INSERT INTO " + ident(st.table);
    // The columns written, in the order of the values: those named, or all.
    std::vector<const ColumnInfo*> targets;
    const std::vector<ColumnInfo>* all = columnsOf(st.table);
    if (!st.columns.empty()) {
        sql += " (";
        for (size_t i = 0; i < st.columns.size(); ++i) {
            for (size_t j = 0; j < i; ++j)
                if (sameName(st.columns[j], st.columns[i]))
                    throw duplicateDestinationError(st.columns[i]);
            if (i) sql += ", ";
            sql += ident(st.columns[i]);
            targets.push_back(columnInfo(st.table, st.columns[i]));
        }
        sql += ")";
    } else if (all) {
        for (const ColumnInfo& c : *all) targets.push_back(&c);
    }
    const auto mismatch = [] {
        syntaxError(QStringLiteral(
            "Number of query values and destination fields are not the same."));
    };
    if (st.select) {
        const bool known = !targets.empty() && std::all_of(targets.begin(), targets.end(),
                                                           [](const ColumnInfo* c) { return c; });
        if (!known) return sql + " " + emitSelect(*st.select, nullptr, false);
        // The rows pass through a named subquery, so that each value is
        // converted to its column whatever the SELECT's shape.
        SelectInfo info;
        const std::string select = emitSelect(*st.select, &info, false);
        if (!info.hintsStopped && info.columns.size() != targets.size()) mismatch();
        std::string names, values;
        for (size_t i = 0; i < targets.size(); ++i) {
            const std::string c = ident(QStringLiteral("jet_c%1").arg(i + 1));
            if (i) {
                names += ", ";
                values += ", ";
            }
            names += c;
            Emitted ref;
            ref.sql = ident(QStringLiteral("jet_src")) + "." + c;
            ref.kind = !info.hintsStopped && i < info.hints.size() ? info.hints[i] : VarType::Empty;
            values += stored(ref, *targets[i], st.table);
        }
        if (st.columns.empty()) {
            sql += " (";
            for (size_t i = 0; i < targets.size(); ++i)
                sql += (i ? ", " : "") + ident(targets[i]->name);
            sql += ")";
        }
        return sql + " WITH " + ident(QStringLiteral("jet_src")) + " (" + names + ") AS (" +
               select + ") SELECT " + values + " FROM " + ident(QStringLiteral("jet_src"));
    }
    if (!targets.empty() && targets.size() != st.values.size()) mismatch();
    levels_.emplace_back();
    sql += " VALUES (";
    for (size_t i = 0; i < st.values.size(); ++i) {
        if (i) sql += ", ";
        sql += written(*st.values[i], i < targets.size() ? targets[i] : nullptr, st.table);
    }
    sql += ")";
    levels_.pop_back();
    return sql;
}

std::string Emitter::emitUpdate(const Statement& st) {
    Level level;
    level.entries.push_back({st.alias.isEmpty() ? st.table : st.alias, st.table, {}});
    levels_.push_back(std::move(level));
    std::string sql = "UPDATE " + ident(st.table);
    if (!st.alias.isEmpty()) sql += " AS " + ident(st.alias);
    sql += " SET ";
    for (size_t i = 0; i < st.sets.size(); ++i) {
        const Assignment& a = st.sets[i];
        if (!a.qualifier.isEmpty() && !sameName(a.qualifier, st.table) &&
            !sameName(a.qualifier, st.alias))
            syntaxError(QStringLiteral("Unsupported UPDATE of another table near \"%1.%2\"")
                            .arg(a.qualifier, a.column));
        if (i) sql += ", ";
        const ColumnInfo* c = columnInfo(st.table, a.column);
        if (c)
            sql += ident(a.column) + " = " + written(*a.value, c, st.table);
        else
            sql += ident(a.column) + " = " +
                   valueOf(emitCoerced(*a.value, opt_.columnKind
                                                     ? opt_.columnKind(st.table, a.column)
                                                     : VarType::Empty));
    }
    if (st.where) sql += " WHERE " + condOf(emitExpr(*st.where));
    levels_.pop_back();
    return sql;
}

// UPDATE a INNER JOIN b ON ... SET a.x = b.y WHERE ...: the join, filtered,
// gives each row of the updated table (by its row id) its new values.
std::string Emitter::emitUpdateJoin(const Statement& st) {
    levels_.emplace_back();
    const std::string from = emitSource(*st.joined);
    const size_t levelIndex = levels_.size() - 1;
    // The updated table: the one every assignment names.
    const Entry* target = nullptr;
    for (const Assignment& a : st.sets) {
        Expr ref;
        ref.kind = ExprKind::Column;
        ref.qualifier = a.qualifier;
        ref.name = a.column;
        const Entry* en = entryOf(ref, levelIndex);
        if (!en || en->table.isEmpty())
            syntaxError(QStringLiteral("Unsupported UPDATE of \"%1\" over a join: name its "
                                       "table (table.column)")
                            .arg(a.qualifier.isEmpty() ? a.column : a.qualifier + u'.' + a.column));
        if (target && target != en)
            syntaxError(QStringLiteral("Unsupported UPDATE of several tables over a join"));
        target = en;
    }
    const QString table = target->table;
    std::string inner = "SELECT " + d_.rowidExpression(target->name) + " AS " +
                        ident(QStringLiteral("jet_rowid"));
    std::vector<VarType> kinds;
    for (size_t i = 0; i < st.sets.size(); ++i) {
        const std::string c = ident(QStringLiteral("jet_v%1").arg(i + 1));
        const Emitted v = emitExpr(*st.sets[i].value);
        kinds.push_back(hintOf(v));
        inner += ", " + valueOf(v) + " AS " + c;
    }
    inner += " FROM " + from;
    if (st.where) inner += " WHERE " + condOf(emitExpr(*st.where));
    levels_.pop_back();
    const std::string src = ident(QStringLiteral("jet_src"));
    std::string sql = "UPDATE " + ident(table) + " SET ";
    for (size_t i = 0; i < st.sets.size(); ++i) {
        if (i) sql += ", ";
        Emitted v;
        v.sql = src + "." + ident(QStringLiteral("jet_v%1").arg(i + 1));
        v.kind = kinds[i];
        const ColumnInfo* c = columnInfo(table, st.sets[i].column);
        sql += ident(st.sets[i].column) + " = " + (c ? stored(v, *c, table) : v.sql);
    }
    sql += " FROM (" + inner + ") AS " + src + " WHERE " + d_.rowidExpression(table) + " = " +
           src + "." + ident(QStringLiteral("jet_rowid"));
    return sql;
}

std::string Emitter::emitSelect(const Select& s, SelectInfo* info, bool wantRowid) {
    if (s.unions.empty()) return emitCore(s, info, wantRowid, true);
    // A compound: each member on its own (TOP stays with its member), then
    // ORDER BY over the whole.
    std::string sql = emitCore(s, info, false, false);
    // LIMIT may not stand before UNION
    if (s.top) sql = "SELECT * FROM " + d_.unnamedDerivedTable("(" + sql + ")");
    for (const auto& part : s.unions) {
        sql += part.all ? " UNION ALL " : " UNION ";
        const Select& m = *part.select;
        if (!m.into.isEmpty()) syntaxError(QStringLiteral("Unsupported INTO in a UNION member"));
        std::string member = emitSelect(m, nullptr, false);
        if (m.top || !m.orderBy.empty() || !m.unions.empty())
            member = "SELECT * FROM " + d_.unnamedDerivedTable("(" + member + ")");
        sql += member;
    }
    if (info) {
        info->updatableTable.clear();
        info->rowidFirst = false;
        info->singleRow = false;
    }
    if (!s.orderBy.empty()) {
        levels_.emplace_back();
        sql += " ORDER BY ";
        for (size_t i = 0; i < s.orderBy.size(); ++i) {
            if (i) sql += ", ";
            sql += emitOrderTerm(s.orderBy[i]);
        }
        levels_.pop_back();
    }
    return sql;
}

const Emitter::Entry* Emitter::entryOf(const Expr& c, size_t levelIndex) const {
    const Level& lv = levels_[levelIndex];
    const Entry* found = nullptr;
    for (const Entry& en : lv.entries) {
        if (!c.qualifier.isEmpty()) {
            if (sameName(c.qualifier, en.name)) return &en;
            continue;
        }
        bool has = false;
        if (en.table.isEmpty()) {
            for (const auto& [n, kind] : en.columns) has = has || sameName(n, c.name);
        } else {
            has = columnInfo(en.table, c.name) != nullptr;
        }
        if (has) {
            if (found) return nullptr;  // ambiguous: the engine says so
            found = &en;
        }
    }
    return found;
}

// The columns of every table a select item shows, for DISTINCTROW over a
// join: its rows are those of the shown tables, each combination once.
std::string Emitter::distinctRowGroups(const Select& s, size_t levelIndex) {
    const Level& lv = levels_[levelIndex];
    std::vector<const Entry*> shown;
    auto show = [&](const Entry* en) {
        if (!en) syntaxError(QStringLiteral("Unsupported DISTINCTROW: a column's table is unknown"));
        if (en->table.isEmpty())
            syntaxError(QStringLiteral("Unsupported DISTINCTROW over a subquery"));
        if (std::find(shown.begin(), shown.end(), en) == shown.end()) shown.push_back(en);
    };
    std::vector<const Expr*> stack;
    for (const SelectItem& item : s.items) stack.push_back(item.expr.get());
    while (!stack.empty()) {
        const Expr* e = stack.back();
        stack.pop_back();
        if (e->kind == ExprKind::Star) {
            if (e->qualifier.isEmpty())
                for (const Entry& en : lv.entries) show(&en);
            else
                show(entryOf(*e, levelIndex));
            continue;
        }
        if (e->kind == ExprKind::Column) {
            show(entryOf(*e, levelIndex));
            continue;
        }
        for (const auto& a : e->args) stack.push_back(a.get());
    }
    if (shown.size() == lv.entries.size()) return std::string();  // every table: no change
    std::string groups;
    for (const Entry& en : lv.entries) {
        if (std::find(shown.begin(), shown.end(), &en) == shown.end()) continue;
        if (!groups.empty()) groups += ", ";
        groups += d_.rowidExpression(en.name);
    }
    return groups;
}

// The select list. Where two result columns would share a name (a * over a
// join, t.Category and u.Category), each column of a table is named
// "table.column" as Jet names it; a * is then written out column by column.
std::string Emitter::emitItems(const Select& s, SelectInfo* info, size_t levelIndex) {
    struct Out {
        const SelectItem* item = nullptr;  // null: a column a * stands for
        const Entry* entry = nullptr;
        QString name;
        VarType kind = VarType::Empty;
        const SelectItem* star = nullptr;  // the * it comes from
    };
    // The columns each * stands for, when every table's columns are known.
    std::vector<Out> planned;
    bool known = true;
    const SelectItem* currentStar = nullptr;
    auto expand = [&](const Entry& en) {
        if (en.table.isEmpty()) {
            if (en.columns.empty()) known = false;
            for (const auto& [n, k] : en.columns)
                planned.push_back({nullptr, &en, n, k, currentStar});
            return;
        }
        const auto* cols = columnsOf(en.table);
        if (!cols || cols->empty()) {
            known = false;
            return;
        }
        for (const ColumnInfo& c : *cols)
            planned.push_back({nullptr, &en, c.name, c.kind, currentStar});
    };
    const Level& lv = levels_[levelIndex];
    for (const SelectItem& item : s.items) {
        if (item.expr->kind == ExprKind::Star) {
            currentStar = &item;
            if (item.expr->qualifier.isEmpty()) {
                for (const Entry& en : lv.entries) expand(en);
            } else if (const Entry* en = entryOf(*item.expr, levelIndex)) {
                expand(*en);
            } else {
                known = false;
            }
            continue;
        }
        Out o;
        o.item = &item;
        if (item.alias.isEmpty() && item.expr->kind == ExprKind::Column) {
            o.name = item.expr->name;
            o.entry = entryOf(*item.expr, levelIndex);
        } else {
            o.name = item.alias;
        }
        planned.push_back(o);
    }
    std::vector<bool> qualify(planned.size(), false);
    bool anyQualified = false;
    if (known && lv.entries.size() > 1) {
        for (size_t i = 0; i < planned.size(); ++i)
            for (size_t j = 0; j < planned.size(); ++j)
                if (i != j && planned[i].entry && planned[j].entry && !planned[i].name.isEmpty() &&
                    planned[i].entry != planned[j].entry &&
                    sameName(planned[i].name, planned[j].name) &&
                    (!planned[i].item || planned[i].item->alias.isEmpty())) {
                    qualify[i] = true;
                    anyQualified = true;
                }
    }

    std::string items;
    size_t p = 0;
    for (const SelectItem& item : s.items) {
        if (!items.empty()) items += ", ";
        if (item.expr->kind == ExprKind::Star) {
            if (anyQualified) {
                // Written out: this * stands for the planned columns up to the next item.
                std::string cols;
                while (p < planned.size() && planned[p].star == &item) {
                    const Out& o = planned[p];
                    if (!cols.empty()) cols += ", ";
                    cols += ident(o.entry->name) + "." + ident(o.name);
                    QString name = o.name;
                    if (qualify[p]) {
                        name = o.entry->name + u'.' + o.name;
                        cols += " AS " + ident(name);
                    }
                    if (info) {
                        if (!info->hintsStopped) {
                            info->hints.push_back(o.kind);
                            info->formats.emplace_back();
                        }
                        info->columns.emplace_back(name, o.kind);
                    }
                    ++p;
                }
                items += cols;
                continue;
            }
            if (item.expr->qualifier.isEmpty()) {
                if (s.from.empty()) failNear(item.expr->pos);
                items += "*";
            } else {
                items += ident(item.expr->qualifier) + ".*";
            }
            if (known) {
                while (p < planned.size() && planned[p].star == &item) {
                    if (info) {
                        if (!info->hintsStopped) {
                            info->hints.push_back(planned[p].kind);
                            info->formats.emplace_back();
                        }
                        info->columns.emplace_back(planned[p].name, planned[p].kind);
                    }
                    ++p;
                }
            } else if (info) {
                info->hintsStopped = true;
            }
            continue;
        }
        const bool qualified = known && p < planned.size() && qualify[p];
        ++p;
        // Format(value[, 'literal pattern']) as a whole item: only the value
        // goes to an engine that formats on the client.
        std::optional<QString> format;
        const Expr* valueExpr = item.expr.get();
        if (d_.formatsOnClient() && item.expr->kind == ExprKind::Call &&
            sameName(item.expr->name, QStringLiteral("FORMAT")) &&
            (item.expr->args.size() == 1 ||
             (item.expr->args.size() == 2 && item.expr->args[1]->kind == ExprKind::Literal &&
              item.expr->args[1]->value.type() == VarType::Text)) &&
            item.expr->args[0]->kind != ExprKind::Star) {
            format = item.expr->args.size() == 2 ? item.expr->args[1]->value.asText() : QString();
            valueExpr = item.expr->args[0].get();
        }
        Emitted e = emitExpr(*valueExpr);
        if (format) e.column = false;  // a formatted value is named like an expression
        items += valueOf(e);
        QString name = item.alias;
        if (!name.isEmpty()) {
            items += " AS " + ident(name);
        } else if (e.column) {
            name = item.expr->name;
            if (qualified) {
                const Entry* en = entryOf(*item.expr, levelIndex);
                name = (en ? en->name : item.expr->qualifier) + u'.' + item.expr->name;
                items += " AS " + ident(name);
            }
        } else {
            name = QStringLiteral("Expr%1").arg(levels_[levelIndex].exprNumber++);
            items += " AS " + ident(name);
        }
        if (info) {
            if (!info->hintsStopped) {
                info->hints.push_back(hintOf(e));
                info->formats.push_back(format);
            }
            info->columns.emplace_back(name, format ? VarType::Text : hintOf(e));
        }
    }
    return items;
}

std::string Emitter::emitCore(const Select& s, SelectInfo* info, bool wantRowid, bool alone) {
    levels_.emplace_back();
    const size_t levelIndex = levels_.size() - 1;

    std::string from;
    bool join = false;
    for (size_t i = 0; i < s.from.size(); ++i) {
        if (i) from += ", ";
        from += emitSource(*s.from[i]);
        if (s.from[i]->kind == Source::Kind::Join) join = true;
    }

    const std::string items = emitItems(s, info, levelIndex);

    std::string sql = s.distinct ? "SELECT DISTINCT " : "SELECT ";
    const bool single = s.from.size() == 1 && s.from[0]->kind == Source::Kind::Table;
    std::string where, group, having, order;
    if (s.where) where = " WHERE " + condOf(emitIn(Clause::Where, *s.where));
    if (!s.groupBy.empty()) {
        group = " GROUP BY ";
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
            if (i) group += ", ";
            levels_.back().clause = Clause::GroupBy;
            group += emitGroupTerm(*s.groupBy[i]);
            levels_.back().clause = Clause::Other;
        }
    }
    if (s.having) having = " HAVING " + condOf(emitExpr(*s.having));
    const bool groupedBeforeOrder = !s.groupBy.empty() || levels_[levelIndex].aggregate;
    if (groupedBeforeOrder) checkGrouped(s, levelIndex);
    if (alone && !s.orderBy.empty()) {
        order = " ORDER BY ";
        for (size_t i = 0; i < s.orderBy.size(); ++i) {
            if (i) order += ", ";
            order += emitOrderTerm(s.orderBy[i]);
        }
    }
    // An aggregate in ORDER BY alone makes the query one of aggregates too:
    // its select list is checked as if the aggregate stood there.
    if (!groupedBeforeOrder && levels_[levelIndex].aggregate) checkGrouped(s, levelIndex);
    const Level& level = levels_[levelIndex];
    // DISTINCTROW over several tables: one row per combination of the shown
    // tables' rows. With grouping or aggregates it changes nothing.
    if (s.distinctRow && (join || s.from.size() > 1) && s.groupBy.empty() && !level.aggregate) {
        const std::string rows = distinctRowGroups(s, levelIndex);
        if (!rows.empty() && d_.groupsByRowid()) {
            group = " GROUP BY " + rows;
        } else if (!rows.empty()) {
            // One row per combination of row ids, kept in the order the rows come.
            if (!order.empty())
                syntaxError(QStringLiteral("Unsupported DISTINCTROW over a join with ORDER BY "
                                           "on this database"));
            sql += "DISTINCT ON (" + rows + ") ";
        }
    }
    const bool updatable = single && !s.distinct && s.groupBy.empty() && !s.having &&
                           !level.aggregate && s.unions.empty();
    if (info) {
        info->singleRow = s.unions.empty() &&
                          ((level.aggregate && s.groupBy.empty()) || s.from.empty() ||
                           (s.top && *s.top <= 1));
    }
    if (info && updatable) {
        info->updatableTable = s.from[0]->table;
        if (wantRowid) {
            info->rowidFirst = true;
            sql += d_.rowidExpression(s.from[0]->alias.isEmpty() ? s.from[0]->table
                                                                 : s.from[0]->alias) +
                   ", ";
        }
    }
    sql += items;
    if (!from.empty()) sql += " FROM " + from;
    sql += where + group + having + order;
    levels_.pop_back();
    if (s.top) sql = d_.limit(sql, *s.top);
    return sql;
}

std::string Emitter::emitSource(const Source& s) {
    switch (s.kind) {
        case Source::Kind::Table: {
            std::string sql = ident(s.table);
            if (!s.alias.isEmpty()) sql += " AS " + ident(s.alias);
            levels_.back().entries.push_back({s.alias.isEmpty() ? s.table : s.alias, s.table, {}});
            return sql;
        }
        case Source::Kind::Subquery: {
            SelectInfo info;
            if (!s.select->into.isEmpty()) failNear(0);
            std::string sql = "(" + emitSelect(*s.select, &info, false) + ")";
            if (!s.alias.isEmpty())
                sql += " AS " + ident(s.alias);
            else
                sql = d_.unnamedDerivedTable(sql);
            levels_.back().entries.push_back({s.alias, QString(), std::move(info.columns)});
            return sql;
        }
        case Source::Kind::Join: {
            std::string left = emitSource(*s.left);
            std::string right = emitSource(*s.right);
            if (s.right->kind == Source::Kind::Join) right = "(" + right + ")";
            const char* kw = s.join == JoinKind::Inner  ? " INNER JOIN "
                             : s.join == JoinKind::Left ? " LEFT JOIN "
                                                        : " RIGHT JOIN ";
            return left + kw + right + " ON " + condOf(emitIn(Clause::On, *s.on));
        }
    }
    return std::string();
}

std::string Emitter::emitOrderTerm(const OrderTerm& t) {
    return emitGroupTerm(*t.expr) + (t.descending ? " DESC" : "");
}

std::string Emitter::emitGroupTerm(const Expr& x) {
    // A whole number stands for a result column's position: the engine needs it inline.
    if (x.kind == ExprKind::Literal && x.value.type() == VarType::Int32)
        return std::to_string(x.value.asInt32());
    Emitted e = emitExpr(x);
    if (!e.column && hintOf(e) == VarType::Text) return d_.caseInsensitive(operand(e, kAtomic));
    // A Null term orders nothing; a bare NULL would read as a misplaced constant.
    if (e.kind == VarType::Null) return "CAST(NULL AS INTEGER)";
    return valueOf(e);
}

std::string Emitter::rawSubselect(const Select& s, SelectInfo& info) {
    if (rule_) syntaxError(QStringLiteral("Unsupported subquery in a validation rule"));
    if (!s.into.isEmpty()) syntaxError(QStringLiteral("Unsupported INTO in a subquery"));
    return emitSelect(s, &info, false);
}

std::string Emitter::emitSubselect(const Select& s, VarType* firstKind) {
    SelectInfo info;
    std::string sql = "(" + rawSubselect(s, info) + ")";
    if (firstKind) *firstKind = info.hints.empty() ? VarType::Empty : info.hints[0];
    return sql;
}

// ---- expressions ----

VarType Emitter::columnKind(const Expr& c) const {
    for (auto lv = levels_.rbegin(); lv != levels_.rend(); ++lv) {
        for (const Entry& en : lv->entries) {
            if (!c.qualifier.isEmpty() && !sameName(c.qualifier, en.name)) continue;
            VarType k = VarType::Empty;
            if (en.table.isEmpty()) {
                for (const auto& [n, kind] : en.columns)
                    if (sameName(n, c.name)) {
                        k = kind;
                        break;
                    }
            } else if (opt_.columnKind) {
                k = opt_.columnKind(en.table, c.name);
            } else if (const ColumnInfo* info = columnInfo(en.table, c.name)) {
                k = info->kind;
            }
            if (k != VarType::Empty || !c.qualifier.isEmpty()) return k;
        }
    }
    return VarType::Empty;
}

Emitted Emitter::emitExpr(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Literal:
            return literal(e.value);
        case ExprKind::Null: {
            Emitted r;
            r.sql = "NULL";
            r.kind = VarType::Null;
            return r;
        }
        case ExprKind::Column: {
            Emitted r;
            r.sql =
                (e.qualifier.isEmpty() ? std::string() : ident(e.qualifier) + ".") + ident(e.name);
            r.kind = columnKind(e);
            r.column = true;
            return r;
        }
        case ExprKind::Star:
            failNear(e.pos);
        case ExprKind::Unary:
            return emitUnary(e);
        case ExprKind::Binary:
            return emitBinary(e);
        case ExprKind::Call:
            return emitCall(e);
        case ExprKind::Subquery: {
            SelectInfo info;
            const std::string select = rawSubselect(*e.select, info);
            Emitted r;
            r.kind = info.hints.empty() ? VarType::Empty : info.hints[0];
            if (info.singleRow || info.columns.empty())
                r.sql = "(" + select + ")";
            else
                r.sql = d_.singleRow(select, info.columns[0].first);
            return r;
        }
        case ExprKind::Quantified:
            return emitQuantified(e);
        case ExprKind::Like:
        case ExprKind::Between:
        case ExprKind::InList:
        case ExprKind::InSelect:
        case ExprKind::IsNull:
        case ExprKind::Exists:
            return emitPredicate(e);
    }
    failNear(e.pos);
}

// `e` where it meets a value of kind `other` (a column compared with it, a
// bound of BETWEEN, an item of IN): a literal takes the other side's kind as
// Jet reads it (a date text as a date, a numeric text as a number); a text
// that cannot be read so is Jet's type mismatch.
Emitted Emitter::emitCoerced(const Expr& e, VarType other) {
    if (e.kind != ExprKind::Literal) return emitExpr(e);
    const rt::Variant& v = e.value;
    if (other == VarType::Date) {
        std::optional<QDateTime> d;
        if (v.type() == VarType::Text) {
            d = fn::readDate(v.asText(), rs_, fn::DateOrder::Regional,
                             QDate::currentDate().year());
            if (!d) typeMismatch();
        } else if (isNumberKind(v.type())) {
            try {
                d = rt::serialToDate(v.toDouble(rs_));
            } catch (const rt::Error&) {
                d.reset();
            }
        }
        if (d) return literal(rt::Variant(*d));
    } else if (isNumeric(other) && v.type() == VarType::Text) {
        const auto n = fn::readNumber(v.asText(), rs_);
        if (!n) typeMismatch();
        if (*n == std::trunc(*n) && std::fabs(*n) <= 2147483647.0)
            return literal(rt::Variant(int32_t(*n)));
        return literal(rt::Variant(*n));
    }
    return emitExpr(e);
}

Emitted Emitter::emitUnary(const Expr& e) {
    const Expr& a = *e.args[0];
    Emitted r;
    switch (e.op) {
        case Op::Neg: {
            if (a.kind == ExprKind::Literal && a.value.type() == VarType::Int32)
                return literal(rt::Variant(int32_t(-a.value.asInt32())));
            if (a.kind == ExprKind::Literal && a.value.type() == VarType::Int16)
                return literal(rt::Variant(int32_t(-int32_t(a.value.asInt16()))));
            if (a.kind == ExprKind::Literal && a.value.type() == VarType::Double)
                return literal(rt::Variant(-a.value.asDouble()));
            Emitted v = emitExpr(a);
            r.sql = "-" + operand(v, kUnary);
            r.kind = isNumberKind(v.kind) ? v.kind : VarType::Empty;
            r.nullable = v.nullable;
            r.prec = kUnary;
            return r;
        }
        case Op::Plus:
            return emitExpr(a);
        case Op::Not: {
            Emitted v = emitExpr(a);
            r.sql = "NOT " + condOperand(v, kNot);
            r.condition = true;
            r.nullable = v.nullable;
            r.prec = kNot;
            return r;
        }
        default:
            failNear(e.pos);
    }
}

Emitted Emitter::emitBinary(const Expr& e) {
    switch (e.op) {
        case Op::And:
        case Op::Or: {
            Emitted l = emitExpr(*e.args[0]);
            Emitted r = emitExpr(*e.args[1]);
            Emitted out;
            const int p = e.op == Op::And ? kAnd : kOr;
            out.sql =
                condOperand(l, p) + (e.op == Op::And ? " AND " : " OR ") + condOperand(r, p + 1);
            out.condition = true;
            out.nullable = l.nullable || r.nullable;
            out.prec = p;
            return out;
        }
        case Op::Concat:
            return emitConcat(e);
        case Op::Eq:
        case Op::Ne:
        case Op::Lt:
        case Op::Le:
        case Op::Gt:
        case Op::Ge:
            return emitComparison(e);
        default:
            return emitArithmetic(e);
    }
}

const char* comparisonOperator(Op op) {
    switch (op) {
        case Op::Eq:
            return " = ";
        case Op::Ne:
            return " <> ";
        case Op::Lt:
            return " < ";
        case Op::Le:
            return " <= ";
        case Op::Gt:
            return " > ";
        case Op::Ge:
            return " >= ";
        default:
            return "";
    }
}

Emitted Emitter::emitComparison(const Expr& e) {
    const Expr& a = *e.args[0];
    const Expr& b = *e.args[1];
    const VarType ak = kindOfColumnNode(a);
    const VarType bk = kindOfColumnNode(b);
    Emitted out;
    out.condition = true;
    out.prec = (e.op == Op::Eq || e.op == Op::Ne) ? kEquality : kRelational;
    // A Yes/No column against True: any non-zero value is True (rows written
    // with 1 by earlier versions included).
    auto isTrue = [](const Expr& x) {
        return x.kind == ExprKind::Literal && isNumeric(x.value.type()) &&
               x.value.toDouble(rt::RegionalSettings::process()) == -1.0;
    };
    if ((e.op == Op::Eq || e.op == Op::Ne) &&
        ((ak == VarType::Boolean && isTrue(b)) || (bk == VarType::Boolean && isTrue(a)))) {
        const Emitted col = emitExpr(ak == VarType::Boolean ? a : b);
        out.sql = operand(col, kAdd) + (e.op == Op::Eq ? " <> 0" : " = 0");
        out.nullable = col.nullable;
        return out;
    }
    Emitted l = emitCoerced(a, bk);
    Emitted r = emitCoerced(b, ak == VarType::Empty ? hintOf(l) : ak);
    out.nullable = l.nullable || r.nullable;
    const bool anyColumn = l.column || r.column;
    const bool anyText = hintOf(l) == VarType::Text || hintOf(r) == VarType::Text;
    std::string left = textCompareOperand(l, anyColumn, anyText), right = operand(r, kAdd);
    d_.comparable({&left, &right}, {hintOf(l), hintOf(r)});
    out.sql = left + comparisonOperator(e.op) + right;
    return out;
}

Emitted Emitter::emitConcat(const Expr& e) {
    // a & b & c is one chain: Null joins as empty text unless all are Null.
    std::vector<const Expr*> chain;
    const Expr* cur = &e;
    while (cur->kind == ExprKind::Binary && cur->op == Op::Concat) {
        chain.push_back(cur->args[1].get());
        cur = cur->args[0].get();
    }
    chain.push_back(cur);
    std::reverse(chain.begin(), chain.end());
    std::vector<std::string> forms;
    std::vector<bool> nullable;
    bool allNullable = true;
    for (const Expr* x : chain) {
        Emitted o = emitExpr(*x);
        // A text form the dialect leaves unchanged stands between || operators.
        const std::string v = valueOf(o);
        std::string form = d_.textForm(v, hintOf(o));
        if (form == v) form = operand(o, kUnary);
        forms.push_back(std::move(form));
        nullable.push_back(o.nullable);
        allNullable = allNullable && o.nullable;
    }
    Emitted out;
    out.sql = d_.concatChain(forms, nullable);
    out.kind = VarType::Text;
    out.nullable = allNullable;
    out.prec = kConcat;
    return out;
}

Emitted Emitter::emitArithmetic(const Expr& e) {
    // A text literal meeting a number or a date is read as a number now
    // ('2' * 3), or is Jet's type mismatch ('a' * 2); + joins it with a text.
    const Expr& ea = *e.args[0];
    const Expr& eb = *e.args[1];
    auto textLiteral = [](const Expr& x) {
        return x.kind == ExprKind::Literal && x.value.type() == VarType::Text;
    };
    auto beside = [&](const Expr& x, const Emitted& other) {
        const VarType ok = hintOf(other);
        if ((e.op == Op::Add && ok == VarType::Text) || (ok != VarType::Date && !isNumeric(ok)))
            return emitExpr(x);
        const auto n = fn::readNumber(x.value.asText(), rs_);
        if (!n) typeMismatch();
        return literal(rt::Variant(*n));
    };
    const size_t paramsBefore = params_.size();
    Emitted l, r;
    if (textLiteral(ea) && !textLiteral(eb)) {
        r = emitExpr(eb);
        l = beside(ea, r);
    } else if (textLiteral(eb) && !textLiteral(ea)) {
        l = emitExpr(ea);
        r = beside(eb, l);
    } else {
        l = emitExpr(ea);
        r = emitExpr(eb);
    }
    if (l.kind == VarType::Null || r.kind == VarType::Null) {
        // Jet's arithmetic with a Null is Null, whatever the other side; the
        // operands' literals go with them (no engine sees an unused parameter).
        params_.resize(paramsBefore);
        Emitted out;
        out.sql = "NULL";
        out.kind = VarType::Null;
        return out;
    }
    const VarType lk = hintOf(l), rk = hintOf(r);
    Emitted out;
    out.nullable = l.nullable || r.nullable;
    auto plain = [&](const char* op, int p) {
        out.sql = operand(l, p) + op + operand(r, p + 1);
        out.prec = p;
    };
    auto call = [&](Dialect::Arith op, const std::string& x, const std::string& y, VarType kind) {
        out.sql = d_.arithmetic(op, x, y);
        out.kind = kind;
        out.prec = kAtomic;
    };
    const bool nullOperand = l.kind == VarType::Null || r.kind == VarType::Null;
    const bool numbers = (isNumeric(lk) || l.kind == VarType::Null) &&
                         (isNumeric(rk) || r.kind == VarType::Null);
    switch (e.op) {
        case Op::Add:
            if (nullOperand) {
                plain(" + ", kAdd);  // Null
            } else if (numbers) {
                plain(" + ", kAdd);
                out.kind = lk == rk ? lk : VarType::Empty;
            } else if (lk == VarType::Text && rk == VarType::Text) {
                plain(" || ", kConcat);  // + joins texts; Null stays Null
                out.kind = VarType::Text;
            } else if (lk == VarType::Date && (isNumeric(rk) || rk == VarType::Date)) {
                call(Dialect::Arith::DatePlusDays, valueOf(l), valueOf(r), VarType::Date);
            } else if (rk == VarType::Date && isNumeric(lk)) {
                call(Dialect::Arith::DatePlusDays, valueOf(r), valueOf(l), VarType::Date);
            } else {
                call(Dialect::Arith::Add, valueOf(l), valueOf(r),
                     lk == VarType::Date || rk == VarType::Date ? VarType::Date : VarType::Empty);
            }
            break;
        case Op::Sub:
            if (nullOperand || numbers) {
                plain(" - ", kAdd);
                if (!nullOperand && lk == rk) out.kind = lk;
            } else if (lk == VarType::Date && rk == VarType::Date) {
                call(Dialect::Arith::DateMinusDate, valueOf(l), valueOf(r), VarType::Double);
            } else if (lk == VarType::Date && isNumeric(rk)) {
                call(Dialect::Arith::DatePlusDays, valueOf(l), "-" + operand(r, kUnary),
                     VarType::Date);
            } else {
                call(Dialect::Arith::Subtract, valueOf(l), valueOf(r), VarType::Empty);
            }
            break;
        case Op::Mul:
            if (nullOperand || numbers) {
                plain(" * ", kMul);
                if (!nullOperand && lk == rk && lk != VarType::Boolean) out.kind = lk;
            } else {
                call(Dialect::Arith::Multiply, valueOf(l), valueOf(r), VarType::Empty);
            }
            break;
        case Op::Div:
            call(Dialect::Arith::Divide, valueOf(l), valueOf(r), VarType::Double);
            break;
        case Op::IntDiv:
            call(Dialect::Arith::IntDivide, valueOf(l), valueOf(r), VarType::Empty);
            break;
        case Op::Mod:
            call(Dialect::Arith::Modulo, valueOf(l), valueOf(r), VarType::Empty);
            break;
        case Op::Pow:
            call(Dialect::Arith::Power, valueOf(l), valueOf(r), VarType::Double);
            break;
        default:
            failNear(e.pos);
    }
    return out;
}

Emitted Emitter::emitPredicate(const Expr& e) {
    Emitted out;
    out.condition = true;
    out.prec = kEquality;
    auto textArg = [&](const Emitted& o) {
        return o.kind == VarType::Date ? d_.textForm(valueOf(o), VarType::Date) : valueOf(o);
    };
    switch (e.kind) {
        case ExprKind::Like: {
            Emitted v = emitExpr(*e.args[0]);
            Emitted p = emitExpr(*e.args[1]);
            out.sql = d_.like(textArg(v), textArg(p), e.negated);
            out.prec = e.negated ? kNot : kAtomic;
            out.nullable = v.nullable || p.nullable;
            return out;
        }
        case ExprKind::Between: {
            Emitted x = emitExpr(*e.args[0]);
            const VarType xk = x.column ? x.kind : hintOf(x);
            Emitted lo = emitCoerced(*e.args[1], xk);
            Emitted hi = emitCoerced(*e.args[2], xk);
            const bool anyColumn = x.column || lo.column || hi.column;
            const bool anyText = hintOf(x) == VarType::Text || hintOf(lo) == VarType::Text ||
                                 hintOf(hi) == VarType::Text;
            // Jet takes the bounds in either order.
            std::string value = textCompareOperand(x, anyColumn, anyText);
            std::string low = operand(lo, kAdd), high = operand(hi, kAdd);
            if (lo.literal && hi.literal) {
                d_.comparable({&value, &low, &high}, {hintOf(x), hintOf(lo), hintOf(hi)});
                const auto c = compareLiterals(*lo.literal, *hi.literal);
                if (c && *c > 0) std::swap(low, high);
            } else if (!(lo.kind == VarType::Null || hi.kind == VarType::Null)) {
                std::string a = anyText && !lo.column ? d_.caseInsensitive(operand(lo, kAtomic))
                                                      : valueOf(lo);
                std::string b = anyText && !hi.column ? d_.caseInsensitive(operand(hi, kAtomic))
                                                      : valueOf(hi);
                d_.comparable({&value, &a, &b}, {hintOf(x), hintOf(lo), hintOf(hi)});
                low = d_.arithmetic(Dialect::Arith::Least, a, b);
                high = d_.arithmetic(Dialect::Arith::Greatest, a, b);
            } else {
                d_.comparable({&value, &low, &high}, {hintOf(x), hintOf(lo), hintOf(hi)});
            }
            out.sql = value +
                      (e.negated ? " NOT BETWEEN " : " BETWEEN ") + low + " AND " + high;
            out.nullable = x.nullable || lo.nullable || hi.nullable;
            return out;
        }
        case ExprKind::InList: {
            Emitted x = emitExpr(*e.args[0]);
            const VarType xk = x.column ? x.kind : hintOf(x);
            bool anyText = hintOf(x) == VarType::Text;
            bool anyNullable = x.nullable;
            std::vector<std::string> items;
            std::vector<VarType> kinds{hintOf(x)};
            for (size_t i = 1; i < e.args.size(); ++i) {
                Emitted item = emitCoerced(*e.args[i], xk);
                items.push_back(valueOf(item));
                kinds.push_back(hintOf(item));
                anyText = anyText || hintOf(item) == VarType::Text;
                anyNullable = anyNullable || item.nullable;
            }
            std::string value = textCompareOperand(x, x.column, anyText);
            std::vector<std::string*> operands{&value};
            for (std::string& item : items) operands.push_back(&item);
            d_.comparable(operands, kinds);
            std::string list;
            for (const std::string& item : items) list += (list.empty() ? "" : ", ") + item;
            out.sql = value + (e.negated ? " NOT IN (" : " IN (") + list + ")";
            out.nullable = anyNullable;
            return out;
        }
        case ExprKind::InSelect: {
            Emitted x = emitExpr(*e.args[0]);
            out.sql =
                operand(x, kAdd) + (e.negated ? " NOT IN " : " IN ") + emitSubselect(*e.select);
            return out;
        }
        case ExprKind::IsNull: {
            Emitted x = emitExpr(*e.args[0]);
            out.sql = operand(x, kAdd) + (e.negated ? " IS NOT NULL" : " IS NULL");
            out.nullable = false;
            return out;
        }
        case ExprKind::Exists:
            out.sql = "EXISTS " + emitSubselect(*e.select);
            out.nullable = false;
            out.prec = kAtomic;
            return out;
        default:
            failNear(e.pos);
    }
}

// x op ANY (select) and x op ALL (select), with SQL's three-valued answer:
// ANY is true when some row compares true, else Null when some comparison is
// Null, else false; ALL is false when some row compares false, else Null when
// some comparison is Null, else true (so also for no rows).
Emitted Emitter::emitQuantified(const Expr& e) {
    Emitted x = emitExpr(*e.args[0]);
    SelectInfo info;
    const std::string select = rawSubselect(*e.select, info);
    Emitted out;
    out.condition = true;
    out.prec = kEquality;
    if (e.op == Op::Eq && !e.all) {
        out.sql = operand(x, kAdd) + " IN (" + select + ")";
        return out;
    }
    if (e.op == Op::Ne && e.all) {
        out.sql = operand(x, kAdd) + " NOT IN (" + select + ")";
        return out;
    }
    if (info.columns.empty())
        syntaxError(QStringLiteral("Unsupported * in a subquery compared with ANY or ALL"));
    // The subquery's column under a name of its own, so that a column of the
    // outer query with the same name still means the outer one.
    const std::string q = ident(QStringLiteral("jet_q"));
    const std::string c = q + "." + ident(QStringLiteral("jet_v"));
    const bool anyText = hintOf(x) == VarType::Text || info.columns[0].second == VarType::Text;
    std::string left = textCompareOperand(x, true, anyText && !x.column), right = c;
    d_.comparable({&left, &right}, {hintOf(x), info.columns[0].second});
    const std::string cmp = "(" + left + comparisonOperator(e.op) + right + ")";
    const std::string rows = "EXISTS (SELECT 1 FROM (SELECT " + ident(info.columns[0].first) +
                             " AS " + ident(QStringLiteral("jet_v")) + " FROM " +
                             d_.unnamedDerivedTable("(" + select + ")") + ") AS " + q +
                             " WHERE ";
    // A truth value on every engine: (1 = 1) and (1 = 0), not the numbers.
    if (e.all)
        out.sql = "CASE WHEN " + rows + "NOT " + cmp + ") THEN (1 = 0) WHEN " + rows + cmp +
                  " IS NULL) THEN NULL ELSE (1 = 1) END";
    else
        out.sql = "CASE WHEN " + rows + cmp + ") THEN (1 = 1) WHEN " + rows + cmp +
                  " IS NULL) THEN NULL ELSE (1 = 0) END";
    out.prec = kAtomic;
    return out;
}

Emitted Emitter::emitCall(const Expr& e) {
    QString upper = e.name.toUpper();
    const JetFunction* f = findFunction(upper);
    if (!f && upper.endsWith(u'$')) {
        // Left$, Mid$ ...: the spelling that returns text.
        upper.chop(1);
        f = findFunction(upper);
        if (f && f->kind != VarType::Text) f = nullptr;
    }
    if (!f) syntaxError(QStringLiteral("Unsupported function \"%1\"").arg(e.name));
    const int n = int(e.args.size());
    if (n < f->minArgs || n > f->maxArgs ||
        (f->rule == Rule::Switch && n % 2 != 0))
        syntaxError(QStringLiteral("Wrong number of arguments to function \"%1\"").arg(e.name));
    std::vector<std::string> args;
    std::vector<Emitted> emitted;
    for (int i = 0; i < n; ++i) {
        const Expr& a = *e.args[i];
        if (a.kind == ExprKind::Star) {
            if (upper != QLatin1String("COUNT")) failNear(a.pos);
            args.emplace_back("*");
            emitted.emplace_back();
            continue;
        }
        if (f->aggregate) {
            switch (levels_.back().clause) {
                case Clause::Where:
                    syntaxError(QStringLiteral("Cannot have aggregate function in WHERE clause "
                                               "(%1).")
                                    .arg(callText(e)));
                case Clause::GroupBy:
                    syntaxError(QStringLiteral("Cannot have aggregate function in GROUP BY "
                                               "clause (%1).")
                                    .arg(callText(e)));
                case Clause::On:
                case Clause::InAggregate:
                    syntaxError(QStringLiteral("Cannot have aggregate function in expression "
                                               "(%1).")
                                    .arg(callText(e)));
                case Clause::Other:
                    break;
            }
        }
        Emitted o = f->aggregate ? emitIn(Clause::InAggregate, a) : emitExpr(a);
        ArgMode mode = f->mode;
        if ((f->rule == Rule::Branches && i == 0) || (f->rule == Rule::Switch && i % 2 == 0))
            mode = ArgMode::Condition;
        switch (mode) {
            case ArgMode::Value:
                args.push_back(valueOf(o));
                break;
            case ArgMode::Text:
                args.push_back(o.kind == VarType::Date ? d_.textForm(valueOf(o), VarType::Date)
                                                       : valueOf(o));
                break;
            case ArgMode::Condition:
                args.push_back(condOf(o));
                break;
        }
        emitted.push_back(std::move(o));
    }
    if (f->aggregate) levels_.back().aggregate = true;
    if (rule_ && (f->aggregate || upper == QLatin1String("NOW") ||
                  upper == QLatin1String("DATE") || upper == QLatin1String("TIME")))
        syntaxError(
            QStringLiteral("Unsupported function \"%1\" in a validation rule").arg(e.name));
    Emitted out;
    out.sql = d_.function(upper, args);
    if (out.sql.empty()) syntaxError(QStringLiteral("Unsupported function \"%1\"").arg(e.name));
    out.condition = f->condition;
    out.nullable = !f->neverNull;
    const VarType k0 = n > 0 ? hintOf(emitted[0]) : VarType::Empty;
    // The kind the values at `from`, `from + step` ... share (Null values aside).
    auto shared = [&](int from, int step) {
        VarType k = VarType::Null;
        for (int i = from; i < n; i += step) {
            if (emitted[i].kind == VarType::Null) continue;
            const VarType ki = hintOf(emitted[i]);
            if (k == VarType::Null)
                k = ki;
            else if (k != ki)
                return VarType::Empty;
        }
        return k == VarType::Null ? VarType::Empty : k;
    };
    switch (f->rule) {
        case Rule::Fixed:
            out.kind = f->kind;
            break;
        case Rule::SameAsArg0:
            out.kind = k0;
            break;
        case Rule::NumericArg0:
            out.kind = isNumberKind(k0) ? k0 : VarType::Empty;
            break;
        case Rule::Branches:
            out.kind = shared(1, 1);
            out.nullable = emitted[1].nullable || emitted[2].nullable;
            break;
        case Rule::Switch:
            out.kind = shared(1, 2);
            break;
        case Rule::Choose:
            out.kind = shared(1, 1);
            break;
        case Rule::Nz:
            if (n == 2) {
                const VarType k1 = hintOf(emitted[1]);
                out.kind = k0 == k1 ? k0 : VarType::Empty;
                out.nullable = emitted[1].nullable;
            } else {
                out.kind = k0 == VarType::Text ? VarType::Text : VarType::Empty;
                out.nullable = false;
            }
            break;
        case Rule::Sum:
            if (k0 == VarType::Currency)
                out.kind = VarType::Currency;
            else if (k0 == VarType::Double || k0 == VarType::Single)
                out.kind = VarType::Double;
            break;
    }
    return out;
}

QString Emitter::callText(const Expr& call) const {
    const QStringView rest =
        QStringView(text_).mid(std::clamp<qsizetype>(call.pos, 0, text_.size()));
    qsizetype pos = 0;
    int depth = 0;
    for (;;) {
        const Scan sc = nextToken(rest.mid(pos));
        if (sc.kind == TokenKind::End) break;
        pos += sc.length;
        if (sc.kind == TokenKind::LParen) ++depth;
        if (sc.kind == TokenKind::RParen && --depth == 0) break;
    }
    return rest.left(pos).toString();
}

namespace {

// Two expressions written alike (names in any letter case, equal literals).
bool sameExpr(const Expr& a, const Expr& b) {
    if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.all != b.all ||
        a.args.size() != b.args.size() || a.select || b.select)
        return false;
    switch (a.kind) {
        case ExprKind::Literal:
            if (!(a.value == b.value)) return false;
            break;
        case ExprKind::Column:
        case ExprKind::Star:
            if (!sameName(a.name, b.name)) return false;
            break;
        case ExprKind::Call:
            if (!sameName(a.name, b.name)) return false;
            break;
        default:
            break;
    }
    for (size_t i = 0; i < a.args.size(); ++i)
        if (!sameExpr(*a.args[i], *b.args[i])) return false;
    return true;
}

}  // namespace

void Emitter::checkGrouped(const Select& s, size_t levelIndex) const {
    // GROUP BY 2 groups by the second result column.
    auto byPosition = [&](size_t i) {
        for (const auto& g : s.groupBy)
            if (g->kind == ExprKind::Literal && g->value.type() == VarType::Int32 &&
                g->value.asInt32() == int32_t(i + 1))
                return true;
        return false;
    };
    for (size_t i = 0; i < s.items.size(); ++i)
        if (s.items[i].expr->kind != ExprKind::Star && !byPosition(i))
            checkGroupedExpr(*s.items[i].expr, s, levelIndex);
    if (s.having) checkGroupedExpr(*s.having, s, levelIndex);
}

void Emitter::checkGroupedExpr(const Expr& x, const Select& s, size_t levelIndex) const {
    for (const auto& g : s.groupBy) {
        if (sameExpr(x, *g) && (x.kind != ExprKind::Column || x.qualifier.isEmpty() ||
                                g->qualifier.isEmpty() || sameName(x.qualifier, g->qualifier)))
            return;
    }
    switch (x.kind) {
        case ExprKind::Column: {
            // A column of an outer query (a correlated reference) is a constant here.
            if (!entryOf(x, levelIndex)) {
                for (size_t i = 0; i < levelIndex; ++i)
                    if (entryOf(x, i)) return;
            }
            const QString name = x.qualifier.isEmpty() ? x.name : x.qualifier + u'.' + x.name;
            throw ungroupedColumnError(name);
        }
        case ExprKind::Call: {
            const JetFunction* f = findFunction(x.name.toUpper());
            if (f && f->aggregate) return;
            break;
        }
        default:
            break;
    }
    for (const auto& a : x.args) checkGroupedExpr(*a, s, levelIndex);
}

std::string Emitter::runRule(const Expr& e) {
    rule_ = true;
    Level level;
    if (!opt_.ruleTable.isEmpty()) level.entries.push_back({opt_.ruleTable, opt_.ruleTable, {}});
    levels_.push_back(std::move(level));
    std::string sql = condOf(emitExpr(e));
    levels_.pop_back();
    return sql;
}

}  // namespace

Translation translate(const QString& jetSql, const Dialect& dialect,
                      const TranslateOptions& options) {
    const rt::RegionalSettings& rs =
        options.settings ? *options.settings : rt::RegionalSettings::process();
    Statement st = parse(jetSql, rs, options.dateOrder);
    Emitter emitter(jetSql, dialect, options, rs);
    return emitter.run(st);
}

std::string translateExpression(const QString& jetExpression, const Dialect& dialect,
                                const TranslateOptions& options) {
    const rt::RegionalSettings& rs =
        options.settings ? *options.settings : rt::RegionalSettings::process();
    ExprPtr e = parseExpression(jetExpression, rs, options.ruleColumn, options.dateOrder);
    Emitter emitter(jetExpression, dialect, options, rs);
    return emitter.runRule(*e);
}

}  // namespace db::jet
