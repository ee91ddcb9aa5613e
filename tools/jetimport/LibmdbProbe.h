// What libmdb reads of a Jet file: the catalog, and for each table its column
// definitions and properties and its logical indexes. libmdb trusts the file's
// bytes and can crash or loop on a damaged file, so it runs in a child process
// (probeInChild): the child describes what it read in a plain structure sent
// back through a pipe, its standard error is captured, and a crash, a hang or
// a failure of the child becomes a refusal of the file, never a crash of the
// importer. Everything else (rows, long values, usage maps, index keys) the
// importer reads itself from the pages.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace jetimport {

using PropertyMap = QHash<QString, QString>;  // libmdb's text of each property

struct ProbedColumn {
    QString name;
    int type = 0;
    int size = 0;
    int number = 0;       // the bit in a row's null mask (deleted columns included)
    int varIndex = 0;     // the entry in a row's variable-offset table
    int fixedOffset = 0;  // after a row's column count
    bool fixed = false;
    bool autoLong = false;
    bool autoGuid = false;
    int precision = 0;  // libmdb's col_scale and col_prec bytes, as it reads them
    int scale = 0;
    PropertyMap props;
};

struct ProbedIndex {
    QString name;
    int number = 0;  // libmdb's index_num
    int type = 0;    // 1 primary key, 2 made for a relationship
    int flags = 0;   // 0x01 unique, 0x02 ignore nulls, 0x08 required
    // Key columns as libmdb gives them: 1-based positions in the table's
    // column list (not column numbers).
    std::vector<int> keys;
};

struct ProbedTable {
    QString name;
    uint32_t tdefPage = 0;
    std::vector<ProbedColumn> columns;  // in the table's column order
    bool indexesRead = false;
    std::vector<ProbedIndex> indexes;
    PropertyMap props;  // the table's own properties (validation rule ...)
    QString problem;    // why libmdb could not read it (then nothing else is set)
};

struct ProbedObject {
    QString name;
    int type = 0;
    uint32_t page = 0;  // Id & 0xFFFFFF: a table's definition page
    int32_t flags = 0;
};

struct Probe {
    enum class Outcome { Read, NotOpened, NoCatalog, Crashed, TimedOut, Failed };
    Outcome outcome = Outcome::Failed;
    QString why;          // for the outcomes other than Read
    QString diagnostics;  // what libmdb wrote to standard error
    std::vector<ProbedObject> catalog;
    std::vector<ProbedTable> tables;  // user tables and the system tables read
};

// Reads with libmdb in this process. `jet3CodePage` is the code page libmdb
// decodes Jet 3 names with (0: its default).
Probe probeInProcess(const QString& path, int jet3CodePage);

// Reads with libmdb in a child process that is stopped after `timeoutMs`.
// Never throws; the outcome says what happened.
Probe probeInChild(const QString& path, int jet3CodePage, int timeoutMs);
// The same for any reading: `read` runs in the child.
Probe probeInChild(const std::function<Probe()>& read, int timeoutMs);

// The system tables whose rows the importer reads besides the user tables.
bool isProbedSystemTable(const QString& name);

}  // namespace jetimport
