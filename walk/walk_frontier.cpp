// SPDX-License-Identifier: MIT
#include "walk/walk_frontier.h"

#include "platform/exception.h"
#include "walk/path_policy.h"

#include <utility>

namespace zn {

void WalkFrontier::Reset(const std::string& start) {
    nodes_.assign(1, Node{start, "", 0, 0, 0, {}, false});
    waiting_.clear();
}

void WalkFrontier::Add(int parent, const std::string& name, int treeDir) {
    const Node& in = (*this)[parent];
    nodes_.push_back(
        Node{ChildPath(in.absolute, name), JoinPath(in.relative, name), in.depth + 1, 0, 0, {}, false, treeDir});
    (*this)[parent].children.push_back(static_cast<int>(nodes_.size()) - 1);
}

void WalkFrontier::Listed(int node, std::int64_t bytes, std::int64_t files, std::size_t firstChild) {
    (*this)[node].bytes = bytes;
    (*this)[node].files = files;
    // The first child is listed first: it goes on top.
    for (std::size_t child = nodes_.size(); child > firstChild; --child)
        waiting_.push_back(static_cast<int>(child - 1));
    if (waiting_.size() > maxWaiting_) {
        throw platform::Exception("More than " + std::to_string(maxWaiting_) +
                                  " directories wait to be listed; the walk stops at " + (*this)[node].relative);
    }
}

int WalkFrontier::TakeNext() {
    const int node = waiting_.back();
    waiting_.pop_back();
    return node;
}

void WalkFrontier::AgainByCwd(int node) {
    (*this)[node].byCwd = true;
    Again(node);
}

std::pair<std::int64_t, std::int64_t> WalkFrontier::ReportDone(int node, WalkObserver& observer) const {
    const Node& done = (*this)[node];
    std::int64_t bytes = done.bytes, files = done.files;
    for (const int child : done.children) {
        const auto [childBytes, childFiles] = ReportDone(child, observer);
        bytes = AddSaturated(bytes, childBytes);
        files += childFiles;
    }
    observer.DirectoryDone(done.relative, done.depth, bytes, files);
    return {bytes, files};
}

}  // namespace zn
