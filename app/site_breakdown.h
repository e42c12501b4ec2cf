// SPDX-License-Identifier: MIT
#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "sitetree/walk_compare.h"
#include "sitetree/walk_tree.h"

class BreakdownModel;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTreeView;
class QTreeWidget;
class TreemapView;

// "Site breakdown": where the space of the last walk (or of an opened
// export) goes, in a tree sorted by size beside its treemap, the largest
// files and the shares by extension, and what changed since an earlier
// walk of the site. Non-modal; it reads the tree it is given and never
// walks.
class SiteBreakdown : public QWidget {
public:
    explicit SiteBreakdown(QWidget* parent = nullptr);
    ~SiteBreakdown() override;

    // Shows `tree`, which the window keeps; `source` goes in the export.
    // `earlierWalks` are the kept walks of the same site before this one
    // (walk_history.h, oldest first), to compare with.
    void SetTree(std::shared_ptr<zn::WalkTree> tree, const std::string& source = {},
                 const std::vector<std::string>& earlierWalks = {});
    // Shows a tree a walk is filling, brought up to date at a human pace
    // (the walk's waits run the event loop) until SetTree.
    void ShowLive(std::shared_ptr<zn::WalkTree> tree);
    bool Live() const { return liveTimer_.isActive(); }

    // How often a live tree is shown again: summing and laying out the
    // whole tree costs too much to do for every listing.
    static constexpr int kLiveIntervalMs = 500;
    // An export of DirWeigh, ncdu or gdu. False with the reason.
    bool OpenFile(const QString& file, QString& error);
    bool SaveFile(const QString& file, QString& error) const;

    BreakdownModel* Model() const { return model_; }
    QTreeView* TreeView() const { return treeView_; }
    TreemapView* Treemap() const { return treemap_; }
    QTreeWidget* LargestFiles() const { return largestFiles_; }
    QTreeWidget* Extensions() const { return extensions_; }
    // "(none)", then the earlier walks, newest first.
    QComboBox* ComparedWith() const { return comparedWith_; }

    static constexpr int kLargestFiles = 100;

private:
    void SaveClicked();
    void OpenClicked();
    void FillTabs();
    void ShowTree();
    void SelectFromTree();
    void SelectFromTreemap(int dir);
    void ListEarlierWalks(const std::vector<std::string>& files);
    void CompareWith(int choice);

    std::shared_ptr<zn::WalkTree> tree_;
    // The changes from the chosen earlier walk; none for "(none)".
    std::unique_ptr<zn::WalkComparison> comparison_;
    QTimer liveTimer_;
    std::string source_;
    BreakdownModel* model_ = nullptr;
    QTreeView* treeView_ = nullptr;
    QSplitter* splitter_ = nullptr;
    // The tree pane as wide as its columns, the Change column included.
    void WidenTreePane();
    TreemapView* treemap_ = nullptr;
    QTreeWidget* largestFiles_ = nullptr;
    QTreeWidget* extensions_ = nullptr;
    QComboBox* comparedWith_ = nullptr;
    QLabel* hover_ = nullptr;
    QPushButton* save_ = nullptr;
};
