// SPDX-License-Identifier: MIT
#include "tests/ftp/client/ftp_fixture.h"

#include <optional>

using testsupport::ScriptedServer;

// AVBL only where FEAT lists it, FEAT asked once for whoever needs it, and
// the reply's number taken only when it is one.
TEST_F(FtpTest, AvailableSpaceIsAskedOnlyWhereFeatListsIt) {
    const std::string listed = "211-Features:\r\n MDTM\r\n AVBL\r\n211 End\r\n";
    struct Case {
        const char* name;
        std::string features;
        const char* avblReply;  // nullptr: AVBL must not be sent
        std::optional<std::int64_t> space;
        const char* error;  // nullptr: nothing raised
    };
    const Case cases[] = {
        {"listed", listed, "213 3221225472", 3221225472, nullptr},
        {"listed in lower case", "211-Extensions:\r\n avbl\r\n211 End\r\n", "213 0", 0, nullptr},
        {"a longer name only", "211-Features:\r\n AVBLX\r\n SIZE\r\n211 End\r\n", nullptr, std::nullopt, nullptr},
        {"no FEAT", "500 FEAT not understood\r\n", nullptr, std::nullopt, nullptr},
        {"cannot tell", listed, "550 Cannot tell", std::nullopt, nullptr},
        {"not a number", listed, "213 12 GB", std::nullopt, "213 12 GB"},
        {"too big", listed, "213 99999999999999999999", std::nullopt, "213 99999999999999999999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        Logon(server).Receive().Send(c.features);
        if (c.avblReply) server.Receive().Reply(c.avblReply);
        server.AwaitClientClose();
        ConnectTo(server);
        std::optional<std::int64_t> space;
        const std::string error = MessageOf<zn::EServerError>([&] { space = ftp_->AvailableSpace(); });
        EXPECT_EQ(error, c.error ? c.error : "<nothing raised>");
        EXPECT_EQ(space, c.space);
        ftp_->Features();  // answered from what FEAT said
        ftp_->Close();
        ASSERT_TRUE(server.Finished(2));
        Lines sent{"USER user", "PASS secret", "FEAT"};
        if (c.avblReply) sent.push_back("AVBL");
        EXPECT_EQ(server.Received(), sent);
        EXPECT_EQ(server.Problems(), Lines{});
    }
}
