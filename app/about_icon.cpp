#include "app/about_icon.h"

#include <QPainter>

QPixmap AboutIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // The folder.
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(3, 18, 26, 12);
    p.drawRect(3, 15, 10, 4);
    // The scales.
    p.setPen(QPen(QColor(30, 60, 140), 2));
    p.drawLine(16, 3, 16, 16);
    p.drawLine(6, 6, 26, 6);
    p.setBrush(QColor(90, 140, 220));
    p.drawChord(2, 6, 10, 8, 180 * 16, 180 * 16);
    p.drawChord(20, 6, 10, 8, 180 * 16, 180 * 16);
    return pixmap;
}
