// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractItemModel>
#include <QStyledItemDelegate>

#include <string>
#include <vector>

#include "sitetree/walk_compare.h"
#include "sitetree/walk_tree.h"

// The directories of a walk's tree for a tree view: name, size, files and
// share of the parent, each directory's children in the order of the
// column sorted by (size, largest first, to begin with). Names are shown
// as UTF-8 where they are, else as Latin-1, which every byte is.
// Compared with an earlier walk, a change column follows, and the
// directories that have gone since come back as rows of their old size.
class BreakdownModel : public QAbstractItemModel {
public:
    enum Column { kName, kSize, kFiles, kShare, kChange, kColumns };
    static constexpr int kShareRole = Qt::UserRole + 1;  // 0..1

    explicit BreakdownModel(QObject* parent = nullptr);
    // The tree must be summed and outlive the model, or be replaced first.
    void SetTree(const zn::WalkTree* tree);
    const zn::WalkTree* Tree() const { return tree_; }
    // The changes from an earlier walk to the tree, or none (nullptr).
    void SetComparison(const zn::WalkComparison* comparison);
    bool Comparing() const { return comparing_; }

    QModelIndex IndexOf(int dir) const;
    int DirOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // A directory of the earlier walk that the tree has not: its number is
    // past the tree's directories.
    bool IsGone(int dir) const { return dir >= dirCount_; }

private:
    // What the earlier walk had of a directory.
    struct Change {
        bool changed = false;
        zn::PathChange change;
    };
    struct GoneDir {
        std::string name;
        int parent = zn::WalkTree::kNone;
    };

    void Order();
    void PlaceChanges(const zn::WalkComparison& comparison);
    int ParentOf(int dir) const;
    std::int64_t BytesOf(int dir) const;
    QString NameOf(int dir) const;
    QVariant ChangeData(int dir, int role) const;

    const zn::WalkTree* tree_ = nullptr;
    // The tree's directories when it was given: a walk may add more.
    int dirCount_ = 0;
    bool comparing_ = false;
    std::vector<Change> changes_;  // per directory, the gone ones too
    std::vector<GoneDir> gone_;
    // Per directory: its children in shown order, and its row there.
    std::vector<std::vector<int>> children_;
    std::vector<int> row_;
    int sortColumn_ = kSize;
    Qt::SortOrder sortOrder_ = Qt::DescendingOrder;
};

// The share column as a bar with the percentage over it.
class ShareBarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// A name's bytes for display: UTF-8 where they are valid, else Latin-1.
QString ShownName(std::string_view bytes);
// 1.19 GiB, 512 B.
QString ShownSize(std::int64_t bytes);
