// Helpers for database tests: a database file in a temporary folder made with
// the schema helper, and the connection string the system builds.
#pragma once

#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "tests/support/PgServer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace dbtest {

inline QString connectionString(const QString& path, const QString& password) {
    return db::jetConnectionString(path, password);
}

inline std::shared_ptr<db::Connection> open(const QString& path, const QString& password,
                                            const rt::RegionalSettings* rs = nullptr,
                                            const rt::Clock* clock = nullptr) {
    auto c = db::Connection::create(rs, clock);
    c->setConnectionString(connectionString(path, password));
    c->Open();
    return c;
}

inline db::ColumnDef column(const char* name, db::JetType type, int size = 255) {
    db::ColumnDef c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.size = size;
    return c;
}

// A file "test.mdb" with password "pw" (on the server engine: a link file to
// a schema of its own) and a table of every column kind:
// Items(Id AutoNumber key, Name Text(50), Qty Integer, Code Long, Ratio Double,
// Weight Single, Price Currency, Made DateTime, Active YesNo, Notes Memo).
class DbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("test.mdb"));
        if (testing_support::onServer())
            testing_support::makeServerDatabase(path, QStringLiteral("pw"));
        else
            db::createDatabaseFile(path, QStringLiteral("pw"));
        conn = open(path, QStringLiteral("pw"), &settings);
        db::createTable(*conn,
                        db::TableDef{QStringLiteral("Items"),
                                     {column("Id", db::JetType::AutoNumber),
                                      column("Name", db::JetType::Text, 50),
                                      column("Qty", db::JetType::Integer),
                                      column("Code", db::JetType::Long),
                                      column("Ratio", db::JetType::Double),
                                      column("Weight", db::JetType::Single),
                                      column("Price", db::JetType::Currency),
                                      column("Made", db::JetType::DateTime),
                                      column("Active", db::JetType::YesNo),
                                      column("Notes", db::JetType::Memo)},
                                     {db::IndexDef{QStringLiteral("PrimaryKey"),
                                                   {QStringLiteral("Id")}, true, true},
                                      db::IndexDef{QStringLiteral("Name"),
                                                   {QStringLiteral("Name")}, false, false}}});
    }

    QTemporaryDir dir;
    QString path;
    rt::RegionalSettings settings{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    std::shared_ptr<db::Connection> conn;
};

}  // namespace dbtest
