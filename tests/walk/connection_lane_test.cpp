// SPDX-License-Identifier: MIT
// Which connection the next STAT goes over, from the counts alone: the
// connections are never connected.

#include "walk/connection_lane.h"

#include "ftp/client/ftp.h"
#include "platform/component.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ConnectionLanes, TheNextStatGoesToTheLeastLoadedInTurnsAndNeverToAFullOrClosedOne) {
    struct Row {
        const char* name;
        std::vector<std::size_t> loads;
        std::vector<bool> retired;
        std::size_t window;
        std::vector<std::size_t> picks;  // 9: none has room
    };
    const Row rows[] = {
        {"equal loads: each in turn, so that none sits idle", {0, 0, 0}, {false, false, false}, 8, {0, 1, 2, 0}},
        {"the least loaded first", {3, 1, 2}, {false, false, false}, 8, {1, 2, 1}},
        {"a closed one and a full one are passed over", {0, 8, 0}, {false, false, true}, 8, {0, 0, 0}},
        {"one command at a time, back in step", {1, 0}, {false, false}, 1, {1, 9}},
        {"every window full", {8, 8}, {false, false}, 8, {9}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::TComponent owner(nullptr);
        zn::ConnectionLanes lanes;
        for (std::size_t i = 0; i < row.loads.size(); ++i) {
            auto* ftp = new zn::TznFTP(&owner);
            if (i == 0) {
                lanes.Reset(ftp);
            } else {
                lanes.Add(ftp);
            }
            for (std::size_t sent = 0; sent < row.loads[i]; ++sent) lanes[i].StatSent();
            if (row.retired[i]) lanes[i].Retire();
        }
        std::vector<std::size_t> picks;
        for (std::size_t i = 0; i < row.picks.size(); ++i) {
            const std::size_t lane = lanes.Next(row.window);
            picks.push_back(lane == lanes.Size() ? 9 : lane);
            if (lane < lanes.Size()) lanes[lane].StatSent();
        }
        EXPECT_EQ(picks, row.picks);
    }
}

}  // namespace
