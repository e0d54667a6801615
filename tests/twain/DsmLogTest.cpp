// The data source manager's trace (DSM_LOG).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DsmTestSupport.h"
#include "twain/dsm/Dsm.h"
#include "twain/dsm/DsmLog.h"

namespace {

using namespace dsmtest;

// "[HHMMSSmmm module line errno thread] text"
// (A result line's text ends with a line feed of its own.)
const char* const kLinePattern = "\\[[0-9]{9} (apps|dsm) +[0-9]+ +[0-9]+ 0x[0-9a-f]+\\] [^\n]*\n?";

// The widths of "[%02d%02d%02d%03d %-8s %4d %5u %p] ": the time in nine
// digits, the module left-aligned in eight characters, the line number
// right-aligned in four, the error right-aligned in five, each field
// followed by one blank, then the thread.
testing::AssertionResult HasFieldWidths(const std::string& line) {
    auto fail = [&](const char* what) { return testing::AssertionFailure() << what << " in \"" << line << "\""; };
    auto rightAligned = [](const std::string& field) {
        const std::size_t digits = field.find_first_not_of(' ');
        return digits != std::string::npos && field.find_first_not_of("0123456789", digits) == std::string::npos;
    };
    if (line.size() < 34 || line[0] != '[') return fail("no opening bracket");
    if (line.substr(1, 9).find_first_not_of("0123456789") != std::string::npos || line[10] != ' ')
        return fail("time not nine digits and a blank");
    const std::string module = line.substr(11, 8);
    if (module != "apps    " && module != "dsm     " && module != "hook    ") return fail("module not in 8 columns");
    if (line[19] != ' ' || !rightAligned(line.substr(20, 4))) return fail("line number not in 4 columns");
    if (line[24] != ' ' || !rightAligned(line.substr(25, 5))) return fail("error not in 5 columns");
    if (line[30] != ' ' || line.compare(31, 2, "0x") != 0) return fail("thread not after one blank");
    const std::size_t close = line.find("] ", 33);
    if (close == std::string::npos || line.substr(33, close - 33).find_first_not_of("0123456789abcdef") !=
                                           std::string::npos)
        return fail("thread not a hexadecimal number followed by \"] \"");
    return testing::AssertionSuccess();
}

TEST(DsmLog, OffWithoutDsmLog) {
    DsmEnvironment env;
    env.AddVirtualSource("", "alpha");
    TestApp app("Silent App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    app.Sources();
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);
    // Nothing but the sources, the configuration folder and the call log.
    for (const auto& entry : std::filesystem::directory_iterator(env.root()))
        EXPECT_TRUE(entry.path().filename() == "sources" || entry.path().filename() == "config" ||
                    entry.path().filename() == "alpha.calls")
            << entry.path();
}

TEST(DsmLog, LinesBannerAndCallTrace) {
    DsmEnvironment env;
    env.AddVirtualSource("", "alpha", {"product=Alpha"});
    env.EnableDsmLog();
    TestApp app("Tracing App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
    TW_UINT32 value = 0;
    TW_UINT16 conType = 0;
    ASSERT_EQ(app.GetCap(source, ICAP_XRESOLUTION, MSG_GET, value, conType), TWRC_SUCCESS);
    ASSERT_EQ(app.SetCap(source, ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(source), TWRC_SUCCESS);
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);

    const std::string text = env.DsmLogText();
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::vector<std::string> lines = env.DsmLogLines();
    ASSERT_GE(lines.size(), 5u);
    for (const std::string& line : lines) {
        EXPECT_THAT(line, ::testing::MatchesRegex(kLinePattern));
        EXPECT_TRUE(HasFieldWidths(line));
        EXPECT_LE(line.size(), 1023u);
        EXPECT_EQ(line.find('\r'), std::string::npos) << "lines end in CR LF only";
    }
    // The banner comes first.
    auto text_of = [](const std::string& line) { return line.substr(line.find("] ") + 2); };
    EXPECT_EQ(text_of(lines[0]), "************************************************");
    EXPECT_EQ(text_of(lines[1]), "Archive Imaging Group");
    EXPECT_EQ(text_of(lines[2]), "TWAIN 32 Source Manager (Image Acquisition Interface)");
    EXPECT_EQ(text_of(lines[3]), "version: 2, 4, 3, 0");

    // Each call: who talks to whom, the triplet (with the capability and,
    // for MSG_SET, the container), then its result one step less indented.
    EXPECT_EQ(Matching(lines, {"] Tracing App -> DSM"}).size() >= 1, true);
    EXPECT_EQ(Matching(lines, {"] DG_CONTROL/DAT_CAPABILITY/MSG_GET/ICAP_XRESOLUTION"}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"] DG_CONTROL/DAT_CAPABILITY/MSG_SET/ICAP_PIXELTYPE TWON_ONEVALUE  "}).size(), 1u);
    EXPECT_EQ(Matching(lines, {"] TWRC_SUCCESS TWON_ENUMERATION\n"}).size(), 1u);
    EXPECT_FALSE(Matching(lines, {"] DG_CONTROL/DAT_PARENT/MSG_OPENDSM"}).empty());
    // Lines logged inside a call are indented by two blanks.
    EXPECT_FALSE(Matching(lines, {"]   Application: \"Test Maker\""}).empty());
    EXPECT_FALSE(Matching(lines, {"Application: \"Test Maker\""}).empty());
    EXPECT_FALSE(Matching(lines, {"             \"Tracing App\" version: 2.0"}).empty());
}

TEST(DsmLog, ModeWriteStartsAfreshAndAppendKeeps) {
    DsmEnvironment env;
    for (const char* mode : {"w", "a"}) {
        const std::string path = env.EnableDsmLog(mode);
        std::filesystem::remove(path);
        for (int run = 0; run < 2; ++run) {
            TestApp app("Mode App");
            ASSERT_EQ(app.Open(), TWRC_SUCCESS);
            ASSERT_EQ(app.Close(), TWRC_SUCCESS);
        }
        const std::size_t banners = Matching(env.DsmLogLines(), {"Archive Imaging Group"}).size();
        EXPECT_EQ(banners, std::string(mode) == "w" ? 1u : 2u) << "mode " << mode;
    }
}

TEST(DsmLog, UnwritableFileGivesOneErrorLineThenSilence) {
    DsmEnvironment env;
    const std::string path = env.root() + "/no such folder/dsm.log";
    ScopedEnv log("DSM_LOG", path.c_str());
    testing::internal::CaptureStderr();
    TestApp app("Quiet App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    app.Sources();
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string expected = "DSM: Error - logging has been disabled because logfile could not be opened: file=<" +
                                 path + ">, mode=<w>, errno=2\r\n";
    EXPECT_EQ(err, expected);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DsmLog, LinesAreCutAt1023AndIndentStopsAtTwelve) {
    DsmEnvironment env;
    const std::string path = env.EnableDsmLog();
    {
        CDsmLog log;
        ASSERT_TRUE(log.Enabled());
        EXPECT_EQ(log.FileName(), path);
        EXPECT_EQ(log.Mode(), "w");
        SetDsmLog(&log);
        errno = ENOENT;
        DsmWriteLog(0, "dsm", 7, "%s", std::string(2000, 'q').c_str());
        for (int level = 1; level <= 8; ++level) {
            log.Indent(1);
            errno = EACCES;
            DsmWriteLog(1, "apps", level == 8 ? 1234 : 8, "level %d", level);
        }
        SetDsmLog(nullptr);
    }
    const std::vector<std::string> lines = env.DsmLogLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].size(), 1023u);
    EXPECT_THAT(lines[0], ::testing::MatchesRegex(R"(\[[0-9]{9} dsm +7 +[0-9]+ 0x[0-9a-f]+\] q+)"));
    // Module, line and error in their columns, then this thread's id.
    const std::string thread = (std::ostringstream() << std::hex << "0x" << syscall(SYS_gettid) << "] ").str();
    const std::pair<std::size_t, std::string> fields[] = {
        {0, " dsm         7     2 " + thread}, {1, " apps        8    13 " + thread},
        {8, " apps     1234    13 " + thread}};
    for (const auto& [index, expected] : fields) EXPECT_EQ(lines[index].substr(10, expected.size()), expected);
    for (const std::string& line : lines) EXPECT_TRUE(HasFieldWidths(line));
    for (int level = 1; level <= 8; ++level) {
        const std::string& line = lines[level];
        const std::size_t start = line.find("] ") + 2;
        const std::size_t blanks = line.find("level") - start;
        EXPECT_EQ(blanks, static_cast<std::size_t>(std::min(2 * level, 12))) << line;
    }
}

TEST(DsmLog, NestedCallsAreIndentedOneStepMore) {
    // The source tells the application it is ready from inside MSG_ENABLEDS:
    // that call is traced inside the enable call, two blanks further in.
    DsmEnvironment env;
    env.AddVirtualSource("", "alpha", {"product=Alpha", "notify=sync"});
    env.EnableDsmLog();
    TestApp app("Nesting App");
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = app.Sources().at(0);
    ASSERT_EQ(app.OpenSource(source), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(source), TWRC_SUCCESS);
    ASSERT_EQ(app.Disable(source), TWRC_SUCCESS);
    ASSERT_EQ(app.CloseSource(source), TWRC_SUCCESS);
    ASSERT_EQ(app.Close(), TWRC_SUCCESS);

    const std::vector<std::string> lines = env.DsmLogLines();
    auto indent = [](const std::string& line) {
        const std::size_t start = line.find("] ") + 2;
        return line.find_first_not_of(' ', start) - start;
    };
    const auto enable = Matching(lines, {"DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS"});
    const auto notify = Matching(lines, {"DG_CONTROL/DAT_NULL/MSG_XFERREADY"});
    const auto from = Matching(lines, {"Alpha -> Nesting App"});
    ASSERT_EQ(enable.size(), 1u);
    ASSERT_EQ(notify.size(), 1u);
    ASSERT_EQ(from.size(), 1u);
    EXPECT_EQ(indent(enable[0]), 0u);
    EXPECT_EQ(indent(from[0]), 2u);
    EXPECT_EQ(indent(notify[0]), 2u);
}

}  // namespace
