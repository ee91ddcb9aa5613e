// Opening the system's connection through the bootstrap database, the caution
// messages and program end, and the password transform.
#include "LibFixture.h"

#include "lib/db/SystemPassword.h"
#include "platform/db/Schema.h"
#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <QFile>

namespace {

using testing_support::LibTest;

class ConnectionTest : public LibTest {
protected:
    // Runs Get_Connection and expects the program to end with one caution box.
    QString endsWithCaution() {
        EXPECT_THROW(lib->Get_Connection(), rt::ProgramEnded);
        EXPECT_EQ(boxes().size(), 1u);
        if (boxes().empty()) return {};
        EXPECT_EQ(boxes().back().title, QStringLiteral("TestApp"));
        EXPECT_EQ(boxes().back().icon, ui::Icon::Critical);
        return boxes().back().text;
    }
    // A connection of the test's own on the bootstrap database.
    std::shared_ptr<db::Connection> bootstrap() {
        auto c = db::Connection::create();
        c->setConnectionString(
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1/DBStart.mdb;Jet "
                           "OLEDB:Database Password=%2")
                .arg(dataFolder(), systemDatabasePassword()));
        c->Open();
        return c;
    }
    void setCurrentYears(const QString& where) {
        auto c = bootstrap();
        c->Execute(QStringLiteral("update DB_Years set curryear=false"));
        if (!where.isEmpty())
            c->Execute(QStringLiteral("update DB_Years set curryear=true where ") + where);
    }
};

TEST_F(ConnectionTest, OpensTheCurrentYearDatabase) {
    makeDemo();
    lib->Get_Connection();
    EXPECT_EQ(lib->curr_DB_file, QStringLiteral("DB2026_27.mdb"));
    ASSERT_TRUE(lib->dbconnection);
    EXPECT_EQ(lib->dbconnection->State(), db::adStateOpen);
    EXPECT_EQ(lib->dbconnection->ConnectionString(),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + appFolder() +
                  QStringLiteral("\\DataBase\\DB2026_27.mdb;Persist Security Info=False;Jet "
                                 "OLEDB:Database Password=") +
                  systemDatabasePassword());
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(lib->chk_rec_exst(QStringLiteral("select * from OnLineUsers")));
}

TEST_F(ConnectionTest, MissingBootstrapShowsTheDbStartCautionAndEnds) {
    const QString text = endsWithCaution();
    EXPECT_TRUE(text.endsWith(QStringLiteral(
        "\r\nCAUTION: Make Sure DataBase 'DBStart.mdb' Exists in the Correct Path !!! ")))
        << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Could not find file")));
}

TEST_F(ConnectionTest, NoCurrentYearGivesZeroMdbAndTheYearCaution) {
    makeDemo();
    setCurrentYears(QString());
    const QString text = endsWithCaution();
    EXPECT_EQ(lib->curr_DB_file, QStringLiteral("0.mdb"));
    EXPECT_TRUE(text.endsWith(
        QStringLiteral("\r\nCAUTION: Make Sure DataBase Exists in the Correct Path !!! ")));
    EXPECT_TRUE(text.contains(QStringLiteral("0.mdb")));
}

TEST_F(ConnectionTest, TwoCurrentRowsTheFirstWins) {
    makeDemo();
    setCurrentYears(QStringLiteral("minYear>=2025"));
    lib->Get_Connection();
    EXPECT_EQ(lib->curr_DB_file, QStringLiteral("DB2025_26.mdb"));
}

// The engine names the year database: "DB", the whole minYear, "_" and the
// last two characters of maxYear (all of it when shorter).
struct YearName {
    int maxYear;
    const char* file;
};
void PrintTo(const YearName& y, std::ostream* os) { *os << y.maxYear << " -> " << y.file; }

class YearNameTest : public ConnectionTest, public ::testing::WithParamInterface<YearName> {};

TEST_P(YearNameTest, MaxYearContributesItsLastTwoCharacters) {
    makeDemo();
    const QString file = QString::fromLatin1(GetParam().file);
    bootstrap()->Execute(QStringLiteral("update DB_Years set maxYear=%1 where curryear=true")
                             .arg(GetParam().maxYear));
    if (file != QStringLiteral("DB2026_27.mdb")) {
        ASSERT_TRUE(QFile::copy(dataFolder() + QStringLiteral("/DB2026_27.mdb"),
                                dataFolder() + u'/' + file));
    }
    lib->Get_Connection();
    EXPECT_EQ(lib->curr_DB_file, file);
    ASSERT_TRUE(lib->dbconnection);
    EXPECT_EQ(lib->dbconnection->State(), db::adStateOpen);
    EXPECT_TRUE(boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(MaxYears, YearNameTest,
                         ::testing::Values(YearName{2027, "DB2026_27.mdb"},
                                           YearName{7, "DB2026_7.mdb"},
                                           YearName{130, "DB2026_30.mdb"}),
                         [](const auto& info) {
                             return "MaxYear" + std::to_string(info.param.maxYear);
                         });

TEST_F(ConnectionTest, AFailingYearQueryIsReportedThenGivesDotMdbAndTheYearCaution) {
    makeDemo();
    bootstrap()->engine().execNative("DROP TABLE DB_Years");
    EXPECT_THROW(lib->Get_Connection(), rt::ProgramEnded);
    EXPECT_EQ(lib->curr_DB_file, QStringLiteral(".mdb"));
    ASSERT_EQ(boxes().size(), 2u);
    // The query's own failure, through the standard handler ...
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("DB_Years")))
        << boxes()[0].text.toStdString();
    // ... then the year database ".mdb" cannot be opened.
    EXPECT_EQ(boxes()[1].title, QStringLiteral("TestApp"));
    EXPECT_EQ(boxes()[1].icon, ui::Icon::Critical);
    EXPECT_TRUE(boxes()[1].text.endsWith(
        QStringLiteral("\r\nCAUTION: Make Sure DataBase Exists in the Correct Path !!! ")));
    // The bootstrap database had been left before the year database was tried.
    ASSERT_TRUE(lib->dbconnection);
    EXPECT_NE(lib->dbconnection->State(), db::adStateOpen);
    EXPECT_TRUE(
        lib->dbconnection->ConnectionString().contains(QStringLiteral("\\DataBase\\.mdb;")));
}

TEST_F(ConnectionTest, AWrongPasswordOnTheYearDatabaseEndsTheProgram) {
    makeDemo();
    QFile::remove(dataFolder() + QStringLiteral("/DB2026_27.mdb"));
    db::createDatabaseFile(dataFolder() + QStringLiteral("/DB2026_27.mdb"),
                           QStringLiteral("other"));
    const QString text = endsWithCaution();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Not a valid password.\r\n")));
}

TEST_F(ConnectionTest, LeaveConnectionTwiceFailsToTheCaller) {
    makeDemo();
    lib->Get_Connection();
    lib->Leave_Connection();
    EXPECT_FALSE(lib->dbconnection);
    try {
        lib->Leave_Connection();
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::ObjectNotSet);
    }
    EXPECT_THROW(lib->Leave_DBstart(), rt::Error);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ConnectionTest, LeaveOnAClosedConnectionFailsAndKeepsIt) {
    makeDemo();
    lib->Get_Connection();
    lib->dbconnection->Close();
    EXPECT_THROW(lib->Leave_Connection(), rt::Error);
    EXPECT_TRUE(lib->dbconnection);
}

TEST(EncrypDecryp, FlipsTheTopBitOfEveryCode) {
    testing_support::FakeEnvironment fake;
    clsProd lib(fake.environment(QStringLiteral("/tmp")));
    const rt::RegionalSettings& rs = *fake.settings;
    EXPECT_EQ(lib.encryp_decryp(QString()).toText(rs), QString());
    EXPECT_EQ(lib.encryp_decryp(QStringLiteral("A")).toText(rs), QString(QChar(193)));
    EXPECT_EQ(lib.encryp_decryp(QString(QChar(193))).toText(rs), QStringLiteral("A"));
    // Code 0x80 is the euro sign in Windows-1252; 0x00 + 128 gives it.
    EXPECT_EQ(lib.encryp_decryp(QString(QChar(0))).toText(rs), QString(QChar(0x20AC)));
    EXPECT_EQ(lib.encryp_decryp(QString(QChar(0x20AC))).toText(rs), QString(QChar(0)));
    const QString constant = storedPasswordConstant();
    EXPECT_EQ(constant.size(), 20);
    const QString password = lib.encryp_decryp(constant).toText(rs);
    EXPECT_EQ(password.size(), 20);
    EXPECT_EQ(lib.encryp_decryp(password).toText(rs), constant);
    QString all;
    for (int c = 0; c < 256; ++c) all += lib.encryp_decryp(QString(QChar(c))).toText(rs);
    EXPECT_EQ(lib.encryp_decryp(all).toText(rs).size(), 256);
    try {
        lib.encryp_decryp(QString(32768, u'x'));
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::Overflow);
    }
}

}  // namespace
