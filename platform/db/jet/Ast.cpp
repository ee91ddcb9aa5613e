// Factories of the statement tree; each one keeps the depth of its node.
#include "platform/db/jet/Ast.h"

#include <algorithm>

namespace db::jet {

namespace {

ExprPtr node(ExprKind kind, qsizetype pos) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->pos = pos;
    return e;
}

void deepen(Expr& e) {
    int d = 0;
    for (const auto& a : e.args)
        if (a) d = std::max(d, a->depth);
    if (e.select) d = std::max(d, e.select->depth);
    e.depth = d + 1;
}

}  // namespace

ExprPtr makeLiteral(rt::Variant v, qsizetype pos) {
    auto e = node(ExprKind::Literal, pos);
    e->value = std::move(v);
    return e;
}

ExprPtr makeNull(qsizetype pos) { return node(ExprKind::Null, pos); }

ExprPtr makeColumn(QString qualifier, QString name, qsizetype pos) {
    auto e = node(ExprKind::Column, pos);
    e->qualifier = std::move(qualifier);
    e->name = std::move(name);
    return e;
}

ExprPtr makeStar(QString qualifier, qsizetype pos) {
    auto e = node(ExprKind::Star, pos);
    e->qualifier = std::move(qualifier);
    return e;
}

ExprPtr makeUnary(Op op, ExprPtr operand, qsizetype pos) {
    auto e = node(ExprKind::Unary, pos);
    e->op = op;
    e->args.push_back(std::move(operand));
    deepen(*e);
    return e;
}

ExprPtr makeBinary(Op op, ExprPtr left, ExprPtr right) {
    auto e = node(ExprKind::Binary, left->pos);
    e->op = op;
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    deepen(*e);
    return e;
}

ExprPtr makeNode(ExprKind kind, std::vector<ExprPtr> args, qsizetype pos, bool negated) {
    auto e = node(kind, pos);
    e->args = std::move(args);
    e->negated = negated;
    deepen(*e);
    return e;
}

ExprPtr makeSelectNode(ExprKind kind, ExprPtr left, std::unique_ptr<Select> select, qsizetype pos,
                       bool negated) {
    auto e = node(kind, pos);
    if (left) e->args.push_back(std::move(left));
    e->select = std::move(select);
    e->negated = negated;
    deepen(*e);
    return e;
}

ExprPtr makeCall(QString name, std::vector<ExprPtr> args, qsizetype pos) {
    auto e = node(ExprKind::Call, pos);
    e->name = std::move(name);
    e->args = std::move(args);
    deepen(*e);
    return e;
}

}  // namespace db::jet
