// Opening database files: the connection string, the kinds of file refused,
// passwords, and that a failed open leaves every file as it was.
#include "DbTestSupport.h"

#include "platform/db/Engine.h"
#include "platform/db/PasswordVerifier.h"
#include "platform/runtime/Error.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QFile>
#include <QFileInfo>

#include <tuple>

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


// ---- One builder for connection strings ----

struct QuotingCase {
    const char* name;  // printable test name
    const char16_t* value;
};
void PrintTo(const QuotingCase& c, std::ostream* os) { *os << c.name; }
const QuotingCase kQuotingCases[] = {
    {"Plain", u"abc"},
    {"Empty", u""},
    {"Semicolon", u"se;cret"},
    {"DoubleQuote", u"a\"b"},
    {"SingleQuote", u"it's"},
    {"BothQuotes", u"\"it's\""},
    {"Equals", u"a=b"},
    {"OuterBlanks", u"  pw  "},
    {"AnotherSource", u"x;Data Source=/other.mdb"},
    {"FolderWithSemicolon", u"/srv/shop;2026/DataBase/DB2026_27.mdb"},
};

class ConnectionStringValues : public ::testing::TestWithParam<QuotingCase> {};

TEST_P(ConnectionStringValues, ReadBackAsThemselvesAsSourceAndAsPassword) {
    const QString value = QString::fromUtf16(GetParam().value);
    const auto parts = db::parseConnectionString(db::jetConnectionString(value + u'x', value));
    EXPECT_EQ(parts.dataSource, value + u'x');
    EXPECT_EQ(parts.password, value);
}

INSTANTIATE_TEST_SUITE_P(Quoting, ConnectionStringValues, ::testing::ValuesIn(kQuotingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionString, TheSystemsOwnTextIsUnchangedWhenNothingNeedsQuoting) {
    EXPECT_EQ(db::jetConnectionString(QStringLiteral("C:\\App\\DataBase\\DBStart.mdb"),
                                      QStringLiteral("pw")),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\App\\DataBase\\"
                             "DBStart.mdb;Persist Security Info=False;Jet OLEDB:Database "
                             "Password=pw"));
    EXPECT_EQ(db::connectionStringValue(QStringLiteral("p;w")), QStringLiteral("\"p;w\""));
    EXPECT_EQ(db::connectionStringValue(QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
    // A quoted value must be closed, and nothing may follow it but the ';'.
    EXPECT_THROW(db::parseConnectionString(QStringLiteral(
                     "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/a.mdb")),
                 rt::Error);
    EXPECT_THROW(db::parseConnectionString(QStringLiteral(
                     "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/a.mdb\"x;Password=1")),
                 rt::Error);
}

TEST(ConnectionString, LockWaitIsANumberOfMilliseconds) {
    const QString base = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x;");
    EXPECT_EQ(db::parseConnectionString(base).lockWaitMs, -1);
    EXPECT_EQ(db::parseConnectionString(base + QStringLiteral("Lock Wait=250")).lockWaitMs, 250);
    EXPECT_THROW(db::parseConnectionString(base + QStringLiteral("Lock Wait=soon")), rt::Error);
    EXPECT_THROW(db::parseConnectionString(base + QStringLiteral("Lock Wait=-5")), rt::Error);
}

TEST_F(OpenTest, APasswordThatLooksLikeAnotherSourceOpensTheFileNamed) {
    // jetsql, as support staff start it: the password holds ';Data Source='.
    const QString decoy = dir.filePath(QStringLiteral("other.mdb"));
    const QString password = QStringLiteral("x;Data Source=") + decoy;
    const QString target = dir.filePath(QStringLiteral("shop;2026.mdb"));
    for (const auto& [file, pw, table] :
         {std::tuple{decoy, QStringLiteral("x"), QStringLiteral("Decoy")},
          std::tuple{target, password, QStringLiteral("Target")}}) {
        db::createDatabaseFile(file, pw);
        auto c = dbtest::open(file, pw);
        db::createTable(*c, db::TableDef{table, {dbtest::column("A", db::JetType::Long)}, {}});
    }
    QProcess p;
    p.start(QStringLiteral(NARVO_BINARY_DIR "/tools/jetsql/jetsql"),
            {QStringLiteral("--password"), password, QStringLiteral("--csv"), target,
             QStringLiteral("select count(*) as n from Target")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), QByteArray("n\n0\n"));
}

TEST_F(OpenTest, TheConnectionStringsLockWaitReachesTheEngine) {
    auto c = db::Connection::create();
    c->setConnectionString(dbtest::connectionString(path, QStringLiteral("pw")) +
                           QStringLiteral(";Lock Wait=150"));
    c->Open();
    EXPECT_EQ(c->engine().lockWait(), 150);
    c->Close();
    c->setConnectionString(dbtest::connectionString(path, QStringLiteral("pw")));
    c->Open();
    EXPECT_EQ(c->engine().lockWait(), db::kBusyTimeoutMs);
}

// ---- The password verifier ----

// PBKDF2-HMAC-SHA256 known answers (RFC 7914, section 11): the verifier is the
// first 32-byte block of each.
TEST(PasswordVerifier, MatchesThePublishedPbkdf2HmacSha256Vectors) {
    EXPECT_EQ(db::passwordDigest(QStringLiteral("passwd"), QByteArray("salt"), 1).toHex(),
              QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"));
    EXPECT_EQ(db::passwordDigest(QStringLiteral("Password"), QByteArray("NaCl"), 80000).toHex(),
              QByteArray("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"));
}

}  // namespace
