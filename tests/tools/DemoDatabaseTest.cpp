// The demo DataBase folder: the files, the years, the password, and that an
// existing folder is not overwritten unless asked.
#include "Errors.h"
#include "LibFixture.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Schema.h"
#include "platform/runtime/Error.h"

#include <QDir>
#include <QFileInfo>

namespace {

using testing_support::LibTest;

std::shared_ptr<db::Connection> openWith(const QString& path, const QString& password) {
    auto c = db::Connection::create();
    c->setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
                           QStringLiteral(";Jet OLEDB:Database Password=") + password);
    c->Open();
    return c;
}

class DemoDatabaseTest : public LibTest {};

TEST_F(DemoDatabaseTest, WritesTheBootstrapAndThreeYearDatabases) {
    demo::Options o;
    o.today = QDate(2027, 2, 10);  // the accounting year 2026-27
    const QStringList made = demo::makeDemoDatabase(dataFolder(), o);
    EXPECT_EQ(made.size(), 4);
    QStringList names = QDir(dataFolder()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names, (QStringList{"DB2024_25.mdb", "DB2025_26.mdb", "DB2026_27.mdb",
                                  "DBStart.mdb"}));

    auto boot = openWith(dataFolder() + "/DBStart.mdb", systemDatabasePassword());
    db::Recordset rs;
    rs.Open(QStringLiteral("select minYear, maxYear, curryear from DB_Years order by minYear"), boot);
    int rows = 0, current = 0;
    for (; !rs.Eof(); rs.MoveNext(), ++rows) {
        EXPECT_EQ(rs.Fields(1).Value().asInt32(), rs.Fields(0).Value().asInt32() + 1);
        if (rs.Fields(2).Value().asBool()) {
            ++current;
            EXPECT_EQ(rs.Fields(0).Value().asInt32(), 2026);
        }
    }
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(current, 1);

    const QStringList expected = {"CUSTPO", "DCINV", "DCOUTGOINGINV", "DCSUBCONOUTGOING",
                                  "ImpSystems", "OnLineUsers", "PURCHPO", "SUBCONPO",
                                  "User1", "errlog", "logs"};
    auto year = openWith(dataFolder() + "/DB2026_27.mdb", systemDatabasePassword());
    QStringList tables = db::userTables(*year);
    for (const QString& t : expected) EXPECT_TRUE(tables.contains(t, Qt::CaseInsensitive)) << t.toStdString();
    // Rows dated after today wait for the date repair; stale occupancy records for the other.
    rs.Close();
    rs.Open(QStringLiteral("select count(*) from logs where dates>#2027-02-10#"), year);
    EXPECT_EQ(rs.Fields(0).Value().asInt32(), 3);
    rs.Close();
    rs.Open(QStringLiteral("select count(*) from OnLineUsers"), year);
    EXPECT_GT(rs.Fields(0).Value().asInt32(), 0);
}

TEST_F(DemoDatabaseTest, EveryFileCarriesTheSystemsPassword) {
    makeDemo();
    for (const QString& f : QDir(dataFolder()).entryList({"*.mdb"}, QDir::Files))
        EXPECT_EQ(testing_support::errorOf(
                      [&] { openWith(dataFolder() + u'/' + f, QStringLiteral("guess")); }),
                  rt::err::DbBadPassword)
            << f.toStdString();
}

TEST_F(DemoDatabaseTest, AnExistingFolderIsKeptUnlessOverwriteIsAsked) {
    makeDemo();
    auto year = openWith(dataFolder() + "/DB2026_27.mdb", systemDatabasePassword());
    year->Execute(QStringLiteral("Delete * from OnLineUsers"));
    year->Close();
    EXPECT_THROW(makeDemo(), rt::Error);
    year = openWith(dataFolder() + "/DB2026_27.mdb", systemDatabasePassword());
    db::Recordset rs;
    rs.Open(QStringLiteral("select count(*) from OnLineUsers"), year);
    EXPECT_EQ(rs.Fields(0).Value().asInt32(), 0);  // untouched
    rs.Close();
    year->Close();
    demo::Options o;
    o.today = fake.clock->today();
    o.overwrite = true;
    demo::makeDemoDatabase(dataFolder(), o);
    year = openWith(dataFolder() + "/DB2026_27.mdb", systemDatabasePassword());
    rs.Open(QStringLiteral("select count(*) from OnLineUsers"), year);
    EXPECT_GT(rs.Fields(0).Value().asInt32(), 0);
    EXPECT_TRUE(QDir(dataFolder()).entryList({"*.part"}, QDir::Files).isEmpty());
}

}  // namespace
