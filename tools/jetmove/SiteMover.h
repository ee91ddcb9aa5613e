// Moving a site's DataBase folder onto a database server, in this order:
//  1. quiet-site check: every file is held against writers (a write lock
//     taken at once, kept to the end), and no screen was registered today
//     (a program still running would go on writing to the old file);
//  2. scan for values the server's types refuse (over-long texts, text or
//     out-of-range numbers in number columns, unreadable dates, Yes/No other
//     than -1/0, NUL characters, duplicate document numbers): all of them are
//     reported and nothing is moved; nothing is coerced;
//  3. in one server transaction: the jet schema installed or upgraded, one
//     schema per file with its tables, rows loaded with COPY, identity
//     counters set past the highest number, indexes (unique ones on the
//     document-number columns), the password verifier;
//  4. row counts and checksums of every table compared, file against server,
//     before the transaction commits;
//  5. link files written under temporary names, synced and renamed over the
//     .mdb names; the originals kept in before-server/ (unless told not to);
//     the server password (when the login used one) in narvo.pgpass beside.
// A failure before step 5 leaves the folder as it was and nothing on the server.
#pragma once

#include "platform/db/pg/Session.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace jetmove {

// One value the server would refuse.
struct Problem {
    QString file;
    QString table;
    QString column;
    QString row;    // the row's key or position
    QString value;  // as stored (cut to a readable length)
    QString why;
};

struct MoveOptions {
    QString folder;              // the DataBase folder
    db::pg::Keywords server;     // where to (the site's database), with the login
    QString prefix;              // schema names "<prefix>_dbstart"; empty: "dbstart"
    QString password;            // the files' database password; empty: the system's
    bool keepOriginals = true;   // false: the moved files are removed (a demo)
    bool ignoreToday = false;    // move although screens were registered today
    QDate today = QDate::currentDate();
    std::function<void(const QString&)> say;  // progress lines (may be empty)
};

struct MoveResult {
    QStringList moved;               // the .mdb files now link files
    std::vector<Problem> problems;   // when not empty, nothing was moved
    QStringList warnings;
};

// Moves the site as described above. Throws rt::Error for a failure (the
// folder and the server left as they were); refused values come back in
// `problems` with nothing moved.
MoveResult moveSite(const MoveOptions& options);

// The schema a file's name stands for: DB2026_27.mdb -> db2026_27 (with the
// prefix: p_db2026_27); empty when the name is no plain schema name.
QString schemaFor(const QString& fileName, const QString& prefix);

// The unique indexes that make a second save of a document number fail:
// (table, column) pairs; a text column's index leaves out Null and 'Nil'.
struct DocumentNumber {
    const char* table;
    const char* column;
};
const std::vector<DocumentNumber>& documentNumberColumns();

}  // namespace jetmove
