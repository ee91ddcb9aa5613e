// The jet schema's conversions of values written to columns, and Int, Fix,
// Abs, Sgn and Round of dates; part of the schema's version 2 step
// (JetSchema.cpp runs it with the rest).
#pragma once

namespace db::pg {

// jet.put_whole, put_real, put_fixed, put_date, put_yesno and put_text: a
// value as a column of that kind stores it, with the conversions and
// failures of the file engine (SQLSTATE 22003 "Numeric field overflow.",
// 22001 for a text too long, NJ013 for a value that is no number or date).
extern const char* const kJetWritesScript;

}  // namespace db::pg
