// SPDX-License-Identifier: MIT
// The order directories are listed and told done in, and their totals,
// from a tree made up in the test: no server.

#include "walk/walk_frontier.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct Done : zn::WalkObserver {
    void WalkFailed(const std::string& /*message*/) override {}
    void DirectoryDone(const std::string& path, int depth, std::int64_t bytes, std::int64_t files) override {
        lines.push_back(path + " " + std::to_string(depth) + " " + std::to_string(bytes) + "/" + std::to_string(files));
    }
    Lines lines;
};

struct Level {
    std::int64_t bytes;
    Lines subdirectories;
};

constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();

// Lists every directory of `site` (by relative path) in the frontier's
// order; the start's absolute path is "/".
Lines Walk(zn::WalkFrontier& frontier, const std::map<std::string, Level>& site) {
    Lines listed;
    frontier.Reset("/");
    frontier.Again(0);
    while (!frontier.Empty()) {
        const int node = frontier.TakeNext();
        listed.push_back(frontier[node].absolute);
        const Level& level = site.at(frontier[node].relative);
        const std::size_t firstChild = frontier.Found();
        for (const std::string& name : level.subdirectories) frontier.Add(node, name, 0);
        frontier.Listed(node, level.bytes, 1, firstChild);
    }
    return listed;
}

TEST(WalkFrontier, ListsDepthFirstInTheListingsOrderAndTellsChildrenBeforeParents) {
    struct Row {
        const char* name;
        std::map<std::string, Level> site;
        Lines listed;
        Lines done;
    };
    const Row rows[] = {
        {"the first subdirectory first, each all the way down",
         {{"", {1, {"a", "b"}}}, {"a", {2, {"x"}}}, {"a/x", {4, {}}}, {"b", {8, {}}}},
         {"/", "/a", "/a/x", "/b"},
         {"a/x 2 4/1", "a 1 6/2", "b 1 8/1", " 0 15/4"}},
        {"sums stop at the largest number",
         {{"", {0, {"a", "b"}}}, {"a", {kMost, {}}}, {"b", {kMost, {}}}},
         {"/", "/a", "/b"},
         {"a 1 " + std::to_string(kMost) + "/1", "b 1 " + std::to_string(kMost) + "/1",
          " 0 " + std::to_string(kMost) + "/3"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        zn::WalkFrontier frontier;
        EXPECT_EQ(Walk(frontier, row.site), row.listed);
        Done done;
        frontier.ReportDone(done);
        EXPECT_EQ(done.lines, row.done);
    }
}

TEST(WalkFrontier, OwedDirectoriesComeNextInTheirOrderAndTooManyWaitingEndTheWalk) {
    zn::WalkFrontier frontier(2);
    frontier.Reset("/");
    for (const char* name : {"a", "b"}) frontier.Add(0, name, 0);
    frontier.Listed(0, 0, 0, 1);
    frontier.Again(std::deque<int>{2, 1});
    EXPECT_EQ(frontier.TakeNext(), 2);
    EXPECT_EQ(frontier.TakeNext(), 1);
    EXPECT_EQ(frontier.TakeNext(), 1);
    EXPECT_EQ(frontier.TakeNext(), 2);
    EXPECT_TRUE(frontier.Empty());
    const std::size_t firstChild = frontier.Found();
    for (const char* name : {"x", "y", "z"}) frontier.Add(1, name, 0);
    try {
        frontier.Listed(1, 0, 0, firstChild);
        ADD_FAILURE() << "three waiting where two may";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.Message(), "More than 2 directories wait to be listed; the walk stops at a");
    }
}

}  // namespace
