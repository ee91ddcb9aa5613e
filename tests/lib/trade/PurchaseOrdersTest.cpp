// Purchase-order availability on a real year database: the party column each
// routine uses, quote doubling in the number, and table names that carry SQL,
// which must run nothing and lose nothing.
#include "TradeFixture.h"
#include "platform/db/Schema.h"

namespace {

using testing_support::errorOf;
using trade_testing::TradeTest;

// Demo rows: CUSTPO PO/12'A for CUstid 101 and 4500012345 for 102; SUBCONPO
// SC/101 for suPPid 300 and SC/102 for 301; PURCHPO P/2024/7 for vendorcode
// 501, suppid 300.
class PurchaseOrdersTest : public TradeTest {
  protected:
    void SetUp() override {
        TradeTest::SetUp();
        takeStatements();
    }
    // SUBCONPO gets a CUstid column as well, so a test can see which party
    // column a query used: SC/101 has suPPid 300 and CUstid 7.
    void giveSubconpoACustomerColumn() {
        // A Long column added in each engine's own words.
        lib->dbconnection->engine().execNative(
            testing_support::onServer() ? "ALTER TABLE subconpo ADD COLUMN custid integer"
                                        : "ALTER TABLE SUBCONPO ADD COLUMN CUstid LONG");
        lib->dbconnection->engine().schemaChanged();
        exec(QStringLiteral("update SUBCONPO set CUstid=7 where PONo='SC/101'"));
    }
    QString lastTrail() {
        db::Recordset rs;
        rs.Open(QStringLiteral("select ErrText from errlog"), lib->dbconnection);
        QString last;
        for (; !rs.Eof(); rs.MoveNext()) last = rs.Fields(0).Value().toText(*fake.settings);
        return last;
    }
};

TEST_F(PurchaseOrdersTest, QuotesInTheNumberAreDoubled) {
    EXPECT_TRUE(lib->IsAvailPO(101, QStringLiteral("PO/12'A"), QStringLiteral("CUSTPO")));
    EXPECT_FALSE(lib->IsAvailPO(102, QStringLiteral("PO/12'A"), QStringLiteral("CUSTPO")));
    EXPECT_FALSE(lib->IsAvailPO(101, QStringLiteral("PO/12A"), QStringLiteral("CUSTPO")));
    exec(QStringLiteral("insert into CUSTPO (PONo, CUstid) values ('Q''''1', 9)"));  // Q''1
    EXPECT_TRUE(lib->IsAvailPO(9, QStringLiteral("Q''1"), QStringLiteral("CUSTPO")));
    EXPECT_FALSE(lib->IsAvailPO(9, QStringLiteral("Q'1"), QStringLiteral("CUSTPO")));
    EXPECT_TRUE(lib->IsAvailPO(102, QStringLiteral("4500012345"), QStringLiteral("custpo")));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(PurchaseOrdersTest, EmptyNumberMatchesEmptyTextNeverNull) {
    exec(QStringLiteral("insert into CUSTPO (PONo, CUstid) values ('', 5)"));
    exec(QStringLiteral("insert into CUSTPO (PONo, CUstid) values (Null, 6)"));
    EXPECT_TRUE(lib->IsAvailPO(5, QString(), QStringLiteral("CUSTPO")));
    EXPECT_FALSE(lib->IsAvailPO(6, QString(), QStringLiteral("CUSTPO")));
}

TEST_F(PurchaseOrdersTest, ZeroAndNegativePartiesAreWrittenAsTheyAre) {
    exec(QStringLiteral("insert into CUSTPO (PONo, CUstid) values ('N1', -5)"));
    exec(QStringLiteral("insert into CUSTPO (PONo, CUstid) values ('Z1', 0)"));
    EXPECT_TRUE(lib->IsAvailPO(-5, QStringLiteral("N1"), QStringLiteral("CUSTPO")));
    EXPECT_FALSE(lib->IsAvailPO(5, QStringLiteral("N1"), QStringLiteral("CUSTPO")));
    EXPECT_TRUE(lib->IsAvailPO(0, QStringLiteral("Z1"), QStringLiteral("CUSTPO")));
}

TEST_F(PurchaseOrdersTest, PartyColumnOfEachRoutine) {
    giveSubconpoACustomerColumn();
    const QString sc = QStringLiteral("SC/101");
    const QString p = QStringLiteral("P/2024/7");
    struct Case {
        const char* what;
        bool result;
        bool expected;
    } cases[] = {
        // IsAvailPO: SUBCONPO in any letter case asks for the supplier ...
        {"SUBCONPO by supplier", lib->IsAvailPO(300, sc, QStringLiteral("SUBCONPO")), true},
        {"subconpo by supplier", lib->IsAvailPO(300, sc, QStringLiteral("subconpo")), true},
        {"SubConPO by supplier", lib->IsAvailPO(300, sc, QStringLiteral("SubConPO")), true},
        {"SUBCONPO not by customer", lib->IsAvailPO(7, sc, QStringLiteral("SUBCONPO")), false},
        // ... but a blank before the name makes it any other table: the customer.
        {"' SUBCONPO' by customer", lib->IsAvailPO(7, sc, QStringLiteral(" SUBCONPO")), true},
        {"' SUBCONPO' not by supplier", lib->IsAvailPO(300, sc, QStringLiteral(" SUBCONPO")),
         false},
        // IsAvailPO_subcon: the supplier for every table.
        {"subcon SUBCONPO", lib->IsAvailPO_subcon(300, sc, QStringLiteral("SUBCONPO")), true},
        {"subcon PURCHPO", lib->IsAvailPO_subcon(300, p, QStringLiteral("PURCHPO")), true},
        {"subcon PURCHPO vendor id", lib->IsAvailPO_subcon(501, p, QStringLiteral("PURCHPO")),
         false},
        // IsAvailPO_Purch: the vendor.
        {"purch vendor", lib->IsAvailPO_Purch(501, p, QStringLiteral("PURCHPO")), true},
        {"purch supplier id", lib->IsAvailPO_Purch(300, p, QStringLiteral("PURCHPO")), false},
        // A bracketed name is a name.
        {"bracketed", lib->IsAvailPO(101, QStringLiteral("PO/12'A"), QStringLiteral("[CUSTPO]")),
         true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_TRUE(boxes().empty());
}

TEST_F(PurchaseOrdersTest, MissingTableIsReportedAndAnswersFalse) {
    EXPECT_FALSE(lib->IsAvailPO_Purch(501, QStringLiteral("P/2024/7"), QStringLiteral("VENDPO")));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("'VENDPO'")));
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(rows(QStringLiteral("errlog")), 1);
}

TEST_F(PurchaseOrdersTest, TableNamesCarryingSqlRunNothingAndLoseNothing) {
    const QStringList before = db::userTables(*lib->dbconnection);
    const int32_t logs = rows(QStringLiteral("logs"));
    const int32_t subcon = rows(QStringLiteral("SUBCONPO"));
    const int32_t cust = rows(QStringLiteral("CUSTPO"));
    const char* names[] = {
        "SUBCONPO; drop table logs",
        "x where 1=1 --",
        "CUSTPO where CUstid=101 or 1=1 --",
        "CUSTPO/**/",
        "[CUSTPO] where 1=1 or [x]",
        "[CUST]PO]",
        "[]",
        "",
        "CUSTPO\t",
        "logs; delete * from logs",
    };
    int shown = 0;
    for (const char* n : names) {
        const QString name = QString::fromLatin1(n);
        for (int routine = 0; routine < 3; ++routine) {
            takeStatements();
            const QString po = QStringLiteral("PO/12'A");
            const bool found = routine == 0   ? lib->IsAvailPO(101, po, name)
                               : routine == 1 ? lib->IsAvailPO_subcon(101, po, name)
                                              : lib->IsAvailPO_Purch(101, po, name);
            EXPECT_FALSE(found) << n;
            // The one statement run is the trail row's insert.
            const QStringList ran = takeStatements();
            ASSERT_EQ(ran.size(), 1) << n << ": " << ran.join(u" | ").toStdString();
            EXPECT_TRUE(ran[0].startsWith(QStringLiteral("INSERT"), Qt::CaseInsensitive))
                << ran[0].toStdString();
            ++shown;
            ASSERT_EQ(int(boxes().size()), shown) << n;
            EXPECT_EQ(boxes().back().text,
                      QStringLiteral("The database engine cannot find the input table or query "
                                     "'%1'. Make sure it exists and that its name is spelled "
                                     "correctly.")
                          .arg(name));
            EXPECT_EQ(boxes().back().title, QStringLiteral("NARVO"));
            EXPECT_EQ(boxes().back().icon, ui::Icon::Critical);
            EXPECT_TRUE(lastTrail().endsWith(QStringLiteral(" -2147217865 : From ClsProd")))
                << lastTrail().toStdString();
        }
    }
    EXPECT_EQ(rows(QStringLiteral("errlog")), shown);
    EXPECT_EQ(db::userTables(*lib->dbconnection), before);
    EXPECT_EQ(rows(QStringLiteral("logs")), logs);
    EXPECT_EQ(rows(QStringLiteral("SUBCONPO")), subcon);
    EXPECT_EQ(rows(QStringLiteral("CUSTPO")), cust);
}

}  // namespace
