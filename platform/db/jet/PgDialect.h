// The PostgreSQL spelling of Jet SQL (the server engine's dialect).
//
// Names: the server keeps every table and column name in lower case, so every
// name is written lower-cased and quoted (Jet compares names without regard to
// letter case). Parameters are $1..$N. Jet's meaning where the server's own
// differs comes from the `jet` schema's functions (platform/db/pg/JetSchema.h):
// jet.left(), jet.val(), jet.dateadd() ...; a value a text function reads goes
// through jet.text() (the regional text of a number or a date), a value a
// number function reads through jet.num(), a date argument through jet.dt().
// Now(), Date() and Time() are written as clock markers that the engine turns
// into parameters bound to the workstation's clock for each execution.
#pragma once

#include "platform/db/jet/Translator.h"

#include <string>

namespace db::jet {

const Dialect& pgDialect();

// Markers the PostgreSQL dialect writes for Now(), Date() and Time(); the
// server engine replaces each with a parameter bound to the workstation's
// clock when the statement runs.
inline constexpr char kClockNow[] = "\x01" "NOW\x01";
inline constexpr char kClockDate[] = "\x01" "DATE\x01";
inline constexpr char kClockTime[] = "\x01" "TIME\x01";

}  // namespace db::jet
