// The manual window's folder page with real folders: a folder whose path is
// longer than the 259 characters of a Windows buffer, a browse the user
// cancels, and the folder chosen before the window was closed.
#include <filesystem>

#include "manual/ManualFixture.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "platform/ui/Keys.h"

using namespace manual_ids;

namespace {

void WritePage(const std::string& path, unsigned seed) {
    ASSERT_TRUE(testimg::WritePng(path, testimg::Pattern(48, 36, 3, seed), 2, 8));
}

}  // namespace

class ManualDirPageTest : public ManualTest {
protected:
    testdata::TempDir tmp;
};

// The whole path is taken: the tree lists the deep folder's file, it loads,
// and save-as offers the whole path as the file name.
TEST_F(ManualDirPageTest, AFolderDeeperThan259CharactersLoads) {
    std::string deep = tmp.path();
    for (char c : {'a', 'b', 'c'}) deep += "/" + std::string(100, c) + "_folder";
    ASSERT_GT(deep.size(), 300u);
    std::filesystem::create_directories(deep);
    WritePage(deep + "/page.png", 1);
    const std::wstring folder = FromUtf8(deep);
    const std::wstring file = folder + L"/page.png";
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder);
        DialogDriver page(d.DirPage());
        EXPECT_EQ(d.ProcessedFolder(), folder);
        EXPECT_EQ(page.Text(dir::IDC_PROCESSED_FOLDER), folder);
        ASSERT_EQ(d.DirPage().Finder(true).FileList().size(), 1u);
        EXPECT_EQ(d.CurrentPath(), file);
        EXPECT_TRUE(manualtest::SameImage(d.CurrentImage(), manualtest::LoadDirect(file)));

        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
        dialogs->AnswerFile(std::nullopt);
        ASSERT_TRUE(w.PressKey('S', true, IDC_FIT));
        ASSERT_EQ(dialogs->Count(ShownDialog::File), 1u);
        EXPECT_EQ(dialogs->Shown().back().file.fileName, file);
    });
}

// A cancelled browse changes nothing: the folder, its edit and its tree
// stay, for the processed and for the original folder.
TEST_F(ManualDirPageTest, ACancelledBrowseChangesNothing) {
    for (const char* name : {"processed", "original"}) std::filesystem::create_directories(tmp.file(name) + "/x");
    WritePage(tmp.file("processed/x/1.png"), 1);
    WritePage(tmp.file("original/x/1.png"), 2);
    const std::wstring processed = tmp.wfile(L"processed");
    const std::wstring original = tmp.wfile(L"original");
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver&) {
        DialogDriver page(d.DirPage());
        BrowseProcessed(d, processed);
        ASSERT_TRUE(page.Click(dir::IDC_COMPARE));
        BrowseOriginal(d, original);
        ASSERT_EQ(d.DirPage().Tree().GetCount(), 2u);  // x and 1.png
        struct Case {
            int button;
            std::wstring& buffer;
            int edit;
            const std::wstring& folder;
        };
        const Case cases[] = {{dir::IDC_BROWSE_PROCESSED, d.ProcessedFolder(), dir::IDC_PROCESSED_FOLDER, processed},
                              {dir::IDC_BROWSE_ORIGINAL, d.OriginalFolder(), dir::IDC_ORIGINAL_FOLDER, original}};
        for (const Case& c : cases) {
            SCOPED_TRACE(c.button);
            const bool showsProcessed = d.DirPage().ShowsProcessed();
            const std::wstring current = d.CurrentPath();
            dialogs->AnswerFolder(std::nullopt);
            ASSERT_TRUE(page.Click(c.button));
            EXPECT_EQ(c.buffer, c.folder);
            EXPECT_EQ(page.Text(c.edit), c.folder);
            EXPECT_EQ(d.DirPage().ShowsProcessed(), showsProcessed);
            EXPECT_EQ(d.DirPage().Tree().GetCount(), 2u);
            EXPECT_EQ(d.CurrentPath(), current);
        }
        // Both folders still work: the processed tree comes back from its
        // folder.
        ASSERT_TRUE(page.Click(dir::IDC_SHOW_PROCESSED));
        EXPECT_EQ(d.CurrentPath(), processed + L"/x/1.png");
    });
    EXPECT_EQ(dialogs->Count(ShownDialog::Folder), 4u);
}

// Reopened, the window shows the folder chosen before with its tree, and its
// first file is loaded, as after choosing it.
TEST_F(ManualDirPageTest, AReopenedWindowShowsTheFoldersTree) {
    std::filesystem::create_directories(tmp.file("sub"));
    WritePage(tmp.file("a.png"), 1);
    WritePage(tmp.file("sub/b.png"), 2);
    const std::wstring folder = tmp.wpath();
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver&) {
        BrowseProcessed(d, folder);
        ASSERT_EQ(d.CurrentPath(), folder + L"/a.png");
    });
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        DialogDriver page(d.DirPage());
        EXPECT_EQ(page.Text(dir::IDC_PROCESSED_FOLDER), folder);
        EXPECT_TRUE(page.IsChecked(dir::IDC_SHOW_PROCESSED));
        EXPECT_TRUE(page.IsChecked(dir::IDC_DIRECT));
        EXPECT_EQ(d.DirPage().Tree().GetCount(), 3u);  // sub, a.png, b.png
        EXPECT_EQ(d.CurrentPath(), folder + L"/a.png");
        EXPECT_TRUE(manualtest::SameImage(d.CurrentImage(), manualtest::LoadDirect(folder + L"/a.png")));
        EXPECT_EQ(d.History().Texts(), std::vector<std::wstring>{L"1. 原图(当前项)"});
        EXPECT_EQ(w.Text(IDC_FILE_PATH), folder + L"/a.png");
        ASSERT_TRUE(w.Click(IDC_NEXT_FILE));
        EXPECT_EQ(d.CurrentPath(), folder + L"/sub/b.png");
    });
}
