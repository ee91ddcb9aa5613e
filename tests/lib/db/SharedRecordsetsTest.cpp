// The shared recordsets dbrec, tmp_Rec, tmp_Rec2 and tmp_Rec3: what a caller
// can do with the result left in the variable, and the state each open and
// close leaves behind, on the demo year database. The four open/close pairs
// share one implementation: its behaviours run once, on tmp_Rec; each pair is
// then checked for the one thing that differs, the variable it works on.
#include "tests/lib/db/SharedRecordsetsDemo.h"
#include "tests/support/LibFixture.h"

#include "platform/db/Connection.h"

#include <functional>
#include <string>

namespace {

using testing_support::LibTest;

struct Pair {
    std::string name;
    std::function<void(clsProd&, const QString&)> open;
    std::function<void(clsProd&)> close;
    std::shared_ptr<db::Recordset> clsProd::*slot;
};
void PrintTo(const Pair& p, std::ostream* os) { *os << p.name; }

const Pair kPairs[] = {
    {"dbrec", [](clsProd& p, const QString& q) { p.Recordset_Creation(q); },
     [](clsProd& p) { p.RecordSet_Close(); }, &clsProd::dbrec},
    {"tmp_Rec", [](clsProd& p, const QString& q) { p.open_temp_rec(q); },
     [](clsProd& p) { p.close_temp_rec(); }, &clsProd::tmp_Rec},
    {"tmp_Rec2", [](clsProd& p, const QString& q) { p.open_temp_rec2(q); },
     [](clsProd& p) { p.close_temp_rec2(); }, &clsProd::tmp_Rec2},
    {"tmp_Rec3", [](clsProd& p, const QString& q) { p.open_temp_rec3(q); },
     [](clsProd& p) { p.close_temp_rec3(); }, &clsProd::tmp_Rec3},
};

const QString kUsers = QStringLiteral("Select UserId, UserName from User1 Order By UserId");

class SharedRecordsetTest : public LibTest {
protected:
    void SetUp() override {
        LibTest::SetUp();
        testing_support::copyDemoDatabase(dataFolder(), fake.clock->today());
        lib->Get_Connection();
        ASSERT_TRUE(lib->dbconnection);
    }
    // A count read past the library, so the library's own state is untouched.
    int count(const QString& table) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from ") + table, lib->dbconnection);
        return int(rs.Fields(0).Value().toDouble(*fake.settings));
    }
    QStringList lastTrailTexts(int n) {
        db::Recordset rs;
        rs.Open(QStringLiteral("select ErrText from errlog"), lib->dbconnection);
        QStringList all;
        while (!rs.Eof()) {
            all << rs.Fields(0).Value().toText(*fake.settings);
            rs.MoveNext();
        }
        return all.mid(all.size() - n);
    }
};

// The behaviours of an open/close pair, on tmp_Rec.
class OnePair : public SharedRecordsetTest {
protected:
    std::shared_ptr<db::Recordset>& slot() { return lib->tmp_Rec; }
    void open(const QString& q) { lib->open_temp_rec(q); }
    void close() { lib->close_temp_rec(); }
};

TEST_F(OnePair, LeavesTheResultOnItsFirstRowForTheCallerToWalk) {
    open(kUsers);
    ASSERT_TRUE(slot());
    ASSERT_EQ(slot()->State(), db::adStateOpen);
    QStringList names;
    QList<int> ids;
    while (!slot()->Eof()) {
        names << slot()->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings);
        ids << slot()->Fields(0).Value().toInt32(*fake.settings);
        slot()->MoveNext();
    }
    EXPECT_EQ(names, QStringList({"ADMIN", "RAVI", "MEENA", "SURESH"}));
    EXPECT_EQ(ids, QList<int>({1, 2, 3, 4}));
    slot()->MoveFirst();
    EXPECT_EQ(slot()->Fields(1).Value().toText(*fake.settings), QStringLiteral("ADMIN"));
    close();
    EXPECT_EQ(slot(), nullptr);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(OnePair, AQueryWithoutRowsLeavesAnOpenRecordsetAtEof) {
    open(QStringLiteral("Select * from OnLineUsers Where ScreenId=999"));
    ASSERT_TRUE(slot());
    EXPECT_EQ(slot()->State(), db::adStateOpen);
    EXPECT_TRUE(slot()->Eof());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(OnePair, CallersCanChangeAndAddRowsThroughIt) {
    open(QStringLiteral("Select * from User1 Where UserId=2"));
    slot()->Fields(QStringLiteral("FullName")) = rt::Variant("Ravi K. Menon");
    slot()->Update();
    slot()->AddNew();
    slot()->Fields(QStringLiteral("UserId")) = rt::Variant(int32_t(9));
    slot()->Fields(QStringLiteral("UserName")) = rt::Variant("GUEST");
    slot()->Update();
    close();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("Select FullName from User1 Where UserId=2")),
              QStringLiteral("Ravi K. Menon"));
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("Select UserName from User1 Where UserId=9")),
              QStringLiteral("GUEST"));
}

TEST_F(OnePair, ASecondCloseReportsAndLogsAndLeavesTheVariableEmpty) {
    open(kUsers);
    close();
    ASSERT_TRUE(boxes().empty());
    const int trail = count(QStringLiteral("errlog"));
    close();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("Object variable or With block variable not set"));
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_EQ(count(QStringLiteral("errlog")), trail + 1);
    EXPECT_EQ(lastTrailTexts(1),
              QStringList({"Object variable or With block variable not set 91 : From ClsProd"}));
    EXPECT_EQ(slot(), nullptr);
}

TEST_F(OnePair, AFailedOpenLeavesAnUnopenedRecordsetThatTheCloseRefuses) {
    open(kUsers);
    const auto earlier = slot();
    open(QStringLiteral("Select * from NoSuchTable"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("NoSuchTable"), Qt::CaseInsensitive))
        << boxes()[0].text.toStdString();
    const auto unopened = slot();
    ASSERT_TRUE(unopened);
    EXPECT_NE(unopened, earlier);  // the earlier result is gone from the variable
    EXPECT_EQ(unopened->State(), db::adStateClosed);

    const int trail = count(QStringLiteral("errlog"));
    close();
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].title, QStringLiteral("NARVO"));
    EXPECT_TRUE(boxes()[1].text.contains(QStringLiteral("closed")))
        << boxes()[1].text.toStdString();
    EXPECT_EQ(count(QStringLiteral("errlog")), trail + 1);
    EXPECT_EQ(slot(), unopened);  // the refused close does not empty it
}

TEST_F(OnePair, WithoutAConnectionTheOpenIsReported) {
    lib->Leave_Connection();
    open(kUsers);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    ASSERT_TRUE(slot());
    EXPECT_EQ(slot()->State(), db::adStateClosed);
}

TEST_F(OnePair, OpeningAgainWithoutClosingDiscardsTheFirstResultSilently) {
    open(kUsers);
    const auto first = slot();
    open(QStringLiteral("Select SysName from ImpSystems Order By SysId"));
    EXPECT_TRUE(boxes().empty());
    ASSERT_NE(slot(), first);
    EXPECT_EQ(slot()->Fields(0).Value().toText(*fake.settings), QStringLiteral("STORES-PC"));
    // Released, not closed: a caller that kept the reference still reads it.
    EXPECT_EQ(first->State(), db::adStateOpen);
    EXPECT_EQ(first->Fields(1).Value().toText(*fake.settings), QStringLiteral("ADMIN"));
}

TEST_F(OnePair, TheCloseClosesTheRecordsetForEveryHolderOfTheReference) {
    open(kUsers);
    const auto copy = slot();
    close();
    EXPECT_EQ(slot(), nullptr);
    EXPECT_EQ(copy->State(), db::adStateClosed);
}

// ---- Each pair works on its own variable ----

class EveryPair : public SharedRecordsetTest, public ::testing::WithParamInterface<Pair> {
protected:
    // The variables of the four pairs that hold something.
    QStringList filled() {
        QStringList out;
        for (const Pair& p : kPairs)
            if ((*lib).*(p.slot)) out << QString::fromStdString(p.name);
        return out;
    }
};

TEST_P(EveryPair, OpensIntoAndClosesItsOwnVariableOnly) {
    const Pair& pair = GetParam();
    const QString own = QString::fromStdString(pair.name);
    EXPECT_TRUE(filled().isEmpty());  // all start empty

    pair.open(*lib, kUsers);
    EXPECT_EQ(filled(), QStringList{own});
    const auto opened = (*lib).*(pair.slot);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->State(), db::adStateOpen);
    EXPECT_EQ(opened->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings),
              QStringLiteral("ADMIN"));

    // With every other variable holding a result, the close empties its own.
    for (const Pair& other : kPairs)
        if (other.slot != pair.slot) other.open(*lib, kUsers);
    pair.close(*lib);
    EXPECT_EQ(opened->State(), db::adStateClosed);
    QStringList others;
    for (const Pair& other : kPairs)
        if (other.slot != pair.slot) others << QString::fromStdString(other.name);
    EXPECT_EQ(filled(), others);
    EXPECT_TRUE(boxes().empty());

    // A second close finds its own variable empty, whatever the others hold.
    pair.close(*lib);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("Object variable or With block variable not set"));
    EXPECT_EQ(filled(), others);
}

INSTANTIATE_TEST_SUITE_P(SharedRecordsets, EveryPair, ::testing::ValuesIn(kPairs),
                         [](const auto& info) { return info.param.name; });

TEST_F(SharedRecordsetTest, OpeningTmpRec2LeavesTmpRecOnItsRow) {
    lib->open_temp_rec(kUsers);
    lib->tmp_Rec->MoveNext();
    lib->open_temp_rec2(QStringLiteral("Select * from User1 Order By UserId Desc"));
    lib->open_temp_rec3(QStringLiteral("Select * from ImpSystems"));
    lib->Recordset_Creation(QStringLiteral("Select * from OnLineUsers"));
    ASSERT_EQ(lib->tmp_Rec->State(), db::adStateOpen);
    EXPECT_EQ(lib->tmp_Rec->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings),
              QStringLiteral("RAVI"));
    EXPECT_EQ(lib->tmp_Rec2->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings),
              QStringLiteral("SURESH"));
    lib->close_temp_rec2();
    lib->close_temp_rec3();
    lib->RecordSet_Close();
    ASSERT_TRUE(lib->tmp_Rec);
    lib->tmp_Rec->MoveNext();
    EXPECT_EQ(lib->tmp_Rec->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings),
              QStringLiteral("MEENA"));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(SharedRecordsetTest, SingleValueQueriesLeaveTheSharedRecordsetsAlone) {
    lib->open_temp_rec(kUsers);
    const auto held = lib->tmp_Rec;
    EXPECT_EQ(lib->Retrieve_Name(QStringLiteral("Select SysName from ImpSystems Where SysId=2")),
              QStringLiteral("ACCOUNTS-PC"));
    EXPECT_TRUE(lib->chk_rec_exst(QStringLiteral("Select * from User1")));
    EXPECT_EQ(lib->tmp_Rec, held);
    EXPECT_EQ(lib->tmp_Rec->Fields(1).Value().toText(*fake.settings), QStringLiteral("ADMIN"));
    EXPECT_EQ(lib->dbrec, nullptr);
    EXPECT_EQ(lib->tmp_Rec2, nullptr);
    EXPECT_EQ(lib->tmp_Rec3, nullptr);
}

TEST_F(SharedRecordsetTest, TheQueryTextIsLeftAsTheCallerWroteIt) {
    QString q = QStringLiteral("Select * from User1 Where UserName='MEENA'");
    const QString before = q;
    lib->Recordset_Creation(q);
    EXPECT_EQ(q, before);
    ASSERT_TRUE(lib->dbrec);
    EXPECT_EQ(lib->dbrec->Fields(QStringLiteral("UserId")).Value().toInt32(*fake.settings), 3);
}

}  // namespace
