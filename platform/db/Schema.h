// Creating database files and tables with Jet column types.
//
// Column declarations keep the Jet type in the declared type, so that values
// read back with the variant kind of the Jet column:
//   Text(n)  TEXT(n) COLLATE JETTEXT   Memo      LONGTEXT COLLATE JETTEXT
//   Byte     TINYINT                   Integer   SMALLINT
//   Long     LONG                      AutoNumber INTEGER PRIMARY KEY AUTOINCREMENT
//   Single   REAL                      Double    DOUBLE
//   Currency CURRENCY                  Decimal   DECIMAL TEXT(p,s) COLLATE JETDECIMAL
//   DateTime DATETIME                  YesNo     YESNO (-1 / 0)
//   Binary   BINARY(n)                 LongBinary LONGBINARY      Guid GUID
// JETTEXT compares text without regard to letter case (beyond ASCII too).
// Decimals are kept as their plain text ("-12.3400", every digit and the scale),
// which the TEXT affinity leaves alone; JETDECIMAL compares such texts by their
// numeric value, so that comparisons, ORDER BY and max() follow the numbers.
// Dates are stored as "yyyy-MM-dd HH:mm:ss" text, which sorts in time order.
#pragma once

#include "platform/runtime/Variant.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <vector>

namespace db {

class Connection;

enum class JetType {
    Text,
    Memo,
    Byte,
    Integer,
    Long,
    AutoNumber,
    Single,
    Double,
    Currency,
    Decimal,
    DateTime,
    YesNo,
    Binary,
    LongBinary,
    Guid,
};

struct ColumnDef {
    QString name;
    JetType type = JetType::Text;
    int size = 255;       // Text and Binary: the length
    int precision = 18;   // Decimal
    int scale = 0;        // Decimal
    bool required = false;
    std::optional<rt::Variant> defaultValue;
};

struct IndexDef {
    QString name;
    QStringList columns;
    bool unique = false;
    bool primaryKey = false;
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    std::vector<IndexDef> indexes;  // a primaryKey entry becomes the table's key
};

// The declared type (with collation) a column gets.
QString declaredType(const ColumnDef& c);
// The variant kind a declared type delivers; Empty when the type says nothing.
rt::VarType varTypeForDeclared(const QString& declared);

// Creates a new, empty database file protected by `password` (an empty
// password: no verifier, any password opens it). Fails when the file exists.
void createDatabaseFile(const QString& path, const QString& password);

// Creates the table and its indexes on an open connection (through its engine).
void createTable(Connection& c, const TableDef& t);
// The file engine's SQL that creates the table and its indexes.
QString tableDefinitionSql(const TableDef& t);

// Names of the user tables of an open connection (system tables left out).
QStringList userTables(Connection& c);

// The JETDECIMAL collation: compares two UTF-8 texts by their decimal value
// ("[-]digits[.digits]" exactly; other numeric text through its double value;
// text that is no number after every number, byte by byte).
int compareDecimalText(int length1, const void* text1, int length2, const void* text2);

}  // namespace db
