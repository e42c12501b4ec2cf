// SPDX-License-Identifier: MIT
#include "app/breakdown_model.h"

#include "net/core/text_helpers.h"

#include <QPainter>
#include <QStringDecoder>

#include <QBrush>

#include <algorithm>
#include <unordered_map>

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
    dirCount_ = tree_ ? tree_->DirectoryCount() : 0;
    comparing_ = false;
    changes_.clear();
    gone_.clear();
    Order();
    endResetModel();
}

void BreakdownModel::SetComparison(const zn::WalkComparison* comparison) {
    beginResetModel();
    comparing_ = tree_ && comparison;
    changes_.clear();
    gone_.clear();
    if (comparing_) PlaceChanges(*comparison);
    Order();
    endResetModel();
}

// Each changed directory on its row by its path; a gone one as a row of
// its own below its parent, which is either still there or gone too (the
// parent of a gone directory with bytes in it had those bytes as well).
void BreakdownModel::PlaceChanges(const zn::WalkComparison& comparison) {
    std::unordered_map<std::string, int> byPath;
    for (int dir = 0; dir < dirCount_; ++dir) byPath.emplace(tree_->Path(dir), dir);
    std::vector<const zn::PathChange*> gone;
    changes_.assign(static_cast<std::size_t>(dirCount_), {});
    for (const zn::PathChange& change : comparison.directories) {
        if (change.removed) {
            gone.push_back(&change);
        } else if (const auto at = byPath.find(change.path); at != byPath.end()) {
            changes_[static_cast<std::size_t>(at->second)] = {true, change};
        }
    }
    // A parent's path sorts before its children's.
    std::sort(gone.begin(), gone.end(), [](const auto* a, const auto* b) { return a->path < b->path; });
    for (const zn::PathChange* change : gone) {
        const std::size_t slash = change->path.rfind('/');
        const std::string parentPath = slash == std::string::npos ? std::string() : change->path.substr(0, slash);
        const auto parent = byPath.find(parentPath);
        const int id = dirCount_ + static_cast<int>(gone_.size());
        gone_.push_back({change->path.substr(slash == std::string::npos ? 0 : slash + 1),
                         parent == byPath.end() ? zn::WalkTree::kRoot : parent->second});
        changes_.push_back({true, *change});
        byPath.emplace(change->path, id);
    }
}

int BreakdownModel::ParentOf(int dir) const {
    return IsGone(dir) ? gone_[static_cast<std::size_t>(dir - dirCount_)].parent : tree_->Parent(dir);
}

// A gone directory shows the size it had.
std::int64_t BreakdownModel::BytesOf(int dir) const {
    return IsGone(dir) ? changes_[static_cast<std::size_t>(dir)].change.oldBytes : tree_->TotalBytes(dir);
}

QString BreakdownModel::NameOf(int dir) const {
    return IsGone(dir) ? ShownName(gone_[static_cast<std::size_t>(dir - dirCount_)].name) : ShownName(tree_->Name(dir));
}

void BreakdownModel::Order() {
    const int count = dirCount_ + static_cast<int>(gone_.size());
    children_.assign(static_cast<std::size_t>(count), {});
    row_.assign(static_cast<std::size_t>(count), 0);
    for (int dir = 1; dir < count; ++dir) children_[static_cast<std::size_t>(ParentOf(dir))].push_back(dir);
    const auto key = [this](int dir) -> std::pair<std::int64_t, QString> {
        switch (sortColumn_) {
            case kName: return {0, NameOf(dir)};
            case kFiles: return {IsGone(dir) ? 0 : tree_->TotalFiles(dir), {}};
            case kChange:
                if (comparing_) return {changes_[static_cast<std::size_t>(dir)].change.Change(), {}};
                break;
        }
        return {BytesOf(dir), {}};  // size and share order alike, and change without a comparison
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
    for (std::size_t i = 0; i < dirs.size(); ++i)
        after.push_back(IndexOf(dirs[i]).siblingAtColumn(before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

QModelIndex BreakdownModel::IndexOf(int dir) const {
    // A tree a walk is filling has directories the model has not seen yet.
    if (!tree_ || dir < 0 || dir >= static_cast<int>(row_.size())) return {};
    return createIndex(dir == zn::WalkTree::kRoot ? 0 : row_[static_cast<std::size_t>(dir)], 0,
                       static_cast<quintptr>(dir));
}

int BreakdownModel::DirOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<int>(index.internalId()) : zn::WalkTree::kNone;
}

// The start directory is the one top row.
QModelIndex BreakdownModel::index(int row, int column, const QModelIndex& parent) const {
    if (!tree_ || row < 0 || column < 0 || column >= columnCount()) return {};
    if (!parent.isValid()) return row == 0 ? createIndex(0, column, quintptr{0}) : QModelIndex();
    const auto& list = children_[static_cast<std::size_t>(DirOf(parent))];
    if (row >= static_cast<int>(list.size())) return {};
    return createIndex(row, column, static_cast<quintptr>(list[static_cast<std::size_t>(row)]));
}

QModelIndex BreakdownModel::parent(const QModelIndex& child) const {
    const int dir = DirOf(child);
    if (dir <= zn::WalkTree::kRoot) return {};
    return IndexOf(ParentOf(dir));
}

int BreakdownModel::rowCount(const QModelIndex& parent) const {
    if (!tree_) return 0;
    if (!parent.isValid()) return 1;
    if (parent.column() != 0) return 0;
    return static_cast<int>(children_[static_cast<std::size_t>(DirOf(parent))].size());
}

int BreakdownModel::columnCount(const QModelIndex&) const { return comparing_ ? kColumns : kChange; }

// "+1.50 KiB", "+3.00 KiB (new)", "-2.00 KiB (vanished)"; nothing where
// the directory's total is as it was.
QVariant BreakdownModel::ChangeData(int dir, int role) const {
    const Change& entry = changes_[static_cast<std::size_t>(dir)];
    if (!entry.changed) return {};
    const zn::PathChange& change = entry.change;
    if (role == Qt::ToolTipRole) {
        return QString::number(change.oldBytes) + " -> " + QString::number(change.newBytes) + " bytes";
    }
    if (role != Qt::DisplayRole) return {};
    const QString text = QString::fromStdString(zn::SignedHumanSize(change.Change()));
    return change.added ? text + " (new)" : change.removed ? text + " (vanished)" : text;
}

QVariant BreakdownModel::data(const QModelIndex& index, int role) const {
    const int dir = DirOf(index);
    if (dir < 0) return {};
    const bool gone = IsGone(dir);
    const int parentDir = ParentOf(dir);
    // What has gone has no share of what is there now.
    const double whole = parentDir < 0 || gone ? 0 : static_cast<double>(tree_->TotalBytes(parentDir));
    const double share = parentDir < 0 ? 1.0 : whole > 0 ? static_cast<double>(tree_->TotalBytes(dir)) / whole : 0.0;
    if (role == kShareRole) return share;
    if (role == Qt::TextAlignmentRole && index.column() != kName) return int(Qt::AlignRight | Qt::AlignVCenter);
    // What has gone is not part of the totals: greyed, as the past.
    if (role == Qt::ForegroundRole && gone) return QBrush(Qt::gray);
    if (index.column() == kChange) return ChangeData(dir, role);
    if (role == Qt::ToolTipRole && index.column() == kSize) {
        return QString::number(BytesOf(dir)) + (gone ? " bytes before, gone since" : " bytes");
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kName: return gone || tree_->IsListed(dir) ? NameOf(dir) : NameOf(dir) + " (not read)";
        case kSize: return ShownSize(BytesOf(dir));
        case kFiles: return gone ? QVariant() : QString::number(tree_->TotalFiles(dir));
        case kShare: return gone ? QVariant() : QString::number(share * 100, 'f', 1) + " %";
    }
    return {};
}

QVariant BreakdownModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"Name", "Size", "Files", "Share", "Change"};
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
