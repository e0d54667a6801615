// The output rule of a run: results never replace a source, never land in
// the source tree, never replace the results of another source folder.
// Whole runs through the engine with the program's image processor; after
// each one every source file is byte for byte what it was.
#include "EngineHarness.h"

#include <map>
#include <unistd.h>

#include "app/core/ImageProcessorRun.h"
#include "app/core/OutputRule.h"
#include "settings/DetectSetting.h"
#include "support/ImageFiles.h"

using namespace enginetest;

namespace {

// Every file below a folder with its bytes (hidden ones too).
std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> out;
    std::vector<files::DirEntry> entries;
    if (!files::ListDirectory(folder, entries)) return out;
    for (const auto& e : entries) {
        const std::wstring path = PathJoin(folder, e.name);
        if (e.isDirectory) {
            for (auto& [p, bytes] : Snapshot(path)) out.emplace(p, std::move(bytes));
        } else {
            out.emplace(path, testdata::ReadFileText(path));
        }
    }
    return out;
}

class OutputRule : public EngineFixture {
protected:
    OutputRule() {
        engine->SetProcessorFactory(MakeImageProcessorRun);
        // A step whose effect shows in every output: the resolution.
        window.choices.deskew = false;
        window.choices.background = false;
        ProcessSetting::dpi.on = 1;
        ProcessSetting::dpi.dst = 200;
    }
    void Page(const std::wstring& path, unsigned seed) {
        ASSERT_EQ(CreateFolderPath(PathFolder(path)), 1);
        ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(path), testimg::Pattern(40, 30, 3, seed), 90, 150));
    }
    void NewFolder(const std::wstring& destination) {
        window.choices.newFolder = true;
        window.choices.destinationText = destination;
        engine->SetSaveToNewFolder(true);
        engine->SetDestinationFolder(destination);
    }
    // Starts a run that the rule must refuse: one message with caption
    // "提示" naming `named` (or, when given, the message `exactly`), nothing
    // started, nothing written.
    void ExpectRefused(const std::vector<std::wstring>& named, const std::wstring& exactly = {}) {
        dialogs.Clear();
        engine->OnStartStop();
        ASSERT_EQ(dialogs.Count(ShownDialog::MessageBox), 1u);
        EXPECT_EQ(dialogs.Shown()[0].caption, L"提示");
        const std::wstring text = dialogs.MessageTexts()[0];
        for (const auto& n : named) EXPECT_NE(text.find(n), std::wstring::npos) << ToUtf8(text) << " names " << ToUtf8(n);
        if (!exactly.empty()) {
            EXPECT_EQ(ToUtf8(text), ToUtf8(exactly));
        }
        EXPECT_EQ(engine->RunState(), RUN_STATE_IDLE);
        EXPECT_EQ(engine->AutoMode(), AUTO_MODE_OFF);
        EXPECT_EQ(engine->Pool().LiveThreads(), 0);
        EXPECT_EQ(window.timerStarts, 0);
        EXPECT_TRUE(log.processed.empty());
    }
};

}  // namespace

TEST_F(OutputRule, ADestinationThatMapsResultsOntoTheSourcesIsRefused) {
    // The source d/scans into "new folder" d: every result would be its own
    // source; with blank-page removal a blank source would be deleted.
    const std::wstring d = tmp.wfile(L"d");
    const std::wstring scans = PathJoin(d, L"scans");
    Page(PathJoin(scans, L"p1.jpg"), 1);
    Page(PathJoin(scans, L"sub/p2.jpg"), 2);
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(scans, L"blank.jpg"), "blank", 5));
    ProcessSetting::rmblankpage.on = 1;
    const auto before = Snapshot(d);
    window.choices.sourceText = scans;
    NewFolder(d);
    ExpectRefused({scans, d});
    EXPECT_EQ(Snapshot(d), before);
    // The same with the folder texts spelt differently.
    window.choices.sourceText = scans + L"/";
    NewFolder(d + L"/./");
    ExpectRefused({});
    EXPECT_EQ(Snapshot(d), before);
}

namespace {

// The refusal of results that would land inside the source tree.
std::wstring InsideSourceRefusal(const std::wstring& results, const std::wstring& source) {
    return L"处理结果将保存到 " + results + L"，它在要处理的目录 " + source +
           L" 之中，会覆盖或混入原图。请选择要处理的目录以外的保存目录。";
}

}  // namespace

TEST_F(OutputRule, ResultsAroundTheSourceAreRefusedByTheFoldersAlone) {
    // Each case is refused by the check of the run's folders before any file
    // is looked at, and each with its own message: in the first two nothing
    // is queued, in the last the results folder would hold the source.
    // - d/scans into d: its results would be d/scans itself. An
    //   auto-detection run on the empty folder would otherwise start and mark
    //   the source folder as a result folder; with "全部重新处理" off every
    //   page's output exists (it is the page), so nothing would be queued.
    // - d/scans/box/scans into d: the results folder d/scans would hold the
    //   source.
    const std::wstring d = tmp.wfile(L"d");
    const std::wstring scans = PathJoin(d, L"scans");
    const std::wstring inner = PathJoin(scans, L"box/scans");
    const std::wstring aroundSource = L"要处理的目录 " + inner + L" 在结果目录 " + scans +
                                      L" 之中，处理结果会覆盖或混入原图。请选择其他保存目录。";
    struct Case {
        std::wstring source;
        bool autoDetect;
        bool reprocessAll;
        bool withPage;
        std::wstring message;
    };
    const Case cases[] = {
        {scans, true, true, false, InsideSourceRefusal(scans, scans)},
        {scans, false, false, true, InsideSourceRefusal(scans, scans)},
        {inner, false, true, true, aroundSource},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(CreateFolderPath(c.source), 1);
        if (c.withPage) Page(PathJoin(c.source, L"p.jpg"), 15);
        const auto before = Snapshot(d);
        window.choices.sourceText = c.source;
        window.choices.autoDetect = c.autoDetect;
        window.choices.reprocessAll = c.reprocessAll;
        NewFolder(d);
        ExpectRefused({}, c.message);
        EXPECT_EQ(Snapshot(d), before) << ToUtf8(c.source);
        EXPECT_FALSE(IsResultsFolder(scans));
    }
}

TEST_F(OutputRule, AResultFolderLinkedIntoTheSourceTreeIsRefused) {
    // dst/src holds this source's results (its own, by the marker), but the
    // user has put a link there: dst/src/sub leads to src/other. The run's
    // folders are fine; only sub's output folder lies in the source tree,
    // where q.jpg's result would join the pages of src/other.
    Page(Src(L"p.jpg"), 16);
    Page(Src(L"sub/q.jpg"), 17);
    Page(Src(L"other/r.jpg"), 18);
    const std::wstring results = PathJoin(dst(), L"src");
    ASSERT_TRUE(MarkResultsFolder(results, files::CanonicalPath(src())));
    ASSERT_EQ(::symlink(ToUtf8(Src(L"other")).c_str(), ToUtf8(PathJoin(results, L"sub")).c_str()), 0);
    const auto before = Snapshot(src());
    NewFolder(dst());
    ExpectRefused({}, InsideSourceRefusal(PathJoin(results, L"sub"), src()));
    EXPECT_EQ(Snapshot(src()), before);
}

TEST_F(OutputRule, DestinationsInsideOrAroundTheSourceTreeAreRefused) {
    struct Case {
        std::wstring destination;  // below the temporary folder
    };
    // The source folder itself, a folder inside it, a folder two levels in.
    const Case cases[] = {{L"src"}, {L"src/out"}, {L"src/a/b"}};
    Page(Src(L"p.jpg"), 3);
    for (const auto& c : cases) {
        const auto before = Snapshot(src());
        NewFolder(tmp.wfile(c.destination));
        ExpectRefused({src()});
        EXPECT_EQ(Snapshot(src()), before) << ToUtf8(c.destination);
    }
}

TEST_F(OutputRule, ARealSubfolderNamedLikeItsParentIsNeverOverwritten) {
    // scans/scans/p1.jpg is the user's own page (an unpacked archive), not a
    // result: the source-folder layout would write scans/p1.jpg's result onto it.
    Page(Src(L"p1.jpg"), 4);
    Page(Src(L"src/p1.jpg"), 5);
    const auto before = Snapshot(src());
    ExpectRefused({src(), Src(L"src")}, L"目录 " + src() + L" 的处理结果要保存到它的同名子目录 " + Src(L"src") +
                                            L"，但那是存放原图的普通文件夹，结果会覆盖或混入原图。请选择“保存到新目录”。");
    EXPECT_EQ(Snapshot(src()), before);

    // Into a new folder both pages are processed, each to its own result.
    NewFolder(dst());
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(PathJoin(dst(), L"src/p1.jpg"))).xDensity, 200);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(PathJoin(dst(), L"src/src/p1.jpg"))).xDensity, 200);
    EXPECT_EQ(Snapshot(src()), before);
}

TEST_F(OutputRule, ASourceTextEndingInASeparatorNamesTheSameFolder) {
    Page(Src(L"p.jpg"), 6);
    Page(Src(L"sub/q.jpg"), 7);
    const auto before = Snapshot(src());
    window.choices.sourceText = src() + L"/";
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(Src(L"src/p.jpg"))).xDensity, 200);
    EXPECT_EQ(testimg::ReadJpeg(ToUtf8(Src(L"sub/sub/q.jpg"))).xDensity, 200);
    auto after = Snapshot(src());
    for (const auto& [path, bytes] : before) EXPECT_EQ(after[path], bytes) << ToUtf8(path);

    // The root folder has no name: its results would have nowhere to go.
    // The run is refused before anything is listed.
    window.choices.sourceText = L"/";
    ExpectRefused({L"/"});
}

TEST_F(OutputRule, TwoSourcesOfTheSameNameNeverShareADestination) {
    const std::wstring box1 = tmp.wfile(L"box1/scans");
    const std::wstring box2 = tmp.wfile(L"box2/scans");
    Page(PathJoin(box1, L"p.jpg"), 8);
    Page(PathJoin(box2, L"p.jpg"), 9);
    NewFolder(dst());
    window.choices.sourceText = box1;
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    EXPECT_EQ(engine->FailedCount(), 0);
    const std::wstring results = PathJoin(dst(), L"scans");
    const auto firstRun = Snapshot(results);
    ASSERT_EQ(firstRun.count(PathJoin(results, L"p.jpg")), 1u);
    const auto sources2 = Snapshot(tmp.wfile(L"box2"));

    // The second box into the same destination would replace box1's results.
    window.choices.sourceText = box2;
    ExpectRefused({results, box1});
    EXPECT_EQ(Snapshot(results), firstRun);
    EXPECT_EQ(Snapshot(tmp.wfile(L"box2")), sources2);

    // The first box again is its own results' source: allowed.
    dialogs.Clear();
    window.choices.sourceText = box1;
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    EXPECT_TRUE(dialogs.MessageTexts().empty());

    // A folder of that name that holds other files is not taken over either.
    const std::wstring other = tmp.wfile(L"other");
    ASSERT_EQ(CreateFolderPath(PathJoin(other, L"scans")), 1);
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(other, L"scans/keep.jpg"), "mine", 4));
    NewFolder(other);
    window.choices.sourceText = box2;
    ExpectRefused({PathJoin(other, L"scans")});
    EXPECT_EQ(Read(PathJoin(other, L"scans/keep.jpg")), "mine");
}

TEST_F(OutputRule, AutoDetectionNeverFeedsItsResultsBackIn) {
    window.choices.autoDetect = true;
    Page(Src(L"p.jpg"), 10);
    const auto before = Snapshot(src());
    // A destination inside the source is refused outright.
    NewFolder(Src(L"out"));
    ExpectRefused({src()});
    EXPECT_FALSE(files::Exists(Src(L"out")));
    EXPECT_EQ(Snapshot(src()), before);

    // A link inside the source to the destination: the results seen through
    // it are not inputs.
    ASSERT_EQ(CreateFolderPath(dst()), 1);
    ASSERT_EQ(::symlink(ToUtf8(dst()).c_str(), ToUtf8(Src(L"link")).c_str()), 0);
    NewFolder(dst());
    dialogs.Clear();
    engine->OnStartStop();
    EXPECT_TRUE(dialogs.MessageTexts().empty());
    ASSERT_TRUE(PumpUntil([&] { return engine->Pool().CountDone() == 1; }, 60000));
    for (int tick = 0; tick < 4; ++tick) {
        engine->OnAutoDetectTick();
        pump.Pump();
    }
    ASSERT_TRUE(PumpUntil([&] { return engine->Pool().AllDone(); }, 60000));
    EXPECT_EQ(engine->Pool().ItemCount(), 1u);
    engine->OnStartStop();
    ASSERT_TRUE(RunToIdle(60000));
    EXPECT_TRUE(files::Exists(PathJoin(dst(), L"src/p.jpg")));
    EXPECT_FALSE(files::Exists(PathJoin(dst(), L"src/link")));
    EXPECT_EQ(Snapshot(src()).count(Src(L"p.jpg")), 1u);
    EXPECT_EQ(Snapshot(src())[Src(L"p.jpg")], before.at(Src(L"p.jpg")));
}

TEST_F(OutputRule, ALayoutChosenDuringARunIsJudgedByTheSameRule) {
    // A plain run into the source folders; while its first file is being
    // processed the user picks "new folder" with the source's parent: that
    // layout would write the rest onto their sources, so the run's own stays.
    engine->SetProcessorFactory([this] { return std::make_unique<FakeProcessor>(log, gate); });
    Write(Src(L"a.jpg"), "gate a");
    Write(Src(L"b.jpg"), "b");
    window.choices.requestedThreads = 1;
    engine->OnStartStop();
    ASSERT_TRUE(PumpUntil([&] { return gate.Waiting() == 1; }));
    engine->SetDestinationFolder(tmp.wpath());
    engine->SetSaveToNewFolder(true);
    gate.Open();
    ASSERT_TRUE(RunToIdle());
    EXPECT_EQ(engine->FailedCount(), 0);
    EXPECT_EQ(Read(Src(L"a.jpg")), "gate a");
    EXPECT_EQ(Read(Src(L"b.jpg")), "b");
    EXPECT_EQ(Read(Src(L"src/b.jpg")), "b");
}

TEST_F(OutputRule, ADetectionRunNeverCopiesOverTheResultsOfAnEarlierRun) {
    // A page with wide white margins, which the detection flags and copies,
    // and one without. A batch run writes their results first; a detection
    // run into the same results would put the unprocessed pages over them,
    // so it is refused before anything is copied, naming the folder.
    testimg::Picture margins(120, 160, 1);
    std::fill(margins.pixels.begin(), margins.pixels.end(), std::uint8_t{255});
    for (int y = 70; y < 90; ++y)
        for (int x = 50; x < 70; ++x) margins.at(x, y) = 0;
    struct Case {
        std::wstring root;  // of this case's folders
        bool newFolder;
    };
    const Case cases[] = {{tmp.wfile(L"new"), true}, {tmp.wfile(L"same"), false}};
    for (const auto& c : cases) {
        const std::wstring source = PathJoin(c.root, L"src");
        const std::wstring destination = PathJoin(c.root, L"dst");
        // The folder the results of src go to.
        const std::wstring results = PathJoin(c.newFolder ? destination : source, L"src");
        ASSERT_EQ(CreateFolderPath(source), 1);
        ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(PathJoin(source, L"margins.jpg")), margins, 90, 100));
        Page(PathJoin(source, L"full.jpg"), 19);
        window.choices = RunChoices{};
        window.choices.sourceText = source;
        if (c.newFolder) {
            NewFolder(destination);
        } else {
            engine->SetSaveToNewFolder(false);
        }
        DetectSetting::ResetToStart();
        DetectSetting::kind = 1;  // white margins
        engine->OnStartStop();
        ASSERT_TRUE(RunToIdle(60000));
        ASSERT_EQ(engine->FailedCount(), 0);
        ASSERT_TRUE(files::Exists(PathJoin(results, L"margins.jpg")));
        const auto earlier = Snapshot(results);
        const auto sources = Snapshot(source);

        dialogs.Clear();
        engine->StartProcessing(RUN_DETECTION);
        EXPECT_EQ(dialogs.MessageTexts(),
                  std::vector<std::wstring>{L"检测出的图片要复制到目录 " + results +
                                            L"，但其中已有同名文件 full.jpg，复制会覆盖它。请选择其他保存目录，或先移走该目录中的文件。"});
        EXPECT_EQ(window.detectionStarts, 0);
        EXPECT_EQ(engine->Pool().LiveThreads(), 0);
        ASSERT_TRUE(RunToIdle(60000));
        EXPECT_EQ(Snapshot(results), earlier);
        EXPECT_EQ(Snapshot(source), sources);
    }
    DetectSetting::ResetToStart();
}

TEST(RunOutputGuard, InputsAreKnownByIdentityAndNeverReplaced) {
    testdata::TempDir tmp;
    const std::wstring src = tmp.wfile(L"src");
    ASSERT_EQ(CreateFolderPath(src), 1);
    const std::wstring page = PathJoin(src, L"p.jpg");
    ASSERT_TRUE(files::WriteAllAtomic(page, "page", 4));
    ASSERT_EQ(::symlink(ToUtf8(src).c_str(), tmp.file("alias").c_str()), 0);
    ASSERT_EQ(::link(ToUtf8(page).c_str(), tmp.file("hard.jpg").c_str()), 0);
    auto inputs = std::make_shared<RunInputs>();
    inputs->Add(page);

    const CRunOutputGuard guard(true, inputs);
    struct Case {
        std::wstring path;
        bool mayReplace;
    };
    const Case cases[] = {
        {page, false},
        {tmp.wfile(L"alias/p.jpg"), false},     // through a link to its folder
        {tmp.wfile(L"hard.jpg"), false},        // another name of the same file
        {tmp.wfile(L"src/../src/p.jpg"), false},
        {PathJoin(src, L"src/p.jpg"), true},    // not there yet
        {tmp.wfile(L"other.jpg"), true},
    };
    for (const auto& c : cases) EXPECT_EQ(guard.MayReplace(c.path), c.mayReplace) << ToUtf8(c.path);

    // In the source-folder layout a result folder is made and marked; an
    // ordinary folder holding inputs is refused.
    EXPECT_TRUE(guard.MakeOutputFolder(PathJoin(src, L"src")));
    EXPECT_TRUE(IsResultsFolder(PathJoin(src, L"src")));
    EXPECT_FALSE(guard.MakeOutputFolder(src));
    EXPECT_FALSE(IsResultsFolder(src));
    // The new-folder layout makes folders and marks none.
    const CRunOutputGuard plain(false, inputs);
    EXPECT_TRUE(plain.MakeOutputFolder(tmp.wfile(L"out/a/b")));
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"out/a/b")));
    EXPECT_FALSE(IsResultsFolder(tmp.wfile(L"out/a/b")));
}

TEST_F(OutputRule, ADestinationThatCannotBeWrittenIsRefusedBeforeAnythingIsProcessed) {
    // A file stands where a folder of the results must be made: the folder
    // cannot be created (as in a read-only destination), so no result could
    // be written and no failed-file list either.
    Page(Src(L"p.jpg"), 13);
    Page(Src(L"q.jpg"), 14);
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"blocked"), "file", 4));
    struct Case {
        bool newFolder;
        std::wstring named;  // the folder the message names
    };
    const Case cases[] = {
        {true, tmp.wfile(L"blocked/out/src")},
        {false, Src(L"src")},  // the first source folder's result folder
    };
    ASSERT_TRUE(files::WriteAllAtomic(Src(L"src"), "file", 4));  // blocks src/src
    const auto blocked = Snapshot(src());
    for (const auto& c : cases) {
        window.choices = RunChoices{};
        window.choices.sourceText = src();
        window.choices.deskew = false;
        ProcessSetting::dpi.on = 1;
        if (c.newFolder)
            NewFolder(tmp.wfile(L"blocked/out"));
        else
            engine->SetSaveToNewFolder(false);
        ExpectRefused({c.named});
        EXPECT_EQ(Snapshot(src()), blocked);
        EXPECT_TRUE(FailedLists(src()).empty());
    }
}
