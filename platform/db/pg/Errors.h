// The one place where the server's failures become rt::Error.
//
// A failure carries a SQLSTATE (five characters); the numbers and texts are
// those the file engine gives for the same trouble, so callers and the error
// trail read alike on both engines:
//   the provider's own words (Coerce.h, ProviderErrors.h) first: a value a
//         column cannot take (22001, 22P02, 22003 in a write, 23502, 42804,
//         the jet.byte domain's check), 21000 a subquery of several rows, 42702 an
//         ambiguous name, 54011 too many fields, 42P07 a name already taken
//   55P03 lock_not_available, 40P01 deadlock_detected, 40001 serialization
//         failure                      -> "... locked by another user ..."
//   23505 unique_violation             -> the duplicate-key error (DbConstraint)
//   23xxx other integrity violations   -> "... would break a rule of the table"
//   42P01 undefined_table              -> the missing-table error
//   42703 undefined_column             -> "No value given for one or more ..."
//   42601 and other class 42 failures  -> syntax error (DbSyntax)
//   22xxx data exceptions              -> "Data type mismatch ..." and kin
//   NJxxx raised by the jet schema's functions (xxx: the run-time's number,
//         e.g. NJ094 "Invalid use of Null"), 22012, 22003: a failing Jet
//         function, reported as the file engine reports one (DbGeneric with
//         the run-time's text)
//   08xxx, 57P0x and a lost connection -> "The connection to the server ... was lost"
#pragma once

#include "platform/runtime/Error.h"

#include <QString>

#include <functional>
#include <string>

struct pg_conn;
struct pg_result;

namespace db::pg {

// The error a server failure stands for. `where` names the server and
// schema for failures that concern the whole connection; `context` (a table
// name, a file) is added to the description when not empty.
// `sql`, when given, is the statement that failed: a table or column the
// server names in lower case is named as the statement wrote it (the dialect
// keeps the written name in a comment after each lower-cased name).
// `names`, when set, gives the written name of a table and of one of its
// columns from their lower-case names (either may come back unchanged).
using NameLookup = std::function<QString(const QString& table, const QString& column)>;
rt::Error errorFromResult(const pg_result* result, const QString& where,
                          const QString& context = {}, const std::string& sql = {},
                          const NameLookup& names = {});
// The error for a failure without a result (a connection that broke, a send
// that failed): the connection's own message.
rt::Error errorFromConnection(const pg_conn* conn, const QString& where);

// A name the server gives in lower case, as the statement `sql` wrote it
// (the dialect keeps the written form in a comment: "db_years"/*DB_Years*/);
// `lower` itself when the statement holds no such comment.
QString writtenName(const QString& lower, const std::string& sql);

// The SQLSTATE of a failed result ("" when none).
QString sqlState(const pg_result* result);

// The description for a row held by another workstation.
QString lockedText(const QString& where);

}  // namespace db::pg
