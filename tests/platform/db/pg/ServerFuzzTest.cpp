// The translator's fuzz inputs on the server engine: every input the
// translator accepts must be SQL the server takes. A refusal of its form or
// its types (a SQLSTATE of class 42 that no Jet text stands for) is the
// dialect's fault; Jet's own failures (type mismatch, overflow, a missing
// table, a value a column refuses) are answers, and nothing may crash or hang.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/db/Connection.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"
#include "tests/fuzz/JetFuzz.h"
#include "tests/support/PgServer.h"

namespace {

const QString kPassword = QStringLiteral("pw");

// The fuzz target's tables, in Jet's DDL, and their rows.
const char* const kTables[] = {
    "CREATE TABLE DB_Years (minYear LONG, maxYear LONG, curryear YESNO)",
    "CREATE TABLE logs (dates DATETIME)",
    "CREATE TABLE errlog (t TEXT(255), d DATETIME)",
    "CREATE TABLE OnLineUsers (DateT DATETIME, SysId LONG, UserId LONG, UserVal LONG, "
    "ScreenId LONG)",
    "CREATE TABLE User1 (UserId LONG, UserName TEXT(50))",
    "CREATE TABLE ImpSystems (SysId LONG, SysName TEXT(50))",
    "CREATE TABLE dcinv (dcinvid COUNTER PRIMARY KEY, dcno TEXT(20), invno TEXT(20), "
    "invdatet DATETIME)",
    "CREATE TABLE dcoutgoinginv (dcid COUNTER PRIMARY KEY, dcno TEXT(20), invno TEXT(20), "
    "invdatet DATETIME)",
    "CREATE TABLE SUBCONPO (suPPid LONG, PONo TEXT(50))",
    "CREATE TABLE t (a LONG, b DOUBLE, c TEXT(50), d DATETIME)",
    "CREATE TABLE u (a LONG, b DOUBLE, c TEXT(50), d DATETIME)",
    "CREATE TABLE v (a LONG, b DOUBLE, c TEXT(50), d DATETIME)",
};
const char* const kRows[] = {
    "INSERT INTO DB_Years VALUES (2021, 2022, True)",
    "INSERT INTO DB_Years VALUES (2020, 2021, False)",
    "INSERT INTO logs VALUES (#2026-12-07#)",
    "INSERT INTO logs VALUES (#2026-12-09#)",
    "INSERT INTO t VALUES (1, 2.5, 'abc', #2026-01-02#)",
    "INSERT INTO t VALUES (2, Null, Null, Null)",
    "INSERT INTO u VALUES (1, -3, 'x''y', #2025-12-31 23:59:59#)",
    "INSERT INTO u VALUES (3, 0, '', #1900-01-01#)",
    "INSERT INTO v VALUES (2, 1e300, 'Ä', #9999-12-31#)",
    "INSERT INTO v VALUES (Null, 0.5, '57/A', Null)",
};

class ServerFuzz : public ::testing::Test {
  protected:
    void SetUp() override {
        NARVO_PG_SERVER_OR_SKIP(server);
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Fuzz.mdb"));
        testing_support::makeServerDatabase(path, kPassword);
        conn = db::Connection::create(&rs, &clock);
        conn->setConnectionString(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database "
                           "Password=%2")
                .arg(path, kPassword));
        conn->Open();
        // Every statement gives up after a bounded time.
        conn->engine().execNative("SET statement_timeout = '3s'");
        reset();
    }

    // The tables as the inputs expect them, whatever the last inputs did.
    void reset() {
        for (const QString& t : conn->engine().userTables())
            conn->engine().execNative("DROP TABLE IF EXISTS " +
                                      conn->engine().dialect().quoteIdentifier(t) + " CASCADE");
        for (const char* sql : kTables) conn->Execute(QString::fromUtf8(sql));
        for (const char* sql : kRows) conn->Execute(QString::fromUtf8(sql));
    }

    // Runs one input through the connection; a fault's text, or "".
    std::string run(const QString& jet) {
        try {
            db::Recordset rs;
            rs.Open(jet, conn);
            if (rs.State() == db::adStateOpen)
                for (int n = 0; n < 100 && !rs.Eof(); ++n) rs.MoveNext();
            ++ran;
        } catch (const rt::Error& e) {
            if (e.description().isEmpty()) return "an empty error for: " + jet.toStdString();
            // The server's refusal of the SQL itself: the dialect wrote it wrong.
            if (e.description().startsWith(QLatin1String("Syntax error in the statement:")))
                return e.description().toStdString() + " for: " + jet.toStdString();
            ++refused;
        } catch (const std::exception& e) {
            return std::string("exception ") + e.what() + " for: " + jet.toStdString();
        }
        return std::string();
    }

    QTemporaryDir dir;
    rt::RegionalSettings rs{QLocale(QLocale::English, QLocale::UnitedStates)};
    rt::FixedClock clock{rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30))};
    std::shared_ptr<db::Connection> conn;
    long ran = 0;
    long refused = 0;
};

TEST_F(ServerFuzz, EveryAcceptedInputIsSqlTheServerTakes) {
    // A longer run: NARVO_FUZZ_INPUTS and NARVO_FUZZ_SEED.
    const int inputs = qEnvironmentVariableIntValue("NARVO_FUZZ_INPUTS");
    const int kInputs = inputs > 0 ? inputs : 3000;
    const uint64_t seed = qEnvironmentVariableIsSet("NARVO_FUZZ_SEED")
                              ? qEnvironmentVariable("NARVO_FUZZ_SEED").toULongLong()
                              : 20261208;
    jetfuzz::Random random(seed);
    std::vector<std::string> faults;
    for (int i = 0; i < kInputs; ++i) {
        const QString jet = jetfuzz::input(random);
        const std::string fault = run(jet);
        if (!fault.empty()) faults.push_back(fault);
        // Table definitions, SELECT ... INTO and every fiftieth input start
        // the next inputs from the same tables.
        const QString lower = jet.toLower();
        if (i % 50 == 49 || lower.contains(QLatin1String("create")) ||
            lower.contains(QLatin1String("drop")) || lower.contains(QLatin1String("alter")) ||
            lower.contains(QLatin1String(" into ")))
            reset();
    }
    for (size_t i = 0; i < faults.size() && i < 20; ++i) ADD_FAILURE() << faults[i];
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults";
    // The mix reaches both sides (most inputs that translate end in one of
    // Jet's run-time failures: random texts meet numbers).
    EXPECT_GT(ran, kInputs / 40);
    EXPECT_GT(refused, kInputs / 10);
}

}  // namespace
