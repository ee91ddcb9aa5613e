// The Qt item grid adapter on a real QTableWidget: row 0 is the header row,
// cells without items read empty, the current cell follows the widget, cell
// colours read as 0xBBGGRR, and out-of-range access raises the grid's errors.
#include <gtest/gtest.h>

#include <QTableWidget>
#include <QTableWidgetItem>
#include <functional>

#include "platform/runtime/Error.h"
#include "platform/ui/qt/QtGrid.h"

namespace {

int32_t errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Error& e) {
        return e.number();
    }
    return 0;
}

class QtGridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        table.setRowCount(4);
        table.setColumnCount(3);
        table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("Part No.")));
        table.setItem(0, 1, new QTableWidgetItem(QStringLiteral("Qty")));
        table.setItem(2, 1, new QTableWidgetItem(QStringLiteral(" 12 kg ")));
    }
    QTableWidget table;
    ui::QtGrid grid{&table};
};

TEST_F(QtGridTest, CountsTheHeaderRowAsRowZero) {
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.Cols(), 3);
    EXPECT_EQ(grid.TextMatrix(0, 0), QStringLiteral("Part No."));
    EXPECT_EQ(grid.TextMatrix(2, 1), QStringLiteral(" 12 kg "));
}

TEST_F(QtGridTest, CellWithoutItemReadsEmpty) {
    EXPECT_EQ(grid.TextMatrix(3, 2), QString());
    EXPECT_EQ(grid.TextMatrix(1, 0), QString());
}

TEST_F(QtGridTest, OutOfRangeAccessRaisesTheGridErrors) {
    struct Case {
        const char* what;
        std::function<void()> f;
        int32_t number;
    } cases[] = {
        {"cell row past the end", [&] { grid.TextMatrix(4, 0); }, 381},
        {"cell column past the end", [&] { grid.TextMatrix(0, 3); }, 381},
        {"negative cell row", [&] { grid.TextMatrix(-1, 0); }, 381},
        {"row past the end", [&] { grid.setRow(4); }, 30009},
        {"negative row", [&] { grid.setRow(-1); }, 30009},
        {"column past the end", [&] { grid.setCol(3); }, 30010},
        {"negative column", [&] { grid.setCol(-1); }, 30010},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.f), c.number) << c.what;
}

TEST_F(QtGridTest, SettingRowAndColumnMovesTheWidgetsCurrentCell) {
    grid.setCol(2);
    grid.setRow(3);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(table.currentRow(), 3);
    EXPECT_EQ(table.currentColumn(), 2);
    grid.setRow(1);  // the column stays
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.currentColumn(), 2);
}

TEST_F(QtGridTest, CurrentCellFollowsTheUser) {
    table.setCurrentCell(2, 1);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 1);
}

TEST_F(QtGridTest, CellColourIsReadAsBlueGreenRed) {
    table.setCurrentCell(2, 1);
    table.item(2, 1)->setBackground(QColor(255, 0, 0));
    EXPECT_EQ(grid.CellBackColor(), 255);
    table.item(2, 1)->setBackground(QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(grid.CellBackColor(), 0x563412);
    // A plain QColor in the background role counts as well.
    table.item(2, 1)->setData(Qt::BackgroundRole, QColor(254, 0, 0));
    EXPECT_EQ(grid.CellBackColor(), 254);
}

TEST_F(QtGridTest, UncolouredCellsReadTheDefaultColourNeverRed) {
    table.setCurrentCell(3, 2);  // no item at all
    EXPECT_EQ(grid.CellBackColor(), grid.defaultBackColor());
    table.setCurrentCell(2, 1);  // an item without a background
    EXPECT_EQ(grid.CellBackColor(), grid.defaultBackColor());
    EXPECT_NE(grid.defaultBackColor(), 255);

    QPalette p = table.palette();
    p.setColor(QPalette::Base, QColor(255, 0, 0));
    table.setPalette(p);
    EXPECT_NE(grid.CellBackColor(), 255);
}

TEST_F(QtGridTest, SetCellBackColorMarksTheCurrentCell) {
    grid.setCol(2);
    grid.setRow(3);  // no item yet: one is made
    grid.setCellBackColor(255);
    ASSERT_NE(table.item(3, 2), nullptr);
    EXPECT_EQ(table.item(3, 2)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(grid.CellBackColor(), 255);
    EXPECT_EQ(grid.TextMatrix(3, 2), QString());
}

// Limit cells are often shown read only or greyed out; the widget refuses to
// make a disabled cell its current one, but the grid's current cell is still
// the cell that was set, and its colour is that cell's colour.
TEST_F(QtGridTest, CurrentCellCanBeADisabledCell) {
    table.setCurrentCell(1, 0);
    auto* limit = new QTableWidgetItem(QStringLiteral("10"));
    limit->setFlags(Qt::NoItemFlags);
    limit->setBackground(QColor(255, 0, 0));
    table.setItem(3, 2, limit);
    grid.setCol(2);
    grid.setRow(3);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_EQ(grid.CellBackColor(), 255);
    grid.setRow(2);  // back on an enabled cell: the widget follows again
    EXPECT_EQ(table.currentRow(), 2);
    EXPECT_EQ(table.currentColumn(), 2);
    EXPECT_NE(grid.CellBackColor(), 255);
}

TEST(QtGridEmpty, HoldsRowAndColumnUntilTheCellExists) {
    QTableWidget table(2, 0);
    ui::QtGrid grid(&table);
    grid.setRow(1);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(table.currentRow(), -1);
    table.setColumnCount(2);
    grid.setCol(1);
    EXPECT_EQ(table.currentRow(), 1);
    EXPECT_EQ(table.currentColumn(), 1);
}

}  // namespace
