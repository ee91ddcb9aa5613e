// Values between the variant world and the server's text form.
//
// Parameters go out as text with a type number; results come back as text
// and are read as the variant kind of their Jet column:
//   int2 Int16 (Yes/No domain: Boolean; byte domain: Byte)   int4 Int32
//   int8 Int32 when it fits, else Double (count(*) is int8)
//   float4 Single   float8 Double   numeric(19,4) and the currency domain
//   Currency   other numeric Decimal   timestamp and date Date (naive)
//   text, varchar, char, uuid Text   bytea Binary   bool Boolean
#pragma once

#include "platform/db/pg/Session.h"
#include "platform/runtime/Variant.h"

namespace db::pg {

// A variant as a parameter: numbers, dates and Yes/No typed (Yes/No as -1/0,
// dates as naive timestamps, Currency and Decimal exact), texts untyped so
// that a text compared with or stored into a column takes the column's type
// (as Jet reads a literal), Null and Empty as untyped Null.
Param toParam(const rt::Variant& v);

// The typmod of numeric(19,4), the server's Currency.
inline constexpr int kCurrencyTypmod = ((19 << 16) | 4) + 4;

// The variant kind a column of a built-in type delivers (Empty: read by the
// text alone).
rt::VarType kindOfType(Oid type, int typmod);

// A result value (text form, not Null) read as `kind`; a value that does not
// read as that kind comes back as its text, as the file engine does.
rt::Variant readValue(const char* text, int length, Oid type, rt::VarType kind);

// A timestamp's text form "yyyy-MM-dd HH:mm:ss[.fff]" as a naive date-time.
std::optional<QDateTime> parseTimestamp(const char* text, int length);

}  // namespace db::pg
