// Jet SQL parser: tokens -> Statement tree.
//
// Takes one statement, optionally followed by one ';'. Anything else after it
// (a second statement) is refused. Failures raise rt::Error(err::DbSyntax)
// with a description that quotes the offending text:
//   Syntax error near "x"
//   Unsupported function "Foo" (from the emitter)
// #date# literals are read with the regional settings given (ISO first, then
// the regional forms, then month/day/year).
#pragma once

#include <QString>

#include "platform/db/jet/Ast.h"
#include "platform/runtime/RegionalSettings.h"

namespace db::jet {

// The deepest expression tree the parser builds, and the deepest nesting of
// parentheses and sub-selects it follows; beyond them the statement is refused
// as too complex (so no input can exhaust the stack).
inline constexpr int kMaxTreeDepth = 1000;
inline constexpr int kMaxNesting = 200;

Statement parse(const QString& text, const rt::RegionalSettings& settings);

// One expression and nothing after it. When `implicitColumn` is not empty,
// a term that starts with an operator (= <> < <= > >= Between In Like Is, or
// Not before Like, Between or In) takes that column as its left operand.
ExprPtr parseExpression(const QString& text, const rt::RegionalSettings& settings,
                        const QString& implicitColumn);

// The error every refusal raises. `what` is the complete description.
[[noreturn]] void syntaxError(const QString& what);
// "Syntax error near "<text>"", the text cut to a readable length.
[[noreturn]] void syntaxErrorNear(QStringView text);

}  // namespace db::jet
