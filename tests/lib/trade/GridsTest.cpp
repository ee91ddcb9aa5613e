// Item-grid checks and block totals on real Qt grids (offscreen): duplicate
// items, quantities above their limits in red rows or in every row, the sum
// text of a block, and the grid's current cell after a scan.
#include <QTableWidget>
#include <QTableWidgetItem>
#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtGrid.h"
#include "tests/support/Errors.h"
#include "tests/support/LibFixture.h"

namespace {

using testing_support::errorOf;
using testing_support::LibTest;

constexpr int32_t kRed = 255;

class GridsTest : public LibTest {
  protected:
    // Fills the table: the first list is the header row, the others data rows.
    void fill(std::initializer_list<std::vector<QString>> rows) {
        int cols = 0;
        for (const auto& r : rows) cols = std::max(cols, int(r.size()));
        table.clear();
        table.setRowCount(int(rows.size()));
        table.setColumnCount(cols);
        int i = 0;
        for (const auto& r : rows) {
            for (int c = 0; c < int(r.size()); ++c) table.setItem(i, c, new QTableWidgetItem(r[c]));
            ++i;
        }
    }
    // A header row and one item per data row in column 1.
    void items(const std::vector<QString>& texts) {
        table.clear();
        table.setRowCount(int(texts.size()) + 1);
        table.setColumnCount(2);
        table.setItem(0, 1, new QTableWidgetItem(QStringLiteral("Part No.")));
        for (int i = 0; i < int(texts.size()); ++i)
            table.setItem(i + 1, 1, new QTableWidgetItem(texts[i]));
    }
    void colour(int row, int col, int32_t bgr) {
        table.item(row, col)->setBackground(QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, bgr >> 16));
    }
    QString total(int16_t r1, int16_t r2, int16_t c1, int16_t c2) {
        rt::Variant v = lib->get_total_for_user_req(grid, r1, r2, c1, c2);
        EXPECT_TRUE(v.isText());
        return v.isText() ? v.asText() : QString();
    }
    void useGermanSettings() {
        fake.settings->setLocale(QLocale(QLocale::German, QLocale::Germany));
    }

    QTableWidget table;
    ui::QtGrid grid{&table};
};

// ---- msf_check_valid_itm ----

TEST_F(GridsTest, DuplicateNamesTheFirstPairOnly) {
    items({"A1", "P-100", "C3", "D4", "P-100", "E5", "P-100"});  // rows 2, 5, 7
    EXPECT_FALSE(lib->msf_check_valid_itm(grid, 1));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text,
              QStringLiteral("Duplication of  Part No./ Items is not allowed. SEE ROWS: 2 and  5"));
    EXPECT_EQ(boxes()[0].title, QStringLiteral("TestApp"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
}

TEST_F(GridsTest, DuplicateComparisonOfItemTexts) {
    struct Case {
        QString a, b;
        bool duplicate;
    } cases[] = {
        {"", "", true},          // two empty cells
        {"   ", "", true},       // only spaces
        {"ab", " ab ", true},    // spaces around do not count
        {"AB", "ab", false},     // letter case counts
        {"1", "1.0", false},     // texts, not numbers
        {"ab\t", "ab", false},   // only spaces are trimmed
        {"a b", "a  b", false},  // inner spaces stay
    };
    for (const Case& c : cases) {
        items({"X", c.a, "Y", c.b});
        boxes().clear();
        EXPECT_EQ(lib->msf_check_valid_itm(grid, 1), !c.duplicate)
            << "'" << c.a.toStdString() << "' vs '" << c.b.toStdString() << "'";
        EXPECT_EQ(boxes().size(), c.duplicate ? 1u : 0u);
        if (c.duplicate && !boxes().empty()) {
            EXPECT_TRUE(boxes()[0].text.endsWith(QStringLiteral("SEE ROWS: 2 and  4")));
        }
    }
}

TEST_F(GridsTest, HeaderAndSingleRowGridsHaveNoDuplicates) {
    items({});
    EXPECT_TRUE(lib->msf_check_valid_itm(grid, 1));
    items({"P-100"});
    EXPECT_TRUE(lib->msf_check_valid_itm(grid, 1));
    // The header row is never compared, even when it holds the same text.
    items({"P-100", "P-200"});
    table.item(0, 1)->setText(QStringLiteral("P-100"));
    EXPECT_TRUE(lib->msf_check_valid_itm(grid, 1));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(GridsTest, DuplicateCheckOutsideTheGridFailsToTheCaller) {
    items({"A", "B"});
    EXPECT_EQ(errorOf([&] { lib->msf_check_valid_itm(grid, 5); }), 381);
    EXPECT_TRUE(boxes().empty());
}

// ---- msf_RowQty_OK_if_red ----

TEST_F(GridsTest, RedRowAboveItsLimitIsRefused) {
    fake.context->setMsgTxt(QStringLiteral("Delivery Challan"));
    fill({{"Item", "Qty", "Bal"}, {"A", "5", "10"}, {"B", "12", "10"}, {"C", "99", "1"}});
    colour(1, 2, kRed);
    colour(2, 2, kRed);  // row 3 is not marked: never examined
    EXPECT_FALSE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("In Row: 2 , Qty should not be greater than 10"));
    EXPECT_EQ(boxes()[0].title, QStringLiteral("Delivery Challan"));
    EXPECT_EQ(boxes()[0].icon, ui::Icon::Critical);
    // The current cell stays on the offending row, in the limit column.
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 2);
}

TEST_F(GridsTest, OnlyPureRedMarksARow) {
    fill({{"Item", "Qty", "Bal"}, {"A", "12", "10"}, {"B", "12", "10"}, {"C", "12", "10"}});
    colour(1, 2, 254);
    colour(2, 2, 0x0080FF);  // red with some green
    // Row 3 keeps the grid's default colour.
    EXPECT_TRUE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    EXPECT_TRUE(boxes().empty());
    // The scan ends on the last data row, in the limit column.
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
}

// Screens show limit cells read only; a red limit cell that the user cannot
// select is checked all the same, wherever the user's current cell was.
TEST_F(GridsTest, RedLimitCellThatCannotBeSelectedIsChecked) {
    fill({{"Item", "Qty", "Bal"}, {"A", "5", "10"}, {"B", "12", "10"}});
    for (int r = 1; r <= 2; ++r) {
        colour(r, 2, kRed);
        table.item(r, 2)->setFlags(Qt::NoItemFlags);
    }
    table.setCurrentCell(1, 0);
    EXPECT_FALSE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("In Row: 2 , Qty should not be greater than 10"));
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 2);
}

TEST_F(GridsTest, ColourOfTheQuantityCellDoesNotMark) {
    fill({{"Item", "Qty", "Bal"}, {"A", "12", "10"}});
    colour(1, 1, kRed);
    EXPECT_TRUE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
}

TEST_F(GridsTest, QuantityReadsAsLeadingNumberAndLimitUsesTheLocale) {
    useGermanSettings();
    fill({{"Item", "Qty", "Bal"}, {"A", "10 kg", "9.5"}});
    colour(1, 2, kRed);
    EXPECT_FALSE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("In Row: 1 , Qty should not be greater than 9,5"));
}

TEST_F(GridsTest, EqualOrUnreadableQuantitiesPass) {
    fill({{"Item", "Qty", "Bal"}, {"A", "10", "10"}, {"B", "", "3"}, {"C", "abc", "0"}});
    for (int r = 1; r <= 3; ++r) colour(r, 2, kRed);
    EXPECT_TRUE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    EXPECT_TRUE(lib->msf_RowQty_OK_with_StockPO(grid, 1, 2));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(GridsTest, RedCheckWithoutDataRowsOnlySetsTheColumn) {
    fill({{"Item", "Qty", "Bal"}});
    EXPECT_TRUE(lib->msf_RowQty_OK_if_red(grid, 1, 2));
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.Row(), 0);
}

TEST_F(GridsTest, RedCheckWithABadLimitColumnFailsBeforeAnyRow) {
    fill({{"Item", "Qty", "Bal"}, {"A", "12", "10"}});
    EXPECT_EQ(errorOf([&] { lib->msf_RowQty_OK_if_red(grid, 1, 7); }), 30010);
    EXPECT_TRUE(boxes().empty());
}

// ---- msf_RowQty_OK_with_StockPO ----

TEST_F(GridsTest, StockCheckStopsAtTheFirstOffendingRowWhateverItsColour) {
    fill({{"Item", "Qty", "Stock"}, {"A", "1", "5"}, {"B", "7", "6.25"}, {"C", "9", "2"}});
    table.setCurrentCell(0, 0);
    EXPECT_FALSE(lib->msf_RowQty_OK_with_StockPO(grid, 1, 2));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("In Row: 2 , Qty should not be greater than 6.25"));
    // The current cell is not touched.
    EXPECT_EQ(table.currentRow(), 0);
    EXPECT_EQ(table.currentColumn(), 0);
}

TEST_F(GridsTest, RowCounterBeyondSixteenBitsOverflows) {
    table.setRowCount(32768);  // data rows 1..32767: the counter must step past 32767
    table.setColumnCount(3);
    EXPECT_EQ(errorOf([&] { lib->msf_RowQty_OK_with_StockPO(grid, 1, 2); }), rt::err::Overflow);
    table.setRowCount(32767);
    EXPECT_TRUE(lib->msf_RowQty_OK_with_StockPO(grid, 1, 2));
}

// ---- 16-bit row and column numbers ----

// A host passes its own 32-bit numbers. Inside -32768..32767 a number outside
// the grid is the grid's own error (381 for a cell, 30010 for the current
// column); outside 16 bits the call fails with Overflow before the routine
// touches the grid, never wrapping onto a row or column that exists.
struct GridParameter {
    const char* name;  // routine and parameter
    std::function<void(clsProd&, ui::Grid&, int32_t)> call;
    int32_t inRange;  // outcome at 32767 and at -32768
};

const GridParameter kGridParameters[] = {
    {"msf_check_valid_itm co",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.msf_check_valid_itm(g, v); }, 381},
    {"msf_RowQty_OK_if_red Co1",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.msf_RowQty_OK_if_red(g, v, 2); }, 381},
    {"msf_RowQty_OK_if_red co2",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.msf_RowQty_OK_if_red(g, 1, v); }, 30010},
    {"msf_RowQty_OK_with_StockPO Co1",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.msf_RowQty_OK_with_StockPO(g, v, 2); }, 381},
    {"msf_RowQty_OK_with_StockPO co2",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.msf_RowQty_OK_with_StockPO(g, 1, v); }, 381},
    {"get_total_for_user_req r1",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.get_total_for_user_req(g, v, 1, 1, 1); }, 381},
    {"get_total_for_user_req r2",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.get_total_for_user_req(g, 1, v, 1, 1); }, 381},
    {"get_total_for_user_req c1",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.get_total_for_user_req(g, 1, 1, v, 1); }, 381},
    {"get_total_for_user_req c2",
     [](clsProd& p, ui::Grid& g, int32_t v) { p.get_total_for_user_req(g, 1, 1, 1, v); }, 381},
};

TEST_F(GridsTest, SixteenBitParametersOverflowAtTheCallInsteadOfWrapping) {
    // Two data rows (so the duplicate check reads cells), the first red-marked.
    fill({{"Item", "Qty", "Bal"}, {"A", "12", "10"}, {"B", "1", "5"}});
    colour(1, 2, kRed);
    for (const GridParameter& c : kGridParameters) {
        SCOPED_TRACE(c.name);
        for (const auto& v : testing_support::sixteenBitEdges(c.inRange, c.inRange)) {
            table.setCurrentCell(0, 0);
            EXPECT_EQ(errorOf([&] { c.call(*lib, grid, v.value); }), v.outcome) << v.value;
            if (v.outcome == rt::err::Overflow) {
                EXPECT_EQ(table.currentRow(), 0) << v.value;  // the grid untouched
                EXPECT_EQ(table.currentColumn(), 0) << v.value;
            }
        }
    }
    EXPECT_TRUE(boxes().empty());
}

// ---- get_total_for_user_req ----

TEST_F(GridsTest, TotalsOfBlocks) {
    fill({{"Item", "Qty", "Rate", "Disc"},
          {"A", "2", "3", "1.5"},
          {"B", "4", "5", "2.25"},
          {"C", "", "", "3"},
          {"D", "2", "-2", ""},
          {"E", "0.125", "1", "0.375"}});
    const QString times = QString(QChar(0x00D7));
    struct Case {
        int16_t r1, r2, c1, c2;
        QString text;
    } cases[] = {
        {1, 2, 1, 2, "Sum : 14\r\n(C1 " + times + " C2): 26"},
        {2, 1, 2, 1, "Sum : 14\r\n(C1 " + times + " C2): 26"},       // corners swapped
        {1, 3, 3, 3, "Sum : 6.75"},                                  // one column
        {1, 2, 1, 3, "Sum : 17.75"},                                 // three columns: no products
        {4, 4, 1, 2, "Sum : ZERO"},                                  // 2 and -2; products -4
        {3, 3, 1, 2, "Sum : ZERO"},                                  // empty cells
        {5, 5, 3, 3, "Sum : 0.38"},                                  // 0.375: halves to even
        {5, 5, 1, 1, "Sum : 0.12"},                                  // 0.125: halves to even
        {5, 5, 1, 2, "Sum : 1.12\r\n(C1 " + times + " C2): 0.125"},  // products not rounded
        {0, 1, 1, 1, "Sum : 2"},                                     // header caption reads 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(total(c.r1, c.r2, c.c1, c.c2), c.text)
            << c.r1 << ".." << c.r2 << " x " << c.c1 << ".." << c.c2;
    EXPECT_TRUE(boxes().empty());
}

TEST_F(GridsTest, TotalUsesTheLocalesDecimalSeparator) {
    useGermanSettings();
    fill({{"Item", "Qty", "Rate"}, {"A", "1.5", "0.5"}, {"B", "2.25", "2"}});
    EXPECT_EQ(total(1, 2, 1, 2),
              QStringLiteral("Sum : 6,25\r\n(C1 ") + QChar(0x00D7) + QStringLiteral(" C2): 5,25"));
}

TEST_F(GridsTest, TotalOutsideTheGridFailsToTheCaller) {
    fill({{"Item", "Qty"}, {"A", "1"}});
    EXPECT_EQ(errorOf([&] { lib->get_total_for_user_req(grid, 1, 3, 1, 1); }), 381);
}

}  // namespace
