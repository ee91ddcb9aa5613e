// Link files: what is accepted, what is refused and why.
#include "platform/db/pg/LinkFile.h"

#include "tests/support/Errors.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using db::pg::Link;
using db::pg::parseLink;

const QByteArray kGood =
    "NARVO SERVER LINK 1\n"
    "# a comment\n"
    "\n"
    "host=/run/postgresql\n"
    "port = 5433\n"
    "dbname=narvo_site\n"
    "user=narvo\n"
    "schema=db2026_27\n";

TEST(LinkFile, ReadsServerSettingsAndSchema) {
    const Link l = parseLink(kGood, QStringLiteral("/x/DataBase/DB2026_27.mdb"));
    EXPECT_EQ(l.schema, QStringLiteral("db2026_27"));
    EXPECT_EQ(l.setting("host"), QStringLiteral("/run/postgresql"));
    EXPECT_EQ(l.setting("port"), QStringLiteral("5433"));
    EXPECT_EQ(l.setting("dbname"), QStringLiteral("narvo_site"));
    EXPECT_EQ(l.server.size(), 4u);
    EXPECT_EQ(l.passwordFile(), QStringLiteral("/x/DataBase/narvo.pgpass"));
    EXPECT_EQ(l.label(), QStringLiteral("narvo_site/db2026_27 on /run/postgresql"));
}

TEST(LinkFile, AcceptsWindowsLineEnds) {
    QByteArray crlf = kGood;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(parseLink(crlf, QStringLiteral("l")).schema, QStringLiteral("db2026_27"));
}

TEST(LinkFile, WrittenTextReadsBackTheSame) {
    const Link l = parseLink(kGood, QStringLiteral("l"));
    const Link again = parseLink(db::pg::linkText(l), QStringLiteral("l"));
    EXPECT_EQ(again.server, l.server);
    EXPECT_EQ(again.schema, l.schema);
}

struct Refusal {
    const char* name;
    const char* text;
    const char* reason;  // part of the description
};
// Printed by its name where a failure shows the case.
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class LinkFileRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(LinkFileRefuses, WithAReasonNamingTheFile) {
    try {
        parseLink(QByteArray(GetParam().text), QStringLiteral("/d/DBStart.mdb"));
        FAIL() << "accepted";
    } catch (const rt::Error& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("/d/DBStart.mdb"))) << e.what();
        EXPECT_TRUE(e.description().contains(QString::fromUtf8(GetParam().reason))) << e.what();
    }
}

const Refusal kRefusals[] = {
    {"WrongFirstLine", "NARVO LINK\nschema=a\ndbname=d\n", "first line"},
    {"EmptyFile", "", "first line"},
    {"NoSchema", "NARVO SERVER LINK 1\ndbname=d\n", "no schema"},
    {"NoDatabase", "NARVO SERVER LINK 1\nschema=a\n", "no database"},
    {"Password", "NARVO SERVER LINK 1\nschema=a\ndbname=d\npassword=secret\n", "password file"},
    {"PasswordFile", "NARVO SERVER LINK 1\nschema=a\ndbname=d\npassfile=/tmp/x\n", "password file"},
    {"UnknownSetting", "NARVO SERVER LINK 1\nschema=a\ndbname=d\ncolour=red\n", "unknown setting"},
    {"RepeatedSetting", "NARVO SERVER LINK 1\nschema=a\ndbname=d\ndbname=e\n", "twice"},
    {"RepeatedSchema", "NARVO SERVER LINK 1\nschema=a\nschema=b\ndbname=d\n", "twice"},
    {"QuotedSchema", "NARVO SERVER LINK 1\nschema=\"A b\"\ndbname=d\n", "not a plain"},
    {"UpperCaseSchema", "NARVO SERVER LINK 1\nschema=DB2026\ndbname=d\n", "not a plain"},
    {"SchemaWithSemicolon", "NARVO SERVER LINK 1\nschema=a;drop\ndbname=d\n", "not a plain"},
    {"LineWithoutValue", "NARVO SERVER LINK 1\nschema=a\ndbname=d\nhost\n", "key=value"},
};

INSTANTIATE_TEST_SUITE_P(Cases, LinkFileRefuses, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LinkFile, RecognisedByItsFirstLineOnly) {
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& text) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    EXPECT_TRUE(db::pg::isLinkFile(write("a.mdb", kGood)));
    EXPECT_TRUE(db::pg::isLinkFile(write("b.mdb", "NARVO SERVER LINK 1\r\nschema=x\r\n")));
    EXPECT_FALSE(db::pg::isLinkFile(write("c.mdb", "NARVO SERVER LINK 10\nschema=x\n")));
    EXPECT_FALSE(db::pg::isLinkFile(write("d.mdb", QByteArray("SQLite format 3\0", 16))));
    EXPECT_FALSE(db::pg::isLinkFile(dir.filePath(QStringLiteral("missing.mdb"))));
}

TEST(LinkFile, ALargeFileIsNoLink) {
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("big.mdb")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kGood);
    f.write(QByteArray(db::pg::kMaxLinkFileSize, '#'));
    f.close();
    EXPECT_NE(testing_support::errorOf([&] { db::pg::readLinkFile(f.fileName()); }), 0);
}

TEST(LinkFile, AMissingFileFailsLikeAMissingDatabase) {
    EXPECT_EQ(testing_support::errorOf([] { db::pg::readLinkFile(QStringLiteral("/no/such.mdb")); }),
              rt::err::DbGeneric);
}

}  // namespace
