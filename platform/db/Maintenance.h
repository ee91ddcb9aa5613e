// What the support shell needs of a database beyond statements: the tables
// and indexes it holds, a table's definition read back as Jet types and
// written as Jet DDL, values as Jet SQL literals, an integrity check with the
// project's collations, and a consistent copy taken while other workstations
// keep working.
//
// Everything here works on an open Connection; failures raise rt::Error.
#pragma once

#include "platform/db/Schema.h"
#include "platform/runtime/Variant.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace db {

class Connection;

// One index of a table as the shell lists it.
struct IndexInfo {
    QString table;
    QString name;         // as the table definition names it (PrimaryKey, Name ...)
    QStringList columns;  // in key order
    bool unique = false;
    bool primaryKey = false;
};

// The indexes of `table` (of every user table when empty), by table then
// name. An unknown table fails as a missing table does.
std::vector<IndexInfo> listIndexes(Connection& c, const QString& table = {});

// The definition of a user table, read back as Jet types: columns in their
// order with type, size, precision and scale, Required and default value;
// the primary key and the other indexes. An unknown table fails as a
// missing table does.
TableDef readTableDefinition(Connection& c, const QString& table);

// Jet DDL for a table: "CREATE TABLE [T] ([Id] COUNTER, ..., CONSTRAINT
// [PrimaryKey] PRIMARY KEY ([Id]))" and one "CREATE [UNIQUE] INDEX" per
// other index, each statement on one line without a terminator.
QString jetCreateTable(const TableDef& t);
QStringList jetCreateIndexes(const TableDef& t);
// The Jet type of a column as DDL writes it: TEXT(50), LONG, COUNTER ...
QString jetTypeName(const ColumnDef& c);

// A value as a Jet SQL literal that reads back as the same value: 'text'
// (quotes doubled; line breaks kept), numbers with '.', #yyyy-mm-dd hh:nn:ss#,
// True/False, Null. Binary values have no Jet literal: false is returned and
// `literal` is Null.
bool jetLiteral(const rt::Variant& v, QString& literal);

// Checks the whole file: page structure, every index against its table (with
// the project's collations), and the foreign keys. The problems found, one a
// line; empty when the file is sound.
QStringList checkIntegrity(Connection& c);

// What a backup copied.
struct BackupReport {
    int64_t pages = 0;
    int64_t bytes = 0;
};

// Writes a consistent copy of the open database to `target` while other
// workstations keep working: the copy is read in one step under a read lock
// (writers wait for it like for any reader), written under a temporary name
// beside `target`, flushed and renamed, so that `target` is either absent or
// whole. Fails when `target` exists or is the database itself; nothing is
// left behind on failure. The copy keeps the database's password.
BackupReport backupDatabase(Connection& c, const QString& target);

}  // namespace db
