// The emitter: walks the statement tree and writes the target dialect.
//
// What stays the same for every target lives here: which Jet functions exist
// and how many arguments they take, the variant kind each expression delivers,
// where a Jet value must become a condition and back, literals as parameters,
// Jet's text comparison (letter case ignored) where no column collation
// applies, and the updatable-table rule. How each piece is spelled is the
// Dialect's.
#include "platform/db/jet/Translator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/db/jet/Ast.h"
#include "platform/db/jet/Parser.h"
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

// Sorted by name for the binary search in findFunction().
constexpr JetFunction kFunctions[] = {
    {"ABS", 1, 1, E, Rule::NumericArg0, ArgMode::Value, false, false, false},
    {"AVG", 1, 1, VarType::Double, Rule::Fixed, ArgMode::Value, true, false, false},
    {"CBOOL", 1, 1, VarType::Boolean, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CBYTE", 1, 1, VarType::Byte, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CCUR", 1, 1, VarType::Currency, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CDATE", 1, 1, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CDBL", 1, 1, VarType::Double, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CINT", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CLNG", 1, 1, VarType::Int32, Rule::Fixed, ArgMode::Value, false, false, false},
    {"COUNT", 1, 1, VarType::Int32, Rule::Fixed, ArgMode::Value, true, false, true},
    {"CSNG", 1, 1, VarType::Single, Rule::Fixed, ArgMode::Value, false, false, false},
    {"CSTR", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"CVDATE", 1, 1, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DATE", 0, 0, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, true},
    {"DATEADD", 3, 3, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DATEDIFF", 3, 5, VarType::Int32, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DATEPART", 2, 4, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DATESERIAL", 3, 3, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DATEVALUE", 1, 1, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"DAY", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"FIRST", 1, 1, E, Rule::SameAsArg0, ArgMode::Value, true, false, false},
    {"FIX", 1, 1, E, Rule::NumericArg0, ArgMode::Value, false, false, false},
    {"FORMAT", 1, 2, VarType::Text, Rule::Fixed, ArgMode::Value, false, false, false},
    {"HOUR", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"IIF", 3, 3, E, Rule::Branches, ArgMode::Value, false, false, false},
    {"INSTR", 2, 4, VarType::Int32, Rule::Fixed, ArgMode::Text, false, false, false},
    {"INT", 1, 1, E, Rule::NumericArg0, ArgMode::Value, false, false, false},
    {"ISNULL", 1, 1, VarType::Boolean, Rule::Fixed, ArgMode::Value, false, true, true},
    {"LAST", 1, 1, E, Rule::SameAsArg0, ArgMode::Value, true, false, false},
    {"LCASE", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"LEFT", 2, 2, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"LEN", 1, 1, VarType::Int32, Rule::Fixed, ArgMode::Text, false, false, false},
    {"LTRIM", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"MAX", 1, 1, E, Rule::SameAsArg0, ArgMode::Value, true, false, false},
    {"MID", 2, 3, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"MIN", 1, 1, E, Rule::SameAsArg0, ArgMode::Value, true, false, false},
    {"MINUTE", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"MONTH", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"NOW", 0, 0, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, true},
    {"NZ", 1, 2, E, Rule::Nz, ArgMode::Value, false, false, false},
    {"RIGHT", 2, 2, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"ROUND", 1, 2, E, Rule::NumericArg0, ArgMode::Value, false, false, false},
    {"RTRIM", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"SECOND", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"SGN", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"SPACE", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Value, false, false, false},
    {"SQR", 1, 1, VarType::Double, Rule::Fixed, ArgMode::Value, false, false, false},
    {"STR", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Value, false, false, false},
    {"SUM", 1, 1, E, Rule::Sum, ArgMode::Value, true, false, false},
    {"TIME", 0, 0, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, true},
    {"TIMEVALUE", 1, 1, VarType::Date, Rule::Fixed, ArgMode::Value, false, false, false},
    {"TRIM", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"UCASE", 1, 1, VarType::Text, Rule::Fixed, ArgMode::Text, false, false, false},
    {"VAL", 1, 1, VarType::Double, Rule::Fixed, ArgMode::Text, false, false, false},
    {"WEEKDAY", 1, 2, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
    {"YEAR", 1, 1, VarType::Int16, Rule::Fixed, ArgMode::Value, false, false, false},
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
};

struct SelectInfo {
    std::vector<VarType> hints;
    std::vector<std::optional<QString>> formats;  // parallel to hints
    bool hintsStopped = false;
    std::vector<std::pair<QString, VarType>> columns;  // output names, for derived tables
    QString updatableTable;
    bool rowidFirst = false;
};

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
    struct Level {
        std::vector<Entry> entries;
        bool aggregate = false;
        int exprNumber = 1000;  // Jet names unnamed result columns Expr1000, Expr1001 ...
    };

    [[noreturn]] void failNear(qsizetype pos) const {
        syntaxErrorNear(QStringView(text_).mid(std::clamp<qsizetype>(pos, 0, text_.size())));
    }

    std::string param(rt::Variant v) {
        if (opt_.inlineLiterals || rule_) return d_.literal(v);
        params_.push_back(std::move(v));
        return d_.parameter(int(params_.size()));
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
    static VarType hintOf(const Emitted& e) {
        if (e.condition) return VarType::Boolean;
        return e.kind == VarType::Null ? VarType::Empty : e.kind;
    }

    // statements
    std::string emitSelect(const Select& s, SelectInfo* info, bool wantRowid);
    std::string emitCore(const Select& s, SelectInfo* info, bool wantRowid, bool alone);
    std::string emitSource(const Source& s);
    std::string emitOrderTerm(const OrderTerm& t);
    std::string emitGroupTerm(const Expr& e);
    std::string emitSubselect(const Select& s, VarType* firstKind = nullptr);

    // expressions
    Emitted emitExpr(const Expr& e);
    Emitted emitCoerced(const Expr& e, VarType otherKind);
    VarType columnKind(const Expr& column) const;
    VarType kindOfColumnNode(const Expr& e) const {
        return e.kind == ExprKind::Column ? columnKind(e) : VarType::Empty;
    }
    Emitted emitUnary(const Expr& e);
    Emitted emitBinary(const Expr& e);
    Emitted emitComparison(const Expr& e);
    Emitted emitConcat(const Expr& e);
    Emitted emitArithmetic(const Expr& e);
    Emitted emitCall(const Expr& e);
    Emitted emitPredicate(const Expr& e);
    std::string textCompareOperand(const Emitted& left, bool anyColumn, bool anyText) const {
        if (!anyColumn && anyText) return d_.caseInsensitive(operand(left, kAtomic));
        return operand(left, kAdd);
    }

    const QString& text_;
    const Dialect& d_;
    const TranslateOptions& opt_;
    const rt::RegionalSettings& rs_;
    std::vector<rt::Variant> params_;
    std::vector<Level> levels_;
    bool rule_ = false;  // translating a validation rule (no subqueries, no clock)
};

// ---- statements ----

Translation Emitter::run(const Statement& st) {
    Translation t;
    t.kind = st.kind;
    std::string sql;
    switch (st.kind) {
        case StatementKind::Select: {
            SelectInfo info;
            sql = emitSelect(*st.select, &info, opt_.wantRowid);
            t.columnHints = std::move(info.hints);
            t.clientFormats = std::move(info.formats);
            t.updatableTable = info.updatableTable;
            t.rowidFirst = info.rowidFirst;
            break;
        }
        case StatementKind::Insert: {
            sql = "INSERT INTO " + ident(st.table);
            if (!st.columns.empty()) {
                sql += " (";
                for (size_t i = 0; i < st.columns.size(); ++i) {
                    if (i) sql += ", ";
                    sql += ident(st.columns[i]);
                }
                sql += ")";
            }
            if (st.select) {
                sql += " " + emitSelect(*st.select, nullptr, false);
            } else {
                levels_.emplace_back();
                sql += " VALUES (";
                for (size_t i = 0; i < st.values.size(); ++i) {
                    if (i) sql += ", ";
                    VarType target = VarType::Empty;
                    if (i < st.columns.size() && opt_.columnKind)
                        target = opt_.columnKind(st.table, st.columns[i]);
                    sql += valueOf(emitCoerced(*st.values[i], target));
                }
                sql += ")";
                levels_.pop_back();
            }
            break;
        }
        case StatementKind::Update: {
            Level level;
            level.entries.push_back({st.alias.isEmpty() ? st.table : st.alias, st.table, {}});
            levels_.push_back(std::move(level));
            sql = "UPDATE " + ident(st.table);
            if (!st.alias.isEmpty()) sql += " AS " + ident(st.alias);
            sql += " SET ";
            for (size_t i = 0; i < st.sets.size(); ++i) {
                const Assignment& a = st.sets[i];
                if (!a.qualifier.isEmpty() && !sameName(a.qualifier, st.table) &&
                    !sameName(a.qualifier, st.alias))
                    syntaxError(QStringLiteral("Unsupported UPDATE of another table near \"%1.%2\"")
                                    .arg(a.qualifier, a.column));
                if (i) sql += ", ";
                VarType target =
                    opt_.columnKind ? opt_.columnKind(st.table, a.column) : VarType::Empty;
                sql += ident(a.column) + " = " + valueOf(emitCoerced(*a.value, target));
            }
            if (st.where) sql += " WHERE " + condOf(emitExpr(*st.where));
            levels_.pop_back();
            break;
        }
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
    }
    t.sql = std::move(sql);
    t.params = std::move(params_);
    return t;
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
        std::string member = emitSelect(m, nullptr, false);
        if (m.top || !m.orderBy.empty() || !m.unions.empty())
            member = "SELECT * FROM " + d_.unnamedDerivedTable("(" + member + ")");
        sql += member;
    }
    if (info) {
        info->updatableTable.clear();
        info->rowidFirst = false;
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
    if (s.distinctRow && (join || s.from.size() > 1))
        syntaxError(QStringLiteral("Unsupported DISTINCTROW over several tables"));

    std::string items;
    for (size_t i = 0; i < s.items.size(); ++i) {
        const SelectItem& item = s.items[i];
        if (i) items += ", ";
        if (item.expr->kind == ExprKind::Star) {
            if (item.expr->qualifier.isEmpty()) {
                if (s.from.empty()) failNear(item.expr->pos);
                items += "*";
            } else {
                items += ident(item.expr->qualifier) + ".*";
            }
            if (info) info->hintsStopped = true;
            continue;
        }
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

    std::string sql = s.distinct ? "SELECT DISTINCT " : "SELECT ";
    const bool single = s.from.size() == 1 && s.from[0]->kind == Source::Kind::Table;
    std::string where, group, having, order;
    if (s.where) where = " WHERE " + condOf(emitExpr(*s.where));
    if (!s.groupBy.empty()) {
        group = " GROUP BY ";
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
            if (i) group += ", ";
            group += emitGroupTerm(*s.groupBy[i]);
        }
    }
    if (s.having) having = " HAVING " + condOf(emitExpr(*s.having));
    if (alone && !s.orderBy.empty()) {
        order = " ORDER BY ";
        for (size_t i = 0; i < s.orderBy.size(); ++i) {
            if (i) order += ", ";
            order += emitOrderTerm(s.orderBy[i]);
        }
    }
    const Level& level = levels_[levelIndex];
    const bool updatable = single && !s.distinct && s.groupBy.empty() && !s.having &&
                           !level.aggregate && s.unions.empty();
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
            return left + kw + right + " ON " + condOf(emitExpr(*s.on));
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
    return valueOf(e);
}

std::string Emitter::emitSubselect(const Select& s, VarType* firstKind) {
    if (rule_) syntaxError(QStringLiteral("Unsupported subquery in a validation rule"));
    SelectInfo info;
    std::string sql = "(" + emitSelect(s, &info, false) + ")";
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
            }
            if (k != VarType::Empty || !c.qualifier.isEmpty()) return k;
        }
    }
    return VarType::Empty;
}

Emitted Emitter::emitExpr(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Literal: {
            Emitted r;
            r.kind = e.value.type();
            r.sql = param(e.value);
            r.nullable = false;
            return r;
        }
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
            Emitted r;
            r.sql = emitSubselect(*e.select, &r.kind);
            return r;
        }
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

Emitted Emitter::emitCoerced(const Expr& e, VarType other) {
    // A literal compared with (or stored into) a date column is read as a date,
    // as Jet does, so that the comparison stays a plain one on stored dates.
    if (e.kind == ExprKind::Literal && other == VarType::Date) {
        std::optional<QDateTime> d;
        if (e.value.type() == VarType::Text) {
            d = rs_.readDate(e.value.asText());
        } else if (isNumberKind(e.value.type())) {
            try {
                d = rt::serialToDate(e.value.toDouble(rs_));
            } catch (const rt::Error&) {
                d.reset();
            }
        }
        if (d) {
            Emitted r;
            r.kind = VarType::Date;
            r.sql = param(rt::Variant(*d));
            r.nullable = false;
            return r;
        }
    }
    return emitExpr(e);
}

Emitted Emitter::emitUnary(const Expr& e) {
    const Expr& a = *e.args[0];
    Emitted r;
    switch (e.op) {
        case Op::Neg: {
            if (a.kind == ExprKind::Literal && a.value.type() == VarType::Int32) {
                r.kind = VarType::Int32;
                r.sql = param(rt::Variant(int32_t(-a.value.asInt32())));
                r.nullable = false;
                return r;
            }
            if (a.kind == ExprKind::Literal && a.value.type() == VarType::Double) {
                r.kind = VarType::Double;
                r.sql = param(rt::Variant(-a.value.asDouble()));
                r.nullable = false;
                return r;
            }
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

Emitted Emitter::emitComparison(const Expr& e) {
    const Expr& a = *e.args[0];
    const Expr& b = *e.args[1];
    const VarType ak = kindOfColumnNode(a);
    const VarType bk = kindOfColumnNode(b);
    Emitted l = emitCoerced(a, bk);
    Emitted r = emitCoerced(b, ak == VarType::Empty ? hintOf(l) : ak);
    const char* op = "";
    switch (e.op) {
        case Op::Eq:
            op = " = ";
            break;
        case Op::Ne:
            op = " <> ";
            break;
        case Op::Lt:
            op = " < ";
            break;
        case Op::Le:
            op = " <= ";
            break;
        case Op::Gt:
            op = " > ";
            break;
        case Op::Ge:
            op = " >= ";
            break;
        default:
            break;
    }
    const bool anyColumn = l.column || r.column;
    const bool anyText = hintOf(l) == VarType::Text || hintOf(r) == VarType::Text;
    Emitted out;
    out.sql = textCompareOperand(l, anyColumn, anyText) + op + operand(r, kAdd);
    out.condition = true;
    out.nullable = l.nullable || r.nullable;
    out.prec = (e.op == Op::Eq || e.op == Op::Ne) ? kEquality : kRelational;
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
    const size_t paramsBefore = params_.size();
    Emitted l = emitExpr(*e.args[0]);
    Emitted r = emitExpr(*e.args[1]);
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
    switch (e.op) {
        case Op::Add:
            if (lk == VarType::Text && rk == VarType::Text) {
                plain(" || ", kConcat);  // + joins texts; Null stays Null
                out.kind = VarType::Text;
            } else if (lk == VarType::Date && rk != VarType::Date && rk != VarType::Text) {
                call(Dialect::Arith::DatePlusDays, valueOf(l), valueOf(r), VarType::Date);
            } else if (rk == VarType::Date && lk != VarType::Date && lk != VarType::Text) {
                call(Dialect::Arith::DatePlusDays, valueOf(r), valueOf(l), VarType::Date);
            } else {
                plain(" + ", kAdd);
            }
            break;
        case Op::Sub:
            if (lk == VarType::Date && rk == VarType::Date)
                call(Dialect::Arith::DateMinusDate, valueOf(l), valueOf(r), VarType::Double);
            else if (lk == VarType::Date && rk != VarType::Text)
                call(Dialect::Arith::DatePlusDays, valueOf(l), "-" + operand(r, kUnary),
                     VarType::Date);
            else
                plain(" - ", kAdd);
            break;
        case Op::Mul:
            plain(" * ", kMul);
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
            Emitted lo = emitCoerced(*e.args[1], hintOf(x));
            Emitted hi = emitCoerced(*e.args[2], hintOf(x));
            const bool anyColumn = x.column || lo.column || hi.column;
            const bool anyText = hintOf(x) == VarType::Text || hintOf(lo) == VarType::Text ||
                                 hintOf(hi) == VarType::Text;
            out.sql = textCompareOperand(x, anyColumn, anyText) +
                      (e.negated ? " NOT BETWEEN " : " BETWEEN ") + operand(lo, kAdd) + " AND " +
                      operand(hi, kAdd);
            out.nullable = x.nullable || lo.nullable || hi.nullable;
            return out;
        }
        case ExprKind::InList: {
            Emitted x = emitExpr(*e.args[0]);
            std::string list;
            bool anyText = hintOf(x) == VarType::Text;
            bool anyNullable = x.nullable;
            for (size_t i = 1; i < e.args.size(); ++i) {
                Emitted item = emitCoerced(*e.args[i], hintOf(x));
                if (i > 1) list += ", ";
                list += valueOf(item);
                anyText = anyText || hintOf(item) == VarType::Text;
                anyNullable = anyNullable || item.nullable;
            }
            out.sql = textCompareOperand(x, x.column, anyText) +
                      (e.negated ? " NOT IN (" : " IN (") + list + ")";
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

Emitted Emitter::emitCall(const Expr& e) {
    const QString upper = e.name.toUpper();
    const JetFunction* f = findFunction(upper);
    if (!f) syntaxError(QStringLiteral("Unsupported function \"%1\"").arg(e.name));
    const int n = int(e.args.size());
    if (n < f->minArgs || n > f->maxArgs)
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
        Emitted o = emitExpr(a);
        const ArgMode mode = (f->rule == Rule::Branches && i == 0) ? ArgMode::Condition : f->mode;
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
        syntaxError(QStringLiteral("Unsupported function \"%1\" in a validation rule").arg(e.name));
    Emitted out;
    out.sql = d_.function(upper, args);
    if (out.sql.empty()) syntaxError(QStringLiteral("Unsupported function \"%1\"").arg(e.name));
    out.condition = f->condition;
    out.nullable = !f->neverNull;
    const VarType k0 = n > 0 ? hintOf(emitted[0]) : VarType::Empty;
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
        case Rule::Branches: {
            const VarType k1 = hintOf(emitted[1]), k2 = hintOf(emitted[2]);
            if (k1 == k2)
                out.kind = k1;
            else if (emitted[1].kind == VarType::Null)
                out.kind = k2;
            else if (emitted[2].kind == VarType::Null)
                out.kind = k1;
            out.nullable = emitted[1].nullable || emitted[2].nullable;
            break;
        }
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
    Statement st = parse(jetSql, rs);
    Emitter emitter(jetSql, dialect, options, rs);
    return emitter.run(st);
}

std::string translateExpression(const QString& jetExpression, const Dialect& dialect,
                                const TranslateOptions& options) {
    const rt::RegionalSettings& rs =
        options.settings ? *options.settings : rt::RegionalSettings::process();
    ExprPtr e = parseExpression(jetExpression, rs, options.ruleColumn);
    Emitter emitter(jetExpression, dialect, options, rs);
    return emitter.runRule(*e);
}

}  // namespace db::jet
