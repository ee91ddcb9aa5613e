// Jet SQL parser: recursive descent over the token list, one function per
// level of Jet's operator precedence (lowest first):
//   Or; And; Not; comparisons, Like, Between, In, Is; &; + -; Mod; \; * /;
//   unary - +; ^; primaries.
#include "platform/db/jet/Parser.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/db/jet/Tokenizer.h"
#include "platform/runtime/Error.h"

namespace db::jet {

void syntaxError(const QString& what) { rt::raise(rt::err::DbSyntax, what); }

namespace {

constexpr qsizetype kQuoteLength = 40;

QString quoted(QStringView text) {
    QString t = text.left(kQuoteLength).toString();
    if (text.size() > kQuoteLength) t += QStringLiteral("...");
    return u'"' + t + u'"';
}

}  // namespace

void syntaxErrorNear(QStringView text) {
    syntaxError(QStringLiteral("Syntax error near ") + quoted(text));
}

namespace {

class Parser {
  public:
    Parser(const QString& text, const rt::RegionalSettings& settings)
        : src_(text), settings_(settings), toks_(tokenize(text)) {}

    Statement statement();
    ExprPtr wholeExpression(const QString& implicitColumn);

  private:
    // ---- tokens ----
    const Token& peek(size_t k = 0) const { return toks_[std::min(i_ + k, toks_.size() - 1)]; }
    QStringView text(const Token& t) const { return QStringView(src_).mid(t.pos, t.length); }
    Keyword kw(size_t k = 0) const {
        const Token& t = peek(k);
        return t.kind == TokenKind::Word ? keywordOf(text(t)) : Keyword::None;
    }
    bool is(TokenKind kind, size_t k = 0) const { return peek(k).kind == kind; }
    bool isKw(Keyword w, size_t k = 0) const { return kw(k) == w; }
    const Token& advance() {
        const Token& t = toks_[i_];
        if (i_ + 1 < toks_.size()) ++i_;
        return t;
    }
    bool accept(TokenKind kind) {
        if (!is(kind)) return false;
        advance();
        return true;
    }
    bool acceptKw(Keyword w) {
        if (!isKw(w)) return false;
        advance();
        return true;
    }
    void expect(TokenKind kind) {
        if (!accept(kind)) failHere();
    }
    void expectKw(Keyword w) {
        if (!acceptKw(w)) failHere();
    }

    // ---- errors ----
    [[noreturn]] void failHere() const { failAt(peek()); }
    [[noreturn]] void failAt(const Token& t) const;
    [[noreturn]] void unsupported(const QString& what, const Token& t) const {
        syntaxError(QStringLiteral("Unsupported %1 near %2").arg(what, quoted(rest(t))));
    }
    QStringView rest(const Token& t) const { return QStringView(src_).mid(t.pos); }

    // Guards every recursive path so that no input can exhaust the stack.
    struct Nest {
        explicit Nest(Parser& p) : p_(p) {
            if (++p_.nesting_ > kMaxNesting) p_.tooComplex();
        }
        ~Nest() { --p_.nesting_; }
        Parser& p_;
    };
    [[noreturn]] void tooComplex() const {
        syntaxError(QStringLiteral("Statement too complex near ") + quoted(rest(peek())));
    }
    ExprPtr checked(ExprPtr e) const {
        if (e->depth > kMaxTreeDepth) tooComplex();
        return e;
    }

    // ---- names ----
    bool isNameToken(size_t k = 0) const;
    QString name();

    // ---- statements ----
    void insert(Statement& st);
    void update(Statement& st);
    void deleteFrom(Statement& st);
    QString tableAlias();

    // ---- selects ----
    std::unique_ptr<Select> select();
    std::unique_ptr<Select> selectCore();
    SourcePtr source();
    SourcePtr primarySource();
    std::vector<ExprPtr> exprList();

    // ---- expressions ----
    ExprPtr expr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr comparison();
    ExprPtr concat();
    ExprPtr additive();
    ExprPtr modulo();
    ExprPtr intDivision();
    ExprPtr multiplicative();
    ExprPtr unary();
    ExprPtr power();
    ExprPtr powerOperand();
    ExprPtr primary();
    ExprPtr call(QString fname, qsizetype pos);
    ExprPtr columnOrStar(QString first, qsizetype pos);
    ExprPtr numberLiteral(const Token& t);
    ExprPtr dateLiteral(const Token& t);
    std::unique_ptr<Select> parenthesizedSelect();

    // A validation rule's term that starts with an operator: its left operand
    // is implicitColumn_.
    bool startsWithOperator() const;

    const QString& src_;
    const rt::RegionalSettings& settings_;
    std::vector<Token> toks_;
    size_t i_ = 0;
    int nesting_ = 0;
    QString implicitColumn_;
};

void Parser::failAt(const Token& t) const {
    const QStringView tail = rest(t);
    switch (t.kind) {
        case TokenKind::End: {
            if (toks_.size() < 2)
                syntaxError(QStringLiteral("Syntax error: the statement is empty"));
            const Token& last = toks_[toks_.size() - 2];
            syntaxError(QStringLiteral("Syntax error: statement incomplete after ") +
                        quoted(text(last)));
        }
        case TokenKind::UnterminatedText:
            syntaxError(QStringLiteral("Unterminated text literal near ") + quoted(tail));
        case TokenKind::UnterminatedName:
            syntaxError(QStringLiteral("Unterminated bracketed name near ") + quoted(tail));
        case TokenKind::UnterminatedDate:
            syntaxError(QStringLiteral("Unterminated date literal near ") + quoted(tail));
        case TokenKind::Comment:
            syntaxError(QStringLiteral("Comments are not part of Jet SQL near ") + quoted(tail));
        default:
            syntaxErrorNear(tail);
    }
}

// ---- names ----

bool Parser::isNameToken(size_t k) const {
    const Token& t = peek(k);
    if (t.kind == TokenKind::Name) return true;
    if (t.kind != TokenKind::Word) return false;
    switch (keywordOf(text(t))) {
        case Keyword::None:
        case Keyword::Any:
        case Keyword::Full:
        case Keyword::Percent:
        case Keyword::Some:
            return true;
        default:
            return false;
    }
}

QString Parser::name() {
    if (!isNameToken()) failHere();
    const Token& t = advance();
    if (t.kind == TokenKind::Name) {
        QString n = innerText(text(t));
        if (n.trimmed().isEmpty()) failAt(t);
        return n;
    }
    return text(t).toString();
}

// ---- statements ----

Statement Parser::statement() {
    Statement st;
    const Token& first = peek();
    switch (kw()) {
        case Keyword::Select:
            st.kind = StatementKind::Select;
            st.select = select();
            break;
        case Keyword::Insert:
            insert(st);
            break;
        case Keyword::Update:
            update(st);
            break;
        case Keyword::Delete:
            deleteFrom(st);
            break;
        case Keyword::Alter:
        case Keyword::Create:
        case Keyword::Drop:
        case Keyword::Parameters:
        case Keyword::Transform:
            unsupported(QStringLiteral("statement"), first);
        default:
            if (is(TokenKind::LParen) && isKw(Keyword::Select, 1)) {
                st.kind = StatementKind::Select;
                st.select = parenthesizedSelect();
                break;
            }
            failHere();
    }
    if (accept(TokenKind::Semicolon)) {
        if (!is(TokenKind::End))
            syntaxError(QStringLiteral("Characters found after end of SQL statement near ") +
                        quoted(rest(peek())));
    }
    if (!is(TokenKind::End)) failHere();
    return st;
}

ExprPtr Parser::wholeExpression(const QString& implicitColumn) {
    implicitColumn_ = implicitColumn;
    if (is(TokenKind::End)) syntaxError(QStringLiteral("Syntax error: the expression is empty"));
    auto e = expr();
    if (!is(TokenKind::End)) failHere();
    return e;
}

bool Parser::startsWithOperator() const {
    if (implicitColumn_.isEmpty()) return false;
    switch (peek().kind) {
        case TokenKind::Eq:
        case TokenKind::Ne:
        case TokenKind::Lt:
        case TokenKind::Le:
        case TokenKind::Gt:
        case TokenKind::Ge:
            return true;
        default:
            break;
    }
    switch (kw()) {
        case Keyword::Like:
        case Keyword::Between:
        case Keyword::In:
        case Keyword::Is:
            return true;
        case Keyword::Not:
            return isKw(Keyword::Like, 1) || isKw(Keyword::Between, 1) || isKw(Keyword::In, 1);
        default:
            return false;
    }
}

QString Parser::tableAlias() {
    if (acceptKw(Keyword::As)) return name();
    if (isNameToken()) return name();
    return QString();
}

void Parser::insert(Statement& st) {
    st.kind = StatementKind::Insert;
    expectKw(Keyword::Insert);
    expectKw(Keyword::Into);
    st.table = name();
    if (is(TokenKind::LParen) && !isKw(Keyword::Select, 1)) {
        advance();
        do {
            // A qualified target column (t.col) names the column.
            QString c = name();
            if (accept(TokenKind::Dot)) c = name();
            st.columns.push_back(c);
        } while (accept(TokenKind::Comma));
        expect(TokenKind::RParen);
    }
    if (isKw(Keyword::Values)) {
        const Token& values = advance();
        expect(TokenKind::LParen);
        st.values = exprList();
        expect(TokenKind::RParen);
        if (!st.columns.empty() && st.columns.size() != st.values.size())
            syntaxError(QStringLiteral("Number of query values and destination fields are not "
                                       "the same near ") +
                        quoted(rest(values)));
        return;
    }
    if (isKw(Keyword::Select)) {
        st.select = select();
        return;
    }
    if (is(TokenKind::LParen) && isKw(Keyword::Select, 1)) {
        st.select = parenthesizedSelect();
        return;
    }
    failHere();
}

void Parser::update(Statement& st) {
    st.kind = StatementKind::Update;
    expectKw(Keyword::Update);
    st.table = name();
    if (!isKw(Keyword::Set)) {
        if (isKw(Keyword::Inner) || isKw(Keyword::Left) || isKw(Keyword::Right))
            unsupported(QStringLiteral("UPDATE over a join"), peek());
        st.alias = tableAlias();
    }
    expectKw(Keyword::Set);
    do {
        Assignment a;
        a.column = name();
        if (accept(TokenKind::Dot)) {
            a.qualifier = a.column;
            a.column = name();
        }
        expect(TokenKind::Eq);
        a.value = expr();
        st.sets.push_back(std::move(a));
    } while (accept(TokenKind::Comma));
    if (acceptKw(Keyword::Where)) st.where = expr();
}

void Parser::deleteFrom(Statement& st) {
    st.kind = StatementKind::Delete;
    expectKw(Keyword::Delete);
    QString qualifier;
    const Token& what = peek();
    if (accept(TokenKind::Star)) {
        // DELETE * FROM t
    } else if (!isKw(Keyword::From)) {
        // DELETE t.* FROM t
        qualifier = name();
        expect(TokenKind::Dot);
        expect(TokenKind::Star);
    }
    expectKw(Keyword::From);
    st.table = name();
    if (isKw(Keyword::Inner) || isKw(Keyword::Left) || isKw(Keyword::Right) || is(TokenKind::Comma))
        unsupported(QStringLiteral("DELETE over several tables"), peek());
    st.alias = tableAlias();
    if (!qualifier.isEmpty() && qualifier.compare(st.table, Qt::CaseInsensitive) != 0 &&
        qualifier.compare(st.alias, Qt::CaseInsensitive) != 0)
        syntaxErrorNear(rest(what));
    if (acceptKw(Keyword::Where)) st.where = expr();
}

// ---- selects ----

std::unique_ptr<Select> Parser::parenthesizedSelect() {
    Nest nest(*this);
    expect(TokenKind::LParen);
    auto s = select();
    expect(TokenKind::RParen);
    return s;
}

std::unique_ptr<Select> Parser::select() {
    Nest nest(*this);
    auto s = selectCore();
    while (isKw(Keyword::Union)) {
        advance();
        Select::UnionPart part;
        part.all = acceptKw(Keyword::All);
        part.select = is(TokenKind::LParen) ? parenthesizedSelect() : selectCore();
        s->depth = std::max(s->depth, part.select->depth + 1);
        s->unions.push_back(std::move(part));
    }
    if (acceptKw(Keyword::Order)) {
        expectKw(Keyword::By);
        do {
            OrderTerm t;
            t.expr = expr();
            if (acceptKw(Keyword::Desc))
                t.descending = true;
            else
                acceptKw(Keyword::Asc);
            s->depth = std::max(s->depth, t.expr->depth + 1);
            s->orderBy.push_back(std::move(t));
        } while (accept(TokenKind::Comma));
    }
    if (s->depth > kMaxTreeDepth) tooComplex();
    return s;
}

std::unique_ptr<Select> Parser::selectCore() {
    auto s = std::make_unique<Select>();
    expectKw(Keyword::Select);
    if (acceptKw(Keyword::Distinct))
        s->distinct = true;
    else if (acceptKw(Keyword::DistinctRow))
        s->distinctRow = true;
    else
        acceptKw(Keyword::All);
    if (isKw(Keyword::Top)) {
        const Token& topTok = advance();
        if (!is(TokenKind::Number)) failHere();
        const Token& n = advance();
        bool ok = false;
        long long v = text(n).toLongLong(&ok);
        if (!ok || v < 0) failAt(n);
        if (isKw(Keyword::Percent)) unsupported(QStringLiteral("TOP ... PERCENT"), topTok);
        s->top = v;
    }
    int depth = 0;
    do {
        SelectItem item;
        if (is(TokenKind::Star)) {
            item.expr = makeStar(QString(), advance().pos);
        } else {
            item.expr = expr();
            if (acceptKw(Keyword::As)) item.alias = name();
        }
        depth = std::max(depth, item.expr->depth);
        s->items.push_back(std::move(item));
    } while (accept(TokenKind::Comma));
    if (acceptKw(Keyword::Into)) unsupported(QStringLiteral("SELECT ... INTO"), peek());
    if (acceptKw(Keyword::From)) {
        do {
            auto src = source();
            depth = std::max(depth, src->depth);
            s->from.push_back(std::move(src));
        } while (accept(TokenKind::Comma));
    }
    if (acceptKw(Keyword::Where)) {
        s->where = expr();
        depth = std::max(depth, s->where->depth);
    }
    if (acceptKw(Keyword::Group)) {
        expectKw(Keyword::By);
        s->groupBy = exprList();
        for (const auto& g : s->groupBy) depth = std::max(depth, g->depth);
    }
    if (acceptKw(Keyword::Having)) {
        s->having = expr();
        depth = std::max(depth, s->having->depth);
    }
    if (isKw(Keyword::Pivot)) unsupported(QStringLiteral("PIVOT"), peek());
    s->depth = depth + 1;
    if (s->depth > kMaxTreeDepth) tooComplex();
    return s;
}

SourcePtr Parser::source() {
    auto left = primarySource();
    for (;;) {
        JoinKind kind;
        const Token& at = peek();
        if (acceptKw(Keyword::Inner)) {
            kind = JoinKind::Inner;
        } else if (acceptKw(Keyword::Left)) {
            kind = JoinKind::Left;
            acceptKw(Keyword::Outer);
        } else if (acceptKw(Keyword::Right)) {
            kind = JoinKind::Right;
            acceptKw(Keyword::Outer);
        } else if (isKw(Keyword::Full)) {
            unsupported(QStringLiteral("FULL JOIN"), at);
        } else if (isKw(Keyword::Join)) {
            kind = JoinKind::Inner;
        } else {
            break;
        }
        expectKw(Keyword::Join);
        auto j = std::make_unique<Source>();
        j->kind = Source::Kind::Join;
        j->join = kind;
        j->left = std::move(left);
        j->right = primarySource();
        expectKw(Keyword::On);
        j->on = expr();
        j->depth = std::max({j->left->depth, j->right->depth, j->on->depth}) + 1;
        if (j->depth > kMaxTreeDepth) tooComplex();
        left = std::move(j);
    }
    return left;
}

SourcePtr Parser::primarySource() {
    Nest nest(*this);
    if (is(TokenKind::LParen)) {
        if (isKw(Keyword::Select, 1)) {
            auto s = std::make_unique<Source>();
            s->kind = Source::Kind::Subquery;
            s->select = parenthesizedSelect();
            s->alias = tableAlias();
            s->depth = s->select->depth + 1;
            return s;
        }
        advance();
        auto inner = source();
        expect(TokenKind::RParen);
        return inner;
    }
    auto s = std::make_unique<Source>();
    s->kind = Source::Kind::Table;
    s->table = name();
    if (isKw(Keyword::In)) unsupported(QStringLiteral("external database"), peek());
    s->alias = tableAlias();
    return s;
}

std::vector<ExprPtr> Parser::exprList() {
    std::vector<ExprPtr> out;
    do out.push_back(expr());
    while (accept(TokenKind::Comma));
    return out;
}

// ---- expressions ----

ExprPtr Parser::expr() {
    Nest nest(*this);
    auto left = andExpr();
    for (;;) {
        if (acceptKw(Keyword::Or)) {
            left = checked(makeBinary(Op::Or, std::move(left), andExpr()));
        } else if (isKw(Keyword::Xor) || isKw(Keyword::Eqv) || isKw(Keyword::Imp)) {
            unsupported(QStringLiteral("operator ") + quoted(text(peek())), peek());
        } else {
            return left;
        }
    }
}

ExprPtr Parser::andExpr() {
    auto left = notExpr();
    while (acceptKw(Keyword::And)) left = checked(makeBinary(Op::And, std::move(left), notExpr()));
    return left;
}

ExprPtr Parser::notExpr() {
    if (isKw(Keyword::Not)) {
        Nest nest(*this);
        const qsizetype pos = advance().pos;
        return checked(makeUnary(Op::Not, notExpr(), pos));
    }
    return comparison();
}

ExprPtr Parser::comparison() {
    auto left = startsWithOperator() ? makeColumn(QString(), implicitColumn_, peek().pos) : concat();
    for (;;) {
        Op op = Op::None;
        switch (peek().kind) {
            case TokenKind::Eq:
                op = Op::Eq;
                break;
            case TokenKind::Ne:
                op = Op::Ne;
                break;
            case TokenKind::Lt:
                op = Op::Lt;
                break;
            case TokenKind::Le:
                op = Op::Le;
                break;
            case TokenKind::Gt:
                op = Op::Gt;
                break;
            case TokenKind::Ge:
                op = Op::Ge;
                break;
            default:
                break;
        }
        if (op != Op::None) {
            advance();
            if (isKw(Keyword::Any) || isKw(Keyword::Some) || isKw(Keyword::All))
                unsupported(QStringLiteral("comparison with ") + quoted(text(peek())), peek());
            left = checked(makeBinary(op, std::move(left), concat()));
            continue;
        }
        const qsizetype pos = left->pos;
        bool negated = false;
        if (isKw(Keyword::Not) &&
            (isKw(Keyword::Like, 1) || isKw(Keyword::Between, 1) || isKw(Keyword::In, 1))) {
            advance();
            negated = true;
        }
        if (acceptKw(Keyword::Like)) {
            std::vector<ExprPtr> args;
            args.push_back(std::move(left));
            args.push_back(concat());
            left = checked(makeNode(ExprKind::Like, std::move(args), pos, negated));
        } else if (acceptKw(Keyword::Between)) {
            std::vector<ExprPtr> args;
            args.push_back(std::move(left));
            args.push_back(concat());
            expectKw(Keyword::And);
            args.push_back(concat());
            left = checked(makeNode(ExprKind::Between, std::move(args), pos, negated));
        } else if (acceptKw(Keyword::In)) {
            if (!is(TokenKind::LParen)) failHere();
            if (isKw(Keyword::Select, 1)) {
                left = checked(makeSelectNode(ExprKind::InSelect, std::move(left),
                                              parenthesizedSelect(), pos, negated));
            } else {
                Nest nest(*this);
                advance();
                std::vector<ExprPtr> args;
                args.push_back(std::move(left));
                for (auto& e : exprList()) args.push_back(std::move(e));
                expect(TokenKind::RParen);
                left = checked(makeNode(ExprKind::InList, std::move(args), pos, negated));
            }
        } else if (acceptKw(Keyword::Is)) {
            bool isNot = acceptKw(Keyword::Not);
            expectKw(Keyword::Null);
            std::vector<ExprPtr> args;
            args.push_back(std::move(left));
            left = checked(makeNode(ExprKind::IsNull, std::move(args), pos, isNot));
        } else {
            return left;
        }
    }
}

ExprPtr Parser::concat() {
    auto left = additive();
    while (accept(TokenKind::Amp))
        left = checked(makeBinary(Op::Concat, std::move(left), additive()));
    return left;
}

ExprPtr Parser::additive() {
    auto left = modulo();
    for (;;) {
        if (accept(TokenKind::Plus))
            left = checked(makeBinary(Op::Add, std::move(left), modulo()));
        else if (accept(TokenKind::Minus))
            left = checked(makeBinary(Op::Sub, std::move(left), modulo()));
        else
            return left;
    }
}

ExprPtr Parser::modulo() {
    auto left = intDivision();
    while (acceptKw(Keyword::Mod))
        left = checked(makeBinary(Op::Mod, std::move(left), intDivision()));
    return left;
}

ExprPtr Parser::intDivision() {
    auto left = multiplicative();
    while (accept(TokenKind::Backslash))
        left = checked(makeBinary(Op::IntDiv, std::move(left), multiplicative()));
    return left;
}

ExprPtr Parser::multiplicative() {
    auto left = unary();
    for (;;) {
        if (accept(TokenKind::Star))
            left = checked(makeBinary(Op::Mul, std::move(left), unary()));
        else if (accept(TokenKind::Slash))
            left = checked(makeBinary(Op::Div, std::move(left), unary()));
        else
            return left;
    }
}

ExprPtr Parser::unary() {
    if (is(TokenKind::Minus) || is(TokenKind::Plus)) {
        Nest nest(*this);
        const Token& t = advance();
        return checked(makeUnary(t.kind == TokenKind::Minus ? Op::Neg : Op::Plus, unary(), t.pos));
    }
    return power();
}

ExprPtr Parser::power() {
    auto left = primary();
    while (accept(TokenKind::Caret))
        left = checked(makeBinary(Op::Pow, std::move(left), powerOperand()));
    return left;
}

ExprPtr Parser::powerOperand() {
    if (is(TokenKind::Minus) || is(TokenKind::Plus)) {
        Nest nest(*this);
        const Token& t = advance();
        return checked(
            makeUnary(t.kind == TokenKind::Minus ? Op::Neg : Op::Plus, powerOperand(), t.pos));
    }
    return primary();
}

ExprPtr Parser::primary() {
    const Token& t = peek();
    switch (t.kind) {
        case TokenKind::Number:
            advance();
            return numberLiteral(t);
        case TokenKind::Text:
            advance();
            return makeLiteral(rt::Variant(unquoteText(text(t))), t.pos);
        case TokenKind::Date:
            advance();
            return dateLiteral(t);
        case TokenKind::Name:
            return columnOrStar(name(), t.pos);
        case TokenKind::LParen: {
            if (isKw(Keyword::Select, 1))
                return checked(
                    makeSelectNode(ExprKind::Subquery, nullptr, parenthesizedSelect(), t.pos));
            Nest nest(*this);
            advance();
            auto e = expr();
            expect(TokenKind::RParen);
            return e;
        }
        case TokenKind::Word:
            break;
        default:
            failAt(t);
    }
    switch (keywordOf(text(t))) {
        case Keyword::True:
        case Keyword::Yes:
            advance();
            return makeLiteral(rt::Variant(true), t.pos);
        case Keyword::False:
        case Keyword::No:
            advance();
            return makeLiteral(rt::Variant(false), t.pos);
        case Keyword::Null:
            advance();
            return makeNull(t.pos);
        case Keyword::Exists: {
            advance();
            if (!is(TokenKind::LParen) || !isKw(Keyword::Select, 1)) failHere();
            return checked(makeSelectNode(ExprKind::Exists, nullptr, parenthesizedSelect(), t.pos));
        }
        case Keyword::Not: {
            // NOT as an operand (x = Not y).
            Nest nest(*this);
            advance();
            return checked(makeUnary(Op::Not, unary(), t.pos));
        }
        case Keyword::Left:
        case Keyword::Right:
            if (is(TokenKind::LParen, 1)) {
                advance();
                return call(text(t).toString(), t.pos);
            }
            failAt(t);
        default:
            break;
    }
    if (!isNameToken()) failAt(t);
    advance();
    if (is(TokenKind::LParen)) return call(text(t).toString(), t.pos);
    return columnOrStar(text(t).toString(), t.pos);
}

ExprPtr Parser::columnOrStar(QString first, qsizetype pos) {
    if (!accept(TokenKind::Dot)) return makeColumn(QString(), std::move(first), pos);
    if (accept(TokenKind::Star)) return makeStar(std::move(first), pos);
    QString second = name();
    if (is(TokenKind::Dot)) unsupported(QStringLiteral("name"), peek());
    return makeColumn(std::move(first), std::move(second), pos);
}

ExprPtr Parser::call(QString fname, qsizetype pos) {
    Nest nest(*this);
    expect(TokenKind::LParen);
    std::vector<ExprPtr> args;
    if (!accept(TokenKind::RParen)) {
        if (is(TokenKind::Star) && is(TokenKind::RParen, 1)) {
            args.push_back(makeStar(QString(), advance().pos));
        } else {
            if (isKw(Keyword::Distinct) || isKw(Keyword::DistinctRow))
                unsupported(QStringLiteral("DISTINCT inside ") + quoted(fname), peek());
            args = exprList();
        }
        expect(TokenKind::RParen);
    }
    return checked(makeCall(std::move(fname), std::move(args), pos));
}

ExprPtr Parser::numberLiteral(const Token& t) {
    const QString s = text(t).toString();
    const bool whole = !s.contains(u'.') && !s.contains(u'e', Qt::CaseInsensitive);
    if (whole) {
        bool ok = false;
        qlonglong v = s.toLongLong(&ok);
        if (ok && v <= std::numeric_limits<int32_t>::max())
            return makeLiteral(rt::Variant(int32_t(v)), t.pos);
    }
    bool ok = false;
    double d = s.toDouble(&ok);
    if (!ok || !std::isfinite(d)) {
        syntaxError(QStringLiteral("Invalid number near ") + quoted(text(t)));
    }
    return makeLiteral(rt::Variant(d), t.pos);
}

ExprPtr Parser::dateLiteral(const Token& t) {
    const QString inner = innerText(text(t));
    auto d = settings_.readDate(inner);
    if (!d) syntaxError(QStringLiteral("Invalid date literal near ") + quoted(text(t)));
    return makeLiteral(rt::Variant(*d), t.pos);
}

}  // namespace

Statement parse(const QString& text, const rt::RegionalSettings& settings) {
    Parser p(text, settings);
    return p.statement();
}

ExprPtr parseExpression(const QString& text, const rt::RegionalSettings& settings,
                        const QString& implicitColumn) {
    Parser p(text, settings);
    return p.wholeExpression(implicitColumn);
}

}  // namespace db::jet
