// A site on the server: one database; the schema `jet`, `dbstart` for the
// bootstrap database and one schema per year database (`db2026_27`), each
// holding the tables of its file and the password verifier `msyspassword`.
// A session works in one schema: search_path = "<schema>", jet.
#pragma once

#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/Session.h"
#include "platform/runtime/RegionalSettings.h"

#include <QString>

#include <memory>
#include <string>

namespace db::pg {

// The name of the table that keeps a schema's password verifier.
inline constexpr char kVerifierTable[] = "msyspassword";

// "name" quoted for the server.
std::string quoteIdent(const QString& name);
// 'text' quoted for the server.
std::string quoteLiteral(const QString& text);

// A Qt date or time pattern (dd/MM/yyyy, HH:mm:ss, h:mm:ss AP) as the
// server's to_char pattern (DD/MM/YYYY, HH24:MI:SS, FMHH12:MI:SS AM).
QString toCharPattern(const QString& qtPattern);

// The statements that give a session the regional settings the jet functions
// read (decimal separator, short date, long time, first day of the week) and
// the date order texts are read in.
std::string regionalSettingsSql(const rt::RegionalSettings& rs);

// The libpq settings for a link: its own, the password file beside it, the
// schema search path, the lock timeout and the fixed session settings (ISO
// date output, exact floating-point text, UTF-8).
Keywords sessionKeywords(const Link& link);

// Opens a session for a link and checks, in this order: the server answers
// and accepts the login, the jet schema's version, the schema exists (a
// missing one fails as a missing database file does), and `password`
// matches the schema's verifier (none: any password). Throws rt::Error.
std::unique_ptr<Session> openLink(const Link& link, const QString& password,
                                  const rt::RegionalSettings& rs);

// Creates the schema's verifier for `password` (an empty password: none).
void writePasswordVerifier(Session& s, const QString& schema, const QString& password);
// Fails with "Not a valid password." unless the password matches.
void checkPasswordVerifier(Session& s, const QString& schema, const QString& password);

}  // namespace db::pg
