// The tree the parser builds from a Jet statement and the emitter walks.
//
// Nodes are plain structs with an enum kind, made by the small factories below
// and owned by std::unique_ptr. Every expression node knows its depth, so that
// the parser can refuse trees too deep to walk (or free) by recursion.
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/db/Schema.h"
#include "platform/db/jet/Translator.h"
#include "platform/runtime/Variant.h"

namespace db::jet {

struct Select;

enum class ExprKind : unsigned char {
    Literal,   // value: a number, a text, a date or a boolean
    Null,      // the keyword Null
    Column,    // [qualifier.]name
    Star,      // * or qualifier.* (select lists and count(*) only)
    Unary,     // op: Neg, Plus, Not
    Binary,    // op: arithmetic, '&', comparison, And, Or
    Like,      // args[0] [NOT] LIKE args[1]
    Between,   // args[0] [NOT] BETWEEN args[1] AND args[2]
    InList,    // args[0] [NOT] IN (args[1..])
    InSelect,  // args[0] [NOT] IN (select)
    IsNull,    // args[0] IS [NOT] NULL
    Exists,    // EXISTS (select)
    Subquery,  // (select) as a value
    Call,      // name(args)
    Quantified,  // args[0] op ALL / ANY (select); `all` tells which
};

enum class Op : unsigned char {
    None,
    Neg,
    Plus,
    Not,
    Add,
    Sub,
    Mul,
    Div,
    IntDiv,
    Mod,
    Pow,
    Concat,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    And,
    Or,
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    ExprKind kind = ExprKind::Null;
    Op op = Op::None;
    bool negated = false;  // NOT LIKE, NOT BETWEEN, NOT IN, IS NOT NULL
    bool all = false;      // Quantified: ALL (else ANY / SOME)
    int depth = 1;         // 1 + the deepest child
    qsizetype pos = 0;     // where the node starts in the statement text
    rt::Variant value;     // Literal
    QString qualifier;     // Column, Star
    QString name;          // Column; Call (as written)
    std::vector<ExprPtr> args;
    std::unique_ptr<Select> select;  // InSelect, Exists, Subquery
};

ExprPtr makeLiteral(rt::Variant v, qsizetype pos);
ExprPtr makeNull(qsizetype pos);
ExprPtr makeColumn(QString qualifier, QString name, qsizetype pos);
ExprPtr makeStar(QString qualifier, qsizetype pos);
ExprPtr makeUnary(Op op, ExprPtr operand, qsizetype pos);
ExprPtr makeBinary(Op op, ExprPtr left, ExprPtr right);
ExprPtr makeNode(ExprKind kind, std::vector<ExprPtr> args, qsizetype pos, bool negated = false);
ExprPtr makeSelectNode(ExprKind kind, ExprPtr left, std::unique_ptr<Select> select, qsizetype pos,
                       bool negated = false);
ExprPtr makeCall(QString name, std::vector<ExprPtr> args, qsizetype pos);

struct SelectItem {
    ExprPtr expr;
    QString alias;  // empty when none was given
};

enum class JoinKind : unsigned char { Inner, Left, Right };

struct Source;
using SourcePtr = std::unique_ptr<Source>;

struct Source {
    enum class Kind : unsigned char { Table, Subquery, Join } kind = Kind::Table;
    QString table;                    // Table
    QString alias;                    // Table, Subquery
    std::unique_ptr<Select> select;   // Subquery
    JoinKind join = JoinKind::Inner;  // Join
    SourcePtr left, right;            // Join
    ExprPtr on;                       // Join
    int depth = 1;
};

struct OrderTerm {
    ExprPtr expr;
    bool descending = false;
};

struct Select {
    bool distinct = false;
    bool distinctRow = false;  // DISTINCTROW: rows of the tables it shows, each once
    std::optional<long long> top;
    std::vector<SelectItem> items;
    QString into;                 // SELECT ... INTO table: the new table's name
    std::vector<SourcePtr> from;  // comma-separated sources
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    // UNION [ALL] members that follow this one; ORDER BY then orders the whole.
    struct UnionPart {
        bool all = false;
        std::unique_ptr<Select> select;
    };
    std::vector<UnionPart> unions;
    std::vector<OrderTerm> orderBy;
    int depth = 1;
};

struct Assignment {
    QString qualifier;
    QString column;
    ExprPtr value;
};

struct Statement {
    StatementKind kind = StatementKind::Select;
    std::unique_ptr<Select> select;  // Select, SelectInto; Insert ... SELECT
    QString table;                   // Insert, Update, Delete
    QString alias;                   // Update, Delete
    SourcePtr joined;                // Update over a join: the whole join
    std::vector<QString> columns;    // Insert column list
    std::vector<ExprPtr> values;     // Insert ... VALUES
    std::vector<Assignment> sets;    // Update
    ExprPtr where;                   // Update, Delete
    std::shared_ptr<const SchemaChange> schema;  // Schema
};

}  // namespace db::jet
