// The `jet` schema on the server: what PostgreSQL lacks for Jet's meaning.
//
// It holds
//  - the collations: `jet.ci`, case-insensitive and non-deterministic (ICU
//    'und-u-ks-level2'), for every text column; `jet.cs`, a deterministic ICU
//    collation pinned where text is searched (LIKE, InStr), since the server
//    refuses pattern searches under a non-deterministic collation;
//  - the domains: `jet.yesno` (smallint, -1 or 0), `jet.byte` (smallint,
//    0 to 255), `jet.currency` (numeric(19,4), exact over Jet's range);
//  - the Jet functions whose meaning the server's own lack (Left with Jet's
//    errors, Val, CLng with halves to even, DateAdd, DateDiff, DatePart ...),
//    First and Last, the text form of numbers and dates, and Jet's LIKE
//    pattern as a regular expression;
//  - `jet.schema_version()`.
// Regional settings reach the functions as session settings (`jet.decimal`,
// `jet.short_date`, `jet.long_time`, `jet.first_day`; since version 2 also the
// month and weekday names, AM/PM texts, currency symbol, thousand separator,
// date order and date separator), set at connect. Functions fall back to the
// English forms for a session that does not set them.
//
// The schema is installed once per site database by the administrator's tool
// (it needs the right to create objects, and workstations must not race to
// do it); at connect the engine only checks the version. Installing is
// idempotent and upgrades an older version in place, under an advisory lock,
// in one transaction.
#pragma once

#include <QString>

#include <string>

namespace db::pg {

class Session;

// The version this program installs and needs.
inline constexpr int kJetSchemaVersion = 2;

// The installed version; 0 when the schema is missing.
int installedJetSchemaVersion(Session& s);
// Installs or upgrades the schema (every step again: a schema changed by hand
// is repaired). Returns the version found before (0: none). Fails for a
// schema newer than this program knows (it is left alone).
int installJetSchema(Session& s);
// Fails with a clear error (naming the administrator's tool) unless the
// installed version is the one this program needs or a later compatible one.
void checkJetSchema(Session& s);

// The full installation script (for the tool's --print option and tests).
std::string jetSchemaScript();
// The script of an older version: its steps alone (for tests of upgrades).
std::string jetSchemaScript(int version);

// Jet's LIKE pattern as the anchored regular expression the server matches
// with `~*` (case-insensitive) under `jet.cs`. Fails with 5 ("Invalid pattern
// string") for an unclosed '[' or a descending range, as the file engine.
// The server's jet.like_regex() does the same for patterns only known there.
QString likeRegex(const QString& jetPattern);

}  // namespace db::pg
