// ui::Grid over a QTableWidget: cell texts, the current cell and its colour.
#include "platform/ui/qt/QtGrid.h"

#include <QBrush>
#include <QColor>
#include <QObject>
#include <QPalette>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QVariant>

#include "platform/runtime/Error.h"

namespace ui {

namespace {

constexpr int32_t kBadSubscript = 381;
constexpr int32_t kBadRow = 30009;
constexpr int32_t kBadCol = 30010;

[[noreturn]] void badSubscript() {
    rt::raise(kBadSubscript, QStringLiteral("Subscript out of range"));
}
[[noreturn]] void badRow() { rt::raise(kBadRow, QStringLiteral("Invalid Row value")); }
[[noreturn]] void badCol() { rt::raise(kBadCol, QStringLiteral("Invalid Col value")); }

int32_t bgrOf(const QColor& c) { return toBgr(c.red(), c.green(), c.blue()); }

}  // namespace

int32_t toBgr(int red, int green, int blue) {
    return int32_t((uint32_t(blue & 0xFF) << 16) | (uint32_t(green & 0xFF) << 8) |
                   uint32_t(red & 0xFF));
}

QtGrid::QtGrid(QTableWidget* widget) : widget_(widget) {
    if (widget_->currentRow() >= 0 && widget_->currentColumn() >= 0) {
        row_ = widget_->currentRow();
        col_ = widget_->currentColumn();
    }
    // A cell the user (or the screen) makes current becomes the grid's current
    // cell; losing the widget's current cell altogether keeps the last one.
    follow_ = QObject::connect(widget_, &QTableWidget::currentCellChanged, widget_,
                               [this](int row, int col, int, int) {
                                   if (row < 0 || col < 0) return;
                                   row_ = row;
                                   col_ = col;
                               });
}

QtGrid::~QtGrid() { QObject::disconnect(follow_); }

int32_t QtGrid::Rows() const { return widget_->rowCount(); }

int32_t QtGrid::Cols() const { return widget_->columnCount(); }

void QtGrid::checkCell(int32_t row, int32_t col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= Cols()) badSubscript();
}

QString QtGrid::TextMatrix(int32_t row, int32_t col) const {
    checkCell(row, col);
    const QTableWidgetItem* item = widget_->item(row, col);
    return item ? item->text() : QString();
}

int32_t QtGrid::Row() const { return row_; }

int32_t QtGrid::Col() const { return col_; }

void QtGrid::setRow(int32_t row) {
    if (row < 0 || row >= Rows()) badRow();
    row_ = row;
    moveWidgetCurrent();
}

void QtGrid::setCol(int32_t col) {
    if (col < 0 || col >= Cols()) badCol();
    col_ = col;
    moveWidgetCurrent();
}

// The widget can only hold a current cell that exists and is enabled; the
// adapter keeps the numbers itself either way, and the widget's answer (a
// currentCellChanged for the same cell, or none) leaves them as set.
void QtGrid::moveWidgetCurrent() {
    const int32_t row = row_, col = col_;
    if (row < Rows() && col < Cols()) widget_->setCurrentCell(row, col);
    row_ = row;
    col_ = col;
}

int32_t QtGrid::defaultBackColor() const {
    const int32_t base = bgrOf(widget_->palette().color(QPalette::Base));
    // A palette with a pure red base would make every cell look marked.
    return base == 255 ? 0xFFFFFF : base;
}

int32_t QtGrid::CellBackColor() const {
    const int32_t row = Row(), col = Col();
    if (row < 0 || row >= Rows()) badRow();
    if (col < 0 || col >= Cols()) badCol();
    const QTableWidgetItem* item = widget_->item(row, col);
    if (!item) return defaultBackColor();
    const QVariant v = item->data(Qt::BackgroundRole);
    if (v.typeId() == QMetaType::QColor) {
        const QColor c = v.value<QColor>();
        if (c.isValid()) return bgrOf(c);
    } else if (v.typeId() == QMetaType::QBrush) {
        const QBrush b = v.value<QBrush>();
        if (b.style() != Qt::NoBrush) return bgrOf(b.color());
    }
    return defaultBackColor();
}

void QtGrid::setCellBackColor(int32_t color) {
    const int32_t row = Row(), col = Col();
    if (row < 0 || row >= Rows()) badRow();
    if (col < 0 || col >= Cols()) badCol();
    QTableWidgetItem* item = widget_->item(row, col);
    if (!item) {
        item = new QTableWidgetItem;
        widget_->setItem(row, col, item);
    }
    item->setBackground(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
}

}  // namespace ui
