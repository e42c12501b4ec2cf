// SPDX-License-Identifier: MIT
// Whether one more connection pays, from figures alone: no server.

#include "walk/connection_gauge.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Listings {
    int connections;
    int count;
    double secondsEach;  // between one listing and the next, all connections together
};

TEST(ConnectionGauge, OneMorePaysForItsLogonOnlyWhereTheLastOneMadeTheWalkFaster) {
    struct Row {
        const char* name;
        std::vector<Listings> listed;
        std::size_t unlisted;
        int connections;
        bool pays;
    };
    const Row rows[] = {
        {"too few listings to judge", {{1, 3, 0.01}}, 1000, 1, false},
        {"much work left, a cheap logon", {{1, 10, 0.01}}, 1000, 1, true},
        {"little work left", {{1, 10, 0.001}}, 2, 1, false},
        {"the second one doubled the pace", {{1, 30, 0.01}, {2, 30, 0.005}}, 1000, 2, true},
        {"the second one added nothing: the server lists one at a time",
         {{1, 30, 0.01}, {2, 30, 0.0098}},
         1000,
         2,
         false},
        {"the second one made it slower", {{1, 30, 0.01}, {2, 30, 0.02}}, 1000, 2, false},
        {"the second one not measured enough yet", {{1, 30, 0.01}, {2, 5, 0.005}}, 1000, 2, false},
        {"one logging on: its pace is not known", {{1, 30, 0.01}}, 1000, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        zn::ConnectionGauge gauge(0.005);
        for (const Listings& listings : row.listed) {
            for (int i = 0; i < listings.count; ++i) gauge.Listed(listings.secondsEach, listings.connections, 1);
        }
        EXPECT_EQ(gauge.OneMorePays(row.unlisted, row.connections), row.pays);
    }
}

}  // namespace
