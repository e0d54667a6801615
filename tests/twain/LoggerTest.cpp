// CLogger, the program's logger, and the TWAIN layer's log sink.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"
#include "twain/Logger.h"
#include "twain/TwainNames.h"

namespace {

// Collects what the logger writes to its console stream.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        console_ = std::tmpfile();
        ASSERT_NE(console_, nullptr);
        CLogger::Instance().SetConsoleForTesting(console_);
        saved_ = g_loggingEnabled;
    }
    void TearDown() override {
        CLogger::Instance().SetConsoleForTesting(nullptr);
        std::fclose(console_);
        g_loggingEnabled = saved_;
    }
    std::string Written() {
        std::fflush(console_);
        std::rewind(console_);
        std::string text;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, console_)) > 0) text.append(buffer, n);
        std::rewind(console_);
        ::ftruncate(::fileno(console_), 0);
        return text;
    }

    std::FILE* console_ = nullptr;
    std::int32_t saved_ = 0;
};

// "[<time as %X %x>] <LEVEL> - <message>" and a line end.
const char* kLine = R"(\[[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{2}/[0-9]{2}/[0-9]{2}\] )";

TEST_F(LoggerTest, LinesCarryTimeLevelAndMessage) {
    g_loggingEnabled = 1;
    struct Case {
        int level;
        const char* name;  // null: the line is dropped
    };
    const Case cases[] = {{0, "FATAL"}, {1, "ERROR"}, {2, "WARN "}, {3, "INFO "},
                          {4, nullptr}, {9, nullptr}, {-1, "UNKWN"}};
    for (const Case& c : cases) {
        CLogger::Instance().Log(c.level, "value %d of %s", 42, "x");
        const std::string text = Written();
        if (!c.name) {
            EXPECT_EQ(text, "") << "level " << c.level << " is above the threshold "
                                << CLogger::Instance().Threshold();
            continue;
        }
        EXPECT_THAT(text, ::testing::MatchesRegex(std::string(kLine) + c.name + " - value 42 of x\n"))
            << "level " << c.level << ": " << text;
    }
}

TEST_F(LoggerTest, ErrorAndWarnAreBehindTheSwitch) {
    g_loggingEnabled = 0;
    CLogger::Instance().Error("error %d", 1);
    CLogger::Instance().Warn("warn %d", 2);
    CLogger::Instance().Info("info %d", 3);
    const std::string off = Written();
    EXPECT_EQ(off.find("error 1"), std::string::npos);
    EXPECT_EQ(off.find("warn 2"), std::string::npos);
    EXPECT_NE(off.find("INFO  - info 3"), std::string::npos);

    g_loggingEnabled = 1;
    CLogger::Instance().Error("error %d", 1);
    CLogger::Instance().Warn("warn %d", 2);
    const std::string on = Written();
    EXPECT_NE(on.find("ERROR - error 1"), std::string::npos);
    EXPECT_NE(on.find("WARN  - warn 2"), std::string::npos);
}

TEST_F(LoggerTest, LongMessagesAreCut) {
    CLogger::Instance().Info("%s", std::string(700, 'x').c_str());
    const std::string text = Written();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    // The whole line (without its end) holds at most 511 characters.
    EXPECT_EQ(text.size() - 1, 511u);
    EXPECT_EQ(text.substr(text.size() - 6), "xxxxx\n");
}

TEST_F(LoggerTest, OpenWritesLogTxtOnlyWithTheSwitchOn) {
    testdata::TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    g_loggingEnabled = 0;
    CLogger::Instance().Open();
    EXPECT_FALSE(std::filesystem::exists("log.txt"));
    EXPECT_FALSE(CLogger::Instance().IsOpen());

    g_loggingEnabled = 1;
    CLogger::Instance().Open();
    CLogger::Instance().Info("after %s", "open");
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(CLogger::Instance().IsOpen());
    EXPECT_EQ(CLogger::Instance().FileName(), "log.txt");
    std::ifstream in(dir.file("log.txt"));
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_NE(file.str().find("INFO  - LOG INITIALISED\n"), std::string::npos);
    EXPECT_NE(file.str().find("INFO  - after open\n"), std::string::npos);
    // The same lines went to the console.
    EXPECT_NE(Written().find("LOG INITIALISED"), std::string::npos);
}

TEST_F(LoggerTest, AppMessagesAreFormattedCutAndWrittenAsInfo) {
    logAppMessage("app: Remaining images to transfer: %u\n", 7u);
    EXPECT_THAT(Written(),
                ::testing::MatchesRegex(std::string(kLine) + "INFO  - app: Remaining images to transfer: 7\n\n"));
    logAppMessage("%s", std::string(300, 'a').c_str());
    const std::string text = Written();
    const std::size_t start = text.find(" - ") + 3;
    EXPECT_EQ(text.substr(start), std::string(199, 'a') + "\n");
}

}  // namespace
