// SPDX-License-Identifier: MIT
#pragma once

#include <QRectF>

#include <vector>

#include "ftp/walk_tree.h"

// Squarified treemap (rows laid along the shorter side, each row closed
// when one more rectangle would make the row's worst aspect ratio worse):
// rectangles whose areas are proportional to `sizes`, which must be sorted
// largest first, filling `area`. Sizes of 0 get empty rectangles.
std::vector<QRectF> Squarify(const std::vector<double>& sizes, const QRectF& area);

// One rectangle of the site's treemap: a directory, or the files directly
// in one (`files` true), inside its parent's rectangle.
struct TreemapCell {
    int dir;
    bool files;
    int depth;  // 1 for the start directory's children
    int top;    // the start directory's child it lies in, for its colour
    QRectF rect;
};

// The cells of a summed tree in `area`, parents before their children, down
// to `maxDepth` levels and no smaller than `minSide` pixels across.
std::vector<TreemapCell> LayoutTreemap(const zn::WalkTree& tree, const QRectF& area, int maxDepth = 4,
                                       double minSide = 3.0);
