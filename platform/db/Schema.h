// Creating database files and tables with Jet column types.
//
// Column declarations keep the Jet type in the declared type, so that values
// read back with the variant kind of the Jet column:
//   Text(n)  TEXT(n) COLLATE NOCASE    Memo      LONGTEXT COLLATE NOCASE
//   Byte     TINYINT                   Integer   SMALLINT
//   Long     LONG                      AutoNumber INTEGER PRIMARY KEY AUTOINCREMENT
//   Single   REAL                      Double    DOUBLE
//   Currency CURRENCY                  Decimal   DECIMAL TEXT(p,s) COLLATE JETDECIMAL
//   DateTime DATETIME                  YesNo     YESNO (-1 / 0)
//   Binary   BINARY(n)                 LongBinary LONGBINARY      Guid GUID
// On this layer's connections NOCASE (and JETTEXT, which files of earlier
// versions declare) compares text without regard to letter case, beyond
// ASCII too; any other SQLite program reads the files with its own NOCASE.
// Each column also holds the rule of its kind as CHECK constraints named
// "jettype:<column>" (the kind of value), "jetrange:<column>" (the numbers
// it holds) and "jetsize:<column>" (a text's length), so that nothing can
// store a value of the wrong kind; Yes/No columns default to 0.
// Decimals are kept as their plain text ("-12.3400", every digit and the scale),
// which the TEXT affinity leaves alone; JETDECIMAL compares such texts by their
// numeric value, so that comparisons, ORDER BY and max() follow the numbers.
// Dates are stored as "yyyy-MM-dd HH:mm:ss" text, which sorts in time order.
#pragma once

#include "platform/runtime/Variant.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include <vector>

namespace db {

class Connection;
class Engine;
struct ColumnInfo;
namespace jet {
class Dialect;
struct Translation;
}

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

// A relationship: the columns of this table refer to a key of `refTable`.
struct ForeignKeyDef {
    QString name;
    QStringList columns;
    QString refTable;
    QStringList refColumns;  // empty: the referenced table's primary key
    bool cascadeUpdate = false;
    bool cascadeDelete = false;
};

// A rule every row must keep: a Jet expression (a validation rule such as
// ">=0" or "[End]>=[Start]"), translated for the engine when the table is made.
// `column` is the implicit left operand of a rule that starts with an operator.
struct CheckDef {
    QString name;
    QString column;
    QString rule;
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
    std::vector<IndexDef> indexes;  // a primaryKey entry becomes the table's key
    std::vector<ForeignKeyDef> foreignKeys = {};
    std::vector<CheckDef> checks = {};
};

// One change of the schema as a Jet DDL statement states it (CREATE TABLE,
// CREATE INDEX, DROP TABLE, DROP INDEX, ALTER TABLE ... ADD/DROP).
struct SchemaChange {
    enum class Kind {
        CreateTable,     // table
        CreateIndex,     // tableName, index
        DropTable,       // tableName
        DropIndex,       // tableName, name
        AddColumn,       // tableName, column; index when it names columns (UNIQUE ...)
        DropColumn,      // tableName, name
        AddConstraint,   // tableName, index (UNIQUE / PRIMARY KEY) or foreignKey
        DropConstraint,  // tableName, name
    };
    Kind kind = Kind::CreateTable;
    QString tableName;
    TableDef table;
    IndexDef index;
    ColumnDef column;
    std::optional<ForeignKeyDef> foreignKey;
    QString name;
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
// A rule of table `t` as the engine's condition for its CHECK constraint.
std::string checkConditionSql(const TableDef& t, const CheckDef& check, const jet::Dialect& d);

// The file engine's SQL for one Jet DDL change (names of existing indexes are
// looked up through `engine`). Throws rt::Error for what the file engine
// cannot do in place.
QString schemaChangeSql(Engine& engine, const SchemaChange& change);
// The refusals of a change that every engine makes alike (a missing table or
// field, a field that exists, a required field without a default, an
// AutoNumber or primary key field added to an existing table): raises rt::Error
// (DbSyntax, or the missing-table error).
void checkSchemaChange(Engine& engine, const SchemaChange& change);
// "Cannot find index 'I' of table 'T'."
QString missingIndexText(const QString& table, const QString& index);

// Runs a translated Jet DDL statement or SELECT ... INTO (a new table with
// the query's columns, filled with its rows), as one transaction. The rows
// written (0 for DDL). Throws rt::Error.
int64_t runDefinition(Engine& engine, const jet::Translation& translation);

// The Jet column a catalog column stands for (a copy's column in SELECT ... INTO).
ColumnDef columnDefFor(const ColumnInfo& column);

// Names of the user tables of an open connection (system tables left out).
QStringList userTables(Connection& c);

// The JETDECIMAL collation: compares two UTF-8 texts by their decimal value
// ("[-]digits[.digits]" exactly; other numeric text through its double value;
// text that is no number after every number, byte by byte).
int compareDecimalText(int length1, const void* text1, int length2, const void* text2);

}  // namespace db
