// A small writer of Jet 3 and Jet 4 database files for the importer's tests,
// written from the format as mdbtools documents it (HACKING.md): the
// definition page, the catalog MSysObjects with its properties (LvProp), table
// definitions with columns, logical and real indexes, usage maps, data pages
// with rows (moved rows too), long values inline or on LVAL pages, and the
// system tables MSysRelationships and MSysQueries. The files it writes are
// read by libmdb and by the importer; their values are known to the test
// that wrote them, so they are an independent reading of the stored bytes.
#pragma once

#include "platform/runtime/Variant.h"
#include "tools/jetimport/JetQueries.h"
#include "tools/jetimport/JetReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <set>
#include <vector>

namespace jetwriter {

using jetimport::JetColumnType;
using rt::Variant;

enum class Version { Jet3, Jet4 };

struct Property {
    QString name;
    Variant value;  // Text or Boolean
};

struct Column {
    QString name;
    JetColumnType type = JetColumnType::Long;
    int length = 0;  // Text: characters (default 50); Binary: bytes (default 16)
    bool autoNumber = false;
    bool autoGuid = false;
    int precision = 18;  // Decimal
    int scale = 0;
    int number = -1;   // its number in the rows' null mask; -1: the next one
    int codePage = 0;  // Jet 3 text: the column's own code page (0: the file's)
    std::vector<Property> props;
};

struct Index {
    QString name;
    QStringList columns;
    bool primaryKey = false;
    bool unique = false;
    bool foreignKey = false;
    std::vector<bool> descending = {};
    int keyNumberOverride = -1;  // writes this column number as its first key (for damage)
};

using Row = std::vector<Variant>;  // a value per column; Date, or Double for a raw serial

struct Table {
    QString name;
    std::vector<Column> columns;
    std::vector<Index> indexes;
    std::vector<Row> rows;
    std::set<int> movedRows;      // row positions stored elsewhere, their place pointing there
    std::set<int> deletedRows;    // row positions stored, but flagged deleted
    std::vector<Property> props;  // the table's own (ValidationRule ...)
    QByteArray rawProps;          // written as its LvProp instead, when not empty
    int64_t recordedRows = -1;    // the count the definition records; -1: rows.size()
    int64_t lastAutoNumber = -1;  // -1: the number of rows when there is an AutoNumber
    bool system = false;
    bool compressText = false;  // Jet 4 Unicode compression where it helps
    int usageMapKind = 0;       // 0 or 1 (pages listed on usage-map pages)
};

struct Query {
    QString name;
    int32_t flags = 0;  // the catalog's flags (the query kind in 0xF0)
    std::vector<jetimport::QueryRow> rows;
};

struct Relationship {
    QString name;
    QString table;  // the many side
    QStringList columns;
    QString referencedTable;  // the one side
    QStringList referencedColumns;
    int32_t grbit = 0;  // 0x2 not enforced, 0x100 cascade updates, 0x1000 cascade deletes
};

struct OtherObject {
    QString name;
    int type = 0;  // 6 linked table, -32768 form ...
};

struct Database {
    Version version = Version::Jet4;
    int codePage = 1252;  // Jet 3 text
    QString password;
    uint32_t pageKey = 0;  // non-zero: pages encrypted
    std::vector<Table> tables;
    std::vector<Query> queries;
    std::vector<Relationship> relationships;
    std::vector<OtherObject> others;
};

QByteArray write(const Database& db);
// Writes the file; returns its path.
QString writeFile(const QString& path, const Database& db);

// Convenience for columns.
Column column(const QString& name, JetColumnType type, int length = 0);

// The page size of a version.
int pageSize(Version v);

}  // namespace jetwriter
