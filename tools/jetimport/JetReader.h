// Reading a Jet 4 database file: its user tables, their columns and indexes,
// and every stored value, exactly.
//
// libmdb (mdbtools) finds the catalog, the table definitions, the data pages
// of each table and the long-value pages; the rows themselves are taken apart
// here and every value is decoded from its stored bytes (JetFormat.h), with
// every offset checked against the row, so that a damaged file is reported as
// damaged instead of being read as wrong values.
#pragma once

#include "tools/jetimport/JetFormat.h"

#include "platform/runtime/Variant.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
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

struct JetColumn {
    QString name;
    int type = 0;             // a JetColumnType value (others are refused by the importer)
    int size = 0;             // stored bytes; Text holds two per character
    int precision = 0;        // Decimal
    int scale = 0;            // Decimal
    bool autoNumber = false;  // Long numbered by the engine
    bool autoGuid = false;    // replication id made by the engine
    bool required = false;    // the column's Required property
    QString defaultValue;     // the DefaultValue property (a Jet expression), empty if none
};

struct JetIndex {
    QString name;
    std::vector<int> columns;  // positions in JetTable::columns
    bool primaryKey = false;
    bool unique = false;
    bool foreignKey = false;  // made for a relationship
};

struct JetTable {
    QString name;
    std::vector<JetColumn> columns;  // in the table's column order
    std::vector<JetIndex> indexes;
    int64_t storedRowCount = 0;  // the row count the table definition records
    int64_t lastAutoNumber = 0;  // the last AutoNumber value the table gave (0: none)
};

class JetFile {
  public:
    // Opens `path` for reading. Refuses (rt::Error naming the file) a file that
    // is missing or unreadable, is not a Jet database, is not Jet 4, is cut
    // short, or is protected by a database password other than `password`
    // (a file without a password opens with any). Never writes to the file.
    static std::unique_ptr<JetFile> open(const QString& path, const QString& password);
    ~JetFile();
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    const QString& path() const;
    const JetHeader& header() const;

    // The user tables, in catalog order (system tables left out).
    QStringList tableNames() const;
    // Saved queries and linked tables: objects that hold no rows of their own.
    QStringList otherObjects() const;

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

  private:
    JetFile();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace jetimport
