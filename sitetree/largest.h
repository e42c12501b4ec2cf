// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdint>
#include <queue>
#include <utility>
#include <vector>

namespace zn {

// Keeps the `count` largest of what it is offered, each by a number and an
// index (a directory, an entry): a site's million files are never sorted
// whole, and what is left out costs nothing to build.
class Largest {
public:
    explicit Largest(int count) : count_(static_cast<std::size_t>(std::max(count, 0))) {}
    void Offer(std::int64_t bytes, std::int64_t index) {
        if (count_ == 0) return;
        if (heap_.size() < count_) {
            heap_.push({bytes, index});
        } else if (Before({bytes, index}, heap_.top())) {
            heap_.pop();
            heap_.push({bytes, index});
        }
    }
    // Largest first; ties in the order of their indexes.
    std::vector<std::int64_t> Indexes() {
        std::vector<Item> items;
        for (; !heap_.empty(); heap_.pop()) items.push_back(heap_.top());
        std::sort(items.begin(), items.end(), Before);
        std::vector<std::int64_t> indexes;
        indexes.reserve(items.size());
        for (const Item& item : items) indexes.push_back(item.second);
        return indexes;
    }

private:
    using Item = std::pair<std::int64_t, std::int64_t>;
    static bool Before(const Item& a, const Item& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    }
    struct Later {
        bool operator()(const Item& a, const Item& b) const { return Before(a, b); }
    };
    std::size_t count_;
    std::priority_queue<Item, std::vector<Item>, Later> heap_;  // the smallest kept on top
};

}  // namespace zn
