// Opening database files: the connection string, the kinds of file refused,
// passwords, and that a failed open leaves every file as it was.
#include "DbTestSupport.h"

#include "platform/runtime/Error.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

using dbtest::connectionString;

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

rt::Error openError(const QString& cs) {
    auto c = db::Connection::create();
    c->setConnectionString(cs);
    try {
        c->Open();
    } catch (const rt::Error& e) {
        EXPECT_EQ(c->State(), db::adStateClosed);
        return e;
    }
    ADD_FAILURE() << "opened: " << cs.toStdString();
    return rt::Error(0, {});
}

TEST(ConnectionString, PartsBothSeparatorsAndTheProvider) {
    auto parts = db::parseConnectionString(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/app\\DataBase\\DBStart.mdb;"
        "Persist Security Info=False;Jet OLEDB:Database Password=secret"));
    EXPECT_EQ(parts.localPath(), QStringLiteral("/opt/app/DataBase/DBStart.mdb"));
    EXPECT_EQ(parts.password, QStringLiteral("secret"));
    // ';' ends a value unless it is quoted: what follows is no pair.
    EXPECT_THROW(db::parseConnectionString(QStringLiteral(
                     "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x;Jet OLEDB:Database "
                     "Password=se;cret")),
                 rt::Error);
    parts = db::parseConnectionString(QStringLiteral(
        "provider=microsoft.jet.oledb.4.0;data source=\"/a b/c.mdb\";Jet OLEDB:Database "
        "Password=\"p;w\""));
    EXPECT_EQ(parts.localPath(), QStringLiteral("/a b/c.mdb"));
    EXPECT_EQ(parts.password, QStringLiteral("p;w"));
    try {
        db::parseConnectionString(QStringLiteral("Provider=SQLOLEDB;Data Source=x"));
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbBadProvider);
        EXPECT_TRUE(e.description().contains(QStringLiteral("SQLOLEDB")));
    }
    EXPECT_THROW(db::parseConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0")),
                 rt::Error);
}

class OpenTest : public dbtest::DbTest {};

TEST_F(OpenTest, AMissingFileFailsAndIsNotCreated) {
    const QString missing = dir.filePath(QStringLiteral("nothere.mdb"));
    rt::Error e = openError(connectionString(missing, QStringLiteral("pw")));
    EXPECT_TRUE(e.description().contains(QStringLiteral("nothere.mdb")));
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(OpenTest, WrongPasswordFailsRightOneOpens) {
    conn->Close();
    const QByteArray before = digest(path);
    rt::Error e = openError(connectionString(path, QStringLiteral("PW")));
    EXPECT_EQ(e.number(), rt::err::DbBadPassword);
    EXPECT_EQ(e.description(), QStringLiteral("Not a valid password."));
    EXPECT_EQ(digest(path), before);
    EXPECT_NO_THROW(dbtest::open(path, QStringLiteral("pw")));
}

TEST_F(OpenTest, AFileWithoutVerifierOpensWithAnyPassword) {
    const QString open = dir.filePath(QStringLiteral("open.mdb"));
    db::createDatabaseFile(open, QString());
    EXPECT_NO_THROW(dbtest::open(open, QStringLiteral("anything")));
    EXPECT_NO_THROW(dbtest::open(open, QString()));
}

TEST_F(OpenTest, CreatingRefusesAnExistingFile) {
    const QByteArray before = digest(path);
    EXPECT_THROW(db::createDatabaseFile(path, QString()), rt::Error);
    conn->Close();
    EXPECT_EQ(digest(path), before);
}

TEST_F(OpenTest, JetFilesOtherFilesAndDamagedFilesAreRefusedUntouched) {
    // A real Jet file, used in place.
    const QString jet = QStringLiteral(NARVO_JET_SAMPLES "/no-password-v2003.mdb");
    if (QFileInfo::exists(jet)) {
        const QByteArray before = digest(jet);
        rt::Error e = openError(connectionString(jet, QString()));
        EXPECT_TRUE(e.description().contains(QStringLiteral("jetimport"))) << e.what();
        EXPECT_EQ(digest(jet), before);
    }
    // A text file.
    const QString text = dir.filePath(QStringLiteral("notes.mdb"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("just some notes, not a database\n");
    }
    rt::Error e = openError(connectionString(text, QString()));
    EXPECT_TRUE(e.description().contains(QStringLiteral("Unrecognized database format")));
    // A damaged database: the header is intact, the first page is not.
    conn->Close();
    const QString damaged = dir.filePath(QStringLiteral("damaged.mdb"));
    ASSERT_TRUE(QFile::copy(path, damaged));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(100);
        f.write(QByteArray(3000, '\xA5'));
    }
    const QByteArray before = digest(damaged);
    e = openError(connectionString(damaged, QStringLiteral("pw")));
    EXPECT_TRUE(e.description().contains(QStringLiteral("damaged")) ||
                e.description().contains(QStringLiteral("Unrecognized")))
        << e.what();
    EXPECT_EQ(digest(damaged), before);
    // An empty file.
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    QFile(empty).open(QIODevice::WriteOnly);
    openError(connectionString(empty, QString()));
    EXPECT_EQ(QFileInfo(empty).size(), 0);
}

TEST_F(OpenTest, CloseTwiceFailsAndOpenTwiceFails) {
    EXPECT_THROW(conn->Open(), rt::Error);
    conn->Close();
    try {
        conn->Close();
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbObjectClosed);
    }
}

TEST_F(OpenTest, TextColumnsCompareWithoutRegardToCase) {
    conn->Execute(QStringLiteral("insert into Items (Name) values ('Nil')"));
    conn->Execute(QStringLiteral("insert into Items (Name) values ('ÄRGER')"));
    db::Recordset rs;
    rs.Open(QStringLiteral("select count(*) from Items where Name='nil' or Name='ärger'"), conn);
    EXPECT_EQ(rs.Fields(0).Value().toInt32(settings), 2);
    rs.Close();
    rs.Open(QStringLiteral("select Name from Items where Name<>'NIL'"), conn);
    EXPECT_EQ(rs.Fields(0).Value().asText(), QStringLiteral("ÄRGER"));
}

}  // namespace
