// SPDX-License-Identifier: MIT
#include "app/treemap_layout.h"

#include "sitetree/walk_tree_reports.h"

#include <algorithm>
#include <limits>
#include <map>

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
    areas.reserve(sizes.size());
    for (const double size : sizes) areas.push_back(std::max(size, 0.0) * scale);
    QRectF free = area;
    std::size_t first = 0;
    while (first < areas.size() && areas[first] > 0) {
        const double side = std::min(free.width(), free.height());
        std::size_t last = first + 1;
        double sum = areas[first];
        while (last < areas.size() && areas[last] > 0 &&
               Worst(areas[first], areas[last], sum + areas[last], side) <=
                   Worst(areas[first], areas[last - 1], sum, side)) {
            sum += areas[last++];
        }
        free = PlaceRow(areas, first, last, sum, free, out);
        first = last;
    }
    return out;
}

namespace {

struct Part {
    double bytes;
    int dir;  // kNone: files of the parent
    std::string extension;
};

// What a directory's rectangle holds: its subdirectories, and its own files
// as one part or as one part per extension; largest first.
std::vector<Part> PartsOf(const zn::WalkTree& tree, int dir, bool byExtension) {
    std::vector<Part> parts;
    double own = static_cast<double>(tree.TotalBytes(dir));
    for (int c = tree.FirstChild(dir); c != zn::WalkTree::kNone; c = tree.NextSibling(c)) {
        parts.push_back({static_cast<double>(tree.TotalBytes(c)), c, {}});
        own -= static_cast<double>(tree.TotalBytes(c));
    }
    if (byExtension) {
        std::map<std::string, double> extensions;
        for (auto e = tree.FirstEntry(dir); e != zn::WalkTree::kNone; e = tree.NextEntry(e)) {
            const zn::WalkTree::Entry entry = tree.EntryAt(e);
            if (entry.Size <= 0 || (entry.Kind != zn::WalkTree::ekFile && entry.Kind != zn::WalkTree::ekLink)) continue;
            extensions[zn::ExtensionOf(entry.Name)] += static_cast<double>(entry.Size);
            own -= static_cast<double>(entry.Size);
        }
        // What is left is the directory's own size, as an import gives it.
        if (own > 0) extensions[""] += own;
        for (const auto& [extension, bytes] : extensions) parts.push_back({bytes, zn::WalkTree::kNone, extension});
    } else if (own > 0) {
        parts.push_back({own, zn::WalkTree::kNone, {}});
    }
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.bytes > b.bytes; });
    return parts;
}

}  // namespace

std::vector<TreemapCell> LayoutTreemap(const zn::WalkTree& tree, const QRectF& area, bool byExtension, int maxDepth,
                                       double minSide) {
    std::vector<TreemapCell> cells;
    struct Pending {
        int dir, depth, top;
        QRectF rect;
    };
    std::vector<Pending> pending{{zn::WalkTree::kRoot, 0, -1, area}};
    while (!pending.empty()) {
        const Pending parent = pending.back();
        pending.pop_back();
        const std::vector<Part> parts = PartsOf(tree, parent.dir, byExtension);
        std::vector<double> sizes;
        sizes.reserve(parts.size());
        for (const Part& part : parts) sizes.push_back(part.bytes);
        const std::vector<QRectF> rects = Squarify(sizes, parent.rect);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (rects[i].width() < minSide || rects[i].height() < minSide) continue;
            const bool files = parts[i].dir == zn::WalkTree::kNone;
            const int dir = files ? parent.dir : parts[i].dir;
            const int top = parent.depth == 0 ? (files ? -1 : dir) : parent.top;
            cells.push_back({dir, files, parent.depth + 1, top, rects[i], parts[i].extension, parts[i].bytes});
            if (!files && parent.depth + 1 < maxDepth) pending.push_back({dir, parent.depth + 1, top, rects[i]});
        }
    }
    return cells;
}
