// Filling combo and list boxes from a real database file, and searching them:
// texts and item data per row, refills, the stops on bad values with the
// standard error handler, and the searches' counters and comparisons.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <limits>
#include <vector>

#include "lib/clsProd.h"
#include "platform/db/Connection.h"
#include "platform/db/Schema.h"
#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtListControls.h"
#include "tests/support/LibFixture.h"

namespace {

using db::JetType;

db::ColumnDef column(const char* name, JetType type, int size = 255) {
    db::ColumnDef c;
    c.name = QString::fromUtf8(name);
    c.type = type;
    c.size = size;
    return c;
}

db::TableDef table(const char* name, std::vector<db::ColumnDef> columns) {
    db::TableDef t;
    t.name = QString::fromUtf8(name);
    t.columns = std::move(columns);
    return t;
}

class ListsTest : public testing_support::LibTest {
  protected:
    void SetUp() override {
        LibTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(dataFolder()));
        const QString path = dataFolder() + QStringLiteral("/Lists.mdb");
        // No password verifier: these tests are about lists, and the file then
        // opens at once.
        db::createDatabaseFile(path, QString());
        conn = db::Connection::create(fake.settings.get(), fake.clock.get());
        conn->setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                                  path +
                                  QStringLiteral(";Persist Security Info=False;Jet "
                                                 "OLEDB:Database Password="));
        conn->Open();
        db::createTable(*conn, table("errlog", {column("errtext", JetType::Text, 255),
                                                column("errdate", JetType::DateTime)}));
        db::createTable(*conn, table("Parts", {column("id", JetType::Long),
                                               column("name", JetType::Text, 50)}));
        conn->Execute(QStringLiteral("insert into Parts values (3, 'Bolts')"));
        conn->Execute(QStringLiteral("insert into Parts values (5, 'Nuts')"));
        // Rows with awkward values: Null texts, halves, numbers beyond 32 bits,
        // ids kept as text.
        db::createTable(
            *conn,
            table("Odd", {column("seq", JetType::Long), column("name", JetType::Text, 50),
                          column("num", JetType::Double), column("txt", JetType::Text, 20)}));
        for (const char* row : {"1, 'A', 1, '1'", "2, Null, 2, '2'", "3, 'C', 2.5, 'x'",
                                "4, 'D', 3.5, Null", "5, 'E', 3000000000, '-3.5'",
                                "6, 'F', -2147483648, '2147483648'", "7, 'G', Null, '7'"})
            conn->Execute(QStringLiteral("insert into Odd values (%1)").arg(QLatin1String(row)));
        lib->dbconnection = conn;
    }

    // The error trail's texts, in the order written.
    QStringList trail() {
        QStringList t;
        db::Recordset rs;
        rs.Open(QStringLiteral("select errtext from errlog"), conn);
        for (; !rs.Eof(); rs.MoveNext()) t << rs.Fields(0).Value().toText(*fake.settings);
        return t;
    }

    std::shared_ptr<db::Connection> conn;
    QComboBox comboWidget;
    QListWidget listWidget;
    ui::QtComboBox combo{&comboWidget};
    ui::QtListBox list{&listWidget};
};

struct Items {
    QStringList texts;
    std::vector<int32_t> data;
    friend bool operator==(const Items&, const Items&) = default;
};

Items itemsOf(const ui::ListControl& c) {
    Items it;
    for (int32_t i = 0; i < c.ListCount(); ++i) {
        it.texts << c.List(i);
        it.data.push_back(c.ItemData(i));
    }
    return it;
}

void PrintTo(const Items& it, std::ostream* os) {
    *os << '[';
    for (int i = 0; i < it.texts.size(); ++i)
        *os << (i ? ", " : "") << it.texts[i].toStdString() << ':' << it.data[size_t(i)];
    *os << ']';
}

TEST_F(ListsTest, LoadComboGivesTextsFromColumnOneAndItemDataFromColumnZero) {
    lib->load_combo(combo, QStringLiteral("select id, name from Parts order by id"));
    EXPECT_EQ(itemsOf(combo), (Items{{"Bolts", "Nuts"}, {3, 5}}));
    lib->load_list(list, QStringLiteral("select id, name from Parts order by id"));
    EXPECT_EQ(itemsOf(list), (Items{{"Bolts", "Nuts"}, {3, 5}}));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ListsTest, LoadCombo1ShowsColumnZeroAndLeavesItemDataZero) {
    lib->load_combo1(combo, QStringLiteral("select id, name from Parts order by id"));
    EXPECT_EQ(itemsOf(combo), (Items{{"3", "5"}, {0, 0}}));
    lib->load_list1(list, QStringLiteral("select id, name from Parts order by id"));
    EXPECT_EQ(itemsOf(list), (Items{{"3", "5"}, {0, 0}}));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(ListsTest, RefillReplacesOldItemsEvenWhenTheQueryFails) {
    for (const char* old : {"old one", "old two"}) {
        combo.AddItem(QString::fromUtf8(old));
        combo.setItemData(combo.NewIndex(), 99);
    }
    lib->load_combo(combo, QStringLiteral("select id, name from Parts where id = 5"));
    EXPECT_EQ(itemsOf(combo), (Items{{"Nuts"}, {5}}));

    lib->load_combo(combo, QStringLiteral("select id, name from NoSuchTable"));
    EXPECT_EQ(combo.ListCount(), 0);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("NARVO"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    const QStringList t = trail();
    ASSERT_EQ(t.size(), 1);
    EXPECT_TRUE(t[0].startsWith(boxes()[0].text + u' ')) << t[0].toStdString();
    EXPECT_TRUE(t[0].endsWith(QStringLiteral(" : From ClsProd"))) << t[0].toStdString();
}

TEST_F(ListsTest, EmptyResultLeavesTheControlEmptyWithoutFailure) {
    list.AddItem(QStringLiteral("stale"));
    lib->load_list(list, QStringLiteral("select id, name from Parts where id > 100"));
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(trail().isEmpty());
}

TEST_F(ListsTest, WithoutAConnectionTheControlIsStillEmptied) {
    combo.AddItem(QStringLiteral("stale"));
    lib->dbconnection.reset();
    lib->load_combo1(combo, QStringLiteral("select name from Parts"));
    EXPECT_EQ(combo.ListCount(), 0);
    EXPECT_EQ(boxes().size(), 1u);
}

// What load_combo (and load_list alike) leave in the control for rows of the
// table Odd, and the error that stopped them (0: none).
struct FillCase {
    const char* what;
    const char* query;
    Items expected;
    int32_t error;
};

const FillCase kFillCases[] = {
    {"a Null text stops before its item",
     "select num, name from Odd where seq <= 3 order by seq",
     {{"A"}, {1}},
     rt::err::InvalidUseOfNull},
    {"halves round to the even neighbour",
     "select num, name from Odd where seq in (3, 4) order by seq",
     {{"C", "D"}, {2, 4}},
     0},
    {"a number beyond 32 bits stops after its item",
     "select num, name from Odd where seq in (1, 5, 6) order by seq",
     {{"A", "E"}, {1, 0}},
     rt::err::Overflow},
    {"the lowest 32-bit number fits",
     "select num, name from Odd where seq = 6",
     {{"F"}, {INT32_MIN}},
     0},
    {"a Null item data stops after its item",
     "select num, name from Odd where seq in (7, 1, 3) order by seq",
     {{"A", "C", "G"}, {1, 2, 0}},
     rt::err::InvalidUseOfNull},
    {"numeric text reads as a number",
     "select txt, name from Odd where seq in (1, 5, 7) order by seq",
     {{"A", "E", "G"}, {1, -4, 7}},
     0},
    {"non-numeric text stops after its item",
     "select txt, name from Odd where seq in (1, 3) order by seq",
     {{"A", "C"}, {1, 0}},
     rt::err::TypeMismatch},
    {"text beyond 32 bits stops after its item",
     "select txt, name from Odd where seq = 6",
     {{"F"}, {0}},
     rt::err::Overflow},
    {"a Null text-kept id stops after its item",
     "select txt, name from Odd where seq = 4",
     {{"D"}, {0}},
     rt::err::InvalidUseOfNull},
    {"a single column fails at the first row",
     "select name from Parts",
     {{}, {}},
     rt::err::DbItemNotFound},
    {"texts of numbers in their regional form",
     "select seq, num from Odd where seq in (3, 5) order by seq",
     {{"2.5", "3000000000"}, {3, 5}},
     0},
};

TEST_F(ListsTest, FillStopsWhereTheRowsSay) {
    for (const FillCase& c : kFillCases) {
        SCOPED_TRACE(c.what);
        boxes().clear();
        conn->Execute(QStringLiteral("delete from errlog"));
        lib->load_combo(combo, QString::fromUtf8(c.query));
        lib->load_list(list, QString::fromUtf8(c.query));
        EXPECT_EQ(itemsOf(combo), c.expected);
        EXPECT_EQ(itemsOf(list), c.expected);
        if (c.error == 0) {
            EXPECT_TRUE(boxes().empty());
            continue;
        }
        ASSERT_EQ(boxes().size(), 2u) << "one box per fill";
        const QStringList t = trail();
        ASSERT_EQ(t.size(), 2);
        EXPECT_TRUE(t[0].endsWith(QStringLiteral(" %1 : From ClsProd").arg(c.error)))
            << t[0].toStdString();
    }
}

TEST_F(ListsTest, SortedControlsKeepEachIdWithItsText) {
    QComboBox sortedWidget;
    ui::QtComboBox sorted(&sortedWidget, true);
    lib->load_combo(sorted, QStringLiteral("select id, name from Parts order by name desc"));
    EXPECT_EQ(itemsOf(sorted), (Items{{"Bolts", "Nuts"}, {3, 5}}));
    listWidget.setSortingEnabled(true);
    lib->load_list(list, QStringLiteral("select id, name from Parts order by name desc"));
    EXPECT_EQ(itemsOf(list), (Items{{"Bolts", "Nuts"}, {3, 5}}));
}

// ---- Searches ----

void fill(ui::ListControl& c, const Items& items) {
    c.Clear();
    for (int i = 0; i < items.texts.size(); ++i) {
        c.AddItem(items.texts[i]);
        c.setItemData(c.NewIndex(), items.data[size_t(i)]);
    }
}

TEST_F(ListsTest, EmptyControlIsNotFound) {
    EXPECT_EQ(lib->Get_ListIndex_From_ItemData(combo, 3), -1);
    EXPECT_EQ(lib->Get_cmbRlist_ListIndex(combo, 3), -1);
    EXPECT_EQ(lib->Get_ItemData_From_String(combo, QStringLiteral("Bolts")), 0);
}

TEST_F(ListsTest, SearchByItemDataGivesTheLowerIndexOfDuplicates) {
    fill(list, {{"a", "b", "c", "d"}, {7, 5, 5, INT32_MIN}});
    const int32_t five = 5;
    EXPECT_EQ(lib->Get_ListIndex_From_ItemData(list, five), 1);
    EXPECT_EQ(lib->Get_cmbRlist_ListIndex(list, 5), 1);
    EXPECT_EQ(lib->Get_ListIndex_From_ItemData(list, INT32_MIN), 3);
    EXPECT_EQ(lib->Get_cmbRlist_ListIndex(list, 6), -1);
    EXPECT_EQ(five, 5);
}

TEST_F(ListsTest, SearchByTextComparesUpperCaseWithoutTrimming) {
    fill(combo, {{"bolts", "Müller", "nuts", "NUTS", "zero"}, {3, 8, 5, 6, 0}});
    const struct {
        const char* asked;
        int32_t expected;
    } cases[] = {
        {"BOLTS", 3},  {"bolts", 3},   {"BOLTS ", 0},
        {" bolts", 0}, {"MÜLLER", 8},  {"Nuts", 5},  // the first of two equal texts
        {"zero", 0},                                 // found, and its item data is 0
        {"", 0},       {"washers", 0},
    };
    for (const auto& c : cases) {
        const QString asked = QString::fromUtf8(c.asked);
        EXPECT_EQ(lib->Get_ItemData_From_String(combo, asked), c.expected) << c.asked;
    }
}

TEST_F(ListsTest, SixteenBitSearchesOverflowOnlyBeyondIndex32767) {
    QListWidget bigWidget;
    ui::QtListBox big(&bigWidget);
    for (int i = 0; i < 32768; ++i) {
        big.AddItem(QString::number(i));
        big.setItemData(i, i);
    }
    // Last index 32767 still fits a 16-bit counter.
    EXPECT_EQ(lib->Get_ListIndex_From_ItemData(big, 32767), 32767);
    EXPECT_EQ(lib->Get_ItemData_From_String(big, QStringLiteral("32767")), 32767);

    big.AddItem(QStringLiteral("32768"));
    big.setItemData(32768, 32768);
    for (auto search :
         {+[](clsProd&p, ui::ListControl&c) { return p.Get_ListIndex_From_ItemData(c, 0); },
          +[](clsProd&p, ui::ListControl&c) {
              return p.Get_ItemData_From_String(c, QStringLiteral("0"));
          }}) {
        try {
            search(*lib, big);
            ADD_FAILURE() << "no overflow";
        } catch (const rt::Error& e) {
            EXPECT_EQ(e.number(), rt::err::Overflow);
        }
    }
    EXPECT_EQ(lib->Get_cmbRlist_ListIndex(big, 32768), 32768) << "a 32-bit counter goes on";
    EXPECT_TRUE(boxes().empty()) << "searches have no handler of their own";
}

}  // namespace
