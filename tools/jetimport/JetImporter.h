// Converting real Jet 3 and Jet 4 database files (DBStart.mdb and the year
// databases) into the copies that the database layer opens: SQLite files under
// the same names, protected by the system's password verifier, with every
// user table, its columns (Jet types kept in the declared types), its primary
// key, unique and other indexes, AutoNumber columns and every value exactly;
// and the rules the data lives by: relationships as foreign keys with their
// cascades, validation rules, Required and "allow zero length = No" as checks
// whose failure reports the rule's own text, expression defaults, and saved
// select queries as views (other saved queries kept as text in the table
// MSysSavedQueries). Whatever is not carried over is listed with its reason.
//
// The originals are only read. A copy is written under a temporary name in the
// target folder and renamed only when complete and its row counts checked; an
// existing file is never overwritten; a failure leaves no file behind, and the
// unfinished copy of an import that was killed is removed by the next import
// into the same folder.
#pragma once

#include "lib/db/SystemPassword.h"
#include "platform/db/Schema.h"
#include "tools/jetimport/JetReader.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace jetimport {

struct ImportOptions {
    // The database password of the Jet file(s); empty for none.
    QString sourcePassword;
    // The password whose verifier every copy carries.
    QString targetPassword = systemDatabasePassword();
    // Rows between two progress reports of a table.
    int64_t progressEvery = 10000;
    // A file that was not closed properly can record a row count that differs
    // from the rows every reader reads: by default a warning, with
    // strictCounts a refusal of the file.
    bool strictCounts = false;
    // How long libmdb may take over the catalog before the file is refused.
    int catalogTimeoutMs = 60000;
};

struct TableResult {
    QString name;
    int64_t rows = 0;
    int columns = 0;
    int indexes = 0;
};

struct FileResult {
    QString source;
    QString target;
    bool ok = false;
    int32_t errorNumber = 0;  // when !ok
    QString error;            // when !ok: the description, naming the file
    std::vector<TableResult> tables;
    // What was not carried over, each with its reason: queries kept as text,
    // linked tables, rules and defaults that cannot be translated ...
    QStringList notes;
    // What was carried over but deserves a look: tables brought over under
    // another name, recorded row counts that differ, rows that break a rule,
    // values not a number stored as Null, what libmdb said, unfinished
    // copies of stopped imports removed.
    QStringList warnings;
    int64_t rows = 0;
    int relationships = 0;  // foreign keys made
    int rules = 0;          // checks made (validation rules, Required, zero length)
    int views = 0;          // saved select queries made views
    int keptQueries = 0;    // saved queries kept as text
    double seconds = 0;
};

// Hears how an import goes; every method has a default that does nothing.
class ImportObserver {
  public:
    virtual ~ImportObserver() = default;
    virtual void fileStarted(const QString& source, const QString& target) {}
    virtual void tableStarted(const QString& table, int64_t expectedRows) {}
    // Every ImportOptions::progressEvery rows.
    virtual void rowsCopied(const QString& table, int64_t copied, int64_t expectedRows) {}
    virtual void tableFinished(const TableResult& table) {}
    virtual void fileFinished(const FileResult& result) {}
    // Polled between rows: true stops the import, which then fails and removes
    // the unfinished copy.
    virtual bool cancelRequested() { return false; }
};

// Converts the Jet file `source` into a new copy at `target`:
//   1. opens the source (a Jet 3 or Jet 4 file whose database password, if
//      any, is options.sourcePassword), refuses a target that exists, and
//      removes the unfinished copies that stopped imports left in the folder;
//   2. plans every table: names in the copy, columns, keys, checks, foreign
//      keys, indexes (names that cannot collide);
//   3. creates the copy under a temporary name in the target's folder, with
//      the verifier of options.targetPassword;
//   4. per user table: creates it, copies its rows in one transaction,
//      compares the count with the one the Jet table records, then makes its
//      indexes (a unique index the rows break refuses the file);
//   5. makes views of the saved select queries, keeps the others as text,
//      counts the rows that break a rule or a relationship;
//   6. reads the row counts back, makes the copy durable and renames it to
//      `target` (never replacing a file that appeared meanwhile).
// Returns the result (ok) on success. Throws rt::Error whose description names
// the file at fault; then neither `target` nor the temporary copy exists.
FileResult importFile(const QString& source, const QString& target,
                      const ImportOptions& options = {}, ImportObserver* observer = nullptr);

// Converts a file or a folder. A folder: every file ending in ".mdb" (in any
// letter case) directly in it, by name, into the folder `target` (created when
// missing) under the same names. A file: into `target`, or into the folder
// `target` under its own name when `target` is an existing folder. Each file is
// converted on its own; a failure is recorded in its result and the others go
// on. Throws rt::Error only when `source` is neither a file nor a folder or
// the target folder cannot be made.
std::vector<FileResult> importPath(const QString& source, const QString& target,
                                   const ImportOptions& options = {},
                                   ImportObserver* observer = nullptr);

// How a Jet column is declared in the copy. Default values that are neither
// plain literals nor Date(), Now(), Time() or GenGUID() are left out and
// described in `notes`. Throws rt::Error for a column type the importer does
// not convert.
db::ColumnDef columnDefFor(const JetTable& table, const JetColumn& column, QStringList* notes);

// The largest amount of money the copies hold exactly with every one of its
// four decimals: 2^39 = 549,755,813,888 (beyond it, whole amounts and amounts
// whose stored number still reads back exactly are kept; others refuse the
// file).
inline constexpr int64_t kExactCurrencyBound = int64_t(1) << 39;

// The table of the copy that keeps the message of every check by its name.
inline constexpr const char* kConstraintTextTable = "MSysConstraintText";
// The table of the copy that keeps the saved queries that are not views.
inline constexpr const char* kSavedQueriesTable = "MSysSavedQueries";

// For a fatal-signal handler: removes the copy being written, if any.
// Async-signal-safe.
void removeUnfinishedCopy() noexcept;

}  // namespace jetimport
