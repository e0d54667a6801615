// The configuration file: its exact bytes for the start values (a file
// written by hand), a save and load round trip over every setting of the
// table (also under a decimal-comma locale), the loader's quirks (forward
// search, missing parts and attributes) and values out of range or
// malformed, which load inside the settings dialog's limits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Strings.h"
#include "settings/ConfigFile.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingsTable.h"
#include "support/CommaLocale.h"
#include "support/Leftovers.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

// A file's bytes ("<missing>" when it cannot be read).
std::string ReadBytes(const std::string& path) { return testdata::ReadFileText(FromUtf8(path)); }

using settings::Format;
using settings::Limit;
using settings::Setting;
using settings::ValueType;

std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The rows the file carries.
std::vector<const Setting*> FileRows() {
    std::vector<const Setting*> rows;
    for (const Setting& s : settings::ProcessSettingTable())
        if (s.format != Format::kNotInFile) rows.push_back(&s);
    return rows;
}

// A value other than the start value that the row's limits allow and its
// number format writes exactly.
double OtherValue(const Setting& s) {
    if (s.type == ValueType::kFlag || s.format == Format::kFlag) return s.start != 0 ? 0 : 1;
    if (s.type == ValueType::kColour) return 0x00123456;
    if (!s.choices.empty()) {
        for (std::int32_t c : s.choices)
            if (c != s.start) return c;
    }
    if (s.limit == Limit::kBits) return s.start == s.max ? 0 : s.max;
    if (std::isfinite(s.min) && std::isfinite(s.max)) return s.start != s.max ? s.max : s.min;
    return s.start + (s.format == Format::kTwoDecimals ? 0.37 : s.format == Format::kOneDecimal ? 1.5 : 3);
}

// What the store holds after a value went through the file: the float the
// written text reads as.
double AfterFile(const Setting& s, double v) {
    if (s.format == Format::kOneDecimal) return static_cast<float>(_wtof(FormatW(L"%.1f", v)));
    if (s.format == Format::kTwoDecimals) return static_cast<float>(_wtof(FormatW(L"%.2f", v)));
    return v;
}

// The value a file holding only `group`/`key` = `text` loads into the
// store, from the start values (NaN when the text does not load).
double LoadOneValue(const wchar_t* group, const wchar_t* key, const wchar_t* text) {
    ProcessSetting::ResetToStart();
    const std::wstring file = std::wstring(L"<?xml version=\"1.0\"?><config><setting><") + group + L" " + key +
                              L"=\"" + text + L"\"/></setting></config>";
    LoadedConfig loaded;
    const Setting* s = settings::Find(settings::ProcessSettingTable(), ToUtf8(group), ToUtf8(key));
    if (!ApplyConfigText(file, loaded) || !s) {
        ADD_FAILURE() << "the file did not load, or the table has no such setting";
        return std::nan("");
    }
    return s->Get();
}

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override { ProcessSetting::ResetToStart(); }
    void TearDown() override { ProcessSetting::ResetToStart(); }
};

}  // namespace

TEST_F(ConfigFileTest, TheStartValuesGiveTheFileWrittenByHand) {
    const std::string expected = ReadBytes(testdata::TestDataFile("settings/data/morvessaconfig-default.xml"));
    ASSERT_FALSE(expected.empty());
    ConfigFolders folders;
    folders.includeSubfolders = true;
    folders.reprocessAll = true;
    const std::wstring text = BuildConfigText(&folders, true, 2);
    EXPECT_EQ(ToUtf8(text), expected);

    testdata::TempDir dir;
    ASSERT_TRUE(SaveConfigFile(dir.wfile(kConfigFileName), text));
    EXPECT_EQ(ReadBytes(dir.file("morvessaconfig.xml")), expected);

    // The same under a locale that writes a decimal comma.
    testdata::CommaLocale comma;
    ASSERT_TRUE(comma.active());
    EXPECT_EQ(ToUtf8(BuildConfigText(&folders, true, 2)), expected);
}

TEST_F(ConfigFileTest, PartsChosenAndLeftOut) {
    ConfigFolders folders{true, false, true, L"/scans/\u76EE\u5F55 \"a&b\"", L"/out"};
    EXPECT_EQ(BuildConfigText(&folders, false, 4),
              L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config>\r\n"
              L"<filedir savetoprevdir=\"0\" includesubdir=\"0\" allreprocess=\"1\" "
              L"pathsrc=\"/scans/\u76EE\u5F55 &quot;a&amp;b&quot;\" pathdst=\"/out\"/>\r\n"
              L"<other concurrent=\"4\"/>\r\n</config>\r\n");
    const std::wstring settingsOnly = BuildConfigText(nullptr, true, 2);
    EXPECT_EQ(settingsOnly.find(L"<filedir"), std::wstring::npos);
    EXPECT_NE(settingsOnly.find(L"<setting>"), std::wstring::npos);

    LoadedConfig loaded;
    ASSERT_TRUE(ApplyConfigText(BuildConfigText(&folders, false, 4), loaded));
    ASSERT_TRUE(loaded.folders);
    EXPECT_TRUE(loaded.folders->saveToNewFolder);
    EXPECT_FALSE(loaded.folders->includeSubfolders);
    EXPECT_TRUE(loaded.folders->reprocessAll);
    EXPECT_EQ(loaded.folders->source, folders.source);
    EXPECT_EQ(loaded.folders->destination, L"/out");
    EXPECT_FALSE(loaded.settings);
    EXPECT_EQ(loaded.concurrent, 4);
}

// Every value the file carries, set away from its start value, saved,
// restored to the start values and loaded back.
TEST_F(ConfigFileTest, EverySettingSurvivesSaveAndLoad) {
    for (bool commaLocale : {false, true}) {
        SCOPED_TRACE(commaLocale ? "decimal-comma locale" : "C locale");
        std::unique_ptr<testdata::CommaLocale> comma;
        if (commaLocale) {
            comma = std::make_unique<testdata::CommaLocale>();
            ASSERT_TRUE(comma->active());
        }
        testdata::TempDir dir;
        const std::wstring path = dir.wfile(kConfigFileName);
        ProcessSetting::ResetToStart();
        std::vector<double> set;
        for (const Setting* s : FileRows()) {
            const double v = OtherValue(*s);
            ASSERT_NE(v, s->start) << s->Name();
            ASSERT_TRUE(s->WithinLimits(v)) << s->Name();
            s->Set(v);
            set.push_back(s->Get());
        }
        ASSERT_EQ(set.size(), 101u);
        ASSERT_TRUE(SaveConfigFile(path, BuildConfigText(nullptr, true, 2)));
        ProcessSetting::ResetToStart();
        LoadedConfig loaded;
        ASSERT_TRUE(LoadConfigFile(path, loaded));
        EXPECT_TRUE(loaded.settings);
        EXPECT_FALSE(loaded.folders);
        std::size_t i = 0;
        for (const Setting* s : FileRows()) {
            EXPECT_EQ(s->Get(), AfterFile(*s, set[i])) << s->Name();
            ++i;
        }
    }
}

TEST_F(ConfigFileTest, FloatsComeBackAsWritten) {
    ProcessSetting::autocontrast.high = 0.15f;
    ProcessSetting::rmbkcolor.colorsatuation = 0.333f;
    const std::wstring text = BuildConfigText(nullptr, true, 2);
    EXPECT_NE(text.find(L"high=\"0.2\""), std::wstring::npos);
    EXPECT_NE(text.find(L"colorsatuation=\"0.33\""), std::wstring::npos);
    ProcessSetting::ResetToStart();
    LoadedConfig loaded;
    ASSERT_TRUE(ApplyConfigText(text, loaded));
    EXPECT_EQ(ProcessSetting::autocontrast.high.load(), 0.2f);
    EXPECT_EQ(ProcessSetting::rmbkcolor.colorsatuation.load(), 0.33f);
}

// What a hand-edited file does on loading.
TEST_F(ConfigFileTest, LoadingQuirks) {
    const std::wstring decl = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    struct Case {
        const char* label;
        std::wstring text;
        bool applied;
        bool folders;
        bool settings;
        int concurrent;  // -1: not found
        int bright;      // rmbkcolor/bright afterwards
        int method;      // correct/method afterwards
    };
    const Case cases[] = {
        {"no config element", decl + L"<other concurrent=\"3\"/>", false, false, false, -1, 40, 0},
        {"not well formed", decl + L"<config><other concurrent=\"3\"/>", false, false, false, -1, 40, 0},
        {"empty config", decl + L"<config/>", true, false, false, -1, 40, 0},
        {"only setting", decl + L"<config><setting><rmbkcolor bright=\"7\"/></setting></config>", true, false, true,
         -1, 7, 0},
        {"other before setting is lost", decl + L"<config><other concurrent=\"3\"/><setting/></config>", true, false,
         true, -1, 40, 0},
        {"setting before filedir is lost",
         decl + L"<config><setting><correct method=\"2\"/></setting><filedir pathsrc=\"/a\"/><other concurrent=\"3\"/>"
                L"</config>",
         true, true, false, 3, 40, 0},
        {"a group before an earlier group is lost",
         decl + L"<config><setting><correct method=\"2\"/><rmbkcolor bright=\"7\"/></setting></config>", true, false,
         true, -1, 7, 0},
        {"a deleted attribute reads as 0",
         decl + L"<config><setting><rmbkcolor on=\"1\"/></setting><other/></config>", true, false, true, 0, 0, 0},
        {"names are case-sensitive", decl + L"<config><Setting><rmbkcolor bright=\"7\"/></Setting></config>", true,
         false, false, -1, 40, 0},
        {"comments and spaces", decl + L"<config> <!-- x --> <filedir\r\n savetoprevdir = '0'/>\t</config>", true,
         true, false, -1, 40, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ProcessSetting::ResetToStart();
        LoadedConfig loaded;
        EXPECT_EQ(ApplyConfigText(c.text, loaded), c.applied);
        EXPECT_EQ(loaded.folders.has_value(), c.folders);
        EXPECT_EQ(loaded.settings, c.settings);
        EXPECT_EQ(loaded.concurrent.value_or(-1), c.concurrent);
        EXPECT_EQ(ProcessSetting::rmbkcolor.bright.load(), c.bright);
        EXPECT_EQ(ProcessSetting::correct.method.load(), c.method);
    }
    // A group that is missing keeps its values; one that is there but lacks
    // an attribute reads it as 0 (a flag as off).
    ProcessSetting::ResetToStart();
    LoadedConfig loaded;
    ASSERT_TRUE(ApplyConfigText(decl + L"<config><setting><correct method=\"1\"/></setting></config>", loaded));
    EXPECT_EQ(ProcessSetting::correct.on.load(), 0);
    EXPECT_EQ(ProcessSetting::correct.angle.load(), 5);  // 0 is clamped to the smallest angle
    EXPECT_EQ(ProcessSetting::rmbkcolor.on.load(), 1);
    EXPECT_EQ(ProcessSetting::output.widpixel.load(), 2480);
    // The folder part with its attributes missing: saved to the new folder
    // (savetoprevdir reads as 0), empty folders.
    ASSERT_TRUE(ApplyConfigText(decl + L"<config><filedir/></config>", loaded));
    ASSERT_TRUE(loaded.folders);
    EXPECT_TRUE(loaded.folders->saveToNewFolder);
    EXPECT_EQ(loaded.folders->source, L"");
}

// Values no dialog would store, and text that is no number: every value
// ends inside its limits.
TEST_F(ConfigFileTest, OutOfRangeAndMalformedValuesLoadInsideTheLimits) {
    const std::wstring garbage[] = {L"999999999999", L"-2147483649", L"nan", L"inf", L"-1e40", L"x12", L"", L" 7z",
                                    L"0x10", L"1e3"};
    for (const std::wstring& g : garbage) {
        SCOPED_TRACE(ToUtf8(g));
        std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config><setting>";
        for (std::string_view group : settings::GroupNames(settings::ProcessSettingTable())) {
            if (group.empty()) continue;
            text += L"<" + Wide(group);
            for (const Setting& s : settings::Group(settings::ProcessSettingTable(), group))
                text += L" " + Wide(s.key) + L"=\"" + g + L"\"";
            text += L"/>";
        }
        text += L"</setting></config>";
        ProcessSetting::ResetToStart();
        LoadedConfig loaded;
        ASSERT_TRUE(ApplyConfigText(text, loaded));
        for (const Setting* s : FileRows()) {
            EXPECT_TRUE(std::isfinite(s->Get())) << s->Name();
            EXPECT_TRUE(s->WithinLimits(s->Get())) << s->Name() << " = " << s->Get();
        }
    }
    // Values that size or index something, one by one.
    struct Case {
        const wchar_t* group;
        const wchar_t* key;
        const wchar_t* text;
        double expected;
    };
    const Case cases[] = {
        {L"correct", L"method", L"7", 2},         {L"correct", L"angle", L"-3", 5},
        {L"output", L"widpixel", L"-5", 1},       {L"output", L"heipixel", L"99999999", 32768},
        {L"filesave", L"jpgquality", L"300", 100}, {L"filesave", L"tiffcompress", L"9", 2},
        {L"dpi", L"dst", L"0", 600},              {L"rmbkcolor", L"rmcolortype", L"-1", 0},
        {L"rmbkcolor", L"colordelta", L"0", 1},   {L"rmbkcolor", L"colorsatuation", L"2.5", 1},
        {L"autocontrast", L"high", L"nan", 0},    {L"center", L"type", L"7", 3},
        {L"rmstains", L"threhold", L"400", 254},  {L"bindhole", L"radius", L"1000000", 10},
        {L"modifycolor", L"bkcolor", L"-1", 4294967295.0},  {L"cutwhite", L"on", L"5", 1},
        {L"rmblackborder", L"threhold", L"400", 400},  // stored as typed by the dialog too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(std::wstring(c.group) + L"/" + c.key));
        EXPECT_EQ(LoadOneValue(c.group, c.key, c.text), c.expected);
    }
}

// The two lists that show any stored value as one of their items store that
// item's value when the settings dialog saves: a loaded value becomes that
// value at once, as if the dialog had stored it.
TEST_F(ConfigFileTest, ListValuesLoadAsTheSettingsDialogWouldStoreThem) {
    struct Case {
        const wchar_t* group;
        const wchar_t* key;
        const wchar_t* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        // the smallest range holding the angle; the first above them all
        {L"correct", L"angle", L"10", 15}, {L"correct", L"angle", L"3", 5},   {L"correct", L"angle", L"5", 5},
        {L"correct", L"angle", L"6", 15},  {L"correct", L"angle", L"16", 30}, {L"correct", L"angle", L"30", 30},
        {L"correct", L"angle", L"40", 5},  {L"correct", L"angle", L"-3", 5},  {L"correct", L"angle", L"x", 5},
        // a value of the list as it is, any other one as 600
        {L"dpi", L"dst", L"150", 600},     {L"dpi", L"dst", L"96", 96},       {L"dpi", L"dst", L"200", 200},
        {L"dpi", L"dst", L"300", 300},     {L"dpi", L"dst", L"1200", 600},    {L"dpi", L"dst", L"-96", 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(std::wstring(c.group) + L"/" + c.key + L"=" + c.text));
        EXPECT_EQ(LoadOneValue(c.group, c.key, c.text), c.expected);
    }
}

// An end tag that closes nothing is passed over: the rest of the file loads,
// and loading leaves the file as it was.
TEST_F(ConfigFileTest, AStrayEndTagIsSkippedAndTheValuesAfterItLoad) {
    testdata::TempDir dir;
    const std::wstring path = dir.wfile(kConfigFileName);
    const std::string bytes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config>\r\n"
        "<filedir savetoprevdir=\"0\" includesubdir=\"1\" allreprocess=\"0\" pathsrc=\"/in\" pathdst=\"/out\"/>\r\n"
        "</foo>\r\n"
        "<setting>\r\n"
        "<rmbkcolor on=\"0\" bright=\"7\"/>\r\n"
        "</bar>\r\n"
        "<correct on=\"1\" method=\"2\" angle=\"30\"/>\r\n"
        "</setting>\r\n"
        "<other concurrent=\"4\"/>\r\n"
        "</config>\r\n";
    {
        std::FILE* f = std::fopen(ToUtf8(path).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    LoadedConfig loaded;
    ASSERT_TRUE(LoadConfigFile(path, loaded));
    ASSERT_TRUE(loaded.folders.has_value());
    EXPECT_TRUE(loaded.folders->saveToNewFolder);
    EXPECT_EQ(loaded.folders->source, L"/in");
    EXPECT_EQ(loaded.folders->destination, L"/out");
    EXPECT_TRUE(loaded.settings);
    EXPECT_EQ(ProcessSetting::rmbkcolor.on.load(), 0);
    EXPECT_EQ(ProcessSetting::rmbkcolor.bright.load(), 7);
    EXPECT_EQ(ProcessSetting::correct.method.load(), 2);
    EXPECT_EQ(ProcessSetting::correct.angle.load(), 30);
    EXPECT_EQ(loaded.concurrent.value_or(-1), 4);
    EXPECT_EQ(ReadBytes(ToUtf8(path)), bytes);
}

TEST_F(ConfigFileTest, TheFileLivesInTheProgramsFolder) {
    const std::wstring path = ConfigFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.substr(path.size() - 19), L"/morvessaconfig.xml");
}

TEST(ConfigFile, ASaveRemovesWhatAKilledSaveLeftBesideIt) {
    // A save killed part way left its temporary file beside the file; a
    // save of a process that still runs (this one) and a user's file of a
    // like name stay.
    testdata::TempDir dir;
    const int ended = testdata::EndedProcessId();
    ASSERT_GT(ended, 0);
    const std::wstring killed = dir.wfile(testdata::TemporaryNameOf(ended));
    const std::wstring running = dir.wfile(testdata::TemporaryNameOf(static_cast<int>(::getpid())));
    const std::wstring users = dir.wfile(L".tsv-backup.tmp");
    for (const auto& path : {killed, running, users}) ASSERT_TRUE(files::WriteAllAtomic(path, "left", 4));
    const std::wstring text = BuildConfigText(nullptr, true, 2);
    ASSERT_TRUE(SaveConfigFile(dir.wfile(kConfigFileName), text));
    EXPECT_EQ(ReadBytes(dir.file("morvessaconfig.xml")), ToUtf8(text));
    EXPECT_FALSE(files::Exists(killed));
    EXPECT_EQ(testdata::ReadFileText(running), "left");
    EXPECT_EQ(testdata::ReadFileText(users), "left");
}
