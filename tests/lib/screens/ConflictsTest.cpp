// The screen conflict checks: which records of other workstations count, the
// order of openings across days and months under several regional settings,
// the exact message texts, and how each check ends a failure.
#include "tests/lib/screens/ScreensFixture.h"

#include "platform/runtime/Error.h"

#include <string>

namespace {

using screens_test::at;
using screens_test::ScreensTest;

constexpr int32_t kScreen = 12;
const QString kTitle = QStringLiteral("Delivery Challan");
const QString kLogDeleted =
    QStringLiteral("Your Log was deleted by the Administrator.Contact Ur Administrator");

class ConflictsTest : public ScreensTest {
protected:
    void SetUp() override {
        ScreensTest::SetUp();
        emptyTable();
    }
};

// ---- Which openings count as earlier ----

struct Opening {
    const char* name;
    QDateTime own;    // this user's record
    QDateTime other;  // workstation 2's record, access value 2
    bool earlier;     // whether the other record counts as opened no later
    // Whether the case turns on how the own time's text reads back: the order
    // of day and month, or the date alone that stands for midnight.
    bool readsBack = false;
};

const Opening kOpenings[] = {
    {"FiveMinutesEarlierSameDay", at(2026, 12, 8, 10, 5), at(2026, 12, 8, 10, 0), true},
    {"FiveMinutesLaterSameDay", at(2026, 12, 8, 9, 55), at(2026, 12, 8, 10, 0), false},
    {"SameSecond", at(2026, 12, 8, 10, 0), at(2026, 12, 8, 10, 0), true},
    {"SameSecondOtherFractionLater", at(2026, 12, 8, 10, 0, 0, 200), at(2026, 12, 8, 10, 0, 0, 700),
     true},
    {"OneSecondLater", at(2026, 12, 8, 10, 0, 0), at(2026, 12, 8, 10, 0, 1), false},
    {"AfternoonAgainstMorning", at(2026, 12, 8, 13, 0), at(2026, 12, 8, 9, 0), true},
    // The day-first texts put the 5th of March after the 4th of April.
    {"FifthOfMarchAgainstFourthOfApril", at(2026, 3, 5, 10, 0), at(2026, 4, 4, 10, 0), false, true},
    {"FourthOfAprilAgainstFifthOfMarch", at(2026, 4, 4, 10, 0), at(2026, 3, 5, 10, 0), true, true},
    {"NewYearAgainstLastDecember", at(2027, 1, 2, 8, 0), at(2026, 12, 31, 18, 0), true, true},
    {"LastDecemberAgainstNewYear", at(2026, 12, 31, 18, 0), at(2027, 1, 2, 8, 0), false, true},
    {"OwnAtMidnightAgainstTheEveningBefore", at(2026, 12, 8, 0, 0), at(2026, 12, 7, 23, 59, 59),
     true, true},
    {"OwnAtMidnightAgainstTheSameMidnight", at(2026, 12, 8, 0, 0), at(2026, 12, 8, 0, 0), true,
     true},
    {"OtherAtMidnightAfterwards", at(2026, 12, 7, 23, 59, 59), at(2026, 12, 8, 0, 0), false, true},
};

class OpeningOrderTest : public ConflictsTest {
protected:
    // Registers both records of `c` on an empty table and asks the check.
    void expectOrder(const Opening& c) {
        SCOPED_TRACE(c.name);
        emptyTable();
        boxes().clear();
        registerOwn(c.own, kScreen);
        registerAs(2, 3, c.other, kScreen);
        EXPECT_EQ(lib->Chk_More_Users_In_Screen(kScreen), c.earlier);
        ASSERT_EQ(boxes().size(), c.earlier ? 1u : 0u);
        if (c.earlier) {
            EXPECT_TRUE(
                boxes()[0].text.startsWith(QStringLiteral("This Screen was already opened by ")));
            EXPECT_EQ(boxes()[0].title, kTitle);
        }
        EXPECT_EQ(lib->tmp_Rec, nullptr);
    }
};

TEST_F(OpeningOrderTest, ChkWarnsOnlyWhenTheOtherOpenedNoLater) {
    for (const Opening& c : kOpenings) expectOrder(c);
}

// The own record's time comes back as the regional general-date text and is
// read again under the same settings: month-first and dotted dates, and the
// date alone that the general date shows at midnight, keep their order (the
// fixture's own day-first settings run every case above).
struct Locale {
    const char* name;
    QLocale locale;
};
void PrintTo(const Locale& l, std::ostream* os) { *os << l.name; }

class OpeningOrderByLocale : public OpeningOrderTest,
                             public ::testing::WithParamInterface<Locale> {};

TEST_P(OpeningOrderByLocale, DaysMonthsAndMidnightKeepTheirOrder) {
    fake.settings->setLocale(GetParam().locale);
    for (const Opening& c : kOpenings)
        if (c.readsBack) expectOrder(c);
}

INSTANTIATE_TEST_SUITE_P(
    Conflicts, OpeningOrderByLocale,
    ::testing::Values(Locale{"en_US", QLocale(QLocale::English, QLocale::UnitedStates)},
                      Locale{"de_DE", QLocale(QLocale::German, QLocale::Germany)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Chk_More_Users_In_Screen ----

TEST_F(ConflictsTest, ChkNamesTheEarlierHolderInFiveLines) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 10, 0), kScreen);
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("This Screen was already opened by \n"
                                              "User Name : MEENA\n"
                                              "System Name : ACCOUNTS-PC\n"
                                              "Date / Time : 08/12/2026 10:00:00\n"
                                              "Ur Screen Log Date / Time : 08/12/2026 10:05:00"));
    EXPECT_EQ(boxes()[0].title, kTitle);
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
}

TEST_F(ConflictsTest, ChkWithoutOwnRecordSaysTheLogWasDeletedAndLooksNoFurther) {
    registerAs(2, 3, at(2026, 12, 8, 10, 0), kScreen);
    registerOwn(at(2026, 12, 8, 10, 5), kScreen + 1);  // another screen
    registerAs(kOwnSys, 3, at(2026, 12, 8, 10, 5), kScreen);  // another user here
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, kLogDeleted);
    EXPECT_EQ(boxes()[0].title, kTitle);
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_EQ(lib->tmp_Rec, nullptr);  // tmp_Rec never opened
}

TEST_F(ConflictsTest, NoOtherHolderMeansNoMessageFromEither) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 9, 0), kScreen + 1);  // another screen
    EXPECT_FALSE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), 3);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ConflictsTest, AccessValueOneIsIgnoredByBoth) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 10, 0), kScreen, 1);
    EXPECT_FALSE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 2), 2);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ConflictsTest, AnotherUserOnThisWorkstationIsNeverAConflict) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(kOwnSys, 3, at(2026, 12, 8, 10, 0), kScreen, 3);
    EXPECT_FALSE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 2), 2);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ConflictsTest, ThreeHoldersGiveOneMessageFromChkAndTheEarliestFromFix) {
    registerOwn(at(2026, 12, 8, 10, 0), kScreen);
    // Written out of time order, so the engine's order is not the time order.
    registerAs(2, 1, at(2026, 12, 8, 9, 20), kScreen);
    registerAs(3, 3, at(2026, 12, 8, 9, 0), kScreen);
    registerAs(2, 4, at(2026, 12, 8, 9, 10), kScreen);
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_EQ(boxes().size(), 1u);
    boxes().clear();
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 2), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("This Screen was already opened by\n"
                                              "User Name : MEENA\n"
                                              "System Name : DESPATCH-PC\n"
                                              "Date / Time : 08/12/2026 09:00:00\n"
                                              "So U can't Save or Modify or Delete any record"));
    EXPECT_EQ(boxes()[0].title, kTitle);
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    EXPECT_EQ(lib->tmp_Rec, nullptr);
}

TEST_F(ConflictsTest, ChkSkipsLaterHoldersUntilAnEarlierOne) {
    registerOwn(at(2026, 12, 8, 10, 0), kScreen);
    registerAs(2, 1, at(2026, 12, 8, 11, 0), kScreen);
    registerAs(3, 4, at(2026, 12, 8, 9, 30), kScreen);
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("User Name : SURESH\n")));
}

TEST_F(ConflictsTest, AnUnknownUserOrWorkstationLeavesTheLabelEmpty) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(8, 77, at(2026, 12, 8, 10, 0), kScreen);
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("\nUser Name : \nSystem Name : \n")))
        << boxes()[0].text.toStdString();
}

TEST_F(ConflictsTest, ChkLeavesSharedRecordsetsOtherThanTmpRecAlone) {
    lib->open_temp_rec2(QStringLiteral("Select * from User1 Order By UserId"));
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 10, 0), kScreen);
    lib->Chk_More_Users_In_Screen(kScreen);
    ASSERT_TRUE(lib->tmp_Rec2);
    EXPECT_EQ(lib->tmp_Rec2->Fields(QStringLiteral("UserName")).Value().toText(*fake.settings),
              QStringLiteral("ADMIN"));
}

TEST_F(ConflictsTest, ChkWhenItsOwnLookupFailsSaysTheLogWasDeleted) {
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));  // Retrieve_Name's report
    EXPECT_EQ(boxes()[1].text, kLogDeleted);
}

TEST_F(ConflictsTest, ChkPassesAFailureBeyondItsQueriesToTheCaller) {
    // A table without UserVal: the own lookup works, the walk's query does not,
    // and reading the unopened tmp_Rec fails inside Chk itself.
    auto& engine = lib->dbconnection->engine();
    engine.execNative("DROP TABLE OnLineUsers");
    engine.createTable(screens_test::occupancyTable({}));
    engine.execNative(
        "INSERT INTO OnLineUsers (DateT, SysId, UserId, ScreenId) "
        "VALUES ('2026-12-08 10:05:00', 1, 2, 12)");
    EXPECT_THROW(lib->Chk_More_Users_In_Screen(kScreen), rt::Error);
    ASSERT_EQ(boxes().size(), 1u);  // open_temp_rec's own report
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    ASSERT_TRUE(lib->tmp_Rec);
    EXPECT_EQ(lib->tmp_Rec->State(), db::adStateClosed);
}

TEST_F(ConflictsTest, ARecordWithoutATimeIsNamedByFixButNeverCountedByChk) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    lib->dbconnection->engine().execNative(
        "INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, ScreenId) "
        "VALUES (NULL, 2, 3, 2, 12)");
    EXPECT_FALSE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 2), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("\nDate / Time : \nSo U can't")))
        << boxes()[0].text.toStdString();
}

// ---- Records as other workstations wrote them ----

// Whatever another workstation's record holds as its user or workstation id,
// the name lookups run only as "...Id=" followed by the digits of a 32-bit
// number. A record whose id is not one still holds the screen; its holder is
// named as one nobody has on record (an empty name), without a query.
struct StoredId {
    const char* name;
    const char* literal;  // as written into the record
    const char* userName;
    // False where the server's whole-number column keeps another value than
    // the one written (it rounds a fraction), so the case is the file's only.
    bool serverKeepsIt = true;
};
void PrintTo(const StoredId& s, std::ostream* os) { *os << s.name; }

const StoredId kStoredIds[] = {
    {"DigestUnion", "'0 union select digest from MSysPassword'", ""},
    {"TextUnion", "'0 union select ''INJECTED'''", ""},
    {"Semicolon", "'3; delete from User1'", ""},
    {"Fraction", "3.5", "", false},
    {"BeyondThirtyTwoBits", "4294967299", ""},
    {"DigitsAfterALetter", "'x3'", ""},
    {"Null", "NULL", ""},
    {"Number", "3", "MEENA"},
    {"WholeFloatingNumber", "3.0", "MEENA"},
    {"DigitsAsText", "' 3 '", "MEENA"},
    {"NegativeNumber", "-1", ""},
};

class StoredIdTest : public ConflictsTest, public ::testing::WithParamInterface<StoredId> {
protected:
    // This user's record at 10:05 and workstation 2's record at 10:00 holding
    // the user id under test, written past the library.
    void SetUp() override {
        ConflictsTest::SetUp();
        if (testing_support::onServer() && !GetParam().serverKeepsIt)
            GTEST_SKIP() << "The server's whole-number column rounds " << GetParam().literal;
        registerOwn(at(2026, 12, 8, 10, 5), kScreen);
        const std::string sql =
            std::string(
                "INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, ScreenId) "
                "VALUES ('2026-12-08 10:00:00', 2, ") +
            GetParam().literal + ", 2, 12)";
        writeRaw(sql.c_str());
        trail = trailRows();
        lib->dbconnection->engine().setTrace(
            [this](const std::string& sql) { statements << QString::fromStdString(sql); });
    }
    void TearDown() override {
        if (IsSkipped()) {
            ConflictsTest::TearDown();
            return;
        }
        // No statement the checks started reached beyond the lookups' tables.
        for (const QString& sql : statements) {
            EXPECT_FALSE(sql.contains(QLatin1String("MSysPassword"), Qt::CaseInsensitive))
                << sql.toStdString();
            EXPECT_FALSE(sql.contains(QLatin1String("union"), Qt::CaseInsensitive))
                << sql.toStdString();
        }
        EXPECT_FALSE(statements.isEmpty());
        lib->dbconnection->engine().setTrace({});
        ConflictsTest::TearDown();
    }
    QString heldBy() const {
        return QStringLiteral("User Name : ") + QString::fromLatin1(GetParam().userName) +
               QStringLiteral("\nSystem Name : ACCOUNTS-PC\nDate / Time : 08/12/2026 10:00:00\n");
    }
    int trail = 0;
    QStringList statements;  // as the engine started them
};

TEST_P(StoredIdTest, ChkNamesTheHolderOnlyByANumber) {
    EXPECT_TRUE(lib->Chk_More_Users_In_Screen(kScreen));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              QStringLiteral("This Screen was already opened by \n") + heldBy() +
                  QStringLiteral("Ur Screen Log Date / Time : 08/12/2026 10:05:00"));
    EXPECT_EQ(trailRows(), trail);
    EXPECT_EQ(count(QStringLiteral("select count(*) from User1")), 4);
    EXPECT_EQ(lib->tmp_Rec, nullptr);
}

TEST_P(StoredIdTest, FixNamesTheHolderOnlyByANumberAndStillMakesTheScreenReadOnly) {
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              QStringLiteral("This Screen was already opened by\n") + heldBy() +
                  QStringLiteral("So U can't Save or Modify or Delete any record"));
    EXPECT_EQ(trailRows(), trail);
}

INSTANTIATE_TEST_SUITE_P(Conflicts, StoredIdTest, ::testing::ValuesIn(kStoredIds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConflictsTest, AWorkstationIdThatIsNotANumberIsNamedAsNoneOnRecord) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    writeRaw(
        "INSERT INTO OnLineUsers (DateT, SysId, UserId, UserVal, ScreenId) VALUES "
        "('2026-12-08 10:00:00', '2 union select digest from MSysPassword', 3, 2, 12)");
    if (IsSkipped()) return;
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("\nUser Name : MEENA\nSystem Name : \n")))
        << boxes()[0].text.toStdString();
}

// ---- Fix_userVal_ReadOnly_if_screen_already_exist ----

TEST_F(ConflictsTest, FixMakesNoTimeComparison) {
    registerOwn(at(2026, 12, 8, 9, 0), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 11, 0), kScreen);
    EXPECT_FALSE(lib->Chk_More_Users_In_Screen(kScreen));
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 4), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("Date / Time : 08/12/2026 11:00:00\n")));

    // An earlier holder, days before, makes it read only just the same.
    emptyTable();
    boxes().clear();
    registerOwn(at(2026, 12, 8, 9, 0), kScreen);
    registerAs(2, 3, at(2026, 11, 30, 17, 0), kScreen);
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 4), 1);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("Date / Time : 30/11/2026 17:00:00\n")));
}

TEST_F(ConflictsTest, FixEndsAFailureSilentlyWithTheValueAsItStood) {
    lib->dbconnection->engine().execNative("DROP TABLE OnLineUsers");
    const int trail = trailRows();
    EXPECT_EQ(lib->Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), 3);
    ASSERT_EQ(boxes().size(), 1u);  // open_temp_rec's own report, nothing more
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(trailRows(), trail + 1);
}

// A message box that fails the way a test asks it to.
class FailingBox final : public ui::MessageBox {
public:
    explicit FailingBox(std::function<void()> fail) : fail_(std::move(fail)) {}
    void show(const QString&, const QString&, ui::Icon) override { fail_(); }

private:
    std::function<void()> fail_;
};

TEST_F(ConflictsTest, FixSwallowsFailuresButNotAProgramEnd) {
    registerOwn(at(2026, 12, 8, 10, 5), kScreen);
    registerAs(2, 3, at(2026, 12, 8, 10, 0), kScreen);
    auto env = fake.environment(appFolder());
    env.messageBox =
        std::make_shared<FailingBox>([] { rt::raise(rt::err::DbGeneric, QStringLiteral("x")); });
    clsProd failing(env);
    failing.dbconnection = lib->dbconnection;
    EXPECT_EQ(failing.Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), 3);

    env.messageBox = std::make_shared<FailingBox>([] { throw rt::ProgramEnded{}; });
    clsProd ending(env);
    ending.dbconnection = lib->dbconnection;
    EXPECT_THROW(ending.Fix_userVal_ReadOnly_if_screen_already_exist(kScreen, 3), rt::ProgramEnded);
}

}  // namespace
