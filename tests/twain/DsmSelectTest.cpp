// MSG_USERSELECT: the selection shown through the installed chooser, its
// texts by language, and what a confirmed, cancelled or failed selection
// gives. Also where the manager looks for sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DsmTestSupport.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "twain/dsm/Dsm.h"
#include "twain/dsm/DsmSelect.h"
#include "twain/dsm/DsmSettings.h"

namespace {

using namespace dsmtest;

// Installs a chooser for one test and records what it was shown.
class DsmSelect : public DsmTest {
protected:
    void SetUp() override {
        DsmTest::SetUp();
        DsmSetSelectChooser([this](const DsmSelectRequest& request, TW_UINT32& chosen) {
            shown.push_back(request);
            chosen = choose;
            return answer;
        });
    }
    void TearDown() override {
        DsmSetSelectChooser({});
        DsmTest::TearDown();
    }
    TW_UINT16 Select(TestApp& app, TW_IDENTITY& identity) {
        return app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &identity);
    }

    std::vector<DsmSelectRequest> shown;
    int answer = 1;
    TW_UINT32 choose = 0;
};

TEST_F(DsmSelect, ConfirmedSelectionBecomesTheDefault) {
    env.AddVirtualSource("", "one", {"product=One"});
    env.AddVirtualSource("", "two", {"product=Two"});
    // Refused (no common data group): it must not show in the selection.
    env.AddVirtualSource("", "zaudio", {"product=Audio", "groups=0x40000005"});
    int window = 0;
    TestApp app("Selector");
    ASSERT_EQ(app.Open(&window), TWRC_SUCCESS);

    choose = 2;
    TW_IDENTITY picked{};
    picked.Id = 5;  // cleared by the manager
    ASSERT_EQ(Select(app, picked), TWRC_SUCCESS);
    EXPECT_STREQ(picked.ProductName, "Two");
    EXPECT_EQ(+picked.Id, 2u);
    ASSERT_EQ(shown.size(), 1u);
    const DsmSelectRequest& request = shown[0];
    EXPECT_EQ(request.window, &window);
    ASSERT_EQ(request.sources.size(), 2u);
    EXPECT_EQ(request.sources[0], (std::pair<std::string, TW_UINT32>{"One", 1}));
    EXPECT_EQ(request.sources[1], (std::pair<std::string, TW_UINT32>{"Two", 2}));
    EXPECT_EQ(request.selected, 0) << "no default yet: the first entry";
    EXPECT_STREQ(request.texts->title, "Select Source") << "the application's language is English";

    // The choice was stored: the next selection starts on it, and the
    // default is that source.
    TW_IDENTITY again{};
    choose = 1;
    ASSERT_EQ(Select(app, again), TWRC_SUCCESS);
    EXPECT_EQ(shown[1].selected, 1);
    std::ifstream in(DsmDefaultSourceFile());
    std::string stored;
    std::getline(in, stored);
    EXPECT_EQ(stored, env.sources() + "/one.ds");
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST_F(DsmSelect, CancelNothingChosenAndNoChooser) {
    env.AddVirtualSource("", "one", {"product=One"});
    TestApp app("Undecided");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY identity{};

    answer = 2;
    EXPECT_EQ(Select(app, identity), TWRC_CANCEL);

    answer = 1;
    choose = 0;
    EXPECT_EQ(Select(app, identity), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_OPERATIONERROR);

    choose = 7;  // not a source of this application
    EXPECT_EQ(Select(app, identity), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);

    answer = -1;
    ScriptedUserDialogs dialogs;
    SetUserDialogs(&dialogs);
    EXPECT_EQ(Select(app, identity), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);
    SetUserDialogs(nullptr);
    const auto boxes = dialogs.Shown();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Dialog failed!");
    EXPECT_EQ(boxes[0].caption, L"Error");

    // Without a chooser the selection cannot be shown either.
    DsmSetSelectChooser({});
    SetUserDialogs(&dialogs);
    EXPECT_EQ(Select(app, identity), TWRC_FAILURE);
    SetUserDialogs(nullptr);
    EXPECT_EQ(app.Status(), TWCC_BUMMER);

    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, nullptr), TWRC_FAILURE);
    EXPECT_EQ(app.Status(), TWCC_BADDEST);
    EXPECT_EQ(app.Close(), TWRC_SUCCESS);
}

TEST(DsmSelectTexts, RowByLanguage) {
    struct Case {
        TW_UINT16 language;
        const char* locale;  // for TWLG_USERLOCALE; null: unset
        const char* title;
        const char* ok;
    };
    const Case cases[] = {
        {TWLG_ENGLISH, nullptr, "Select Source", "Select"},
        {TWLG_FRENCH, nullptr, "Sélectionner source", "Sélectionner"},
        {TWLG_GERMAN, nullptr, "Quelle wählen", "Auswählen"},
        {TWLG_CHINESE, nullptr, "选择数据源", "选择"},
        {TWLG_CHINESE_HONGKONG, nullptr, "選擇影像來源", "確定"},
        {TWLG_CHINESE_PRC, nullptr, "选择数据源", "选择"},
        {TWLG_CHINESE_SIMPLIFIED, nullptr, "选择数据源", "选择"},
        {TWLG_CHINESE_TAIWAN, nullptr, "選擇影像來源", "確定"},
        {TWLG_CHINESE_TRADITIONAL, nullptr, "選擇影像來源", "確定"},
        {TWLG_ENGLISH_CANADIAN, nullptr, "Select Source", "Select"},
        {TWLG_BENGALI, nullptr, "Select Source", "Select"},  // a row without texts
        {4242, nullptr, "Select Source", "Select"},          // no such row
        {TWLG_USERLOCALE, "zh_TW.UTF-8", "選擇影像來源", "確定"},
        {TWLG_USERLOCALE, "zh_CN.UTF-8", "选择数据源", "选择"},
        {TWLG_USERLOCALE, "de_AT.UTF-8", "Quelle wählen", "Auswählen"},  // by language
        {TWLG_USERLOCALE, "fi_FI.UTF-8", "Select Source", "Select"},
        {TWLG_USERLOCALE, "C", "Select Source", "Select"},
    };
    ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr);
    for (const Case& c : cases) {
        ScopedEnv lang("LANG", c.locale);
        const DsmSelectText& row = DsmSelectTextFor(c.language);
        EXPECT_STREQ(row.title, c.title) << c.language << " " << (c.locale ? c.locale : "");
        EXPECT_STREQ(row.ok, c.ok) << c.language;
    }
    // The table ends with a negative code; every row with texts has all four.
    int rows = 0;
    for (const DsmSelectText* row = DsmSelectTexts(); row->language >= 0; ++row, ++rows)
        if (row->title[0]) {
            EXPECT_TRUE(row->label[0] && row->ok[0] && row->cancel[0]) << row->language;
        }
    EXPECT_GT(rows, 40);
}

TEST(DsmSettings, SourceFolderSettingAndOverride) {
    ScopedEnv unset(kDsmSourceFolderVariable, nullptr);
    DsmSetSourceFolder("");
    EXPECT_EQ(DsmSourceFolder(), "/usr/local/lib/twain");
    DsmSetSourceFolder("/opt/scanners");
    EXPECT_EQ(DsmSourceFolder(), "/opt/scanners");
    {
        ScopedEnv overridden(kDsmSourceFolderVariable, "/tmp/elsewhere");
        EXPECT_EQ(DsmSourceFolder(), "/tmp/elsewhere");
    }
    {
        ScopedEnv empty(kDsmSourceFolderVariable, "");
        EXPECT_EQ(DsmSourceFolder(), "/opt/scanners");
    }
    DsmSetSourceFolder("");
    ScopedEnv config("XDG_CONFIG_HOME", nullptr), home("HOME", "/home/someone");
    EXPECT_EQ(DsmDefaultSourceFile(), "/home/someone/.config/tessavan/twain-default-source");
}

}  // namespace
