// SPDX-License-Identifier: MIT
#include "app/about_icon.h"

#include <QPainter>

// Drawn on a 32-pixel grid and scaled to the size asked for; the installed
// icons (dirweigh.svg, 48x48/dirweigh.png) show the same picture.
QPixmap AboutIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
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
