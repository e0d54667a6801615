// Saving the manual window's picture, without the window: what a save
// killed part way left in the destination's folder is removed, and nothing
// else there.
#include <gtest/gtest.h>

#include <unistd.h>

#include "manual/ManualSave.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "support/ImageFiles.h"
#include "support/Leftovers.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"

TEST(ManualSave, ASaveRemovesWhatAKilledSaveLeftInItsFolder) {
    testdata::TempDir dir;
    const std::string source = dir.file("page.png");
    ASSERT_TRUE(testimg::WritePng(source, testimg::Pattern(12, 10, 3, 5), 2, 8));
    const std::wstring folder = dir.wfile(L"saved");
    ASSERT_TRUE(files::CreateDirectory(folder));
    const int ended = testdata::EndedProcessId();
    ASSERT_GT(ended, 0);
    const std::wstring killed = PathJoin(folder, testdata::TemporaryNameOf(ended));
    const std::wstring running = PathJoin(folder, testdata::TemporaryNameOf(static_cast<int>(::getpid())));
    const std::wstring users = PathJoin(folder, L".tsv-draft.tmp");
    for (const auto& path : {killed, running, users}) ASSERT_TRUE(files::WriteAllAtomic(path, "left", 4));

    CImageProcessor p;
    const std::wstring wsource = FromUtf8(source);
    ASSERT_TRUE(p.ReadFileBytes(wsource.c_str()));
    ASSERT_TRUE(p.LoadImageFile(wsource.c_str(), 1));
    const OwnedImage24 picture = OwnedImage24::CopyOf(p.colourImage.get(), p.width, p.height);
    ASSERT_FALSE(picture.Empty());
    const std::wstring destination = PathJoin(folder, L"page.png");
    ASSERT_TRUE(SaveManualPicture(p, picture, wsource, destination));
    EXPECT_EQ(testimg::ReadPng(ToUtf8(destination)).width, 12);
    EXPECT_FALSE(files::Exists(killed));
    EXPECT_EQ(testdata::ReadFileText(running), "left");
    EXPECT_EQ(testdata::ReadFileText(users), "left");
}
