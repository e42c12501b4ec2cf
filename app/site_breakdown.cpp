// SPDX-License-Identifier: MIT
#include "app/site_breakdown.h"

#include "app/breakdown_model.h"
#include "app/treemap_view.h"
#include "sitetree/ncdu_export.h"
#include "sitetree/walk_history.h"
#include "sitetree/walk_tree_reports.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>
#include <sstream>

namespace {

QTreeWidget* Table(const QStringList& headers) {
    auto* table = new QTreeWidget;
    table->setHeaderLabels(headers);
    table->setRootIsDecorated(false);
    table->setSortingEnabled(true);
    table->setUniformRowHeights(true);
    return table;
}

// A size column that sorts by bytes, not by its text.
class SizedItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QVariant a = data(column, Qt::UserRole), b = other.data(column, Qt::UserRole);
        if (a.isValid() && b.isValid()) return a.toLongLong() < b.toLongLong();
        return QTreeWidgetItem::operator<(other);
    }
};

void SetNumber(QTreeWidgetItem* item, int column, std::int64_t value, const QString& text) {
    item->setText(column, text);
    item->setData(column, Qt::UserRole, static_cast<qlonglong>(value));
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

}  // namespace

SiteBreakdown::SiteBreakdown(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Site breakdown");
    model_ = new BreakdownModel(this);
    treeView_ = new QTreeView;
    treeView_->setModel(model_);
    treeView_->setSortingEnabled(true);
    treeView_->header()->setSortIndicator(BreakdownModel::kSize, Qt::DescendingOrder);
    treeView_->setItemDelegateForColumn(BreakdownModel::kShare, new ShareBarDelegate(treeView_));
    treeView_->setUniformRowHeights(true);
    treemap_ = new TreemapView;
    auto* splitter = splitter_ = new QSplitter;
    splitter->addWidget(treeView_);
    splitter->addWidget(treemap_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({400, 500});
    largestFiles_ = Table({"Size", "Path"});
    extensions_ = Table({"Extension", "Size", "Files", "Share"});
    auto* tabs = new QTabWidget;
    tabs->addTab(splitter, "Directories");
    tabs->addTab(largestFiles_, "Largest files");
    tabs->addTab(extensions_, "By extension");
    hover_ = new QLabel;
    save_ = new QPushButton("&Save...");
    auto* open = new QPushButton("&Open...");
    auto* colours = new QComboBox;
    colours->addItems({"Colour by top-level directory", "Colour by file extension"});
    comparedWith_ = new QComboBox;
    comparedWith_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* comparedLabel = new QLabel("&Compared with:");
    comparedLabel->setBuddy(comparedWith_);
    ListEarlierWalks({});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(colours);
    buttons->addWidget(comparedLabel);
    buttons->addWidget(comparedWith_);
    buttons->addWidget(hover_, 1);
    buttons->addWidget(open);
    buttons->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);
    resize(900, 560);
    connect(save_, &QPushButton::clicked, this, [this] { SaveClicked(); });
    connect(open, &QPushButton::clicked, this, [this] { OpenClicked(); });
    connect(treeView_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { SelectFromTree(); });
    treemap_->OnSelected = [this](int dir) { SelectFromTreemap(dir); };
    treemap_->OnHover = [this](const QString& text) { hover_->setText(text); };
    save_->setEnabled(false);
    connect(colours, &QComboBox::currentIndexChanged, this,
            [this](int index) { treemap_->SetColourByExtension(index == 1); });
    connect(&liveTimer_, &QTimer::timeout, this, [this] { ShowTree(); });
    connect(comparedWith_, &QComboBox::currentIndexChanged, this, [this](int choice) { CompareWith(choice); });
}

SiteBreakdown::~SiteBreakdown() = default;

void SiteBreakdown::SetTree(std::shared_ptr<zn::WalkTree> tree, const std::string& source,
                            const std::vector<std::string>& earlierWalks) {
    liveTimer_.stop();
    source_ = source;
    tree_ = std::move(tree);
    comparison_.reset();
    ListEarlierWalks(earlierWalks);
    ShowTree();
}

void SiteBreakdown::ListEarlierWalks(const std::vector<std::string>& files) {
    const QSignalBlocker quiet(comparedWith_);
    comparedWith_->clear();
    comparedWith_->addItem("(none)");
    std::for_each(files.rbegin(), files.rend(), [this](const std::string& file) {
        comparedWith_->addItem(QString::fromStdString(zn::KeptWalkTime(file)), QString::fromStdString(file));
    });
    comparedWith_->setEnabled(!files.empty());
}

// Compared as the CLI's --compare does; an earlier walk that cannot be
// read leaves the breakdown as it was, on "(none)".
void SiteBreakdown::CompareWith(int choice) {
    comparison_.reset();
    const QString file = comparedWith_->itemData(choice).toString();
    if (tree_ && !file.isEmpty()) {
        std::string error;
        const auto older = zn::LoadNcdu(file.toStdString(), error);
        if (older) {
            tree_->Sum();
            comparison_ = std::make_unique<zn::WalkComparison>(zn::CompareWalks(*older, *tree_, 0));
        } else {
            QMessageBox::warning(this, "DirWeigh", "ERROR: " + QString::fromStdString(error));
            const QSignalBlocker quiet(comparedWith_);
            comparedWith_->setCurrentIndex(0);
        }
    }
    ShowTree();
}

void SiteBreakdown::ShowLive(std::shared_ptr<zn::WalkTree> tree) {
    SetTree(std::move(tree));
    liveTimer_.start(kLiveIntervalMs);
}

void SiteBreakdown::ShowTree() {
    // A live tree is shown again and again: the user's place in it stays.
    // Directory numbers last as long as the tree does.
    const zn::WalkTree* before = model_->Tree();
    const int current = model_->DirOf(treeView_->currentIndex());
    std::vector<int> expanded;
    for (int dir = 0; before && dir < before->DirectoryCount(); ++dir) {
        if (treeView_->isExpanded(model_->IndexOf(dir))) expanded.push_back(dir);
    }
    // The views let go of the tree before it changes or goes.
    model_->SetTree(nullptr);
    treemap_->SetTree(nullptr);
    if (tree_) tree_->Sum();
    model_->SetTree(tree_.get());
    if (comparison_) model_->SetComparison(comparison_.get());
    treemap_->SetTree(tree_.get());
    treeView_->expand(model_->IndexOf(zn::WalkTree::kRoot));
    if (before == tree_.get()) {
        for (const int dir : expanded) treeView_->expand(model_->IndexOf(dir));
        if (current >= 0) treeView_->setCurrentIndex(model_->IndexOf(current));
    }
    treeView_->header()->resizeSections(QHeaderView::ResizeToContents);
    // Room for the bar and the percentage over it.
    treeView_->header()->resizeSection(BreakdownModel::kShare, 90);
    WidenTreePane();
    FillTabs();
    save_->setEnabled(tree_ != nullptr);
}

void SiteBreakdown::WidenTreePane() {
    const int needed = treeView_->header()->length() + 2 * treeView_->frameWidth() +
                       treeView_->verticalScrollBar()->sizeHint().width();
    QList<int> sizes = splitter_->sizes();
    if (sizes.size() != 2 || sizes[0] >= needed) return;
    const int whole = sizes[0] + sizes[1];
    // The treemap keeps some room; a window on screen grows for the rest.
    constexpr int kLeastTreemap = 200;
    if (isVisible() && whole < needed + kLeastTreemap) resize(width() + needed + kLeastTreemap - whole, height());
    splitter_->setSizes({needed, std::max(kLeastTreemap, whole - needed)});
}

void SiteBreakdown::FillTabs() {
    largestFiles_->clear();
    extensions_->clear();
    if (!tree_) return;
    for (const zn::SizedPath& file : zn::LargestFiles(*tree_, kLargestFiles)) {
        auto* item = new SizedItem(largestFiles_);
        SetNumber(item, 0, file.bytes, ShownSize(file.bytes));
        item->setText(1, ShownName(file.path));
    }
    largestFiles_->sortByColumn(0, Qt::DescendingOrder);
    const double total = static_cast<double>(tree_->TotalBytes(zn::WalkTree::kRoot));
    for (const zn::ExtensionShare& share : zn::ByExtension(*tree_)) {
        auto* item = new SizedItem(extensions_);
        item->setText(0, share.extension.empty() ? QString("(none)") : ShownName(share.extension));
        SetNumber(item, 1, share.bytes, ShownSize(share.bytes));
        SetNumber(item, 2, share.files, QString::number(share.files));
        const double part = total > 0 ? static_cast<double>(share.bytes) / total : 0;
        SetNumber(item, 3, static_cast<std::int64_t>(part * 1e6), QString::number(part * 100, 'f', 1) + " %");
    }
    extensions_->sortByColumn(1, Qt::DescendingOrder);
}

void SiteBreakdown::SelectFromTree() {
    int dir = model_->DirOf(treeView_->currentIndex());
    // A directory that has gone has no place in the treemap.
    if (dir >= 0 && model_->IsGone(dir)) dir = zn::WalkTree::kNone;
    if (dir != treemap_->Selected()) treemap_->Select(dir);
}

void SiteBreakdown::SelectFromTreemap(int dir) {
    const QModelIndex index = model_->IndexOf(dir);
    if (!index.isValid()) return;
    treeView_->scrollTo(index);
    treeView_->setCurrentIndex(index);
}

bool SiteBreakdown::OpenFile(const QString& file, QString& error) {
    std::string why;
    auto tree = zn::LoadNcdu(file.toStdString(), why);
    if (!tree) {
        error = QString::fromStdString(why);
        return false;
    }
    SetTree(std::move(tree));
    setWindowTitle("Site breakdown - " + file);
    return true;
}

bool SiteBreakdown::SaveFile(const QString& file, QString& error) const {
    if (!tree_) return false;
    std::ostringstream unused;
    std::string why;
    const zn::NcduMetadata metadata{"1.03", static_cast<std::int64_t>(std::time(nullptr)), source_};
    if (zn::SaveNcdu(*tree_, metadata, file.toStdString(), unused, why)) return true;
    error = QString::fromStdString(why);
    return false;
}

void SiteBreakdown::SaveClicked() {
    const QString file = QFileDialog::getSaveFileName(this, "Save", {}, "ncdu export (*.json *.json.gz)");
    QString error;
    if (!file.isEmpty() && !SaveFile(file, error)) QMessageBox::warning(this, "DirWeigh", "ERROR: " + error);
}

void SiteBreakdown::OpenClicked() {
    const QString file =
        QFileDialog::getOpenFileName(this, "Open", {}, "ncdu export (*.json *.json.gz);;All files (*)");
    QString error;
    if (!file.isEmpty() && !OpenFile(file, error)) QMessageBox::warning(this, "DirWeigh", "ERROR: " + error);
}
