// Drawing the repair window's icon and reducing it to the 16 standard colours.
#include "app/RepairIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <limits>

namespace repairicon {

const std::array<QRgb, 16>& standardColours() {
    static const std::array<QRgb, 16> colours = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return colours;
}

namespace {

QRgb nearestStandard(QRgb c) {
    QRgb best = standardColours()[0];
    int bestDistance = std::numeric_limits<int>::max();
    for (QRgb s : standardColours()) {
        const int dr = qRed(c) - qRed(s), dg = qGreen(c) - qGreen(s), db = qBlue(c) - qBlue(s);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = s;
        }
    }
    return best;
}

// The drawing on a 32-unit grid, scaled to the requested size.
void draw(QPainter& p, int size) {
    p.scale(size / 32.0, size / 32.0);
    p.setRenderHint(QPainter::Antialiasing, true);

    // Disc: blue with a navy rim.
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(QColor(0, 0, 255));
    p.drawEllipse(QRectF(2, 2, 28, 28));

    // Spanner, lower left to upper right: a handle and an open jaw.
    QPainterPath spanner;
    spanner.setFillRule(Qt::WindingFill);
    QTransform t;
    t.translate(16, 16);
    t.rotate(-45);
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-11, -2.5, 16, 5), 2.5, 2.5);
    QPainterPath head;
    head.addEllipse(QPointF(7, 0), 6, 6);
    QPainterPath jaw;
    jaw.addRect(QRectF(7, -2.5, 7, 5));
    spanner = t.map(handle.united(head).subtracted(jaw));
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawPath(spanner);
}

}  // namespace

QImage picture(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        draw(p, size);
    }
    // Reduce to the standard colours: half-covered edge pixels become opaque,
    // the rest transparent, as an icon's mask has it.
    for (int y = 0; y < size; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const QRgb c = line[x];  // ARGB32 holds straight, not premultiplied, colour
            line[x] = qAlpha(c) < 128 ? qRgba(0, 0, 0, 0) : (nearestStandard(c) | 0xFF000000u);
        }
    }
    return img;
}

QIcon icon() {
    QIcon i;
    i.addPixmap(QPixmap::fromImage(picture(32)));
    i.addPixmap(QPixmap::fromImage(picture(16)));
    return i;
}

}  // namespace repairicon
