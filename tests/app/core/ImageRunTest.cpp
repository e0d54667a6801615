// Whole runs through the batch engine with the program's image processor.
#include "EngineHarness.h"

#include "app/core/ImageProcessorRun.h"
#include "app/core/OutputRule.h"
#include "support/BatchTree.h"
#include "support/ImageFiles.h"

using namespace enginetest;

namespace {

class ImageRun : public EngineFixture {
protected:
    ImageRun() {
        engine->SetProcessorFactory(MakeImageProcessorRun);
        EXPECT_TRUE(testdata::WriteBatchTree(ToUtf8(src())));
        // A step whose effect shows in every output: the resolution.
        window.choices.deskew = false;
        window.choices.background = false;
        ProcessSetting::dpi.on = 1;
        ProcessSetting::dpi.dst = 200;
    }
    void ExpectFinished(int done, int failed) {
        const std::wstring expected = L"**********处理完成,总共处理了 " + std::to_wstring(done) + L" 张, 其中失败" +
                                      std::to_wstring(failed) + L"张";
        EXPECT_EQ(window.LastProgress().rfind(expected, 0), 0u) << ToUtf8(window.LastProgress());
    }
    std::string FailedListOf(const std::wstring& folder) {
        const auto lists = FailedLists(folder);
        return lists.size() == 1 ? Read(lists[0]) : "<" + std::to_string(lists.size()) + " lists>";
    }
};

}  // namespace

TEST_F(ImageRun, ResultsIntoTheSourceFolders) {
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    ExpectFinished(5, 1);
    const std::string root = ToUtf8(src());
    const auto problems = testdata::BatchTreeOutputProblems(
        testdata::BatchTreeQueueSourceLayout(),
        [&](const std::string& rel) {
            const auto slash = rel.rfind('/');
            const std::string folder = slash == std::string::npos ? root : root + "/" + rel.substr(0, slash);
            const std::string name = folder.substr(folder.rfind('/') + 1);
            return folder + "/" + name + "/" + rel.substr(slash == std::string::npos ? 0 : slash + 1);
        },
        200);
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(FailedListOf(src()), root + "/bad.jpg\r\n");
    EXPECT_EQ(log.alive.load(), 0);
}

TEST_F(ImageRun, ResultsIntoANewFolderWithAndWithoutSubfolders) {
    struct Case {
        bool includeSub;
        std::vector<std::string> taken;
    };
    const Case cases[] = {{true, testdata::BatchTreeQueueNewFolder()}, {false, {"a.jpg", "B.PNG", "bad.jpg"}}};
    for (const auto& c : cases) {
        testdata::TempDir out;
        window.choices.newFolder = true;
        window.choices.destinationText = out.wpath();
        window.choices.includeSubfolders = c.includeSub;
        engine->SetSaveToNewFolder(true);
        engine->SetDestinationFolder(out.wpath());
        engine->OnStartStop();
        ASSERT_TRUE(RunToIdle(60000));
        ExpectFinished(static_cast<int>(c.taken.size()), 1);
        const auto problems = testdata::BatchTreeOutputProblems(
            c.taken, [&](const std::string& rel) { return out.path() + "/src/" + rel; }, 200);
        for (const auto& p : problems) ADD_FAILURE() << p << (c.includeSub ? " (sub-folders)" : "");
        EXPECT_EQ(FailedListOf(out.wpath()), ToUtf8(src()) + "/bad.jpg\r\n");
    }
}

TEST_F(ImageRun, ReprocessAllOffTakesOnlyFilesWithoutOutputs) {
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    ExpectFinished(5, 1);
    window.choices.reprocessAll = false;
    ASSERT_TRUE(files::Remove(Src(L"sub/sub/c.tif")));
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    // c.tif again, and bad.jpg, which never has an output.
    ExpectFinished(2, 1);
    EXPECT_EQ(testimg::ReadTiff(ToUtf8(Src(L"sub/sub/c.tif"))).size(), 3u);
}

// A multi-page TIFF cut short is a damaged file: it is listed as failed and
// gets no output, and its source stays as it was; a one-page TIFF beside it
// is processed as usual.
TEST_F(ImageRun, AMultiPageFileCutShortIsListedAsFailed) {
    const testimg::TiffPage page{testimg::Pattern(64, 64, 1, 5), 8, 1, 1};
    const std::string cut = ToUtf8(Src(L"cut.tif")), one = ToUtf8(Src(L"one.tif"));
    ASSERT_TRUE(testimg::WriteTiff(cut, {page, page, page}));
    ASSERT_TRUE(testimg::TruncateFile(cut, 0.6));
    ASSERT_TRUE(testimg::WriteTiff(one, {page}));
    const std::string cutBytes = Read(Src(L"cut.tif"));
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    ExpectFinished(7, 2);
    const std::string root = ToUtf8(src());
    const std::string list = FailedListOf(src());
    EXPECT_NE(list.find(root + "/cut.tif\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find(root + "/bad.jpg\r\n"), std::string::npos) << list;
    EXPECT_FALSE(files::Exists(Src(L"src/cut.tif")));
    EXPECT_EQ(testimg::ReadTiff(ToUtf8(Src(L"src/one.tif"))).size(), 1u);
    EXPECT_EQ(Read(Src(L"cut.tif")), cutBytes);
}

TEST_F(ImageRun, AFullDiskGivesItsReasonInTheFailedFileList) {
    // The results of disk/sub land on a full disk; those of disk itself do
    // not. A JPEG and a PNG fail when their result is written, the pages of
    // a two-page TIFF already while it is processed. Each failed file is
    // listed with the system's reason after a tab, and the result an
    // earlier run left there stays as it was.
    const std::wstring source = tmp.wfile(L"disk");
    const std::wstring destination = tmp.wfile(L"out");
    const std::wstring full = PathJoin(destination, L"disk/sub");
    ASSERT_EQ(CreateFolderPath(PathJoin(source, L"sub")), 1);
    ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(PathJoin(source, L"a.jpg")), testimg::Pattern(40, 30, 3, 1), 90, 150));
    ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(PathJoin(source, L"sub/b.jpg")), testimg::Pattern(40, 30, 3, 2), 90, 150));
    ASSERT_TRUE(testimg::WritePng(ToUtf8(PathJoin(source, L"sub/c.png")), testimg::Pattern(40, 30, 3, 3), 2, 8));
    const testimg::TiffPage page{testimg::Pattern(64, 64, 1, 4), 8, 1, 1};
    ASSERT_TRUE(testimg::WriteTiff(ToUtf8(PathJoin(source, L"sub/d.tif")), {page, page}));
    ASSERT_TRUE(MarkResultsFolder(PathJoin(destination, L"disk"), files::CanonicalPath(source)));
    ASSERT_EQ(CreateFolderPath(full), 1);
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(full, L"b.jpg"), "earlier", 7));

    files::SetFullDiskFolderForTests(full);
    struct EndFullDisk {
        ~EndFullDisk() { files::SetFullDiskFolderForTests(L""); }
    } endFullDisk;
    window.choices.sourceText = source;
    window.choices.newFolder = true;
    window.choices.destinationText = destination;
    window.choices.requestedThreads = 1;  // the list in queue order
    engine->SetSaveToNewFolder(true);
    engine->SetDestinationFolder(destination);
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    ExpectFinished(4, 3);

    const std::string root = ToUtf8(source);
    EXPECT_EQ(FailedListOf(destination), root + "/sub/b.jpg\t磁盘空间不足\r\n" + root + "/sub/c.png\t磁盘空间不足\r\n" +
                                             root + "/sub/d.tif\t磁盘空间不足\r\n");
    EXPECT_TRUE(testimg::ReadJpeg(ToUtf8(PathJoin(destination, L"disk/a.jpg"))).ok);
    std::vector<files::DirEntry> left;
    ASSERT_TRUE(files::ListDirectory(full, left));
    ASSERT_EQ(left.size(), 1u) << "nothing but the earlier result: " << ToUtf8(left.back().name);
    EXPECT_EQ(Read(PathJoin(full, L"b.jpg")), "earlier");
}
