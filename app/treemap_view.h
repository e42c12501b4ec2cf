// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <functional>
#include <vector>

#include "app/treemap_layout.h"

// The treemap of a summed tree: each directory a rectangle whose area is
// its size, nested in its parent's, coloured by the top-level directory it
// lies in, or files by extension. The pointer's path and size go to `OnHover`; a click selects a
// directory and tells `OnSelected`.
class TreemapView : public QWidget {
public:
    explicit TreemapView(QWidget* parent = nullptr);
    void SetTree(const zn::WalkTree* tree);
    // Colour the files by extension rather than by top-level directory.
    void SetColourByExtension(bool byExtension);
    void Select(int dir);
    int Selected() const { return selected_; }
    // The deepest cell under a point, or nullptr.
    const TreemapCell* CellAt(const QPointF& point) const;
    const std::vector<TreemapCell>& Cells() const { return cells_; }

    std::function<void(int dir)> OnSelected;
    std::function<void(const QString& text)> OnHover;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Layout();
    QColor ColourOf(const TreemapCell& cell) const;

    const zn::WalkTree* tree_ = nullptr;
    std::vector<TreemapCell> cells_;
    int selected_ = zn::WalkTree::kNone;
    bool byExtension_ = false;
};
