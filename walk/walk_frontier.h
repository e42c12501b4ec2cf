// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "walk/cwd_walker.h"

namespace zn {

// The directories a walk by absolute paths has found, listed or not: each
// with its path for the server and its path for the reports, its depth, its
// own files once listed and the subdirectories it holds; and those waiting
// to be listed. They are listed depth first, the first subdirectory first,
// so that a tree that leads back into itself meets the depth bound after a
// hundred listings; the directories waiting are bounded too.
class WalkFrontier {
public:
    struct Node {
        std::string absolute;
        std::string relative;
        int depth = 0;
        std::int64_t bytes = 0;  // of its own files
        std::int64_t files = 0;
        std::vector<int> children;
        bool byCwd = false;  // its STAT reply came with lines cut
        int treeDir = 0;
    };

    // Directories waiting to be listed, at most: a bound on memory.
    static constexpr std::size_t kMaxWaiting = 1000000;

    explicit WalkFrontier(std::size_t maxWaiting = kMaxWaiting) : maxWaiting_(maxWaiting) {}

    // The start directory alone, not listed yet and not waiting: the walk
    // lists it first, as it chose its form.
    void Reset(const std::string& start);
    Node& operator[](int node) { return nodes_[static_cast<std::size_t>(node)]; }
    const Node& operator[](int node) const { return nodes_[static_cast<std::size_t>(node)]; }
    std::size_t Found() const { return nodes_.size(); }

    // The subdirectory `name`, from the listing of `parent`; it waits once
    // its parent's listing has been taken whole (Listed).
    void Add(int parent, const std::string& name, int treeDir);
    // The listing of `node` is counted: its own files, and the
    // subdirectories added since `firstChild` wait, the first on top. More
    // waiting than the bound ends the walk (platform::Exception).
    void Listed(int node, std::int64_t bytes, std::int64_t files, std::size_t firstChild);

    bool Empty() const { return waiting_.empty(); }
    std::size_t Waiting() const { return waiting_.size(); }
    // The directory listed next, still waiting.
    int Next() const { return waiting_.back(); }
    int TakeNext();
    // `node` waits again, listed next: its listing did not count.
    void Again(int node) { waiting_.push_back(node); }
    // The same, to be listed by CWD and LIST: its STAT reply was cut.
    void AgainByCwd(int node);
    // Directories a connection owed, the first of them listed next.
    void Again(const std::deque<int>& owed) { waiting_.insert(waiting_.end(), owed.rbegin(), owed.rend()); }
    void Forget() { waiting_.clear(); }

    // Each directory after everything below it, as the designed walk tells
    // them, with the bytes and files there and below.
    void ReportDone(WalkObserver& observer) const { ReportDone(0, observer); }

private:
    std::pair<std::int64_t, std::int64_t> ReportDone(int node, WalkObserver& observer) const;

    std::size_t maxWaiting_;
    std::vector<Node> nodes_;
    std::vector<int> waiting_;  // the next at the back
};

}  // namespace zn
