// SPDX-License-Identifier: MIT
#include "app/treemap_layout.h"

#include <algorithm>
#include <limits>

namespace {

// The worst aspect ratio of a row of `sum` total laid along a side of
// `side`, with its largest and smallest members.
double Worst(double largest, double smallest, double sum, double side) {
    if (sum <= 0 || smallest <= 0) return std::numeric_limits<double>::max();
    const double s2 = side * side, sum2 = sum * sum;
    return std::max(s2 * largest / sum2, sum2 / (s2 * smallest));
}

// Lays the row sizes[first, last) along the shorter side of `free` and
// returns what is left of it.
QRectF PlaceRow(const std::vector<double>& areas, std::size_t first, std::size_t last, double sum, const QRectF& free,
                std::vector<QRectF>& out) {
    const bool alongHeight = free.width() >= free.height();  // the row is a column at the left
    const double side = alongHeight ? free.height() : free.width();
    const double thickness = side > 0 ? sum / side : 0;
    double at = 0;
    for (std::size_t i = first; i < last; ++i) {
        const double length = sum > 0 ? side * areas[i] / sum : 0;
        out[i] = alongHeight ? QRectF(free.left(), free.top() + at, thickness, length)
                             : QRectF(free.left() + at, free.top(), length, thickness);
        at += length;
    }
    return alongHeight ? free.adjusted(thickness, 0, 0, 0) : free.adjusted(0, thickness, 0, 0);
}

}  // namespace

std::vector<QRectF> Squarify(const std::vector<double>& sizes, const QRectF& area) {
    std::vector<QRectF> out(sizes.size());
    double total = 0;
    for (const double size : sizes) total += std::max(size, 0.0);
    if (total <= 0 || area.isEmpty()) return out;
    // Sizes become areas in square pixels.
    const double scale = area.width() * area.height() / total;
    std::vector<double> areas;
    for (const double size : sizes) areas.push_back(std::max(size, 0.0) * scale);
    QRectF free = area;
    std::size_t first = 0;
    while (first < areas.size() && areas[first] > 0) {
        const double side = std::min(free.width(), free.height());
        std::size_t last = first + 1;
        double sum = areas[first];
        while (last < areas.size() && areas[last] > 0 &&
               Worst(areas[first], areas[last], sum + areas[last], side) <= Worst(areas[first], areas[last - 1], sum, side)) {
            sum += areas[last++];
        }
        free = PlaceRow(areas, first, last, sum, free, out);
        first = last;
    }
    return out;
}

std::vector<TreemapCell> LayoutTreemap(const zn::WalkTree& tree, const QRectF& area, int maxDepth, double minSide) {
    std::vector<TreemapCell> cells;
    struct Pending {
        int dir, depth, top;
        QRectF rect;
    };
    std::vector<Pending> pending{{zn::WalkTree::kRoot, 0, -1, area}};
    while (!pending.empty()) {
        const Pending parent = pending.back();
        pending.pop_back();
        // The children largest first, then the files directly here.
        std::vector<std::pair<double, int>> parts;
        double own = static_cast<double>(tree.TotalBytes(parent.dir));
        for (int c = tree.FirstChild(parent.dir); c != zn::WalkTree::kNone; c = tree.NextSibling(c)) {
            parts.push_back({static_cast<double>(tree.TotalBytes(c)), c});
            own -= static_cast<double>(tree.TotalBytes(c));
        }
        if (own > 0) parts.push_back({own, -1});
        std::stable_sort(parts.begin(), parts.end(), [](auto& a, auto& b) { return a.first > b.first; });
        std::vector<double> sizes;
        for (const auto& part : parts) sizes.push_back(part.first);
        const std::vector<QRectF> rects = Squarify(sizes, parent.rect);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (rects[i].width() < minSide || rects[i].height() < minSide) continue;
            const bool files = parts[i].second < 0;
            const int dir = files ? parent.dir : parts[i].second;
            const int top = parent.depth == 0 ? (files ? -1 : dir) : parent.top;
            cells.push_back({dir, files, parent.depth + 1, top, rects[i]});
            if (!files && parent.depth + 1 < maxDepth) pending.push_back({dir, parent.depth + 1, top, rects[i]});
        }
    }
    return cells;
}
