// A decorative rectangle drawn on a window: an outline of a given colour and
// width inside its bounds, no fill. It takes no mouse events and no focus, so
// the window surface beneath it keeps them, as a drawn shape should.
#pragma once

#include <QColor>
#include <QWidget>

namespace repairwindow {

class ShapeControl : public QWidget {
    Q_OBJECT

  public:
    explicit ShapeControl(QWidget* parent = nullptr);

    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& c);
    // Width of the outline in pixels, drawn inside the bounds.
    int borderWidth() const { return borderWidth_; }
    void setBorderWidth(int w);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor borderColor_ = Qt::black;
    int borderWidth_ = 1;
};

}  // namespace repairwindow
