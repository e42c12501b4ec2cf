// SPDX-License-Identifier: MIT
#include "app/breakdown_model.h"

#include "net/text_helpers.h"

#include <QPainter>
#include <QStringDecoder>

#include <algorithm>

QString ShownName(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString ShownSize(std::int64_t bytes) { return QString::fromStdString(zn::HumanSize(bytes)); }

BreakdownModel::BreakdownModel(QObject* parent) : QAbstractItemModel(parent) {}

void BreakdownModel::SetTree(const zn::WalkTree* tree) {
    beginResetModel();
    tree_ = tree;
    Order();
    endResetModel();
}

void BreakdownModel::Order() {
    const int count = tree_ ? tree_->DirectoryCount() : 0;
    children_.assign(static_cast<std::size_t>(count), {});
    row_.assign(static_cast<std::size_t>(count), 0);
    for (int dir = 1; dir < count; ++dir) children_[static_cast<std::size_t>(tree_->Parent(dir))].push_back(dir);
    const auto key = [this](int dir) -> std::pair<std::int64_t, QString> {
        switch (sortColumn_) {
            case kName: return {0, ShownName(tree_->Name(dir))};
            case kFiles: return {tree_->TotalFiles(dir), {}};
            default: return {tree_->TotalBytes(dir), {}};  // size and share order alike
        }
    };
    for (auto& list : children_) {
        std::stable_sort(list.begin(), list.end(), [&](int a, int b) {
            return sortOrder_ == Qt::AscendingOrder ? key(a) < key(b) : key(b) < key(a);
        });
        for (std::size_t i = 0; i < list.size(); ++i) row_[static_cast<std::size_t>(list[i])] = static_cast<int>(i);
    }
}

void BreakdownModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> dirs;
    for (const QModelIndex& index : before) dirs.push_back(DirOf(index));
    sortColumn_ = column;
    sortOrder_ = order;
    Order();
    QModelIndexList after;
    for (std::size_t i = 0; i < dirs.size(); ++i) after.push_back(IndexOf(dirs[i]).siblingAtColumn(before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

QModelIndex BreakdownModel::IndexOf(int dir) const {
    // A tree a walk is filling has directories the model has not seen yet.
    if (!tree_ || dir < 0 || dir >= static_cast<int>(row_.size())) return {};
    return createIndex(dir == zn::WalkTree::kRoot ? 0 : row_[static_cast<std::size_t>(dir)], 0, static_cast<quintptr>(dir));
}

int BreakdownModel::DirOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<int>(index.internalId()) : zn::WalkTree::kNone;
}

// The start directory is the one top row.
QModelIndex BreakdownModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || row < 0 || column < 0 || column >= kColumns) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, column, quintptr{0}) : QModelIndex();
    const auto& list = children_[static_cast<std::size_t>(DirOf(parent))];
    if (row >= static_cast<int>(list.size())) return {};
    return createIndex(row, column, static_cast<quintptr>(list[static_cast<std::size_t>(row)]));
}

QModelIndex BreakdownModel::parent(const QModelIndex& child) const {
    const int dir = DirOf(child);
    if (dir <= zn::WalkTree::kRoot) return {};
    return IndexOf(tree_->Parent(dir));
}

int BreakdownModel::rowCount(const QModelIndex& parent) const {
    if (!tree_) return 0;
    if (!parent.isValid()) return 1;
    if (parent.column() != 0) return 0;
    return static_cast<int>(children_[static_cast<std::size_t>(DirOf(parent))].size());
}

int BreakdownModel::columnCount(const QModelIndex&) const { return kColumns; }

QVariant BreakdownModel::data(const QModelIndex& index, int role) const {
    const int dir = DirOf(index);
    if (dir < 0) return {};
    const int parentDir = tree_->Parent(dir);
    const double whole = parentDir < 0 ? 0 : static_cast<double>(tree_->TotalBytes(parentDir));
    const double share = parentDir < 0 ? 1.0 : whole > 0 ? static_cast<double>(tree_->TotalBytes(dir)) / whole : 0.0;
    if (role == kShareRole) return share;
    if (role == Qt::TextAlignmentRole && index.column() != kName) return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == kSize) return QString::number(tree_->TotalBytes(dir)) + " bytes";
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kName: {
            const QString name = ShownName(tree_->Name(dir));
            return tree_->IsListed(dir) ? name : name + " (not read)";
        }
        case kSize: return ShownSize(tree_->TotalBytes(dir));
        case kFiles: return QString::number(tree_->TotalFiles(dir));
        case kShare: return QString::number(share * 100, 'f', 1) + " %";
    }
    return {};
}

QVariant BreakdownModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"Name", "Size", "Files", "Share"};
    return section >= 0 && section < kColumns ? QString(titles[section]) : QVariant();
}

void ShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const double share = index.data(BreakdownModel::kShareRole).toDouble();
    const QRect bar = option.rect.adjusted(2, 3, -2, -3);
    painter->save();
    painter->fillRect(QRect(bar.left(), bar.top(), static_cast<int>(bar.width() * share), bar.height()),
                      option.palette.highlight().color().lighter(150));
    painter->restore();
    QStyledItemDelegate::paint(painter, option, index);
}
