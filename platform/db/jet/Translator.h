// Jet SQL to the engine's dialect: tokenizer -> parser (a tree) -> emitter.
//
// Literals (numbers, texts, #dates#, True/False) become bound parameters, so
// statements that differ only in their literals share one prepared statement;
// where the engine takes no parameters (a view, a CHECK constraint) they can be
// written into the SQL text instead (TranslateOptions::inlineLiterals).
// Unsupported syntax raises rt::Error(err::DbSyntax) with a description that
// quotes the offending text: Syntax error near "x".
#pragma once

#include "platform/db/Coerce.h"
#include "platform/db/jet/Functions.h"
#include "platform/runtime/RegionalSettings.h"
#include "platform/runtime/Variant.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {
struct SchemaChange;
}

namespace db::jet {

// Schema: a Jet DDL statement; Translation::schema states the change, `sql`
// is empty. SelectInto: `sql` is the SELECT that fills the new table
// Translation::intoTable.
enum class StatementKind { Select, Insert, Update, Delete, SelectInto, Schema };

struct Translation {
    StatementKind kind = StatementKind::Select;
    std::string sql;                      // UTF-8 text for the engine; parameters ?1..?N
    std::vector<rt::Variant> params;      // values of ?1..?N, in order
    // Per result column of a SELECT (hidden row id excluded): the variant kind
    // the expression delivers when the translator knows it (a date function, a
    // concatenation ...), VarType::Empty where the engine's declared column type
    // or the stored value must decide.
    // The list stops before the first `*` item (its column count is the
    // engine's to know): columns without an entry count as Empty.
    std::vector<rt::VarType> columnHints;
    // Per result column, as columnHints: the pattern of a Format() the dialect
    // leaves to the client (Dialect::formatsOnClient). Such a column's SQL is
    // Format's value alone, read with its hint; the reader then formats it
    // with fn::format (Null stays Null). No value where nothing is formatted.
    std::vector<std::optional<QString>> clientFormats;
    // For a SELECT from one table without DISTINCT, GROUP BY, aggregates or
    // joins: that table's name (as written, brackets removed). Empty otherwise.
    QString updatableTable;
    // True when the emitted SELECT carries the row id as its first column
    // (only when requested and updatableTable is set).
    bool rowidFirst = false;
    // SelectInto: the table to make and fill (`sql` selects its rows).
    QString intoTable;
    // Schema: the change a DDL statement states.
    std::shared_ptr<const SchemaChange> schema;
};

// What differs between target engines. The SQLite dialect is the one in use;
// a server dialect can follow without touching the tokenizer or the parser.
class Dialect {
public:
    virtual ~Dialect() = default;
    virtual std::string quoteIdentifier(const QString& name) const = 0;
    virtual std::string parameter(int oneBasedIndex) const = 0;
    // A value written into the SQL text, stored exactly as a bound parameter of
    // the same value would be (texts quoted with their quotes doubled, negative
    // numbers parenthesised, dates in their stored form). Used for SQL that
    // cannot take parameters: views and CHECK constraints.
    virtual std::string literal(const rt::Variant& value) const = 0;
    virtual std::string rowidExpression(const QString& table) const = 0;
    // The engine's spelling of a Jet function call with already emitted
    // arguments; empty when the function is unknown.
    virtual std::string function(const QString& upperName,
                                 const std::vector<std::string>& args) const = 0;
    // Text concatenation with Jet's '&' meaning (Null joins as empty text).
    virtual std::string concat(const std::string& a, const std::string& b) const = 0;
    // LIKE with Jet's wildcards and case-insensitive matching.
    virtual std::string like(const std::string& value, const std::string& pattern,
                             bool negated) const = 0;
    virtual std::string limit(const std::string& selectBody, long long n) const = 0;
    // A derived table (a parenthesised SELECT) in FROM that the statement
    // gives no alias; an engine that needs one adds it.
    virtual std::string unnamedDerivedTable(const std::string& parenthesised) const {
        return parenthesised;
    }
    // True when Format() as a whole select-list item (a literal pattern or
    // none) is evaluated on the client: the engine has no Format of its own.
    virtual bool formatsOnClient() const { return false; }
    // Operands compared with each other (=, <, BETWEEN, ALL ...) whose kinds
    // are known to differ (a date and a number, a text and a number, a date
    // and a text), rewritten so the engine compares them as Jet does: as
    // numbers when one is a number, else as dates. Default: as they are, for
    // an engine that compares values of any kinds.
    virtual void comparable(const std::vector<std::string*>& operands,
                            const std::vector<rt::VarType>& kinds) const {
        (void)operands;
        (void)kinds;
    }
    // Whether GROUP BY the row ids of some tables may show the other columns
    // of those tables (DISTINCTROW over a join); otherwise DISTINCT ON.
    virtual bool groupsByRowid() const { return true; }

    // A condition used as a Jet value: True is -1, False 0, unknown Null.
    virtual std::string boolValue(const std::string& condition) const = 0;
    // A Jet value used as a condition (non-zero is true): the value itself or
    // a parenthesised form.
    virtual std::string condition(const std::string& value) const = 0;
    // The text a value of the given kind shows when joined with '&' or handed
    // to a text function (dates in the regional general-date form, numbers with
    // the regional decimal separator); Null stays Null.
    virtual std::string textForm(const std::string& value, rt::VarType kind) const = 0;
    // A chain of '&' over operands already in textForm; `nullable[i]` is false
    // where operand i can never be Null. Null operands join as empty text; the
    // result is Null only when every operand is Null.
    virtual std::string concatChain(const std::vector<std::string>& operands,
                                    const std::vector<bool>& nullable) const = 0;
    // The operand with Jet's text comparison rule (letter case ignored), for a
    // comparison in which no column brings its own collation.
    virtual std::string caseInsensitive(const std::string& operand) const = 0;
    // Jet operators that the engine does not spell the same way. Add,
    // Subtract and Multiply are Jet's + - * on values whose kinds are not
    // known to be numbers (dates, numeric texts; a text that is no number
    // fails with a type mismatch). Least and Greatest give the smaller and the
    // larger of two values, Null when either is Null.
    enum class Arith {
        Divide,
        IntDivide,
        Modulo,
        Power,
        DatePlusDays,
        DateMinusDate,
        Add,
        Subtract,
        Multiply,
        Least,
        Greatest,
    };
    virtual std::string arithmetic(Arith op, const std::string& a, const std::string& b) const = 0;

    // A scalar subquery (`select`, without parentheses) whose rows are not
    // known to be at most one: its value, or the failure "At most one record
    // can be returned by this subquery." when it gives a second row.
    // `column` is the name of its one result column.
    virtual std::string singleRow(const std::string& select, const QString& column) const = 0;
    // `value` (an expression) converted for storing into `column` of `table`
    // as db::coerceForColumn converts it, failing as it fails. `valueKind` is
    // the kind the translator knows the value to have (Empty: unknown).
    virtual std::string columnValue(const std::string& value, rt::VarType valueKind,
                                    const ColumnInfo& column, const QString& table) const = 0;
};

const Dialect& sqliteDialect();

struct TranslateOptions {
    const rt::RegionalSettings* settings = nullptr;  // for #date# literals; null: process
    bool wantRowid = false;  // prepend the row id for an updatable SELECT
    // Literals written into the SQL text (Dialect::literal) instead of bound
    // parameters; Translation::params stays empty. For a saved select query
    // that becomes a view.
    bool inlineLiterals = false;
    // translateExpression only: the column a validation rule belongs to, the
    // implicit left operand of every term that starts with an operator.
    QString ruleColumn;
    // translateExpression only: the table the rule belongs to, whose columns
    // the rule names (their kinds come from columnKind).
    QString ruleTable;
    // The declared kind of a table's column (Empty when unknown); lets the
    // emitter hint max(col), min(col) and plain column references. When it is
    // not set, tableColumns answers.
    std::function<rt::VarType(const QString& table, const QString& column)> columnKind;
    // A table's columns in their order (null for an unknown table): lets the
    // emitter convert written values to their columns, give * over a join
    // Jet's column names, and read DISTINCTROW.
    std::function<const std::vector<ColumnInfo>*(const QString& table)> tableColumns;
    // How the numbers of a #date# literal are read: the regional short date's
    // order (the system's own statements), or month first (Jet's rule).
    fn::DateOrder dateOrder = fn::DateOrder::Regional;
};

Translation translate(const QString& jetSql, const Dialect& dialect,
                      const TranslateOptions& options);

// One Jet expression, a validation rule such as `>=0`, `Is Not Null And
// Len([Name])>0`, `Between 1 And 100`, `In ("A","B")` or `Like "A*"`, as the
// condition of a CHECK constraint. A term that starts with an operator (a
// comparison, Between, In, Like, Is, Not Like ...) takes options.ruleColumn as
// its left operand. Literals are always written into the text. The result is
// true, false or Null; Null passes a CHECK constraint as it passes a Jet rule.
// Refused (rt::Error DbSyntax, naming what): anything but one expression,
// subqueries, aggregates and the clock functions (Date, Time, Now), which a
// CHECK constraint cannot hold.
std::string translateExpression(const QString& jetExpression, const Dialect& dialect,
                                const TranslateOptions& options);

// Canonical stored form of a date: "yyyy-MM-dd HH:mm:ss" (".zzz" added when the
// milliseconds are not 0). Text of this form compares in time order.
QString storedDateText(const QDateTime& dt);
std::optional<QDateTime> parseStoredDate(const QString& text);

}  // namespace db::jet
