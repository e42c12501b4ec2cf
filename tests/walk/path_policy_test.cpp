// SPDX-License-Identifier: MIT
// Which paths the fast walk lists by STAT, and which by CWD, from the path
// and what the server has shown of blanks: no server.

#include "walk/path_policy.h"

#include <gtest/gtest.h>

namespace {

using zn::Blanks;
using zn::PathListing;

TEST(PathPolicy, PathsAServerMayMisreadAreListedByCwd) {
    struct Row {
        const char* path;
        Blanks blanks;
        bool statCut;
        PathListing how;
    };
    const Row rows[] = {
        {"/pub/src", Blanks::Unknown, false, PathListing::Stat},
        {"/pub/src", Blanks::Unknown, true, PathListing::Cwd},
        {"/pub/-rf", Blanks::Whole, false, PathListing::Cwd},
        {"/pub/a-b", Blanks::Whole, false, PathListing::Stat},
        {"/pub/*.d", Blanks::Whole, false, PathListing::Cwd},
        {"/pub/v?", Blanks::Whole, false, PathListing::Cwd},
        {"/pub/[x]/y", Blanks::Whole, false, PathListing::Cwd},
        {"/my docs", Blanks::Unknown, false, PathListing::CwdProbingBlanks},
        {"/my docs/-x", Blanks::Unknown, false, PathListing::CwdProbingBlanks},
        {"/my docs", Blanks::Whole, false, PathListing::Stat},
        {"/my docs", Blanks::Split, false, PathListing::StatInside},
        {"/my docs", Blanks::Split, true, PathListing::Cwd},
        {"/my docs", Blanks::SplitListed, false, PathListing::Cwd},
        {"/-my docs", Blanks::Whole, false, PathListing::Cwd},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(zn::HowToList(row.path, row.blanks, row.statCut), row.how)
            << "blanks " << static_cast<int>(row.blanks) << ", cut " << row.statCut;
    }
}

}  // namespace
