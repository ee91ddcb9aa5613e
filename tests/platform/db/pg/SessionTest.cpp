// The libpq session on a real server: statements read row by row, prepared
// statements kept and renewed, a half-read query cancelled, a lost connection
// mended, and the server's failures as the file engine's errors.
#include "platform/db/pg/Errors.h"
#include "platform/db/pg/Session.h"
#include "platform/db/pg/Site.h"
#include "platform/db/pg/Values.h"

#include "tests/support/Errors.h"
#include "tests/support/PgServer.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

namespace {

using db::pg::Param;
using db::pg::Session;
using db::pg::Statement;
using db::pg::toParam;
using testing_support::errorOf;

class PgSession : public ::testing::Test {
protected:
    void SetUp() override {
        NARVO_PG_SERVER_OR_SKIP(server);
        server_ = *server;
        admin = testing_support::pgAdminSession(server_);
        schema = std::make_unique<testing_support::PgSchema>(*admin);
        session = connect();
        session->exec("CREATE TABLE t (id integer PRIMARY KEY, name varchar(20) COLLATE jet.ci)");
        session->exec("INSERT INTO t VALUES (1, 'one'), (2, 'Two'), (3, 'three')");
    }

    std::unique_ptr<Session> connect() {
        db::pg::Keywords k = server_;
        k.emplace_back("options", "-c search_path=" + schema->name().toStdString() + ",jet");
        return Session::connect(k, QStringLiteral("test"));
    }

    // Every value of column 0 of a query.
    std::vector<QString> column(Session& s, const std::string& sql, const std::vector<Param>& p = {}) {
        Statement st(s, sql, p, true);
        std::vector<QString> out;
        while (st.next()) out.push_back(QString::fromUtf8(st.value(0)));
        return out;
    }

    db::pg::Keywords server_;
    std::unique_ptr<Session> admin;
    std::unique_ptr<testing_support::PgSchema> schema;
    std::unique_ptr<Session> session;
};

TEST_F(PgSession, ReadsRowsWithTypedAndUntypedParameters) {
    EXPECT_EQ(column(*session, "SELECT name FROM t WHERE id > $1 ORDER BY id",
                     {toParam(rt::Variant(int32_t(1)))}),
              (std::vector<QString>{"Two", "three"}));
    // An untyped text parameter takes the column's type and collation.
    EXPECT_EQ(column(*session, "SELECT id FROM t WHERE name = $1", {toParam(rt::Variant("TWO"))}),
              (std::vector<QString>{"2"}));
    EXPECT_EQ(column(*session, "SELECT name FROM t WHERE id = $1", {toParam(rt::Variant("3"))}),
              (std::vector<QString>{"three"}));
}

TEST_F(PgSession, DescribesColumnsAndTheirTable) {
    Statement st(*session, "SELECT id, name, count(*) OVER () FROM t", {}, true);
    ASSERT_TRUE(st.next());
    ASSERT_EQ(st.columnCount(), 3);
    EXPECT_EQ(st.columnName(1), QStringLiteral("name"));
    EXPECT_EQ(st.columnType(0), db::pg::oid::Int4);
    EXPECT_EQ(st.columnType(2), db::pg::oid::Int8);
    EXPECT_NE(st.columnTable(1), 0u);
    EXPECT_EQ(st.columnTableIndex(1), 2);
    EXPECT_EQ(st.columnTable(2), 0u);
}

TEST_F(PgSession, CountsTheRowsAStatementChanged) {
    Statement st(*session, "DELETE FROM t WHERE id >= $1", {toParam(rt::Variant(int32_t(2)))}, false);
    EXPECT_FALSE(st.next());
    EXPECT_EQ(st.rowsAffected(), 2);
}

TEST_F(PgSession, KeepsAtMostTheLimitOfPreparedStatements) {
    for (size_t i = 0; i < db::pg::kMaxPrepared + 20; ++i) {
        const std::string sql = "SELECT id + " + std::to_string(i) + " FROM t WHERE id = $1";
        EXPECT_EQ(column(*session, sql, {toParam(rt::Variant(int32_t(1)))}).at(0),
                  QString::number(1 + i));
    }
    EXPECT_EQ(session->preparedCount(), db::pg::kMaxPrepared);
    db::pg::ResultPtr r = session->query("SELECT count(*) FROM pg_prepared_statements");
    EXPECT_EQ(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)), QString::number(db::pg::kMaxPrepared));
}

TEST_F(PgSession, PreparesAgainWhenATableChangesShape) {
    const std::string sql = "SELECT * FROM t WHERE id = $1";
    const std::vector<Param> one = {toParam(rt::Variant(int32_t(1)))};
    EXPECT_EQ(column(*session, sql, one).size(), 1u);
    admin->exec("ALTER TABLE " + db::pg::quoteIdent(schema->name()) + ".t ADD COLUMN extra integer");
    Statement st(*session, sql, one, true);
    ASSERT_TRUE(st.next());
    EXPECT_EQ(st.columnCount(), 3);
}

TEST_F(PgSession, CancelsAHalfReadQueryAndStaysUsable) {
    {
        Statement big(*session, "SELECT g FROM generate_series(1, 50000000) g", {}, true);
        ASSERT_TRUE(big.next());
        EXPECT_STREQ(big.value(0), "1");
        EXPECT_TRUE(session->busy());
    }  // destroyed half-read: the query is cancelled
    EXPECT_FALSE(session->busy());
    EXPECT_EQ(column(*session, "SELECT count(*) FROM t").at(0), QStringLiteral("3"));
}

TEST_F(PgSession, RefusesASecondStatementWhileOneIsRead) {
    Statement first(*session, "SELECT id FROM t", {}, true);
    ASSERT_TRUE(first.next());
    EXPECT_EQ(errorOf([&] { Statement second(*session, "SELECT 1", {}, true); }), rt::err::DbGeneric);
    first.cancel();
    EXPECT_EQ(column(*session, "SELECT 2").at(0), QStringLiteral("2"));
}

TEST_F(PgSession, RepeatsAReadAfterTheConnectionWasLost) {
    EXPECT_EQ(column(*session, "SELECT count(*) FROM t").size(), 1u);
    const int pid = PQbackendPID(session->handle());
    admin->exec("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
    EXPECT_EQ(column(*session, "SELECT count(*) FROM t").at(0), QStringLiteral("3"));
    EXPECT_EQ(session->reconnects(), 1);
}

TEST_F(PgSession, AStatementNotYetSentRunsOnTheNewConnection) {
    const int pid = PQbackendPID(session->handle());
    admin->exec("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
    // Preparing it finds the connection lost: nothing was sent, so it is safe
    // to run on the new connection.
    Statement st(*session, "INSERT INTO t VALUES (4, 'four')", {}, false);
    EXPECT_FALSE(st.next());
    EXPECT_EQ(st.rowsAffected(), 1);
    EXPECT_EQ(session->reconnects(), 1);
}

TEST_F(PgSession, NeverRepeatsAWriteAfterTheConnectionWasLost) {
    const std::string insert = "INSERT INTO t VALUES ($1, 'four')";
    {
        Statement st(*session, insert, {toParam(rt::Variant(int32_t(5)))}, false);  // prepared now
        st.next();
    }
    const int pid = PQbackendPID(session->handle());
    admin->exec("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
    try {
        Statement st(*session, insert, {toParam(rt::Variant(int32_t(4)))}, false);
        st.next();
        FAIL() << "a write on a lost connection reported success";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("lost"))) << e.what();
    }
    // The session mended itself: the next statement runs.
    EXPECT_EQ(column(*session, "SELECT count(*) FROM t WHERE id = 4").at(0), QStringLiteral("0"));
}

// ---- failures ----

struct Failure {
    const char* name;
    const char* sql;
    int32_t number;
    const char* text;  // part of the description
};
// Printed by its name where a failure shows the case.
void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class PgFailures : public PgSession, public ::testing::WithParamInterface<Failure> {};

TEST_P(PgFailures, ReadAsTheFileEngineReportsThem) {
    try {
        Statement st(*session, GetParam().sql, {}, false);
        while (st.next()) {
        }
        FAIL() << "no failure";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), GetParam().number) << e.what();
        EXPECT_TRUE(e.description().contains(QString::fromUtf8(GetParam().text))) << e.what();
    }
}

const Failure kFailures[] = {
    {"DuplicateKey", "INSERT INTO t VALUES (1, 'again')", rt::err::DbConstraint, "duplicate values"},
    {"NotNull", "INSERT INTO t VALUES (NULL, 'x')", rt::err::DbGeneric,
     "cannot contain a Null value because the Required property"},
    {"MissingTable", "SELECT * FROM nosuch", rt::err::DbNoSuchTable, "'nosuch'"},
    {"MissingColumn", "SELECT nosuch FROM t", rt::err::DbMissingValue, "nosuch"},
    {"Syntax", "SELEC 1", rt::err::DbSyntax, "Syntax error"},
    {"TooLong", "INSERT INTO t VALUES (9, repeat('x', 30))", rt::err::DbDataOverflow,
     "too small to accept"},
    {"ByteRange", "SELECT 300::jet.byte", rt::err::DbDataOverflow, "Numeric field overflow."},
    {"ColumnOfAnotherKind", "INSERT INTO t (id) SELECT 'x'::text", rt::err::DbTypeMismatch,
     "Data type mismatch in criteria expression."},
    {"DivisionByZero", "SELECT 1 / 0", rt::err::DbGeneric, "Division by zero"},
    {"BadNumberText", "SELECT 'abc'::integer", rt::err::DbTypeMismatch, "Data type mismatch"},
    {"SeveralRows", "SELECT (SELECT id FROM t)", rt::err::DbGeneric,
     "At most one record can be returned by this subquery."},
    {"JetFunctionFailure", "SELECT jet.left('abc', -1)", rt::err::DbGeneric,
     "Invalid procedure call or argument"},
    {"JetNull", "SELECT jet.val(NULL)", rt::err::DbGeneric, "Invalid use of Null"},
    {"YesNoDomain", "SELECT 1::jet.yesno", rt::err::DbConstraint, "break a rule"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PgFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PgSession, ARowLockedByAnotherWorkstationReadsAsLocked) {
    auto other = connect();
    other->exec("BEGIN; UPDATE t SET name = 'held' WHERE id = 1");
    session->exec("SET lock_timeout = 100");
    try {
        Statement st(*session, "UPDATE t SET name = 'mine' WHERE id = 1", {}, false);
        st.next();
        FAIL() << "no failure";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbGeneric);
        EXPECT_TRUE(e.description().contains(QStringLiteral("locked by another user"))) << e.what();
    }
    other->exec("ROLLBACK");
}

TEST_F(PgSession, ADeadlockReadsAsLocked) {
    auto other = connect();
    other->exec("BEGIN; UPDATE t SET name = 'a' WHERE id = 1");
    session->exec("BEGIN; UPDATE t SET name = 'b' WHERE id = 2");
    // The other workstation waits for row 2 (sent, not awaited) ...
    ASSERT_EQ(PQsendQuery(other->handle(), "UPDATE t SET name = 'a' WHERE id = 2"), 1);
    // ... while this one asks for row 1: one of the two is chosen as the victim.
    QString thisOne, otherOne;
    try {
        session->exec("UPDATE t SET name = 'b' WHERE id = 1");
    } catch (const rt::Error& e) {
        thisOne = e.description();
    }
    while (db::pg::ResultPtr r{PQgetResult(other->handle())}) {
        if (PQresultStatus(r.get()) == PGRES_FATAL_ERROR)
            otherOne = db::pg::errorFromResult(r.get(), QStringLiteral("other")).description();
    }
    const QString victim = thisOne.isEmpty() ? otherOne : thisOne;
    EXPECT_TRUE(victim.contains(QStringLiteral("locked by another user"))) << victim.toStdString();
    session->exec("ROLLBACK");
    other->exec("ROLLBACK");
}

TEST(PgConnect, AnUnreachableServerFailsWithAClearError) {
    db::pg::Keywords k = {{"host", "/nonexistent-folder"}, {"dbname", "x"}, {"connect_timeout", "2"}};
    try {
        Session::connect(k, QStringLiteral("x/y on nowhere"));
        FAIL() << "connected";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbGeneric);
        EXPECT_TRUE(e.description().contains(QStringLiteral("x/y on nowhere"))) << e.what();
    }
}

}  // namespace
