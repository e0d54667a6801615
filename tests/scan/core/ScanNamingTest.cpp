// Scan file naming: the numbers names carry, where a run starts counting,
// insert renaming that never overwrites, the replace numbering, sub-folders
// and the example text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ScanFixture.h"
#include "platform/core/Files.h"

namespace {

using namespace scantest;
namespace fs = std::filesystem;

class ScanNaming : public ScanFixture {
protected:
    void Touch(const std::string& name, const std::string& content = "x") {
        fs::create_directories(fs::path(ScanPath(name)).parent_path());
        std::ofstream(ScanPath(name)) << content;
    }
    std::string Content(const std::string& name) {
        std::ifstream in(ScanPath(name));
        std::string text;
        std::getline(in, text);
        return text;
    }
    std::vector<std::string> Listing(const std::string& folder = "") {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(ScanPath(folder)))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct ParseCase {
    const wchar_t* prefix;
    const wchar_t* suffix;
    int codeLength;
    const wchar_t* name;
    int number;
};

TEST_F(ScanNaming, ParseTable) {
    const ParseCase cases[] = {
        {L"A", L"", 4, L"A0007.jpg", 7},
        {L"A", L"", 4, L"A007.jpg", -1},   // wrong length
        {L"A", L"", 4, L"B0007.jpg", -1},  // other prefix
        {L"A", L"", 4, L"A0007", -1},      // no extension
        {L"", L"", 6, L"000123.tif", 123},
        {L"", L"", 6, L"000123.x.tif", -1},
        {L"p", L"_s", 3, L"p042_s.png", 42},
        {L"p", L"_s", 3, L"p042_t.png", -1},
        {L"", L"", 3, L"a12.jpg", 0},   // no digit at the start: 0, as atoi gives
        {L"", L"", 3, L" 12.jpg", 12},  // leading blank allowed
        {L"", L"", 0, L".jpg", 0},
    };
    for (const ParseCase& c : cases) {
        ScanSetting::prefix = c.prefix;
        ScanSetting::suffix = c.suffix;
        ScanSetting::codeLength = c.codeLength;
        EXPECT_EQ(ParseScanFileNumber(c.name), c.number) << ToUtf8(c.name);
    }
}

TEST_F(ScanNaming, NamesOfAPlainRun) {
    struct Case {
        const wchar_t* prefix;
        const wchar_t* suffix;
        int codeLength;
        int startCode;
        std::vector<std::string> existing;
        TW_UINT16 format;
        std::string first;
    };
    const Case cases[] = {
        {L"", L"", 6, 1, {}, TWFF_JFIF, "000001.jpg"},
        {L"", L"", 6, 100, {"000001.jpg", "000003.tif"}, TWFF_TIFF, "000004.tif"},  // start code is no lower bound
        {L"", L"", 0, 7, {}, TWFF_JFIF, "7.jpg"},                                    // no padding
        {L"B", L"x", 2, 5, {"B09x.png", "B9x.png", "other.jpg"}, TWFF_TIFFMULTI, "B10x.tif"},
    };
    for (const Case& c : cases) {
        fs::remove_all(scanDir.path());
        fs::create_directories(scanDir.path());
        for (const std::string& e : c.existing) Touch(e);
        ScanSetting::prefix = c.prefix;
        ScanSetting::suffix = c.suffix;
        ScanSetting::codeLength = c.codeLength;
        ScanSetting::startCode = c.startCode;
        InitScanFileNumber();
        char buffer[256];
        ASSERT_TRUE(NextScanFileName(buffer, c.format));
        EXPECT_EQ(std::string(buffer), ScanPath(c.first));
        const int next = g_nextScanNumber;
        ASSERT_TRUE(NextScanFileName(buffer, c.format));
        EXPECT_EQ(g_nextScanNumber, next + 1);
    }
    EXPECT_FALSE(NextScanFileName(nullptr, TWFF_JFIF));
}

TEST_F(ScanNaming, MissingFolderStartsAtTheStartCode) {
    ScanSetting::scanFolder = FromUtf8(scanDir.file("not/there"));
    ScanSetting::startCode = 42;
    EXPECT_EQ(InitScanFileNumber(), 42);
    std::vector<ScanFileRecord> list;
    std::wstring path;
    selected = L"000001.jpg";
    EXPECT_EQ(FindInsertPosition(list, path), -1);
    EXPECT_EQ(GetReplaceNumber(), -1);
}

TEST_F(ScanNaming, SubFolderLevelsAreCreatedAndDeeperFilesDoNotCount) {
    ScanSetting::subFolder = L" a\\b ";
    Touch("a/b/000004.jpg");
    Touch("a/b/deeper/000050.jpg");
    EXPECT_EQ(InitScanFileNumber(), 5);
    ScanSetting::subFolder = L"c/d";
    EXPECT_EQ(InitScanFileNumber(), 1);
    char buffer[256];
    ASSERT_TRUE(NextScanFileName(buffer, TWFF_JFIF));
    EXPECT_EQ(std::string(buffer), ScanPath("c/d/000001.jpg"));
    EXPECT_TRUE(fs::is_directory(ScanPath("c/d")));
}

TEST_F(ScanNaming, InsertShiftsTheRunUpwardsWithoutOverwriting) {
    ScanSetting::codeLength = 1;
    for (const char* n : {"1", "2", "3", "5"}) Touch(std::string(n) + ".jpg", n);
    selected = L"2.jpg";
    std::vector<ScanFileRecord> list;
    std::wstring path;
    ASSERT_EQ(FindInsertPosition(list, path), 2);
    EXPECT_EQ(path, FromUtf8(ScanPath("2.jpg")));
    EXPECT_EQ(list.size(), 3u);  // 2, 3 and 5
    EXPECT_TRUE(ShiftScanFilesUp(list, 2));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"1.jpg", "3.jpg", "4.jpg", "5.jpg"}));
    EXPECT_EQ(Content("3.jpg"), "2");
    EXPECT_EQ(Content("4.jpg"), "3");
    EXPECT_EQ(Content("5.jpg"), "5");  // not part of the run: untouched
}

TEST_F(ScanNaming, InsertMovesFilesOfEveryExtensionAndNeverOverwrites) {
    ScanSetting::codeLength = 2;
    Touch("02.jpg", "j2");
    Touch("02.tif", "t2");
    Touch("03.jpg", "j3");
    selected = L"02.tif";
    std::vector<ScanFileRecord> list;
    std::wstring path;
    ASSERT_EQ(FindInsertPosition(list, path), 2);
    EXPECT_TRUE(ShiftScanFilesUp(list, 2));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"03.jpg", "03.tif", "04.jpg"}));
    EXPECT_EQ(Content("03.jpg"), "j2");
    EXPECT_EQ(Content("03.tif"), "t2");
    EXPECT_EQ(Content("04.jpg"), "j3");

    // Something in the way that is not part of the numbering (here a folder
    // named like the next file) is never replaced: that move is refused.
    fs::create_directories(ScanPath("05.jpg"));
    Touch("05.jpg/keep.txt", "kept");
    selected = L"03.jpg";
    ASSERT_EQ(FindInsertPosition(list, path), 3);
    EXPECT_FALSE(ShiftScanFilesUp(list, 3));
    EXPECT_EQ(Content("05.jpg/keep.txt"), "kept");
    // 04.jpg could not move, so 03.jpg could not either; nothing was lost.
    EXPECT_EQ(Listing(), (std::vector<std::string>{"03.jpg", "04.jpg", "04.tif"}));
    EXPECT_EQ(Content("03.jpg"), "j2");
    EXPECT_EQ(Content("04.jpg"), "j3");
    EXPECT_EQ(Content("04.tif"), "t2");
}

TEST_F(ScanNaming, SelectionThatDoesNotFitGivesNoNumber) {
    ScanSetting::prefix = L"P";
    ScanSetting::suffix = L"S";
    Touch("P000002S.jpg");
    const std::pair<const wchar_t*, int> cases[] = {
        {L"P000002S.jpg", 2}, {L"P2S.jpg", 2},  // the count of digits need not match
        {L"Q000002S.jpg", -1}, {L"P000002T.jpg", -1}, {L"", -1}};
    for (const auto& [name, number] : cases) {
        selected = name;
        EXPECT_EQ(GetReplaceNumber(), number) << ToUtf8(name);
    }
}

TEST_F(ScanNaming, ExampleAndRegistry) {
    ScanSetting::prefix = L"doc-";
    ScanSetting::suffix = L"-a";
    ScanSetting::codeLength = 4;
    ScanSetting::startCode = 12;
    ScanSetting::subFolder = L"box";
    EXPECT_EQ(ScanNameExample(), FromUtf8(processedDir.path()) + L"/box/doc-0012-a.jpg");
    ScanSetting::fileFormat = 1;
    ScanSetting::subFolder = L"";
    EXPECT_EQ(ScanNameExample(), FromUtf8(processedDir.path()) + L"/doc-0012-a.tif");
    ASSERT_TRUE(WriteSavePathRegistry());
    EXPECT_EQ(GetRegistryValue(L"SOFTWARE\\Archive Imaging Group\\Scan2 Sample", L"SavePath"),
              FromUtf8(scanDir.path()));
}

}  // namespace
