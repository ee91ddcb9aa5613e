// Converting real Jet 4 database files (DBStart.mdb and the year databases)
// into the copies that the database layer opens: SQLite files under the same
// names, protected by the system's password verifier, with every user table,
// its columns (Jet types kept in the declared types), its primary key, unique
// and other indexes and AutoNumber columns, and every value exactly.
//
// The originals are only read. A copy is written under a temporary name in the
// target folder and renamed only when complete and its row counts checked; an
// existing file is never overwritten; a failure leaves no file behind.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "lib/db/SystemPassword.h"
#include "platform/db/Schema.h"
#include "tools/jetimport/JetReader.h"

namespace jetimport {

struct ImportOptions {
    // The database password of the Jet file(s); empty for none.
    QString sourcePassword;
    // The password whose verifier every copy carries.
    QString targetPassword = systemDatabasePassword();
    // Rows between two progress reports of a table.
    int64_t progressEvery = 10000;
    // Whether a table must hold as many rows as its Jet definition records.
    // A file that was not closed properly can record a wrong count; without
    // this check such a difference only becomes a note.
    bool checkRecordedRowCounts = true;
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
    // What was not carried over: queries, linked tables, default values that
    // are expressions.
    QStringList notes;
    int64_t rows = 0;
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

// Converts the Jet 4 file `source` into a new copy at `target`:
//   1. opens the source (a Jet 4 file whose database password, if any, is
//      options.sourcePassword) and refuses a target that exists;
//   2. creates the copy under a temporary name in the target's folder, with
//      the verifier of options.targetPassword;
//   3. per user table: creates it with its columns, keys and indexes, copies
//      its rows in one transaction, and checks that the copy holds as many
//      rows as were read and as the Jet table records;
//   4. makes the copy durable and renames it to `target` (never replacing a
//      file that appeared meanwhile).
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

// How a Jet column is declared in the copy. Default values that are
// expressions other than plain literals are left out and described in `notes`.
// Throws rt::Error for a column type the importer does not convert.
db::ColumnDef columnDefFor(const JetTable& table, const JetColumn& column, QStringList* notes);

// For a fatal-signal handler: removes the copy being written, if any.
// Async-signal-safe.
void removeUnfinishedCopy() noexcept;

}  // namespace jetimport
