// Helpers for the importer's tests: the shared Jet sample files (read in
// place), copies opened through the database layer with the connection string
// the library builds, and the contents of a folder.
#pragma once

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/runtime/Variant.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace rt {
// Test failures show values as Kind(value).
inline void PrintTo(const Variant& v, std::ostream* os) { *os << v.debugString().toStdString(); }
}  // namespace rt

namespace importertest {

inline QString sample(const char* name) {
    return QDir(QStringLiteral(NARVO_JET_SAMPLES)).filePath(QString::fromLatin1(name));
}

inline QString connectionString(const QString& path, const QString& password) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(";Persist Security Info=False;Jet OLEDB:Database Password=") + password;
}

// Opens a copy the way the library opens the system's databases.
inline std::shared_ptr<db::Connection> openCopy(
    const QString& path, const QString& password = systemDatabasePassword()) {
    auto c = db::Connection::create();
    c->setConnectionString(connectionString(path, password));
    c->Open();
    return c;
}

using Rows = std::vector<std::vector<rt::Variant>>;

// Every row of a statement, every column.
inline Rows query(const std::shared_ptr<db::Connection>& c, const QString& sql) {
    db::Recordset rs;
    rs.Open(sql, c, db::adOpenDynamic, db::adLockOptimistic);
    Rows rows;
    while (!rs.Eof()) {
        std::vector<rt::Variant> row;
        for (int i = 0; i < rs.FieldCount(); ++i) row.push_back(rs.Fields(i).Value());
        rows.push_back(std::move(row));
        rs.MoveNext();
    }
    rs.Close();
    return rows;
}

// Names in a folder, hidden files included.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

inline QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

inline rt::Variant date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return rt::Variant::fromDate(QDate(y, mo, d), QTime(h, mi, s));
}
inline rt::Variant currency(int64_t scaled) { return rt::Variant(rt::Currency{scaled}); }
inline rt::Variant decimal(int64_t mantissa, int scale) {
    rt::Decimal d;
    d.mantissa = mantissa;
    d.scale = uint8_t(scale);
    return rt::Variant(d);
}

}  // namespace importertest
