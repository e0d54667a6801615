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

// Every number already taken counts, however many digits it has: a
// counter past the code length gets more digits and never lands on a page.
TEST_F(ScanNaming, NumbersPastTheCodeLengthAreNeverReused) {
    struct Case {
        const wchar_t* prefix;
        int codeLength;
        std::vector<std::string> existing;
        std::string first;
        std::string second;
    };
    const Case cases[] = {
        {L"", 1, {"8.jpg", "9.jpg", "10.jpg"}, "11.jpg", "12.jpg"},
        {L"", 0, {"1.jpg", "2.jpg"}, "3.jpg", "4.jpg"},
        {L"", 2, {"99.jpg", "100.tif"}, "101.jpg", "102.jpg"},
        {L"p", 3, {"p999.jpg", "p1000.png", "p0999x.jpg"}, "p1001.jpg", "p1002.jpg"},
        {L"", 1, {"9.jpg"}, "10.jpg", "11.jpg"},  // the tenth page widens the counter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        fs::remove_all(scanDir.path());
        fs::create_directories(scanDir.path());
        for (const std::string& e : c.existing) Touch(e, e);
        ScanSetting::prefix = c.prefix;
        ScanSetting::codeLength = c.codeLength;
        InitScanFileNumber();
        char buffer[256];
        ASSERT_TRUE(NextScanFileName(buffer, TWFF_JFIF));
        EXPECT_EQ(std::string(buffer), ScanPath(c.first));
        ASSERT_TRUE(NextScanFileName(buffer, TWFF_JFIF));
        EXPECT_EQ(std::string(buffer), ScanPath(c.second));
        for (const std::string& e : c.existing) EXPECT_EQ(Content(e), e);
    }
}

TEST_F(ScanNaming, ANameAlreadyTakenIsPassedOver) {
    Touch("000004.jpg");
    fs::create_directories(ScanPath("000005.jpg"));  // a folder named like the next page
    EXPECT_EQ(InitScanFileNumber(), 5);
    char buffer[256];
    ASSERT_TRUE(NextScanFileName(buffer, TWFF_JFIF));
    EXPECT_EQ(std::string(buffer), ScanPath("000006.jpg"));
    EXPECT_EQ(g_nextScanNumber, 7);
    EXPECT_TRUE(fs::is_directory(ScanPath("000005.jpg")));
}

// Sub-folder, prefix and suffix as typed may not lead out of the scan folder.
TEST_F(ScanNaming, TypedNamesThatLeaveTheScanFolderAreRefused) {
    const std::string outside = processedDir.path() + "/elsewhere";
    // Beside the scan folder, under a name no other test uses.
    const std::string besideName = fs::path(scanDir.path()).filename().string() + "-x";
    const fs::path beside = fs::path(scanDir.path()).parent_path() / besideName;
    struct Case {
        std::wstring subFolder, prefix, suffix;
        const wchar_t* refusal;  // null: accepted
    };
    const wchar_t* kSub = L"文件夹名不能包含 \"..\", 请输入扫描目录下的子目录名.";
    const wchar_t* kAbsolute = L"文件夹名不能是绝对路径, 请输入扫描目录下的子目录名.";
    const wchar_t* kPrefix = L"前缀不能包含 \"/\" 或 \"\\\".";
    const wchar_t* kSuffix = L"后缀不能包含 \"/\" 或 \"\\\".";
    const Case cases[] = {
        {L"../" + FromUtf8(besideName), L"", L"", kSub},
        {L"a/../../" + FromUtf8(besideName), L"", L"", kSub},
        {L"a\\..", L"", L"", kSub},
        {L" .. ", L"", L"", kSub},
        {FromUtf8(outside), L"", L"", kAbsolute},
        {L"\\x", L"", L"", kAbsolute},
        {L"", L"../", L"", kPrefix},
        {L"", L"a\\b", L"", kPrefix},
        {L"", L"", L"/x", kSuffix},
        {L"", L"", L"..\\x", kSuffix},
        {L"a/b", L"..", L".", nullptr},
        {L"a\\b/..c/d..", L"x..y", L"-", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TypeNames(c.subFolder, c.prefix, c.suffix));
        EXPECT_EQ(ScanNameRefusal(), c.refusal ? std::wstring(c.refusal) : std::wstring());
        InitScanFileNumber();
        char buffer[256];
        EXPECT_EQ(NextScanFileName(buffer, TWFF_JFIF), c.refusal == nullptr);
        if (c.refusal) {
            EXPECT_EQ(buffer[0], 0);
        }
    }
    // Nothing was made for the refused names: not beside the scan folder,
    // not outside it, not inside it.
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(beside));
    std::vector<std::string> made;
    for (const auto& e : fs::recursive_directory_iterator(scanDir.path())) made.push_back(fs::relative(e.path(), scanDir.path()).string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"a", "a/b", "a/b/..c", "a/b/..c/d.."}));
}

// Insert and replace take a selection only when it is a file of the target
// folder (or the processed result of one): a file of another folder with a
// fitting name never stands for the target folder's file of that number.
TEST_F(ScanNaming, SelectionMustBeAFileOfTheTargetFolder) {
    ScanSetting::subFolder = L"b";
    Touch("a/000002.jpg");
    Touch("b/000002.jpg");
    Touch("b/000003.jpg");
    const std::string processedOf = processedDir.path() + "/" + fs::path(scanDir.path()).filename().string();
    const std::pair<std::string, int> cases[] = {
        {ScanPath("b/000002.jpg"), 2},
        {ScanPath("b/../b/000003.jpg"), 3},
        {ScanPath("a/000002.jpg"), -1},
        {ScanPath("000002.jpg"), -1},
        {processedOf + "/b/000003.jpg", 3},  // the result of b/000003.jpg
        {processedOf + "/a/000002.jpg", -1},
        {processedDir.path() + "/000002.jpg", -1},
    };
    for (const auto& [path, number] : cases) {
        SCOPED_TRACE(path);
        selected = FromUtf8(path);
        EXPECT_EQ(GetReplaceNumber(), number);
        std::vector<ScanFileRecord> list;
        std::wstring found;
        EXPECT_EQ(FindInsertPosition(list, found), number);
        if (number > 0) {
            EXPECT_EQ(found, FromUtf8(ScanPath("b/00000" + std::to_string(number) + ".jpg")));
        } else {
            EXPECT_TRUE(found.empty());
        }
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
