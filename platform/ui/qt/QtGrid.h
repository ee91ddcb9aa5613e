// The item grid on screen: ui::Grid over a QTableWidget, as the grid routines
// read and move it.
//
// Layout: the table's row 0 is the grid's row 0, the fixed header row that
// holds the column captions as ordinary items; data rows follow from row 1.
// So Rows() is rowCount() and Cols() is columnCount(). The widget's own
// horizontal and vertical headers play no part.
//
// Cells: the text of a cell is its item's text, the empty text when the cell
// has no item. The colour of a cell is its item's background (Qt::BackgroundRole,
// a QBrush or a QColor) as 0xBBGGRR. A cell without a background of its own
// reads as the grid's default colour, the widget palette's base colour, which
// is never pure red (255): an uncoloured cell is never taken for a marked one.
//
// Current cell: Row() and Col() are the cell last set through the adapter or
// made current in the widget (a cell the user clicks is the current one).
// Setting one of them keeps the other; the widget's current cell moves as soon
// as both are valid. A disabled cell, which the widget will not make current,
// is still the grid's current cell, so its colour can be read. Before
// anything is set and while the widget has had no current cell, both read 0.
//
// Out-of-range cells, rows and columns raise rt::Error 381, 30009 and 30010.
// The adapter does not own its widget; the widget must outlive the adapter.
#pragma once

#include <QMetaObject>
#include <cstdint>

#include "platform/ui/Grid.h"

class QTableWidget;

namespace ui {

class QtGrid final : public Grid {
  public:
    explicit QtGrid(QTableWidget* widget);
    ~QtGrid() override;
    QtGrid(const QtGrid&) = delete;
    QtGrid& operator=(const QtGrid&) = delete;

    int32_t Rows() const override;
    int32_t Cols() const override;
    QString TextMatrix(int32_t row, int32_t col) const override;
    int32_t Row() const override;
    void setRow(int32_t row) override;
    int32_t Col() const override;
    void setCol(int32_t col) override;
    int32_t CellBackColor() const override;

    // Colours the current cell's background (0xBBGGRR), creating its item when
    // the cell has none; this is how a screen marks a limit cell red (255).
    void setCellBackColor(int32_t color);
    // The colour an uncoloured cell reads as (0xBBGGRR).
    int32_t defaultBackColor() const;

    QTableWidget* widget() const { return widget_; }

  private:
    void checkCell(int32_t row, int32_t col) const;
    void moveWidgetCurrent();

    QTableWidget* widget_;
    int32_t row_ = 0;  // the current cell, kept in step with the widget's
    int32_t col_ = 0;
    QMetaObject::Connection follow_;  // the widget's current-cell changes
};

// Colour conversion between 0xBBGGRR and Qt's red, green, blue.
int32_t toBgr(int red, int green, int blue);

}  // namespace ui
