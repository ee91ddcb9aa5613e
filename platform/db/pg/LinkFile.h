// Link files: a small text file under a database's name (DBStart.mdb,
// DB2026_27.mdb) that stands for a schema on a database server.
//
//   NARVO SERVER LINK 1
//   # comments and blank lines are ignored
//   host=/var/run/postgresql
//   port=5432
//   dbname=narvo_site
//   user=narvo
//   schema=db2026_27
//
// The first line makes the file recognisable (and versions the format); then
// libpq connection settings and the schema, one `key=value` a line. A
// password is never kept here: the server login's password comes from the
// libpq password file `narvo.pgpass` beside the link files (mode 0600, lines
// host:port:database:user:password), never from the program's database
// password, which is still checked against the verifier in each schema.
#pragma once

#include "platform/db/pg/Session.h"

#include <QByteArray>
#include <QString>

namespace db::pg {

inline constexpr char kLinkMagic[] = "NARVO SERVER LINK 1";
inline constexpr char kPasswordFileName[] = "narvo.pgpass";
// Link files are small; a larger file is no link file.
inline constexpr qint64 kMaxLinkFileSize = 64 * 1024;

struct Link {
    Keywords server;  // libpq settings, in file order (no password, no passfile)
    QString schema;   // the year's (or the bootstrap's) schema
    QString path;     // the file read, when read from one

    QString setting(const char* key) const;
    // The password file beside the link file.
    QString passwordFile() const;
    // "narvo_site/db2026_27 on /var/run/postgresql" for messages.
    QString label() const;
};

// True when the file begins with the link line.
bool isLinkFile(const QString& path);
// Reads and checks a link file. Throws rt::Error naming the file and the
// fault: unreadable, not a link, an unknown or repeated setting, a password
// in the file, a missing or malformed schema or database name.
Link readLinkFile(const QString& path);
// Parses link text (`path` only for messages).
Link parseLink(const QByteArray& text, const QString& path);
// The file text of a link (the first line, a comment, the settings, the schema).
QByteArray linkText(const Link& link);

// A schema name the link may carry: lower-case letters, digits and '_',
// not starting with a digit, at most 63 characters.
bool isPlainSchemaName(const QString& name);

}  // namespace db::pg
