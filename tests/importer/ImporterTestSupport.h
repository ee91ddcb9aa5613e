// Helpers for the importer's tests: the shared Jet sample files (read in
// place), copies opened through the database layer with the connection string
// the library builds, and the contents of a folder.
#pragma once

#include "lib/db/SystemPassword.h"
#include "platform/db/Connection.h"
#include "platform/db/sqlite/SqliteEngine.h"
#include "platform/runtime/Variant.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <sqlite3.h>

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
    return db::jetConnectionString(path, password);
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

// Every row of a native SQLite statement on a copy, as text.
inline std::vector<QStringList> nativeRows(const std::shared_ptr<db::Connection>& c,
                                           const QString& sql) {
    sqlite3* h = db::sqliteHandle(c->engine());
    sqlite3_stmt* st = nullptr;
    std::vector<QStringList> rows;
    const QByteArray text = sql.toUtf8();
    EXPECT_EQ(sqlite3_prepare_v2(h, text.constData(), -1, &st, nullptr), SQLITE_OK)
        << text.constData();
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        QStringList row;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
        rows.push_back(row);
    }
    sqlite3_finalize(st);
    return rows;
}

// The offset of the first 4096-byte page of `pageType` that holds `needle`; -1
// when there is none.
inline qsizetype pageHolding(const QByteArray& file, const QByteArray& needle, char pageType) {
    for (qsizetype at = file.indexOf(needle); at >= 0; at = file.indexOf(needle, at + 1)) {
        const qsizetype page = at - at % 4096;
        if (file[page] == pageType) return page;
    }
    return -1;
}

// ASCII text as UCS-2, as Jet 4 stores names.
inline QByteArray ucs2(const char* ascii) {
    QByteArray b;
    for (const char* p = ascii; *p; ++p) b.append(*p).append('\0');
    return b;
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
