// SPDX-License-Identifier: MIT
// Renders the window to PNG files in the build tree for a look by eye:
// screenshots/connected.png, screenshots/main.png (after a walk) and
// screenshots/long_log.png (a log line longer than the log is wide),
// screenshots/breakdown.png and breakdown_by_extension.png (the site
// breakdown after a walk, the treemap coloured both ways).

#include "tests/app/main_form_fixture.h"

#include "app/site_breakdown.h"
#include "app/treemap_view.h"

#include "tests/fakes/tree_server.h"

#include <QCoreApplication>
#include <QPixmap>

TEST_F(MainFormTest, RendersConnectedAndAfterAWalk) {
    testsupport::TreeFtpServer server;
    server.AddFile("index.html", 2345);
    server.AddFile("images/logo.png", 120000);
    server.AddFile("docs/manual.pdf", 3221225472LL);
    server.Start();
    std::filesystem::create_directories(SCREENSHOT_DIR);
    Connect(server.Address(), "");
    QPixmap connected = Form().grab();
    EXPECT_EQ(connected.size(), QSize(408, 399));
    EXPECT_TRUE(connected.save(QString(SCREENSHOT_DIR) + "/connected.png"));
    Form().GetSizeBtn->click();
    EXPECT_TRUE(Form().grab().save(QString(SCREENSHOT_DIR) + "/main.png"));
    EXPECT_TRUE(std::filesystem::file_size(std::string(SCREENSHOT_DIR) + "/main.png") > 1000);
    Form().LogMem->appendPlainText(
        " 550 /htdocs/a/very/long/path/that/does/not/fit/on/one/line/of/the/log/at/all.html: "
        "No such file or directory");
    EXPECT_TRUE(Form().grab().save(QString(SCREENSHOT_DIR) + "/long_log.png"));
}

TEST_F(MainFormTest, RendersTheSiteBreakdown) {
    testsupport::TreeFtpServer server;
    const char* parts[] = {"images", "video", "docs", "blog", "shop"};
    for (int d = 0; d < 5; ++d) {
        for (int f = 0; f < 6; ++f) {
            const std::string dir = std::string(parts[d]) + (f % 3 ? "/2024" : "/archive");
            server.AddFile(dir + "/file" + std::to_string(f) + (d % 2 ? ".jpg" : ".html"),
                           150000LL * (d + 1) * (f + 1));
        }
    }
    server.AddFile("index.html", 40000);
    server.Start();
    std::filesystem::create_directories(SCREENSHOT_DIR);
    Connect(server.Address(), "");
    Form().GetSizeBtn->click();
    Form().ShowBreakdown();
    ASSERT_NE(Form().Breakdown(), nullptr);
    Form().Breakdown()->resize(900, 520);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Form().Breakdown()->grab().save(QString(SCREENSHOT_DIR) + "/breakdown.png"));
    Form().Breakdown()->Treemap()->SetColourByExtension(true);
    EXPECT_TRUE(Form().Breakdown()->grab().save(QString(SCREENSHOT_DIR) + "/breakdown_by_extension.png"));
}
