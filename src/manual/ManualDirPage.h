// The manual window's folder page: a tree of the image files below a folder.
// In direct mode it knows one folder; in comparison mode two folders of the
// same structure, the processed one and the one holding the originals, so
// that each processed file can be shown beside its original. Selecting a
// file in the tree loads it into the manual window.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "app/core/FileTree.h"
#include "manual/ManualPages.h"
#include "platform/ui/Controls.h"

class CManualDirPage : public CManualPage {
public:
    CManualDirPage();
    ~CManualDirPage() override;

    bool OnInitDialog() override;
    void SetDirectMode(bool direct);
    bool DirectMode() const { return direct_; }
    // Rebuilds the finder of the processed (or original) folder from
    // `folder` and shows it in the tree.
    void RebuildTree(const std::wstring& folder, bool processed);
    void OnBrowse(bool processed);
    // Shows the tree of the processed folder chosen before (in an earlier
    // opening of the window), as its radio does; nothing without one.
    void ShowProcessedFolder();
    // The file of the shown tree before or after the last selected one
    // (wrapping round), selected as a user would.
    void SelectNeighbour(bool next);
    void ExpandAll(bool expand);
    void OnOpenFolder();

    bool ShowsProcessed() const;
    const CFileTree& Finder(bool processed) const { return processed ? processed_ : original_; }
    HTREEITEM LastSelected() const { return lastSelected_; }
    HTREEITEM ItemOfPath(const std::wstring& path) const;
    CTreeCtrl& Tree() { return tree_; }

    static const std::vector<std::wstring>& Extensions();

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    void FillTree(CFileTree& finder);
    void OnSelectionChanged();
    HTREEITEM ItemOf(const FileTreeNode* node) const;
    // The file (or folder) node shown by `item` in the tree; null for none.
    const FileTreeNode* NodeOf(HTREEITEM item, bool files) const;

    bool direct_ = true;
    bool treeReady_ = false;
    CFileTree processed_;
    CFileTree original_;
    HTREEITEM lastSelected_ = nullptr;
    CTreeCtrl tree_;
    CImageList images_;
    std::unordered_map<const FileTreeNode*, HTREEITEM> itemOf_;
};
