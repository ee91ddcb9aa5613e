// Helpers for the shell's tests: the demo year database in a temporary
// folder, and a table's definition and rows read through the database layer
// for comparing two databases table by table.
#pragma once

#include "ToolProcess.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/Maintenance.h"
#include "platform/db/Schema.h"
#include "tools/makedemo/DemoDatabase.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace tooltest {

inline std::shared_ptr<db::Connection> openDatabase(
    const QString& path, const QString& password = systemDatabasePassword()) {
    auto c = db::Connection::create();
    c->setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
                           QStringLiteral(";Jet OLEDB:Database Password=") + password);
    c->Open();
    return c;
}

using Rows = std::vector<std::vector<rt::Variant>>;

// Every row of `table`, ordered by all its columns, as the layer reads them.
inline Rows tableRows(const std::shared_ptr<db::Connection>& c, const QString& table) {
    const db::TableDef def = db::readTableDefinition(*c, table);
    QStringList cols;
    for (const db::ColumnDef& col : def.columns) cols << u'[' + col.name + u']';
    db::Recordset rs;
    rs.Open(QStringLiteral("select %1 from [%2] order by %1").arg(cols.join(u", "), table), c);
    Rows rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        std::vector<rt::Variant> row;
        for (int i = 0; i < rs.FieldCount(); ++i) row.push_back(rs.Fields(i).Value());
        rows.push_back(std::move(row));
    }
    return rows;
}

// A table definition as text, for comparing two of them: columns, kinds,
// sizes, Required, keys and indexes. Defaults are left out: a Yes/No column
// made by Jet DDL defaults to False where one made otherwise may have none.
inline QString definitionText(const std::shared_ptr<db::Connection>& c, const QString& table) {
    db::TableDef def = db::readTableDefinition(*c, table);
    for (db::ColumnDef& col : def.columns) col.defaultValue.reset();
    return (QStringList{db::jetCreateTable(def)} + db::jetCreateIndexes(def)).join(u'\n');
}

inline void expectSameRows(const Rows& a, const Rows& b, const QString& table) {
    ASSERT_EQ(a.size(), b.size()) << table.toStdString();
    for (size_t r = 0; r < a.size(); ++r) {
        ASSERT_EQ(a[r].size(), b[r].size());
        for (size_t i = 0; i < a[r].size(); ++i)
            EXPECT_EQ(a[r][i], b[r][i]) << table.toStdString() << " row " << r << " column " << i
                                        << ": " << a[r][i].debugString().toStdString() << " vs "
                                        << b[r][i].debugString().toStdString();
    }
}

// Both databases hold the same tables with the same definitions and rows.
inline void expectSameDatabases(const QString& pathA, const QString& pathB) {
    auto a = openDatabase(pathA), b = openDatabase(pathB);
    const QStringList tables = db::userTables(*a);
    EXPECT_EQ(tables, db::userTables(*b));
    for (const QString& t : tables) {
        EXPECT_EQ(definitionText(a, t), definitionText(b, t)) << t.toStdString();
        expectSameRows(tableRows(a, t), tableRows(b, t), t);
    }
}

// The demo DataBase folder in a temporary folder.
struct DemoFolder {
    QTemporaryDir dir;
    QString data = dir.filePath(QStringLiteral("DataBase"));
    QString year;  // the current year database
    DemoFolder() {
        demo::Options o;
        o.today = QDate(2027, 2, 10);
        demo::makeDemoDatabase(data, o);
        year = data + QStringLiteral("/DB2026_27.mdb");
    }
};

}  // namespace tooltest
