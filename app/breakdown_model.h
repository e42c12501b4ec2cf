// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractItemModel>
#include <QStyledItemDelegate>

#include <vector>

#include "ftp/walk_tree.h"

// The directories of a walk's tree for a tree view: name, size, files and
// share of the parent, each directory's children in the order of the
// column sorted by (size, largest first, to begin with). Names are shown
// as UTF-8 where they are, else as Latin-1, which every byte is.
class BreakdownModel : public QAbstractItemModel {
public:
    enum Column { kName, kSize, kFiles, kShare, kColumns };
    static constexpr int kShareRole = Qt::UserRole + 1;  // 0..1

    explicit BreakdownModel(QObject* parent = nullptr);
    // The tree must be summed and outlive the model, or be replaced first.
    void SetTree(const zn::WalkTree* tree);
    const zn::WalkTree* Tree() const { return tree_; }

    QModelIndex IndexOf(int dir) const;
    int DirOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void Order();

    const zn::WalkTree* tree_ = nullptr;
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
