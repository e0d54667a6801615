#include "manual/ManualDirPage.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>

#include "manual/ManualDlg.h"
#include "manual/ManualResource.h"
#include "platform/core/Files.h"
#include "platform/core/UserDialogs.h"

using namespace manual_ids;

namespace {

constexpr int kFileImage = 0;
constexpr int kFolderImage = 1;

const DialogTemplate kDirTemplate = {
    IDD_MANUAL_DIR, L"", 150, 240,
    {
        {dir::IDC_DIRECT, Ctl::Radio, L"直接处理", 4, 2, 60, 10, WS_GROUP},
        {dir::IDC_COMPARE, Ctl::Radio, L"对比处理", 70, 2, 60, 10},
        {dir::IDC_SHOW_PROCESSED, Ctl::Radio, L"处理目录：", 4, 16, 140, 10, WS_GROUP},
        {dir::IDC_PROCESSED_FOLDER, Ctl::Edit, L"", 4, 28, 122, 13, ES_READONLY},
        {dir::IDC_BROWSE_PROCESSED, Ctl::Button, L"...", 128, 27, 18, 14},
        {dir::IDC_SHOW_ORIGINAL, Ctl::Radio, L"原图目录(与处理目录结构要一样):", 4, 44, 140, 10},
        {dir::IDC_ORIGINAL_FOLDER, Ctl::Edit, L"", 4, 56, 122, 13, ES_READONLY},
        {dir::IDC_BROWSE_ORIGINAL, Ctl::Button, L"...", 128, 55, 18, 14},
        {dir::IDC_EXPAND_ALL, Ctl::Button, L"+", 4, 72, 16, 14, WS_GROUP},
        {dir::IDC_COLLAPSE_ALL, Ctl::Button, L"-", 22, 72, 16, 14},
        {dir::IDC_OPEN_FOLDER, Ctl::Button, L"打开所在文件夹", 42, 72, 70, 14},
        {dir::IDC_TREE, Ctl::Tree, L"", 4, 88, 142, 148},
    },
};

}  // namespace

const std::vector<std::wstring>& CManualDirPage::Extensions() {
    static const std::vector<std::wstring> extensions = {L"jpg", L"tif", L"tiff", L"png"};
    return extensions;
}

CManualDirPage::CManualDirPage() : CManualPage(kDirTemplate, true) {
    MapCommand(dir::IDC_BROWSE_PROCESSED, BN_CLICKED, [this] { OnBrowse(true); });
    MapCommand(dir::IDC_BROWSE_ORIGINAL, BN_CLICKED, [this] { OnBrowse(false); });
    MapCommand(dir::IDC_DIRECT, BN_CLICKED, [this] {
        SetDirectMode(true);
        if (CManualDlg* manual = Manual()) manual->SetViewMode(false);
    });
    MapCommand(dir::IDC_COMPARE, BN_CLICKED, [this] {
        SetDirectMode(false);
        if (CManualDlg* manual = Manual()) manual->SetViewMode(true);
    });
    MapCommand(dir::IDC_SHOW_PROCESSED, BN_CLICKED, [this] {
        if (CManualDlg* manual = Manual()) RebuildTree(manual->ProcessedFolder(), true);
    });
    MapCommand(dir::IDC_SHOW_ORIGINAL, BN_CLICKED, [this] {
        if (CManualDlg* manual = Manual()) RebuildTree(manual->OriginalFolder(), false);
    });
    MapCommand(dir::IDC_EXPAND_ALL, BN_CLICKED, [this] { ExpandAll(true); });
    MapCommand(dir::IDC_COLLAPSE_ALL, BN_CLICKED, [this] { ExpandAll(false); });
    MapCommand(dir::IDC_OPEN_FOLDER, BN_CLICKED, [this] { OnOpenFolder(); });
    MapNotify(dir::IDC_TREE, TVN_SELCHANGED, [this](NMHDR*, LRESULT*) { OnSelectionChanged(); });
}

CManualDirPage::~CManualDirPage() = default;

void CManualDirPage::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, dir::IDC_TREE, tree_); }

bool CManualDirPage::OnInitDialog() {
    CManualPage::OnInitDialog();
    lastSelected_ = nullptr;
    treeReady_ = false;
    if (images_.GetImageCount() == 0) {
        images_.Create(16, 16, 0, 2, 0);
        images_.Add(QApplication::style()->standardIcon(QStyle::SP_FileIcon));
        images_.Add(QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    }
    tree_.SetImageList(&images_, TVSIL_NORMAL);
    CheckDlgButton(dir::IDC_SHOW_PROCESSED, BST_UNCHECKED);
    CheckDlgButton(dir::IDC_SHOW_ORIGINAL, BST_UNCHECKED);
    if (CManualDlg* manual = Manual()) {
        SetDlgItemText(dir::IDC_PROCESSED_FOLDER, manual->ProcessedFolder());
        SetDlgItemText(dir::IDC_ORIGINAL_FOLDER, manual->OriginalFolder());
    }
    return true;
}

void CManualDirPage::SetDirectMode(bool direct) {
    direct_ = direct;
    CheckDlgButton(dir::IDC_DIRECT, direct ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dir::IDC_COMPARE, direct ? BST_UNCHECKED : BST_CHECKED);
    for (int id : {dir::IDC_ORIGINAL_FOLDER, dir::IDC_BROWSE_ORIGINAL, dir::IDC_SHOW_ORIGINAL})
        if (CWnd* item = GetDlgItem(id)) item->ShowWindow(direct ? SW_HIDE : SW_SHOW);
    CManualDlg* manual = Manual();
    if (manual) manual->RelayoutControls();
    if (direct && IsDlgButtonChecked(dir::IDC_SHOW_ORIGINAL) == BST_CHECKED) {
        CheckDlgButton(dir::IDC_SHOW_PROCESSED, BST_CHECKED);
        CheckDlgButton(dir::IDC_SHOW_ORIGINAL, BST_UNCHECKED);
        if (manual) RebuildTree(manual->ProcessedFolder(), true);
    }
}

void CManualDirPage::ShowProcessedFolder() {
    CManualDlg* manual = Manual();
    if (!manual || manual->ProcessedFolder().empty()) return;
    CheckDlgButton(dir::IDC_SHOW_PROCESSED, BST_CHECKED);
    CheckDlgButton(dir::IDC_SHOW_ORIGINAL, BST_UNCHECKED);
    RebuildTree(manual->ProcessedFolder(), true);
}

bool CManualDirPage::ShowsProcessed() const { return IsDlgButtonChecked(dir::IDC_SHOW_PROCESSED) == BST_CHECKED; }

void CManualDirPage::RebuildTree(const std::wstring& folder, bool processed) {
    if (folder.empty() || !files::IsDirectory(folder)) return;
    CFileTree& finder = processed ? processed_ : original_;
    if (finder.Build(Extensions(), CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, folder))
        finder.PruneEmptyFolders(finder.FlatRoot());
    FillTree(finder);
}

void CManualDirPage::FillTree(CFileTree& finder) {
    treeReady_ = false;
    lastSelected_ = nullptr;
    tree_.DeleteAllItems();
    const auto& folders = finder.FolderList();
    if (folders.empty()) {
        treeReady_ = true;
        return;
    }
    const FileTreeNode* root = folders.front();
    itemOf_.clear();
    auto parentItem = [&](const FileTreeNode* node) {
        return !node->parent || node->parent == root ? TVI_ROOT : ItemOf(node->parent);
    };
    for (std::size_t i = 1; i < folders.size(); ++i) {
        FileTreeNode* node = folders[i];
        itemOf_[node] = tree_.InsertItem(node->name, kFolderImage, kFolderImage, parentItem(node), TVI_LAST);
    }
    const auto& files = finder.FileList();
    if (files.empty()) {
        treeReady_ = true;
        return;
    }
    for (FileTreeNode* node : files) {
        itemOf_[node] = tree_.InsertItem(node->name, kFileImage, kFileImage, parentItem(node), TVI_LAST);
    }
    treeReady_ = true;
    tree_.SelectItem(ItemOf(files.front()));
}

HTREEITEM CManualDirPage::ItemOf(const FileTreeNode* node) const {
    const auto it = itemOf_.find(node);
    return it == itemOf_.end() ? nullptr : it->second;
}

const FileTreeNode* CManualDirPage::NodeOf(HTREEITEM item, bool files) const {
    if (!item) return nullptr;
    const CFileTree& finder = Finder(ShowsProcessed());
    for (const FileTreeNode* node : files ? finder.FileList() : finder.FolderList())
        if (ItemOf(node) == item) return node;
    return nullptr;
}

void CManualDirPage::OnSelectionChanged() {
    if (!treeReady_) return;
    HTREEITEM item = tree_.GetSelectedItem();
    const FileTreeNode* node = NodeOf(item, true);
    if (!node) return;  // a folder
    lastSelected_ = item;
    if (CManualDlg* manual = Manual()) manual->OnFileSelected(node->fullPath, node->name, ShowsProcessed());
}

void CManualDirPage::OnBrowse(bool processed) {
    CManualDlg* manual = Manual();
    if (!manual) return;
    // A cancelled browse changes nothing; a chosen folder is taken whole,
    // however long its path.
    std::wstring folder;
    if (!BrowseForFolder(L"请选择目录", folder) || folder.empty()) return;
    std::wstring& buffer = processed ? manual->ProcessedFolder() : manual->OriginalFolder();
    buffer = folder;
    SetDlgItemText(processed ? dir::IDC_PROCESSED_FOLDER : dir::IDC_ORIGINAL_FOLDER, buffer);
    // The radio of this folder is checked first so that the tree's selection
    // is looked up in this folder's finder.
    CheckDlgButton(dir::IDC_SHOW_PROCESSED, processed ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dir::IDC_SHOW_ORIGINAL, processed ? BST_UNCHECKED : BST_CHECKED);
    if (files::IsDirectory(buffer)) RebuildTree(buffer, processed);
    manual->SetFocus();
}

void CManualDirPage::SelectNeighbour(bool next) {
    const auto& files = Finder(ShowsProcessed()).FileList();
    if (files.empty()) return;
    std::size_t index = 0;
    bool found = false;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (ItemOf(files[i]) == lastSelected_) {
            index = i;
            found = true;
            break;
        }
    if (!found) return;
    const std::size_t n = files.size();
    const std::size_t target = next ? (index + 1) % n : (index + n - 1) % n;
    tree_.SelectItem(ItemOf(files[target]));
}

void CManualDirPage::ExpandAll(bool expand) {
    std::vector<HTREEITEM> stack;
    for (HTREEITEM item = tree_.GetRootItem(); item; item = tree_.GetNextSiblingItem(item)) stack.push_back(item);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        tree_.Expand(item, expand ? TVE_EXPAND : TVE_COLLAPSE);
        for (HTREEITEM child = tree_.GetChildItem(item); child; child = tree_.GetNextSiblingItem(child))
            stack.push_back(child);
    }
}

void CManualDirPage::OnOpenFolder() {
    HTREEITEM item = tree_.GetSelectedItem();
    if (!item) return;
    const FileTreeNode* node = NodeOf(item, !tree_.ItemHasChildren(item));
    if (!node || !node->parent) return;
    ShowFolderInFileManager(node->parent->fullPath);
}

HTREEITEM CManualDirPage::ItemOfPath(const std::wstring& path) const {
    for (const FileTreeNode* node : Finder(ShowsProcessed()).FileList())
        if (node->fullPath == path) return ItemOf(node);
    return nullptr;
}
