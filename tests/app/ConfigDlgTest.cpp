// The configuration dialog, opened from the main window's menu: saving the
// main window's state and the settings, loading them into a fresh main
// window (as after a restart), the refusals and the silent cases.
#include <filesystem>

#include "MainWindowFixture.h"
#include "settings/ConfigFile.h"
#include "support/TestData.h"

namespace {

// A file's bytes ("<missing>" when it cannot be read), and writing them.
std::string ReadBytes(const std::string& path) { return testdata::ReadFileText(FromUtf8(path)); }
bool WriteBytes(const std::string& path, const std::string& bytes) {
    return files::WriteAllAtomic(FromUtf8(path), bytes.data(), bytes.size());
}

class ConfigDlgTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetConfigFolderOverride(dir.wpath());
    }
    void TearDown() override {
        SetConfigFolderOverride(L"");
        MainWindowTest::TearDown();
    }

    // Opens the configuration dialog from the menu and runs `body` in it.
    void InConfig(DialogDriver& main, const std::function<void(CConfigDlg&, DialogDriver&)>& body) {
        bool ran = false;
        OnNextModal(IDD_CONFIG_DIALOG, [&](CDialog& c) {
            ran = true;
            DialogDriver cd(c);
            body(dynamic_cast<CConfigDlg&>(c), cd);
            if (c.IsModalRunning()) cd.Close();
        });
        ASSERT_TRUE(main.ChooseMenu(ID_MENU_CONFIG));
        ASSERT_TRUE(ran) << "the configuration dialog did not open";
    }

    // A new main window in place of the old one, with the settings at their
    // start values: what a restart of the program gives.
    void Restart() {
        SetMainWnd(nullptr);
        dlg = std::make_unique<CTessavanDlg>();
        SetMainWnd(dlg.get());
        ProcessSetting::ResetToStart();
    }

    std::string FileBytes() const { return ReadBytes(dir.file("morvessaconfig.xml")); }

    testdata::TempDir dir;
};

}  // namespace

TEST_F(ConfigDlgTest, OpensWithTheFileStateAndBothPartsTicked) {
    Open([&](DialogDriver& d) {
        InConfig(d, [&](CConfigDlg& c, DialogDriver& cd) {
            EXPECT_EQ(c.GetWindowText(), L"配置");
            EXPECT_EQ(c.FilePath(), dir.wfile(L"morvessaconfig.xml"));
            EXPECT_EQ(cd.Text(IDC_CONFIG_STATE), L"没有配置文件");
            EXPECT_FALSE(cd.IsEnabled(IDC_LOAD_CONFIG));
            EXPECT_TRUE(cd.IsChecked(IDC_SAVE_FOLDERS));
            EXPECT_TRUE(cd.IsChecked(IDC_SAVE_SETTINGS));
            EXPECT_EQ(cd.Text(IDC_LOAD_GROUP), L"载入");
            EXPECT_EQ(cd.Text(IDC_SAVE_GROUP), L"保存");
            EXPECT_EQ(cd.Text(IDC_LOAD_CONFIG), L"载入当前配置");
            EXPECT_EQ(cd.Text(IDC_SAVE_CONFIG), L"保存配置");
            // Neither part: refused, nothing written.
            ASSERT_TRUE(cd.Click(IDC_SAVE_FOLDERS));
            ASSERT_TRUE(cd.Click(IDC_SAVE_SETTINGS));
            ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG));
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"保存至少要选中一项."});
            EXPECT_EQ(dialogs->Shown().back().caption, L"提示");
        });
    });
    EXPECT_FALSE(files::Exists(dir.wfile(L"morvessaconfig.xml")));
}

// The main window at its start state, with "2" threads chosen, writes the
// file written by hand for the start values.
TEST_F(ConfigDlgTest, TheStartStateSavesTheFileWrittenByHand) {
    Open([&](DialogDriver& d) {
        ASSERT_TRUE(d.Choose(IDC_THREAD_COUNT, L"2"));
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG)); });
    });
    EXPECT_EQ(dialogs->MessageTexts(),
              std::vector<std::wstring>{L"保存成功。文件为 " + dir.wfile(L"morvessaconfig.xml")});
    EXPECT_EQ(FileBytes(), ReadBytes(testdata::TestDataFile("settings/data/morvessaconfig-default.xml")));
}

TEST_F(ConfigDlgTest, SavedStateComesBackAfterARestart) {
    testdata::TempDir scans, out;
    Open([&](DialogDriver& d) {
        ChooseFolders(d, scans.wpath(), out.wpath());
        ASSERT_TRUE(d.Click(IDC_INCLUDE_SUBFOLDERS));  // off
        ASSERT_TRUE(d.Click(IDC_DESKEW));              // off
        ASSERT_TRUE(d.Choose(IDC_THREAD_COUNT, L"6"));
        ProcessSetting::output.widpixel = 1000;
        ProcessSetting::rmbkcolor.colorsatuation = 0.5f;
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
            ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG));
            // The state line and the load button follow the saved file.
            EXPECT_EQ(cd.Text(IDC_CONFIG_STATE), L"*当前有配置文件*");
            EXPECT_TRUE(cd.IsEnabled(IDC_LOAD_CONFIG));
        });
    });
    const std::string saved = FileBytes();
    EXPECT_NE(saved.find("savetoprevdir=\"0\" includesubdir=\"0\" allreprocess=\"1\""), std::string::npos);
    EXPECT_NE(saved.find("<correct on=\"0\""), std::string::npos);
    EXPECT_NE(saved.find("<other concurrent=\"6\"/>"), std::string::npos);

    Restart();
    dialogs->Clear();
    Open([&](DialogDriver& d) {
        EXPECT_TRUE(d.IsChecked(IDC_DESKEW));
        EXPECT_FALSE(d.IsVisible(IDC_DESTINATION_FOLDER));
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
            EXPECT_EQ(cd.Text(IDC_CONFIG_STATE), L"*当前有配置文件*");
            ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG));
        });
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"载入完成."});
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), scans.wpath());
        EXPECT_EQ(d.Text(IDC_DESTINATION_FOLDER), out.wpath());
        EXPECT_TRUE(d.IsChecked(IDC_SAVE_TO_NEW_FOLDER));
        EXPECT_FALSE(d.IsChecked(IDC_SAVE_TO_SOURCE_FOLDER));
        EXPECT_TRUE(d.IsVisible(IDC_DESTINATION_FOLDER));
        EXPECT_FALSE(d.IsChecked(IDC_INCLUDE_SUBFOLDERS));
        EXPECT_TRUE(d.IsChecked(IDC_REPROCESS_ALL));
        EXPECT_FALSE(d.IsChecked(IDC_DESKEW));
        EXPECT_TRUE(d.IsChecked(IDC_BACKGROUND));
        EXPECT_EQ(d.Text(IDC_THREAD_COUNT), L"6");
        EXPECT_EQ(dlg->SourceFolder(), scans.wpath());
        EXPECT_TRUE(dlg->SaveToNewFolderChoice());
    });
    EXPECT_EQ(ProcessSetting::correct.on.load(), 0);
    EXPECT_EQ(ProcessSetting::output.widpixel.load(), 1000);
    EXPECT_EQ(ProcessSetting::rmbkcolor.colorsatuation.load(), 0.5f);
}

TEST_F(ConfigDlgTest, OnePartAloneLeavesTheOtherAsItIs) {
    testdata::TempDir scans;
    Open([&](DialogDriver& d) {
        ChooseFolders(d, scans.wpath());
        ProcessSetting::rmbkcolor.bright = 99;
        // Settings only.
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
            ASSERT_TRUE(cd.Click(IDC_SAVE_FOLDERS));
            ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG));
        });
    });
    EXPECT_EQ(FileBytes().find("<filedir"), std::string::npos);
    Restart();
    testdata::TempDir other;
    Open([&](DialogDriver& d) {
        ChooseFolders(d, other.wpath());
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG)); });
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), other.wpath());  // untouched
        EXPECT_EQ(ProcessSetting::rmbkcolor.bright.load(), 99);
        // Folders only: the settings stay as they are on loading.
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
            ASSERT_TRUE(cd.Click(IDC_SAVE_SETTINGS));
            ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG));
        });
        ProcessSetting::rmbkcolor.bright = 5;
        ASSERT_TRUE(d.Click(IDC_BACKGROUND));  // off, and so rmbkcolor/on
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG)); });
        EXPECT_EQ(ProcessSetting::rmbkcolor.bright.load(), 5);
        EXPECT_FALSE(d.IsChecked(IDC_BACKGROUND));
        EXPECT_EQ(d.Text(IDC_SOURCE_FOLDER), other.wpath());
    });
    EXPECT_EQ(FileBytes().find("<setting"), std::string::npos);
}

// A damaged file, a file without config element, and a folder in the file's
// place: loading does nothing and says nothing. Values out of range come
// back inside the dialog's limits.
TEST_F(ConfigDlgTest, DamagedAndHandEditedFiles) {
    const std::string path = dir.file("morvessaconfig.xml");
    Open([&](DialogDriver& d) {
        const std::string broken[] = {
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config><setting><correct method=\"2\"/>",
            "\xff\xfe\x00garbage",
            "<?xml version=\"1.0\"?><configuration><other concurrent=\"1\"/></configuration>",
        };
        for (const std::string& bytes : broken) {
            WriteBytes(path, bytes);
            dialogs->Clear();
            InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
                EXPECT_TRUE(cd.IsEnabled(IDC_LOAD_CONFIG));
                ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG));
            });
            EXPECT_TRUE(dialogs->MessageTexts().empty());
            EXPECT_EQ(ProcessSetting::correct.method.load(), 0);
        }
        WriteBytes(path,
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config>\r\n<setting>\r\n"
                   "<correct on=\"0\" method=\"9\" angle=\"-1\"/>\r\n<output widpixel=\"-7\" heipixel=\"1e9\"/>\r\n"
                   "</setting>\r\n<other concurrent=\"5\"/>\r\n</config>\r\n");
        const std::wstring threads = d.Text(IDC_THREAD_COUNT);
        dialogs->Clear();
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG)); });
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"载入完成."});
        EXPECT_EQ(ProcessSetting::correct.method.load(), 2);
        EXPECT_EQ(ProcessSetting::correct.angle.load(), 5);
        EXPECT_EQ(ProcessSetting::output.widpixel.load(), 1);
        EXPECT_EQ(ProcessSetting::output.heipixel.load(), 1);  // "1e9" reads as the integer 1
        EXPECT_FALSE(d.IsChecked(IDC_DESKEW));
        EXPECT_EQ(d.Text(IDC_THREAD_COUNT), threads);  // no item holds 5

        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
        dialogs->Clear();
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) {
            EXPECT_EQ(cd.Text(IDC_CONFIG_STATE), L"*当前有配置文件*");
            ASSERT_TRUE(cd.Click(IDC_LOAD_CONFIG));
        });
        EXPECT_TRUE(dialogs->MessageTexts().empty());
    });
}

// A save that cannot be written says so and keeps the file that was there.
TEST_F(ConfigDlgTest, AFailedSaveKeepsThePreviousFile) {
    // A folder in the file's place cannot be replaced by a file.
    const std::string path = dir.file("morvessaconfig.xml");
    std::filesystem::create_directory(path);
    WriteBytes(path + "/keep", "x");
    Open([&](DialogDriver& d) {
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG)); });
    });
    EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"保存失败."});
    EXPECT_EQ(ReadBytes(path + "/keep"), "x");
    // A folder that does not exist.
    SetConfigFolderOverride(dir.wfile(L"missing"));
    dialogs->Clear();
    Restart();
    Open([&](DialogDriver& d) {
        InConfig(d, [&](CConfigDlg&, DialogDriver& cd) { ASSERT_TRUE(cd.Click(IDC_SAVE_CONFIG)); });
    });
    EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"保存失败."});
    std::vector<files::DirEntry> entries;
    files::ListDirectory(dir.wpath(), entries);
    EXPECT_EQ(entries.size(), 1u);  // no temporary file left
}
