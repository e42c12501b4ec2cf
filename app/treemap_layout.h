// SPDX-License-Identifier: MIT
#pragma once

#include <QRectF>

#include <string>
#include <vector>

#include "sitetree/walk_tree.h"

// Squarified treemap (rows laid along the shorter side, each row closed
// when one more rectangle would make the row's worst aspect ratio worse):
// rectangles whose areas are proportional to `sizes`, which must be sorted
// largest first, filling `area`. Sizes of 0 get empty rectangles.
std::vector<QRectF> Squarify(const std::vector<double>& sizes, const QRectF& area);

// One rectangle of the site's treemap: a directory, or the files directly
// in one (`files` true; by extension, those with `extension`), inside its
// parent's rectangle.
struct TreemapCell {
    int dir;
    bool files;
    int depth;  // 1 for the start directory's children
    int top;    // the start directory's child it lies in, for its colour
    QRectF rect;
    std::string extension;
    double bytes = 0;
};

// The cells of a summed tree in `area`, parents before their children, down
// to `maxDepth` levels and no smaller than `minSide` pixels across.
// With `byExtension`, each directory's own files are split by extension.
std::vector<TreemapCell> LayoutTreemap(const zn::WalkTree& tree, const QRectF& area, bool byExtension = false,
                                       int maxDepth = 4, double minSide = 3.0);
