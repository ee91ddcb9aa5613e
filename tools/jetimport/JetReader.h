// Reading a Jet 3 or Jet 4 database file: its user tables with their columns,
// keys, indexes and rules, its relationships and saved queries, and every
// stored value, exactly.
//
// libmdb reads the catalog, the column definitions and the properties, in a
// child process (LibmdbProbe.h). Everything else is read here from the
// file's pages: the catalog rows again (so that a catalog libmdb read only in
// part is noticed), the table definitions' index sections, the usage maps
// that list a table's pages, the rows, moved rows and long values. Every page
// number, offset and length is checked against the file, so that a damaged or
// cut-short file is refused as such instead of being read as wrong values.
#pragma once

#include "platform/runtime/Variant.h"
#include "tools/jetimport/JetFormat.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace jetimport {

// Column types as the table definition stores them.
enum class JetColumnType : int {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0a,
    LongBinary = 0x0b,  // OLE object
    Memo = 0x0c,
    Guid = 0x0f,  // replication id
    Decimal = 0x10,
};

// The bytes a fixed-width column type takes in a row; 0 for Yes/No (its value
// is its bit in the null mask) and for the variable-width types.
int fixedWidth(JetColumnType type);

struct JetColumn {
    QString name;
    int type = 0;             // a JetColumnType value (others are refused by the importer)
    int size = 0;             // stored bytes; Jet 4 text holds two per character
    int textLength = 0;       // Text: the length in characters
    int precision = 0;        // Decimal
    int scale = 0;            // Decimal
    bool autoNumber = false;  // Long numbered by the engine
    bool autoGuid = false;    // replication id made by the engine
    bool required = false;    // the column's Required property
    // The AllowZeroLength property of a text or memo column, when recorded.
    std::optional<bool> allowZeroLength;
    QString defaultValue;    // the DefaultValue property (a Jet expression), empty if none
    QString validationRule;  // the ValidationRule property, empty if none
    QString validationText;  // the ValidationText property
};

struct JetIndex {
    QString name;
    std::vector<int> columns;      // positions in JetTable::columns
    std::vector<bool> descending;  // per key column
    bool primaryKey = false;
    bool unique = false;
    bool foreignKey = false;  // made for a relationship
};

struct JetTable {
    QString name;
    std::vector<JetColumn> columns;  // in the table's column order
    std::vector<JetIndex> indexes;
    // Plain indexes whose key columns cannot be read: "NAME: why" (a key or a
    // unique index that cannot be read refuses the file instead).
    QStringList unreadableIndexes;
    int64_t storedRowCount = 0;  // the row count the table definition records
    int64_t lastAutoNumber = 0;  // the last AutoNumber value the table gave (0: none)
    QString validationRule;      // the table's own rule (across its columns), empty if none
    QString validationText;
};

// A relationship between two tables (MSysRelationships).
struct JetRelationship {
    QString name;
    QString table;  // the table whose rows refer (the many side)
    QStringList columns;
    QString referencedTable;  // the table referred to (the one side)
    QStringList referencedColumns;
    bool enforced = true;  // referential integrity enforced
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;
    bool inherited = false;  // defined in a linked database
};

// A saved query (MSysQueries), its Jet SQL put together from its parts.
struct JetQuery {
    enum class Kind {
        Select,
        Crosstab,
        MakeTable,
        Append,
        Update,
        Delete,
        DataDefinition,
        PassThrough,
        Union,
        Unknown
    };
    QString name;
    Kind kind = Kind::Unknown;
    QString sql;             // empty when it cannot be put together
    QStringList parameters;  // "[Name] Type" of a parameter query
    QString problem;         // why sql is empty
};
QString queryKindText(JetQuery::Kind kind);  // "select", "append" ...

class JetFile {
  public:
    struct OpenOptions {
        // How long libmdb may take to read the catalog before the file is
        // refused as damaged.
        int catalogTimeoutMs = 60000;
    };

    // Opens `path` for reading. Refuses (rt::Error naming the file) a file that
    // is missing or unreadable, is not a Jet 3 or Jet 4 database, is cut
    // short, is protected by a database password other than `password` (a file
    // without a password opens with any), or whose catalog cannot be read
    // whole. Never writes to the file.
    static std::unique_ptr<JetFile> open(const QString& path, const QString& password,
                                         const OpenOptions& options);
    static std::unique_ptr<JetFile> open(const QString& path, const QString& password) {
        return open(path, password, OpenOptions{});
    }
    ~JetFile();
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    const QString& path() const;
    const JetHeader& header() const;

    // The user tables, in catalog order (system tables left out).
    QStringList tableNames() const;
    // Objects that are neither tables nor queries: "linked table X", "form X" ...
    QStringList otherObjects() const;
    // What libmdb wrote while it read the catalog, one line each.
    QStringList diagnostics() const;
    // What the reading noticed without refusing the file (pages skipped ...).
    QStringList warnings() const;

    // The definition of a user table. Throws rt::Error when it cannot be read.
    JetTable readTable(const QString& name);

    // Reads every row of `table` (from readTable) in storage order and calls
    // `onRow` with its values in column order: Null for an empty column, Yes/No
    // as Boolean, Byte/Integer/Long as Byte/Int16/Int32, Single, Double,
    // Currency and Decimal exactly, Date/Time as Date, Text and Memo as Text,
    // Binary and OLE as Binary, replication ids as Text. Returns the number of
    // rows. Throws rt::Error naming the file, the table and the row when a row
    // or a long value is damaged, and whatever `onRow` throws.
    int64_t readRows(const JetTable& table,
                     const std::function<void(const std::vector<rt::Variant>&)>& onRow);

    // The relationships between user tables.
    std::vector<JetRelationship> relationships();
    // The saved queries, in catalog order.
    std::vector<JetQuery> queries();

  private:
    JetFile();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace jetimport
