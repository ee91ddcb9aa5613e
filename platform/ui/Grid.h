// An item grid as the grid routines use it: rows and columns numbered from 0,
// row 0 the header; the text of a cell; a current row and column; the colour
// of the current cell as 0xBBGGRR (255 is pure red).
#pragma once

#include <QString>

#include <cstdint>

namespace ui {

class Grid {
public:
    virtual ~Grid() = default;
    virtual int32_t Rows() const = 0;
    virtual int32_t Cols() const = 0;
    virtual QString TextMatrix(int32_t row, int32_t col) const = 0;  // Error 381 outside
    virtual int32_t Row() const = 0;
    virtual void setRow(int32_t row) = 0;   // Error 30009 outside
    virtual int32_t Col() const = 0;
    virtual void setCol(int32_t col) = 0;   // Error 30010 outside
    virtual int32_t CellBackColor() const = 0;  // colour of the current cell
};

}  // namespace ui
