// Drawing the decorative rectangle.
#include "app/ShapeControl.h"

#include <QPainter>

namespace repairwindow {

ShapeControl::ShapeControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void ShapeControl::setBorderColor(const QColor& c) {
    borderColor_ = c;
    update();
}

void ShapeControl::setBorderWidth(int w) {
    borderWidth_ = qMax(1, w);
    update();
}

void ShapeControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Filled bands along each edge give an outline exactly borderWidth pixels
    // wide inside the bounds, with no anti-aliasing to blur it.
    const int w = qMin(borderWidth_, qMin(width(), height()) / 2 + 1);
    const QRect r = rect();
    p.fillRect(QRect(r.left(), r.top(), r.width(), w), borderColor_);
    p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), borderColor_);
    p.fillRect(QRect(r.left(), r.top(), w, r.height()), borderColor_);
    p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), borderColor_);
}

}  // namespace repairwindow
