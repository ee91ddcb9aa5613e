// Several processes on one file: a statement waits for another workstation's
// lock instead of failing, and concurrent writers lose no row.
#include "DbTestSupport.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/sqlite/SqliteEngine.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <sqlite3.h>

#include <atomic>
#include <thread>

namespace {

const QString kJetsql = QStringLiteral(NARVO_BINARY_DIR "/tools/jetsql/jetsql");

class ConcurrencyTest : public dbtest::DbTest {
protected:
    // Starts jetsql inserting `rows` rows named `name`, one statement a line.
    std::unique_ptr<QProcess> startWriter(const QString& name, int rows) {
        auto p = std::make_unique<QProcess>();
        p->start(kJetsql, {QStringLiteral("--password"), QStringLiteral("pw"), path});
        EXPECT_TRUE(p->waitForStarted(10000));
        QByteArray script;
        for (int i = 0; i < rows; ++i)
            script += QStringLiteral("insert into Items (Name, Code) values ('%1', %2)\n")
                          .arg(name)
                          .arg(i)
                          .toUtf8();
        p->write(script);
        p->closeWriteChannel();
        return p;
    }
    int count(const QString& name) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from Items where Name='%1'").arg(name), conn);
        return rs.Fields(0).Value().toInt32(settings);
    }
};

TEST_F(ConcurrencyTest, AWriterWaitsForAnotherWorkstationsLock) {
    if (testing_support::onServer())
        GTEST_SKIP() << "The file's own locks, taken with sqlite3 directly; the server's locks "
                        "are tested in pg_tests";
    ASSERT_TRUE(QFileInfo::exists(kJetsql)) << kJetsql.toStdString();
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto writer = startWriter(QStringLiteral("waited"), 20);
    QThread::msleep(1500);  // the writer is blocked on the lock meanwhile
    ASSERT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(holder);
    ASSERT_TRUE(writer->waitForFinished(60000));
    EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().toStdString();
    EXPECT_EQ(writer->readAllStandardError(), QByteArray());
    EXPECT_EQ(count(QStringLiteral("waited")), 20);
}

TEST_F(ConcurrencyTest, AWriteWhileAResultIsStillReadWaitsInsteadOfFailing) {
    if (testing_support::onServer())
        GTEST_SKIP() << "The file's own locks, taken with sqlite3 directly; the server's locks "
                        "are tested in pg_tests";
    // A result larger than one batch keeps its statement (and a read lock).
    conn->engine().execNative("BEGIN");
    for (int i = 0; i < 300; ++i)
        conn->Execute(QStringLiteral("insert into Items (Name, Code) values ('r', %1)").arg(i));
    conn->engine().execNative("COMMIT");
    db::Recordset reading;
    reading.Open(QStringLiteral("select Code from Items where Name='r' order by Code"), conn);
    ASSERT_FALSE(reading.Eof());

    // Another workstation has begun a write and commits a little later.
    std::atomic<bool> begun{false};
    int otherRc = -1;
    std::thread other([&] {
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_busy_timeout(db, 20000);
        db::registerJetCollation(db);
        sqlite3_exec(db, "BEGIN IMMEDIATE; INSERT INTO Items (Name) VALUES ('other');", nullptr,
                     nullptr, nullptr);
        begun = true;
        QThread::msleep(500);
        otherRc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    while (!begun) QThread::msleep(5);
    EXPECT_NO_THROW(conn->Execute(QStringLiteral("insert into Items (Name) values ('mine')")));
    other.join();
    EXPECT_EQ(otherRc, SQLITE_OK);
    // The reader still walks its whole result.
    int n = 0;
    for (; !reading.Eof(); reading.MoveNext()) ++n;
    EXPECT_EQ(n, 300);
    EXPECT_EQ(count(QStringLiteral("mine")), 1);
    EXPECT_EQ(count(QStringLiteral("other")), 1);
}

TEST_F(ConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
    ASSERT_TRUE(QFileInfo::exists(kJetsql));
    conn->Close();
    auto a = startWriter(QStringLiteral("a"), 200);
    auto b = startWriter(QStringLiteral("b"), 200);
    ASSERT_TRUE(a->waitForFinished(120000));
    ASSERT_TRUE(b->waitForFinished(120000));
    EXPECT_EQ(a->exitCode(), 0) << a->readAllStandardError().toStdString();
    EXPECT_EQ(b->exitCode(), 0) << b->readAllStandardError().toStdString();
    conn = dbtest::open(path, QStringLiteral("pw"), &settings);
    EXPECT_EQ(count(QStringLiteral("a")), 200);
    EXPECT_EQ(count(QStringLiteral("b")), 200);
}

TEST_F(ConcurrencyTest, TheShellPrintsRowsAndReportsFailures) {
    conn->Execute(QStringLiteral("insert into Items (Name, Price) values ('Bolts', 3.5)"));
    QProcess p;
    p.start(kJetsql, {QStringLiteral("--password"), QStringLiteral("pw"), QStringLiteral("--csv"),
                      path, QStringLiteral("select Name, Price from Items")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput(), QByteArray("Name,Price\nBolts,3.5\n"));
    p.start(kJetsql, {QStringLiteral("--password"), QStringLiteral("pw"), path,
                      QStringLiteral("select * from Nowhere")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().startsWith("error -2147217865: "));
}

}  // namespace
