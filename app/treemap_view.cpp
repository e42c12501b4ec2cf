// SPDX-License-Identifier: MIT
#include "app/treemap_view.h"

#include "app/breakdown_model.h"

#include <QHashFunctions>
#include <QMouseEvent>
#include <QPainter>

TreemapView::TreemapView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(200, 150);
}

void TreemapView::SetTree(const zn::WalkTree* tree) {
    tree_ = tree;
    selected_ = zn::WalkTree::kNone;
    Layout();
}

void TreemapView::SetColourByExtension(bool byExtension) {
    byExtension_ = byExtension;
    Layout();
}

void TreemapView::Layout() {
    cells_ = tree_ ? LayoutTreemap(*tree_, QRectF(rect()), byExtension_) : std::vector<TreemapCell>{};
    update();
}

void TreemapView::resizeEvent(QResizeEvent*) { Layout(); }

void TreemapView::Select(int dir) {
    selected_ = dir;
    update();
}

const TreemapCell* TreemapView::CellAt(const QPointF& point) const {
    // Children come after their parents, so the last hit is the deepest.
    const TreemapCell* hit = nullptr;
    for (const TreemapCell& cell : cells_) {
        if (cell.rect.contains(point)) hit = &cell;
    }
    return hit;
}

// A hue per top-level directory, lighter with depth; the files directly in
// the start directory are grey.
QColor TreemapView::ColourOf(const TreemapCell& cell) const {
    if (byExtension_) {
        if (!cell.files) return QColor(235, 235, 235);
        const int hue = static_cast<int>(qHash(QByteArray::fromStdString(cell.extension)) % 360);
        return cell.extension.empty() ? QColor(200, 200, 200) : QColor::fromHsl(hue, 150, 160);
    }
    if (cell.top < 0) return QColor(200, 200, 200);
    const int hue = (cell.top * 137) % 360;
    return QColor::fromHsl(hue, 140, std::min(120 + cell.depth * 25, 220));
}

void TreemapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const TreemapCell* selected = nullptr;
    for (const TreemapCell& cell : cells_) {
        painter.fillRect(cell.rect, ColourOf(cell));
        painter.setPen(QColor(0, 0, 0, cell.depth == 1 ? 160 : 70));
        painter.drawRect(cell.rect);
        if (!cell.files && cell.dir == selected_) selected = &cell;
    }
    // The top-level directories' names, where they fit.
    painter.setPen(Qt::black);
    for (const TreemapCell& cell : cells_) {
        if (cell.depth != 1 || cell.files) continue;
        const QString name = ShownName(tree_->Name(cell.dir));
        const QRectF text = cell.rect.adjusted(4, 2, -4, -2);
        if (painter.fontMetrics().horizontalAdvance(name) < text.width() &&
            painter.fontMetrics().height() < text.height()) {
            painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, name);
        }
    }
    if (selected) {
        painter.setPen(QPen(palette().highlight().color(), 3));
        painter.drawRect(selected->rect.adjusted(1, 1, -1, -1));
    }
}

void TreemapView::mouseMoveEvent(QMouseEvent* event) {
    const TreemapCell* cell = CellAt(event->position());
    if (!OnHover) return;
    if (!cell) {
        OnHover({});
        return;
    }
    const QString path = "/" + ShownName(tree_->Path(cell->dir));
    const QString files =
        byExtension_ && !cell->extension.empty() ? "*." + ShownName(cell->extension) + " in " : "Files in ";
    OnHover((cell->files ? files + path : path) + "  " + ShownSize(static_cast<std::int64_t>(cell->bytes)));
}

void TreemapView::mousePressEvent(QMouseEvent* event) {
    const TreemapCell* cell = CellAt(event->position());
    if (!cell) return;
    Select(cell->dir);
    if (OnSelected) OnSelected(cell->dir);
}
