// Next challan and invoice numbers on a real year database, in every numbering
// mode: which tables share a series, how a last number is read, and overflow.
#include <vector>

#include "TradeFixture.h"

namespace {

using testing_support::errorOf;
using trade_testing::TradeTest;

class NumberingTest : public TradeTest {
  protected:
    void SetUp() override {
        TradeTest::SetUp();
        exec(QStringLiteral("delete from DCINV"));
        exec(QStringLiteral("delete from DCOUTGOINGINV"));
        exec(QStringLiteral("delete from DCSUBCONOUTGOING"));
        takeStatements();
    }
    void mode(int32_t m) { fake.context->setBookType(m); }
    // Challans in row-id order; the last one added is the table's last challan.
    void dcinv(const QString& dcno) {
        exec(QStringLiteral("insert into DCINV (dcno) values ('%1')").arg(dcno));
    }
    void outgoing(int32_t dcno) {
        exec(QStringLiteral("insert into DCOUTGOINGINV (dcno) values (%1)").arg(dcno));
    }
    void subcon(int32_t dcno) {
        exec(QStringLiteral("insert into DCSUBCONOUTGOING (dcno) values (%1)").arg(dcno));
    }
    // An invoice (or 'Nil' / Null for none) dated `when` (ISO).
    // A challan with an invoice; each under a challan number of its own (the
    // server refuses a second save of a challan number).
    void invoice(const char* table, const QString& invno, const char* when) {
        exec(QStringLiteral("insert into %1 (dcno, invno, invdatet) values (%4, %2, #%3#)")
                 .arg(QLatin1String(table), invno, QLatin1String(when))
                 .arg(++challan_));
    }
    int challan_ = 9000;
};

TEST_F(NumberingTest, ModeOneReadsTheLastChallansLeadingNumber) {
    mode(1);
    struct Case {
        QString last;
        int32_t next;
    } cases[] = {
        {"57", 58},   {"57/A", 58}, {"A57", 1}, {"12.5", 13}, {"13.5", 15},
        {" 4 2", 43}, {"&H10", 17}, {"", 1},    {"-3", -2},   {"1E3", 1001},
    };
    for (const Case& c : cases) {
        exec(QStringLiteral("delete from DCINV"));
        dcinv(c.last);
        EXPECT_EQ(lib->get_new_dcno(QStringLiteral("dcinv")), c.next) << c.last.toStdString();
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(NumberingTest, ModeOneEmptyTableGivesOne) {
    mode(1);
    for (const char* t : {"dcinv", "DCOUTGOINGINV", "DcSubConOutgoing"})
        EXPECT_EQ(lib->get_new_dcno(QString::fromLatin1(t)), 1) << t;
    EXPECT_TRUE(boxes().empty());
}

TEST_F(NumberingTest, LastChallanIsTheHighestRowIdNotTheHighestNumber) {
    mode(1);
    dcinv("90");
    dcinv("57");
    outgoing(300);
    outgoing(12);
    subcon(8);
    subcon(5);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 58);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("dcoutgoinginv")), 13);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCSUBCONOUTGOING")), 6);
}

TEST_F(NumberingTest, SeriesSharedByMode) {
    dcinv("40");
    outgoing(75);
    subcon(9);
    struct Case {
        int32_t mode;
        const char* table;
        int32_t next;
    } cases[] = {
        {1, "DCINV", 41},   {1, "DCOUTGOINGINV", 76}, {1, "DCSUBCONOUTGOING", 10},
        {2, "DCINV", 76},   {2, "DCOUTGOINGINV", 76}, {2, "DCSUBCONOUTGOING", 10},
        {3, "DCINV", 76},   {3, "DCOUTGOINGINV", 76}, {3, "DCSUBCONOUTGOING", 76},
        {3, "nothing", 76},
    };
    for (const Case& c : cases) {
        mode(c.mode);
        EXPECT_EQ(lib->get_new_dcno(QString::fromLatin1(c.table)), c.next)
            << "mode " << c.mode << " " << c.table;
    }
    subcon(90);
    mode(3);
    for (const char* t : {"DCINV", "DCOUTGOINGINV", "DCSUBCONOUTGOING", "BILLS", " DCINV"})
        EXPECT_EQ(lib->get_new_dcno(QString::fromLatin1(t)), 91) << t;
}

TEST_F(NumberingTest, ModeTwoPartnerTableCountsEvenWhenItsOwnIsEmpty) {
    mode(2);
    outgoing(75);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 76);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCSUBCONOUTGOING")), 1);
}

// Mode 2 takes an empty partner table as 0; modes 3 and the shared invoice
// series leave an empty table out, which shows only below zero.
TEST_F(NumberingTest, EmptyTablesInASeriesBelowZero) {
    dcinv("-5");
    mode(2);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 1);
    mode(3);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), -4);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCSUBCONOUTGOING")), -4);

    invoice("DCINV", "'-7'", "2026-05-01 10:00:00");
    for (int32_t m : {2, 3}) {
        mode(m);
        EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("DCINV")), -6) << m;
    }
}

TEST_F(NumberingTest, ModesWithoutSeriesOrUnknownTablesRunNoQuery) {
    dcinv("40");
    outgoing(75);
    subcon(9);
    takeStatements();
    struct Case {
        int32_t mode;
        const char* table;
    } cases[] = {{0, "DCINV"},  {4, "DCINV"}, {-1, "DCOUTGOINGINV"}, {1, "BILLS"},
                 {1, " DCINV"}, {2, "BILLS"}, {2, "DCINV "}};
    for (const Case& c : cases) {
        mode(c.mode);
        EXPECT_EQ(lib->get_new_dcno(QString::fromLatin1(c.table)), 1) << c.mode << c.table;
        // Invoices have series in modes 1 to 3 (in 2 and 3 whatever the name).
        if (c.mode < 1 || c.mode > 3) {
            EXPECT_EQ(lib->get_new_Invoiceno(QString::fromLatin1(c.table)), 1) << c.mode << c.table;
        }
        EXPECT_EQ(takeStatements(), QStringList()) << c.mode << c.table;
    }
    mode(1);
    EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("DCSUBCONOUTGOING")), 1);
    EXPECT_EQ(takeStatements(), QStringList());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(NumberingTest, ModeIsReadAtEveryCall) {
    dcinv("40");
    outgoing(75);
    mode(1);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 41);
    mode(2);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 76);
    mode(0);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 1);
}

TEST_F(NumberingTest, LatestDatedInvoiceWinsOverTheHighestNumber) {
    invoice("DCINV", "'20'", "2026-05-01 10:00:00");
    invoice("DCINV", "'15'", "2026-06-01 09:00:00");
    // Later rows without an invoice take no part.
    invoice("DCINV", "'Nil'", "2026-07-01 09:00:00");
    invoice("DCINV", "Null", "2026-08-01 09:00:00");
    mode(1);
    EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("dcinv")), 16);
    EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("DCOUTGOINGINV")), 1);
    mode(2);
    EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("DCOUTGOINGINV")), 16);

    invoice("DCOUTGOINGINV", "'30'", "2026-04-15 09:00:00");
    invoice("DCOUTGOINGINV", "'12'", "2026-09-01 09:00:00");
    struct Case {
        int32_t mode;
        const char* table;
        int32_t next;
    } cases[] = {{1, "DCINV", 16},         {1, "DCOUTGOINGINV", 13},    {2, "DCINV", 16},
                 {2, "DCOUTGOINGINV", 16}, {3, "DCSUBCONOUTGOING", 16}, {3, "anything", 16}};
    for (const Case& c : cases) {
        mode(c.mode);
        EXPECT_EQ(lib->get_new_Invoiceno(QString::fromLatin1(c.table)), c.next)
            << "mode " << c.mode << " " << c.table;
    }
    invoice("DCOUTGOINGINV", "'44'", "2026-10-01 09:00:00");
    mode(3);
    EXPECT_EQ(lib->get_new_Invoiceno(QStringLiteral("DCINV")), 45);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(NumberingTest, NumbersThatDoNotFitOverflowToTheCaller) {
    mode(1);
    dcinv("2147483646");
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 2147483647);
    for (const char* last : {"2147483647", "2147483648", "-2147483649", "1E20"}) {
        exec(QStringLiteral("delete from DCINV"));
        dcinv(QString::fromLatin1(last));
        EXPECT_EQ(errorOf([&] { lib->get_new_dcno(QStringLiteral("DCINV")); }), rt::err::Overflow)
            << last;
    }
    invoice("DCOUTGOINGINV", "'2147483647'", "2026-05-01 10:00:00");
    EXPECT_EQ(errorOf([&] { lib->get_new_Invoiceno(QStringLiteral("DCOUTGOINGINV")); }),
              rt::err::Overflow);
    // No handler of their own: nothing shown, no trail row.
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(rows(QStringLiteral("errlog")), 0);
}

TEST_F(NumberingTest, AFailingQueryIsReportedAndCountsAsAnEmptyTable) {
    dcinv("40");
    outgoing(75);
    subcon(90);
    lib->dbconnection->engine().execNative("DROP TABLE DCSUBCONOUTGOING");
    lib->dbconnection->engine().schemaChanged();
    mode(3);
    EXPECT_EQ(lib->get_new_dcno(QStringLiteral("DCINV")), 76);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(rows(QStringLiteral("errlog")), 1);
}

}  // namespace
