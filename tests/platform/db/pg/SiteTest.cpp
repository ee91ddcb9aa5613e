// Opening a link: the password file beside it, the schema it names, the
// system password checked against the schema's verifier.
#include "platform/db/pg/LinkFile.h"
#include "platform/db/pg/Site.h"

#include "tests/support/Errors.h"
#include "tests/support/PgServer.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class PgSite : public ::testing::Test {
protected:
    void SetUp() override {
        NARVO_PG_SERVER_OR_SKIP(server);
        server_ = *server;
        admin = testing_support::pgAdminSession(server_);
        schema = std::make_unique<testing_support::PgSchema>(*admin, "site");
        ASSERT_TRUE(dir.isValid());
        link = testing_support::pgLink(server_, schema->name(), dir.filePath(QStringLiteral("DB2026_27.mdb")));
        QFile f(link.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(db::pg::linkText(link));
        f.close();
        hasPasswordFile = testing_support::writePgPasswordFile(server_, dir.path());
    }

    rt::RegionalSettings rs{QLocale(QLocale::English, QLocale::UnitedKingdom)};
    db::pg::Keywords server_;
    std::unique_ptr<db::pg::Session> admin;
    std::unique_ptr<testing_support::PgSchema> schema;
    QTemporaryDir dir;
    db::pg::Link link;
    bool hasPasswordFile = false;
};

TEST_F(PgSite, OpensTheSchemaTheLinkFileNames) {
    const db::pg::Link read = db::pg::readLinkFile(link.path);
    auto s = db::pg::openLink(read, QStringLiteral("any"), rs);
    db::pg::ResultPtr r = s->query("SELECT current_schema()");
    EXPECT_EQ(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)), schema->name());
    r = s->query("SHOW lock_timeout");
    EXPECT_EQ(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)), QStringLiteral("20s"));
    r = s->query("SELECT jet.text(now()::date::timestamp)");
    EXPECT_EQ(QString::fromUtf8(PQgetvalue(r.get(), 0, 0)), rs.shortDate(QDate::currentDate()));
}

TEST_F(PgSite, ChecksTheSystemPasswordAgainstTheSchemasVerifier) {
    db::pg::writePasswordVerifier(*admin, schema->name(), QStringLiteral("right"));
    EXPECT_NO_THROW(db::pg::openLink(link, QStringLiteral("right"), rs));
    try {
        db::pg::openLink(link, QStringLiteral("wrong"), rs);
        FAIL() << "opened with a wrong password";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbBadPassword);
        EXPECT_EQ(e.description(), QStringLiteral("Not a valid password."));
    }
    db::pg::writePasswordVerifier(*admin, schema->name(), QString());
    EXPECT_NO_THROW(db::pg::openLink(link, QStringLiteral("wrong"), rs));
}

TEST_F(PgSite, AMissingSchemaFailsAsAMissingDatabase) {
    db::pg::Link other = link;
    other.schema = QStringLiteral("no_such_schema");
    try {
        db::pg::openLink(other, QString(), rs);
        FAIL() << "opened a missing schema";
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbGeneric);
        EXPECT_TRUE(e.description().contains(QStringLiteral("no_such_schema"))) << e.what();
    }
}

TEST_F(PgSite, TheServerPasswordComesFromThePasswordFileBesideTheLinks) {
    if (!hasPasswordFile) GTEST_SKIP() << "the test server needs no password";
    EXPECT_NO_THROW(db::pg::openLink(link, QString(), rs));
    ASSERT_TRUE(QFile::remove(link.passwordFile()));
    // Without the file the login is refused (the database password of the
    // connection string is never offered to the server).
    EXPECT_EQ(testing_support::errorOf([&] { db::pg::openLink(link, QStringLiteral("x"), rs); }),
              rt::err::DbBadPassword);
}

}  // namespace
