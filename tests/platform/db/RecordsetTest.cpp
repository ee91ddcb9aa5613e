// Recordsets: walking results, variant kinds from the declared column types,
// updating and adding rows, and the refusals of a closed or read-only result.
#include "Errors.h"
#include "DbTestSupport.h"

#include "platform/db/Engine.h"
#include "platform/runtime/Error.h"

#include <sqlite3.h>

namespace {

using testing_support::errorOf;

using rt::Variant;
using rt::VarType;

class RecordsetTest : public dbtest::DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        conn->Execute(QStringLiteral(
            "insert into Items (Name, Qty, Code, Ratio, Weight, Price, Made, Active, Notes) "
            "values ('Bolts', 3, 70000, 0.25, 1.5, 3.5, #2026-03-05 14:07:09#, True, 'long')"));
        conn->Execute(QStringLiteral("insert into Items (Name) values ('Nuts')"));
    }

    // The value a column reads back as, row by row, for rows written raw.
    struct Expected {
        const char* name;
        Variant value;
    };
    // `sql` run on the file past the checks of the columns' kinds, as into a
    // file of an earlier version, which has none.
    void writePastChecks(const char* sql) {
        db::Engine& e = conn->engine();
        e.execNative("PRAGMA ignore_check_constraints = ON");
        e.execNative(sql);
        e.execNative("PRAGMA ignore_check_constraints = OFF");
    }
    void expectValues(const char* column, std::initializer_list<Expected> expected) {
        for (const Expected& x : expected) {
            SCOPED_TRACE(x.name);
            db::Recordset rs;
            rs.Open(QStringLiteral("select %1 from Items where Name='%2'")
                        .arg(QLatin1String(column), QLatin1String(x.name)),
                    conn);
            EXPECT_EQ(rs.Fields(0).Value(), x.value);
        }
    }
};

TEST_F(RecordsetTest, StandsOnTheFirstRowAndWalksToEof) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select Name from Items order by Name desc"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields(0).Value(), Variant(QStringLiteral("Nuts")));
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(QStringLiteral("NAME")).Value(), Variant(QStringLiteral("Bolts")));
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(errorOf([&] { rs.Fields(0).Value(); }), rt::err::DbNoCurrentRow);
    EXPECT_EQ(errorOf([&] { rs.MoveNext(); }), rt::err::DbNoCurrentRow);
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(0).Value(), Variant(QStringLiteral("Nuts")));
    EXPECT_EQ(errorOf([&] { rs.Fields(QStringLiteral("Missing")); }), rt::err::DbItemNotFound);
    EXPECT_EQ(errorOf([&] { rs.Fields(1); }), rt::err::DbItemNotFound);
}

TEST_F(RecordsetTest, ValuesCarryTheKindOfTheirColumn) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Items where Name='Bolts'"), conn);
    EXPECT_EQ(rs.Fields(QStringLiteral("Id")).Value(), Variant(int32_t(1)));
    EXPECT_EQ(rs.Fields(QStringLiteral("Name")).Value(), Variant(QStringLiteral("Bolts")));
    EXPECT_EQ(rs.Fields(QStringLiteral("Qty")).Value(), Variant(int16_t(3)));
    EXPECT_EQ(rs.Fields(QStringLiteral("Code")).Value(), Variant(int32_t(70000)));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ratio")).Value(), Variant(0.25));
    EXPECT_EQ(rs.Fields(QStringLiteral("Weight")).Value(), Variant(1.5f));
    EXPECT_EQ(rs.Fields(QStringLiteral("Price")).Value(), Variant(rt::Currency{35000}));
    EXPECT_EQ(rs.Fields(QStringLiteral("Made")).Value(),
              Variant(rt::naiveDateTime(QDate(2026, 3, 5), QTime(14, 7, 9))));
    EXPECT_EQ(rs.Fields(QStringLiteral("Active")).Value(), Variant(true));
    EXPECT_EQ(rs.Fields(QStringLiteral("Notes")).Value(), Variant(QStringLiteral("long")));
    rs.Close();
    rs.Open(QStringLiteral("select Qty, Made, Active from Items where Name='Nuts'"), conn);
    EXPECT_TRUE(rs.Fields(0).Value().isNull());
    EXPECT_TRUE(rs.Fields(1).Value().isNull());
    EXPECT_EQ(rs.Fields(2).Value(), Variant(false));  // a Yes/No column holds no Null
}

TEST_F(RecordsetTest, AnUpdatableResultChangesAndAddsRows) {
    db::Recordset rs;
    rs.Open(QStringLiteral("Select * from Items where Name='Nuts'"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    ASSERT_TRUE(rs.Updatable());
    rs.Fields(QStringLiteral("Qty")) = Variant(QStringLiteral("12"));
    rs.Fields(QStringLiteral("Made")) = Variant(QStringLiteral("2026-12-08 10:30:00"));
    rs.Update();
    rs.AddNew();
    rs.Fields(QStringLiteral("Name")) = Variant(QStringLiteral("Washers"));
    rs.Fields(QStringLiteral("Active")) = Variant(false);
    rs.Update();
    rs.Close();

    db::Recordset check;
    check.Open(QStringLiteral("select Qty, Made from Items where Name='Nuts'"), conn);
    EXPECT_EQ(check.Fields(0).Value(), Variant(int16_t(12)));
    EXPECT_EQ(check.Fields(1).Value(),
              Variant(rt::naiveDateTime(QDate(2026, 12, 8), QTime(10, 30, 0))));
    check.Close();
    check.Open(QStringLiteral("select Active, Id from Items where Name='washers'"), conn);
    ASSERT_FALSE(check.Eof());
    EXPECT_EQ(check.Fields(0).Value(), Variant(false));
    EXPECT_EQ(check.Fields(1).Value(), Variant(int32_t(3)));
}

TEST_F(RecordsetTest, AValueTheColumnCannotHoldIsRefused) {
    db::Recordset rs;
    rs.Open(QStringLiteral("Select * from Items"), conn, db::adOpenDynamic, db::adLockOptimistic);
    rs.AddNew();
    rs.Fields(QStringLiteral("Qty")) = Variant(int32_t(70000));
    EXPECT_EQ(errorOf([&] { rs.Update(); }), rt::err::DbDataOverflow);  // Numeric field overflow.
}

TEST_F(RecordsetTest, ReadOnlyAndComputedResultsRefuseUpdates) {
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Items"), conn, db::adOpenForwardOnly, db::adLockReadOnly);
    EXPECT_FALSE(rs.Updatable());
    EXPECT_EQ(errorOf([&] { rs.AddNew(); }), rt::err::DbReadOnly);
    EXPECT_EQ(errorOf([&] { rs.Fields(0) = Variant(int32_t(1)); }), rt::err::DbReadOnly);
    rs.Close();
    rs.Open(QStringLiteral("select count(*) from Items"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    EXPECT_FALSE(rs.Updatable());
}

TEST_F(RecordsetTest, StatementsThatChangeDataLeaveItClosed) {
    db::Recordset rs;
    rs.Open(QStringLiteral("Delete * from Items where Name='Nuts'"), conn, db::adOpenDynamic,
            db::adLockOptimistic);
    EXPECT_EQ(rs.State(), db::adStateClosed);
    EXPECT_EQ(errorOf([&] { rs.Close(); }), rt::err::DbObjectClosed);
    EXPECT_EQ(errorOf([&] { rs.Eof(); }), rt::err::DbObjectClosed);
    rs.Open(QStringLiteral("select count(*) from Items"), conn);
    EXPECT_EQ(rs.Fields(0).Value().toInt32(settings), 1);
    EXPECT_EQ(errorOf([&] { rs.Open(QStringLiteral("select * from Items"), conn); }),
              rt::err::DbObjectOpen);
}

TEST_F(RecordsetTest, FailuresNameWhatIsAtFault) {
    db::Recordset rs;
    try {
        rs.Open(QStringLiteral("select * from NoSuchTable"), conn);
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbNoSuchTable);
        EXPECT_TRUE(e.description().contains(QStringLiteral("NoSuchTable")));
    }
    EXPECT_EQ(rs.State(), db::adStateClosed);
    try {
        rs.Open(QStringLiteral("select Nonsense from Items"), conn);
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbMissingValue);
        EXPECT_TRUE(e.description().contains(QStringLiteral("Nonsense")));
    }
    try {
        rs.Open(QStringLiteral("insert into Items (Id, Name) values (1, 'dup')"), conn);
        FAIL();
    } catch (const rt::Error& e) {
        EXPECT_EQ(e.number(), rt::err::DbConstraint);
    }
    EXPECT_EQ(errorOf([&] { rs.Open(QStringLiteral("select * from Items"), nullptr); }),
              -2146824579);
    conn->Close();
    EXPECT_EQ(errorOf([&] { rs.Open(QStringLiteral("select * from Items"), conn); }),
              -2146824579);
}

TEST_F(RecordsetTest, ASmallResultHoldsNoLockOnTheFile) {
    if (testing_support::onServer())
        GTEST_SKIP() << "The file's own locks, taken with sqlite3 directly; the server's locks "
                        "are tested in pg_tests";
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Items"), conn);
    ASSERT_FALSE(rs.Eof());
    // Another connection (another workstation) can write at once.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    rs.MoveNext();
    EXPECT_FALSE(rs.Eof());
}

TEST_F(RecordsetTest, ALargeResultStreamsInBoundedBatches) {
    conn->engine().execNative("BEGIN");
    for (int i = 0; i < 5000; ++i)
        conn->Execute(QStringLiteral("insert into Items (Name, Code) values ('n', %1)").arg(i));
    conn->engine().execNative("COMMIT");
    db::Recordset rs;
    rs.Open(QStringLiteral("select Code from Items where Name='n' order by Code"), conn);
    int64_t sum = 0, n = 0;
    while (!rs.Eof()) {
        sum += rs.Fields(0).Value().asInt32();
        ++n;
        rs.MoveNext();
    }
    EXPECT_EQ(n, 5000);
    EXPECT_EQ(sum, 4999LL * 5000 / 2);
}

}  // namespace

namespace {

TEST_F(RecordsetTest, AColumnWhoseNameHoldsAPercentSignIsTheOneUpdated) {
    conn->Execute(QStringLiteral("CREATE TABLE Odd ([A%2] LONG, A1 LONG, [B%1%2] TEXT(10))"));
    conn->Execute(QStringLiteral("insert into Odd ([A%2], A1, [B%1%2]) values (1, 1, 'x')"));
    db::Recordset rs;
    rs.Open(QStringLiteral("select * from Odd"), conn, db::adOpenDynamic, db::adLockOptimistic);
    rs.Fields(QStringLiteral("A%2")) = Variant(int32_t(7));
    rs.Fields(QStringLiteral("B%1%2")) = Variant(QStringLiteral("y"));
    rs.Update();
    rs.Close();
    rs.Open(QStringLiteral("select [A%2], A1, [B%1%2] from Odd"), conn);
    EXPECT_EQ(rs.Fields(0).Value(), Variant(int32_t(7)));
    EXPECT_EQ(rs.Fields(1).Value(), Variant(int32_t(1)));
    EXPECT_EQ(rs.Fields(2).Value(), Variant(QStringLiteral("y")));
}

TEST_F(RecordsetTest, SchemaChangesReachTheCachesWhateverTheirSpelling) {
    // Kinds come from the declared types, cached per table: each change of the
    // schema, in any letter case, must be seen at once.
    auto look = [&] {
        db::Recordset rs;
        rs.Open(QStringLiteral("select * from Late"), conn);  // caches Late's columns
    };
    const bool server = testing_support::onServer();
    conn->engine().execNative("create table Late (d text)");
    look();
    conn->engine().execNative("drop table Late");
    conn->engine().execNative(server ? "Create Table Late (d timestamp(3))"
                                     : "Create Table Late (d DATETIME)");
    look();
    conn->engine().execNative(server ? "alter table Late add column q jet.yesno"
                                     : "alter table Late add column q yesno");
    conn->Execute(QStringLiteral("insert into Late (d, q) values (#2026-01-02#, True)"));
    db::Recordset rs;
    rs.Open(QStringLiteral("select d, q from Late"), conn);
    EXPECT_EQ(rs.Fields(0).Value(), Variant(rt::naiveDateTime(QDate(2026, 1, 2), QTime(0, 0))));
    EXPECT_EQ(rs.Fields(1).Value(), Variant(true));
}

TEST_F(RecordsetTest, ACurrencyStoredBeyondJetsRangeReadsAsItIsStored) {
    // Written raw, as another program might have into a file of an earlier
    // version (tables made now refuse them): integers and reals past what a
    // currency amount can hold.
    EXPECT_THROW(conn->engine().execNative(
                     "INSERT INTO Items (Name, Price) VALUES ('big', 922337203685478)"),
                 rt::Error);
    writePastChecks(
        "INSERT INTO Items (Name, Price) VALUES ('max', 922337203685477),"
        "('big', 922337203685478), ('huge', 9223372036854775807), ('low', -9223372036854775808),"
        "('real', 1e300), ('text', '99999999999999999999.5')");
    rt::Decimal big, huge, low;
    big.mantissa = 922337203685478;
    huge.mantissa = INT64_MAX;
    low.mantissa = INT64_MIN;
    expectValues("Price", {
        {"max", Variant(rt::Currency{922337203685477LL * 10000})},
        {"big", Variant(big)},
        {"huge", Variant(huge)},
        {"low", Variant(low)},
        {"real", Variant(1e300)},
        {"text", Variant(1e20)},  // the column's affinity stored the text as a real
    });
}

TEST_F(RecordsetTest, DatesReadInEveryStoredFormAndOtherTextsAsTheyAre) {
    // Written raw, as another program might have into a file of an earlier
    // version: the stored forms read as dates, anything else as the text it is.
    writePastChecks(
        "INSERT INTO Items (Name, Made) VALUES ('full', '2026-03-05 14:07:09'),"
        "('ms', '2026-03-05 14:07:09.250'), ('day', '2026-03-05'), ('t', '2026-03-05T01:02:03'),"
        "('leap', '2024-02-29 00:00:00'), ('feb30', '2026-02-30 00:00:00'),"
        "('hour25', '2026-03-05 25:00:00'), ('short', '2026-3-5'), ('word', 'soon'),"
        "('wide', '２026-03-05 14:07:09')");
    expectValues("Made", {
        {"full", Variant(rt::naiveDateTime(QDate(2026, 3, 5), QTime(14, 7, 9)))},
        {"ms", Variant(rt::naiveDateTime(QDate(2026, 3, 5), QTime(14, 7, 9, 250)))},
        {"day", Variant(rt::naiveDateTime(QDate(2026, 3, 5), QTime(0, 0)))},
        {"t", Variant(rt::naiveDateTime(QDate(2026, 3, 5), QTime(1, 2, 3)))},
        {"leap", Variant(rt::naiveDateTime(QDate(2024, 2, 29), QTime(0, 0)))},
        {"feb30", Variant(QStringLiteral("2026-02-30 00:00:00"))},
        {"hour25", Variant(QStringLiteral("2026-03-05 25:00:00"))},
        {"short", Variant(QStringLiteral("2026-3-5"))},
        {"word", Variant(QStringLiteral("soon"))},
        {"wide", Variant(QString::fromUtf8("２026-03-05 14:07:09"))},
    });
}

}  // namespace
