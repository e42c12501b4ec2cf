// SPDX-License-Identifier: MIT
// The site breakdown under the offscreen platform: the squarified layout,
// the tree's order and shares, selection between tree and treemap, an
// export opened without a connection, and the link after a walk.

#include "tests/app/main_form_fixture.h"
#include "app/site_breakdown.h"
#include "app/breakdown_model.h"
#include "app/treemap_view.h"
#include "sitetree/ncdu_export.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/tree_server.h"
#include "tests/support/site_tree.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <cmath>

namespace {

double Area(const QRectF& r) { return r.width() * r.height(); }

// "/" with a 600-byte "big" (with a 100-byte "big/inner"), a 300-byte
// "mid", a 100-byte "small" and 50 bytes of its own.
std::unique_ptr<zn::WalkTree> SmallSite() {
    auto tree = std::make_unique<zn::WalkTree>("/site");
    const int small = tree->AddDirectory(zn::WalkTree::kRoot, "small");
    const int big = tree->AddDirectory(zn::WalkTree::kRoot, "big");
    const int mid = tree->AddDirectory(zn::WalkTree::kRoot, "mid");
    const int inner = tree->AddDirectory(big, "inner");
    for (int dir = 0; dir < tree->DirectoryCount(); ++dir) tree->Listed(dir);
    tree->AddEntry(small, zn::WalkTree::ekFile, "s.txt", 100);
    tree->AddEntry(big, zn::WalkTree::ekFile, "b.iso", 500);
    tree->AddEntry(inner, zn::WalkTree::ekFile, "i.png", 100);
    tree->AddEntry(mid, zn::WalkTree::ekFile, "m.html", 300);
    tree->AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "index.html", 50);
    tree->Sum();
    return tree;
}

// The bytes of the files directly in `dir` with `extension`.
double ExtensionBytes(const zn::WalkTree& tree, int dir, const std::string& extension) {
    double bytes = 0;
    for (auto e = tree.FirstEntry(dir); e != zn::WalkTree::kNone; e = tree.NextEntry(e)) {
        const std::string name(tree.EntryAt(e).Name);
        if (name.substr(name.rfind('.') + 1) == extension) bytes += static_cast<double>(tree.EntryAt(e).Size);
    }
    return bytes;
}

}  // namespace

TEST(Treemap, SquarifiedAreasAreTheSizesAndFillTheArea) {
    const QRectF area(0, 0, 600, 400);
    const std::vector<std::vector<double>> cases{{1},       {6, 6, 4, 3, 2, 2, 1}, {1000, 1, 1, 1}, {5, 5, 5, 5},
                                                 {3, 2, 0}, {1e12, 4e9, 7}};
    for (const auto& sizes : cases) {
        const std::vector<QRectF> rects = Squarify(sizes, area);
        double total = 0;
        for (const double size : sizes) total += size;
        double covered = 0;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const double expected = Area(area) * sizes[i] / total;
            EXPECT_NEAR(Area(rects[i]), expected, 1e-6 * Area(area)) << sizes.size() << " #" << i;
            if (sizes[i] > 0) {
                EXPECT_TRUE(area.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(rects[i])) << i;
            }
            for (std::size_t j = 0; j < i; ++j) EXPECT_LT(Area(rects[i].intersected(rects[j])), 1e-6) << i << " " << j;
            covered += Area(rects[i]);
        }
        EXPECT_NEAR(covered, Area(area), 1e-6 * Area(area));
    }
    // Four equal sizes in a square: four squares, not four strips.
    for (const QRectF& r : Squarify({1, 1, 1, 1}, QRectF(0, 0, 100, 100))) EXPECT_NEAR(r.width(), r.height(), 1e-9);
}

TEST(Treemap, CellsNestInTheirParentsWithAreasOfTheirSizes) {
    for (const bool byExtension : {false, true}) {
        SCOPED_TRACE(byExtension);
        auto tree = SmallSite();
        // A second extension among the files of big, only split out by extension.
        const int big = 2;  // after the root and small
        ASSERT_EQ(tree->Name(big), "big");
        tree->AddEntry(big, zn::WalkTree::ekFile, "b.txt", 200);
        tree->Sum();
        const QRectF area(0, 0, 500, 210);
        const std::vector<TreemapCell> cells = LayoutTreemap(*tree, area, byExtension);
        // big, mid, small and the root's files; inner and the files of big
        // (one cell, or .iso and .txt); the files of mid, of small and of inner.
        ASSERT_EQ(cells.size(), byExtension ? 10u : 9u);
        const double perByte = Area(area) / static_cast<double>(tree->TotalBytes(zn::WalkTree::kRoot));
        for (const TreemapCell& cell : cells) {
            const double bytes =
                static_cast<double>(cell.files ? tree->OwnBytes(cell.dir) : tree->TotalBytes(cell.dir));
            EXPECT_EQ(cell.bytes, byExtension && cell.files ? ExtensionBytes(*tree, cell.dir, cell.extension) : bytes);
            // Within a pixel's rounding on each side.
            EXPECT_NEAR(Area(cell.rect), cell.bytes * perByte, cell.rect.width() + cell.rect.height()) << cell.dir;
            const int parent = cell.files ? cell.dir : tree->Parent(cell.dir);
            if (parent == zn::WalkTree::kRoot) continue;
            const auto outer = std::find_if(cells.begin(), cells.end(),
                                            [&](const TreemapCell& c) { return !c.files && c.dir == parent; });
            ASSERT_NE(outer, cells.end());
            EXPECT_TRUE(outer->rect.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(cell.rect)) << cell.dir;
            EXPECT_EQ(cell.top, outer->top);
        }
    }
}

TEST(SiteBreakdownModel, OrderSharesAndSorting) {
    const auto tree = SmallSite();
    BreakdownModel model;
    model.SetTree(tree.get());
    const QModelIndex root = model.index(0, 0);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(root.data().toString(), "/site");
    const auto column = [&](int col) {
        QStringList values;
        for (int row = 0; row < model.rowCount(root); ++row) values << model.index(row, col, root).data().toString();
        return values.join(",");
    };
    EXPECT_EQ(column(BreakdownModel::kName), "big,mid,small");
    EXPECT_EQ(column(BreakdownModel::kSize), "600 B,300 B,100 B");
    EXPECT_EQ(column(BreakdownModel::kShare), "57.1 %,28.6 %,9.5 %");
    EXPECT_DOUBLE_EQ(model.index(0, BreakdownModel::kShare, root).data(BreakdownModel::kShareRole).toDouble(),
                     600.0 / 1050);
    const QModelIndex big = model.index(0, 0, root);
    ASSERT_EQ(model.rowCount(big), 1);
    EXPECT_EQ(model.index(0, BreakdownModel::kShare, big).data().toString(), "16.7 %");
    EXPECT_EQ(model.parent(model.index(0, 0, big)), big);
    QPersistentModelIndex kept = model.index(2, 0, root);  // small
    model.sort(BreakdownModel::kName, Qt::AscendingOrder);
    EXPECT_EQ(column(BreakdownModel::kName), "big,mid,small");
    model.sort(BreakdownModel::kSize, Qt::AscendingOrder);
    EXPECT_EQ(column(BreakdownModel::kName), "small,mid,big");
    EXPECT_EQ(kept.data().toString(), "small");
    EXPECT_EQ(kept.row(), 0);
    EXPECT_EQ(model.DirOf(model.IndexOf(4)), 4);
    // A walk goes on filling the tree between two showings.
    EXPECT_FALSE(model.IndexOf(tree->AddDirectory(zn::WalkTree::kRoot, "new")).isValid());
}

TEST(SiteBreakdownWindow, SelectionGoesBothWaysAndOpenNeedsNoConnection) {
    SiteBreakdown window;
    window.SetTree(SmallSite());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.Treemap()->resize(400, 300);
    QCoreApplication::processEvents();
    // Treemap to tree: a click in "mid".
    const auto& cells = window.Treemap()->Cells();
    const auto mid = std::find_if(cells.begin(), cells.end(), [&](const TreemapCell& c) {
        return !c.files && window.Model()->Tree()->Name(c.dir) == "mid";
    });
    ASSERT_NE(mid, cells.end());
    QTest::mouseClick(window.Treemap(), Qt::LeftButton, {}, mid->rect.center().toPoint());
    EXPECT_EQ(window.TreeView()->currentIndex().data().toString(), "mid");
    // Tree to treemap: the keyboard moves the current row to "small".
    window.TreeView()->setFocus();
    QTest::keyClick(window.TreeView(), Qt::Key_Down);
    EXPECT_EQ(window.TreeView()->currentIndex().data().toString(), "small");
    EXPECT_EQ(window.Model()->Tree()->Name(window.Treemap()->Selected()), "small");
    EXPECT_EQ(window.LargestFiles()->topLevelItem(0)->text(1), "big/b.iso");
    EXPECT_EQ(window.Extensions()->topLevelItem(0)->text(0), "iso");

    testsupport::SiteTree folder;
    const QString file = QString::fromStdString((folder.Root() / "saved.json.gz").string());
    QString error;
    ASSERT_TRUE(window.SaveFile(file, error)) << error.toStdString();
    SiteBreakdown opened;
    ASSERT_TRUE(opened.OpenFile(file, error)) << error.toStdString();
    EXPECT_EQ(opened.Model()->index(0, BreakdownModel::kSize).data(Qt::ToolTipRole).toString(), "1050 bytes");
    EXPECT_EQ(opened.Model()->index(0, 0, opened.Model()->index(0, 0)).data().toString(), "big");
    EXPECT_FALSE(opened.OpenFile(file + ".missing", error));
    EXPECT_TRUE(error.endsWith("No such file or directory")) << error.toStdString();
}

class BreakdownAfterWalk : public MainFormTest {
protected:
    // The row of `name` below `parent`; invalid where there is none.
    static QModelIndex Child(const BreakdownModel& model, const QModelIndex& parent, const QString& name) {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            if (model.index(row, 0, parent).data().toString() == name) return model.index(row, 0, parent);
        }
        return {};
    }
};

TEST_F(BreakdownAfterWalk, TheLinkOpensTheWalksTree) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.iso", 2000);
    server.Start();
    EXPECT_FALSE(Form().BreakdownLbl->isVisible());
    Connect(server.Address());
    Form().GetSizeBtn->click();
    EXPECT_TRUE(Form().BreakdownLbl->isVisible());
    QTest::mouseClick(Form().BreakdownLbl, Qt::LeftButton);
    ASSERT_NE(Form().Breakdown(), nullptr);
    EXPECT_TRUE(Form().Breakdown()->isVisible());
    EXPECT_FALSE(Form().Breakdown()->isModal());
    const BreakdownModel& model = *Form().Breakdown()->Model();
    EXPECT_EQ(model.index(0, BreakdownModel::kSize).data(Qt::ToolTipRole).toString(), "2010 bytes");
    EXPECT_EQ(model.index(0, 0, model.index(0, 0)).data().toString(), "b");
}

// Open during a walk, the window shows what the walk has seen so far while
// the walk waits on a listing, and the whole tree once it ends.
TEST_F(BreakdownAfterWalk, AnOpenWindowFillsDuringTheWalk) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/c/two.iso", 2000);
    std::string seen;
    server.StallList("b/c", [this, &seen] {
        platform::PostCallback([this, &seen] {
            const BreakdownModel& model = *Form().Breakdown()->Model();
            testsupport::WaitUntil([&] { return model.rowCount(model.index(0, 0)) == 2; }, 2.0);
            seen = model.index(0, BreakdownModel::kSize).data(Qt::ToolTipRole).toString().toStdString();
            EXPECT_TRUE(Form().Breakdown()->Live());
            // Where the user opened the tree, it stays open as it fills.
            Form().Breakdown()->TreeView()->expand(model.index(0, 0, model.index(0, 0)));
            Form().CancelBtn->click();
        });
    });
    server.Start();
    Connect(server.Address());
    Form().ShowBreakdown();
    Form().GetSizeBtn->click();
    EXPECT_EQ(seen, "10 bytes");
    EXPECT_FALSE(Form().Breakdown()->Live());
    const BreakdownModel& model = *Form().Breakdown()->Model();
    // The walk was cancelled in b/c: b is there, c is marked as not read.
    const QModelIndex b = model.index(0, 0, model.index(0, 0));
    EXPECT_EQ(b.data().toString(), "a");
    EXPECT_TRUE(Form().Breakdown()->TreeView()->isExpanded(b));
    EXPECT_EQ(model.index(0, 0, model.index(1, 0, model.index(0, 0))).data().toString(), "c (not read)");
}

// Two walks of a real server's tree that changed between them: compared
// with the first, the second's breakdown shows each directory's change,
// marks the new one and brings back the vanished ones with their old size;
// "(none)" takes it all away again.
TEST_F(BreakdownAfterWalk, ComparedWithTheEarlierWalkShowsChangesNewAndVanished) {
    testsupport::SiteTree tree;
    tree.AddFile("kept/a.bin", 1000);
    tree.AddFile("grows/g.bin", 100);
    tree.AddFile("gone/old/x.bin", 2048);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "s3cret");
    ASSERT_TRUE(server.Running()) << server.Error();
    Connect(server.Address());
    Form().GetSizeBtn->click();
    tree.AddFile("grows/h.bin", 1536);
    tree.AddFile("fresh/n.bin", 3072);
    std::filesystem::remove_all(tree.Root() / "gone");
    Form().GetSizeBtn->click();
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    QTest::mouseClick(Form().BreakdownLbl, Qt::LeftButton);
    ASSERT_NE(Form().Breakdown(), nullptr);
    QComboBox& choice = *Form().Breakdown()->ComparedWith();
    const BreakdownModel& model = *Form().Breakdown()->Model();
    // The first walk only: the second is the one shown.
    ASSERT_EQ(choice.count(), 2);
    EXPECT_EQ(choice.currentText(), "(none)");
    EXPECT_EQ(model.columnCount(), BreakdownModel::kChange);

    choice.setCurrentIndex(1);
    ASSERT_EQ(model.columnCount(), BreakdownModel::kColumns);
    const QModelIndex root = model.index(0, 0);
    const auto change = [](const QModelIndex& row) {
        return row.siblingAtColumn(BreakdownModel::kChange).data().toString();
    };
    EXPECT_EQ(change(root), "+2.50 KiB");
    EXPECT_EQ(change(Child(model, root, "grows")), "+1.50 KiB");
    EXPECT_EQ(change(Child(model, root, "kept")), "");
    EXPECT_EQ(change(Child(model, root, "fresh")), "+3.00 KiB (new)");
    const QModelIndex gone = Child(model, root, "gone");
    ASSERT_TRUE(gone.isValid());
    EXPECT_EQ(change(gone), "-2.00 KiB (vanished)");
    EXPECT_EQ(gone.siblingAtColumn(BreakdownModel::kSize).data().toString(), "2.00 KiB");
    EXPECT_EQ(change(Child(model, gone, "old")), "-2.00 KiB (vanished)");
    // The totals are the second walk's: what has gone is no part of them.
    EXPECT_EQ(root.siblingAtColumn(BreakdownModel::kSize).data(Qt::ToolTipRole).toString(), "5708 bytes");
    // The tree pane shows the Change column whole.
    const QTreeView& view = *Form().Breakdown()->TreeView();
    EXPECT_LE(view.header()->length(), view.viewport()->width());

    choice.setCurrentIndex(0);
    EXPECT_EQ(model.columnCount(), BreakdownModel::kChange);
    EXPECT_FALSE(Child(model, model.index(0, 0), "gone").isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 3);
}
