// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <memory>
#include <string>

#include "ftp/walk_tree.h"

class BreakdownModel;
class QLabel;
class QPushButton;
class QTabWidget;
class QTreeView;
class QTreeWidget;
class TreemapView;

// "Site breakdown": where the space of the last walk (or of an opened
// export) goes, in a tree sorted by size beside its treemap, the largest
// files and the shares by extension. Non-modal; it reads the tree it is
// given and never walks.
class SiteBreakdown : public QWidget {
public:
    explicit SiteBreakdown(QWidget* parent = nullptr);
    ~SiteBreakdown() override;

    // Shows `tree`, which the window keeps; `source` goes in the export.
    void SetTree(std::unique_ptr<zn::WalkTree> tree, const std::string& source = {});
    // An export of DirWeigh, ncdu or gdu. False with the reason.
    bool OpenFile(const QString& file, QString& error);
    bool SaveFile(const QString& file, QString& error) const;

    BreakdownModel* Model() const { return model_; }
    QTreeView* TreeView() const { return treeView_; }
    TreemapView* Treemap() const { return treemap_; }
    QTreeWidget* LargestFiles() const { return largestFiles_; }
    QTreeWidget* Extensions() const { return extensions_; }

    static constexpr int kLargestFiles = 100;

private:
    void SaveClicked();
    void OpenClicked();
    void FillTabs();
    void SelectFromTree();
    void SelectFromTreemap(int dir);

    std::unique_ptr<zn::WalkTree> tree_;
    std::string source_;
    BreakdownModel* model_ = nullptr;
    QTreeView* treeView_ = nullptr;
    TreemapView* treemap_ = nullptr;
    QTreeWidget* largestFiles_ = nullptr;
    QTreeWidget* extensions_ = nullptr;
    QLabel* hover_ = nullptr;
    QPushButton* save_ = nullptr;
};
