// The manual window driven by control id as a user drives it: a folder is
// chosen, a file selected, each operation run from its page (or drawn on the
// view) and compared with the same operation run on a processing object
// directly; the history, saving (also over a multi-page TIFF), previous and
// next file, comparison mode, and the memory the history gives back.
#include <malloc.h>

#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <filesystem>

#include "manual/ManualFixture.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "platform/ui/Keys.h"

using namespace manual_ids;
using manualtest::LoadDirect;
using manualtest::PixelAt;
using manualtest::RunDirect;
using manualtest::SameImage;

namespace {

// A text page as a scanner gives it: yellowed paper, text, a red seal, a dark
// blot near the edge and two binding holes, turned by 1.5 degrees.
synth::Page ScannedPage(int w, int h, std::uint64_t seed) {
    synth::Page page = synth::TextPage(w, h, 24, 150, seed, synth::kYellowedPaper, 6);
    synth::DrawStamp(page, w * 3 / 4, h / 4, 40, 6, synth::kSealRed);
    synth::DrawBlot(page, w - 30, h / 2, 12, synth::kBlack, seed + 1);
    page.FillDisc(25, h / 3, 9, synth::kBlack);
    page.FillDisc(25, 2 * h / 3, 9, synth::kBlack);
    return synth::Turned(page, 1.5, synth::kYellowedPaper);
}

const int kToolButtons[CManualDlg::kPageCount] = {
    IDC_TOOL_CENTER,   IDC_TOOL_CORRECT,  IDC_TOOL_CUTEDGE,      IDC_TOOL_RMBKCOLOR, IDC_TOOL_RMBLACKBOARD, IDC_TOOL_RMSTAINS,
    IDC_TOOL_BINDHOLE, IDC_TOOL_AUTOCONTRAST, IDC_TOOL_ERASE, IDC_TOOL_OUTPUTSIZE, IDC_TOOL_TAIL};

// Bytes the program holds on the heap. A sanitizer's allocator leaves the C
// library's figures at zero, and tells its own (GCC ships no header that
// declares it).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
}  // namespace
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
namespace {
std::size_t HeapInUse() { return __sanitizer_get_current_allocated_bytes(); }
#else
std::size_t HeapInUse() { return mallinfo2().uordblks; }
#endif

std::vector<std::uint8_t> Bytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    files::ReadAll(path, bytes);
    return bytes;
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::size_t CountEntries(const std::wstring& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(std::filesystem::path(folder))) ++n;
    return n;
}

struct Folder {
    testdata::TempDir tmp;
    std::wstring Path() const { return tmp.wpath(); }
};

}  // namespace

class ManualWindowE2E : public ManualTest {};

// Every operation of the window from its page or the view: the window's
// picture afterwards is the one the processing object makes of the picture
// before, with the same record; quarter turns, crops and erasing are also
// checked against the pixels they must give.
TEST_F(ManualWindowE2E, EachOperationMatchesTheProcessor) {
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("page.png"), manualtest::ToPicture(ScannedPage(420, 560, 3)), 2, 8));
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_EQ(d.CurrentPath(), folder.tmp.wfile(L"page.png"));
        ASSERT_TRUE(SameImage(d.CurrentImage(), LoadDirect(d.CurrentPath())));
        ASSERT_EQ(d.History().Texts(), std::vector<std::wstring>{L"1. 原图(当前项)"});

        // Each step: what to do, and the history name it must leave.
        struct Step {
            const wchar_t* name;
            std::function<void()> act;
        };
        auto page = [&](int index) { return DialogDriver(*d.Page(index)); };
        // The page is shown with its tool button, then its button clicked.
        auto show = [&](int index) {
            ASSERT_TRUE(w.Click(kToolButtons[index]));
            ASSERT_EQ(d.CurrentPage(), index);
        };
        auto click = [&](int index, int id) {
            show(index);
            ASSERT_TRUE(page(index).Click(id));
        };
        // Client points of the main view at an offset from the picture's
        // top-left corner.
        auto onPicture = [&](int x, int y) {
            const POINT scroll = d.MainView().Scroll();
            return POINT{x - scroll.x, y - scroll.y};
        };
        POINT from{}, to{};
        const std::vector<Step> steps = {
            {L"去底色", [&] { click(3, IDC_APPLY); }},
            {L"居中", [&] {
                 show(0);
                 ASSERT_TRUE(page(0).Click(center::IDC_VERTICAL));
                 click(0, IDC_APPLY);
             }},
            {L"校正", [&] { click(1, IDC_APPLY); }},
            {L"顺时针旋转90", [&] { click(1, correct::IDC_ROTATE_CW); }},
            {L"逆时针旋转90度", [&] { click(1, correct::IDC_ROTATE_CCW); }},
            {L"切白边", [&] { click(2, cutedge::IDC_WHITE_APPLY); }},
            {L"背景色切边", [&] {
                 show(2);
                 ASSERT_TRUE(page(2).Click(cutedge::IDC_BLACK));
                 click(2, cutedge::IDC_COLOUR_APPLY);
             }},
            {L"去黑底", [&] { click(4, IDC_APPLY); }},
            {L"去黑边或污点", [&] {
                 show(5);
                 ASSERT_TRUE(page(5).Click(stains::IDC_STAINS));
                 ASSERT_TRUE(page(5).Click(stains::IDC_BORDERS));
                 click(5, IDC_APPLY);
             }},
            {L"装订孔", [&] { click(6, IDC_APPLY); }},
            {L"自动对比度", [&] { click(7, IDC_APPLY); }},
            {L"擦除框内", [&] {
                 ASSERT_TRUE(w.Click(IDC_TOOL_ERASE));
                 ASSERT_TRUE(page(8).Click(erase::IDC_INSIDE));
                 from = onPicture(40, 50);
                 to = onPicture(120, 140);
                 ASSERT_TRUE(w.Drag(IDC_MAIN_VIEW, from, to));
             }},
            {L"擦除框外", [&] {
                 ASSERT_TRUE(page(8).Click(erase::IDC_OUTSIDE));
                 from = onPicture(20, 20);
                 to = onPicture(200, 260);
                 ASSERT_TRUE(w.Drag(IDC_MAIN_VIEW, from, to));
             }},
            {L"裁剪", [&] {
                 ASSERT_TRUE(w.Click(IDC_TOOL_TAIL));
                 from = onPicture(30, 30);
                 to = onPicture(150, 190);
                 ASSERT_TRUE(w.Drag(IDC_MAIN_VIEW, from, to));
             }},
        };
        int changed = 0;
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(QString::fromWCharArray(step.name).toStdString()));
            const OwnedImage24 before = d.CurrentImage().Copy();
            const std::size_t entries = d.History().Size();
            step.act();
            ASSERT_EQ(d.History().Size(), std::min<std::size_t>(entries + 1, 10));
            const ManualOperation* entry = d.History().CurrentEntry();
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->name, step.name);
            const OwnedImage24 expected = RunDirect(d.CurrentPath(), *entry, before);
            ASSERT_FALSE(expected.Empty());
            EXPECT_TRUE(SameImage(d.CurrentImage(), expected));
            EXPECT_TRUE(SameImage(entry->snapshot, d.CurrentImage()));
            changed += !SameImage(before, d.CurrentImage());

            // Ground truth for the operations whose result is plain.
            if (entry->type == OpRotate90) {
                EXPECT_EQ(d.CurrentImage().width, before.height);
                EXPECT_EQ(d.CurrentImage().height, before.width);
                // Clockwise, the picture's bottom-left pixel becomes the
                // top-left one; counter-clockwise, its top-right one.
                const bool clockwise = entry->Params<Rotate90OpParams>()->direction == 0;
                const auto corner = clockwise ? PixelAt(before, 0, before.height - 1) : PixelAt(before, before.width - 1, 0);
                const auto now = PixelAt(d.CurrentImage(), 0, 0);
                EXPECT_EQ(std::make_tuple(now.r, now.g, now.b), std::make_tuple(corner.r, corner.g, corner.b));
            }
            if (entry->type == OpCrop || entry->type == OpEraseInside) {
                const RECT r = entry->type == OpCrop ? entry->Params<CropOpParams>()->rect
                                                      : entry->Params<EraseOpParams>()->rect;
                EXPECT_LT(r.left, r.right);
                EXPECT_LT(r.top, r.bottom);
                if (entry->type == OpCrop) {
                    EXPECT_EQ(d.CurrentImage().width, r.right - r.left);
                    EXPECT_EQ(d.CurrentImage().height, r.bottom - r.top);
                    const auto a = PixelAt(d.CurrentImage(), 3, 4);
                    const auto b = PixelAt(before, r.left + 3, r.top + 4);
                    EXPECT_EQ(std::make_tuple(a.r, a.g, a.b), std::make_tuple(b.r, b.g, b.b));
                } else {
                    for (int y = r.top; y < r.bottom; y += 7)
                        for (int x = r.left; x < r.right; x += 7) {
                            const auto p = PixelAt(d.CurrentImage(), x, y);
                            ASSERT_EQ(std::make_tuple(p.r, p.g, p.b), std::make_tuple(255, 255, 255));
                        }
                }
            }
        }
        // Nearly every step changes this page (a second quarter turn back
        // and a cut with nothing to cut may not).
        EXPECT_GE(changed, 11);
        EXPECT_TRUE(dialogs->MessageTexts().empty());
        (void)w;
    });
}

// The history as the list shows it and as the keys and clicks move it;
// saving without a change says so and writes nothing.
TEST_F(ManualWindowE2E, HistoryListKeysAndClicks) {
    Folder folder;
    const testimg::Picture picture = manualtest::ToPicture(ScannedPage(200, 260, 5));
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("p.png"), picture, 2, 8));
    const std::wstring path = folder.tmp.wfile(L"p.png");
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_EQ(d.CurrentPath(), path);
        const std::vector<std::uint8_t> sourceBytes = Bytes(path);

        // Nothing to save with "原图" alone.
        ASSERT_TRUE(w.Click(IDC_SAVE));
        EXPECT_EQ(w.Text(IDC_STATUS), L"没有操作不需保存");
        EXPECT_TRUE(w.IsVisible(IDC_STATUS));

        // Eleven quarter turns: the history keeps "原图" and the last nine.
        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        DialogDriver deskew(*d.Page(1));
        for (int i = 0; i < 11; ++i) ASSERT_TRUE(deskew.Click(i % 2 ? correct::IDC_ROTATE_CCW : correct::IDC_ROTATE_CW));
        std::vector<std::wstring> expected = {L"1. 原图"};
        for (int i = 2; i <= 10; ++i)
            expected.push_back(std::to_wstring(i) + L". " + (i % 2 ? L"逆时针旋转90度" : L"顺时针旋转90"));
        expected.back() += L"(当前项)";
        EXPECT_EQ(w.Items(IDC_HISTORY), expected);
        EXPECT_EQ(d.History().Size(), 10u);

        // Back with the keypad's decimal point and the main row's minus; the
        // keypad's minus does nothing.
        const OwnedImage24 last = d.CurrentImage().Copy();
        ASSERT_TRUE(w.PressKey(VK_DECIMAL));
        EXPECT_EQ(d.History().Current(), 8);
        ASSERT_TRUE(w.PressKey(VK_SUBTRACT));
        EXPECT_EQ(d.History().Current(), 8);
        ASSERT_TRUE(w.PressKey(VK_OEM_MINUS));
        EXPECT_EQ(d.History().Current(), 7);
        EXPECT_TRUE(SameImage(d.CurrentImage(), d.History().At(7)->snapshot));
        EXPECT_EQ(w.Items(IDC_HISTORY)[7], L"8. 顺时针旋转90(当前项)");
        ASSERT_TRUE(w.PressKey(VK_ADD));
        ASSERT_TRUE(w.PressKey(VK_OEM_PLUS));
        ASSERT_TRUE(w.PressKey(VK_ADD));  // already the last entry
        EXPECT_EQ(d.History().Current(), 9);
        EXPECT_TRUE(SameImage(d.CurrentImage(), last));

        // A click on "原图" shows the loaded picture again, fitted; save then
        // still has nothing to write.
        ASSERT_TRUE(w.ClickListItem(IDC_HISTORY, 0));
        EXPECT_EQ(d.History().Current(), 0);
        EXPECT_TRUE(SameImage(d.CurrentImage(), LoadDirect(path)));
        EXPECT_EQ(d.MainView().ImageWidth(), 200);
        ASSERT_TRUE(w.ClickListItem(IDC_HISTORY, -1));  // a click beside the entries
        EXPECT_EQ(d.History().Current(), 0);
        ASSERT_TRUE(w.PressKey('S'));
        EXPECT_EQ(w.Text(IDC_STATUS), L"没有操作不需保存");

        // An operation from entry 3 of 10 drops the seven after it.
        ASSERT_TRUE(w.ClickListItem(IDC_HISTORY, 2));
        ASSERT_TRUE(w.Click(IDC_TOOL_AUTOCONTRAST));
        ASSERT_TRUE(DialogDriver(*d.Page(7)).Click(IDC_APPLY));
        EXPECT_EQ(w.Items(IDC_HISTORY),
                  (std::vector<std::wstring>{L"1. 原图", L"2. 顺时针旋转90", L"3. 逆时针旋转90度", L"4. 自动对比度(当前项)"}));

        EXPECT_EQ(Bytes(path), sourceBytes);
    });
}

// Rotating twice and stepping back shows the once-turned picture fitted;
// after a crop, back shows the whole picture fitted and forward the crop.
TEST_F(ManualWindowE2E, SteppingBackRefitsTheView) {
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("big.png"), manualtest::ToPicture(ScannedPage(2400, 1500, 8)), 2, 8));
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        const float fitted = d.MainView().Zoom();
        ASSERT_LT(fitted, 1.0f);
        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
        const OwnedImage24 once = d.CurrentImage().Copy();
        const float onceZoom = d.MainView().Zoom();
        EXPECT_NE(onceZoom, fitted);  // a tall picture fits smaller
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
        ASSERT_TRUE(w.PressKey(VK_DECIMAL));
        EXPECT_TRUE(SameImage(d.CurrentImage(), once));
        EXPECT_EQ(d.MainView().Zoom(), onceZoom);
        EXPECT_EQ(d.MainView().ImageWidth(), once.width);

        ASSERT_TRUE(w.Click(IDC_TOOL_TAIL));
        const POINT scroll = d.MainView().Scroll();
        ASSERT_TRUE(w.Drag(IDC_MAIN_VIEW, POINT{10 - scroll.x, 10 - scroll.y}, POINT{60 - scroll.x, 90 - scroll.y}));
        const OwnedImage24 cropped = d.CurrentImage().Copy();
        EXPECT_LT(cropped.width, once.width / 2);
        EXPECT_EQ(d.MainView().Zoom(), 1.0f);  // a small crop is shown whole
        ASSERT_TRUE(w.PressKey(VK_OEM_MINUS));
        EXPECT_TRUE(SameImage(d.CurrentImage(), once));
        EXPECT_EQ(d.MainView().Zoom(), onceZoom);
        ASSERT_TRUE(w.PressKey(VK_OEM_PLUS));
        EXPECT_TRUE(SameImage(d.CurrentImage(), cropped));
        EXPECT_EQ(d.MainView().Zoom(), 1.0f);
    });
}

// Save overwrites the source with the shown picture; save-as writes the
// chosen file and keeps the current path, so a later save goes to the
// source again; a save that cannot be written says so and leaves the source
// as it was.
TEST_F(ManualWindowE2E, SaveAndSaveAsWriteTheShownPicture) {
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("doc.png"), manualtest::ToPicture(ScannedPage(300, 400, 11)), 2, 8));
    const std::wstring source = folder.tmp.wfile(L"doc.png");
    const std::wstring copy = folder.tmp.wfile(L"copy.png");
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_TRUE(w.Click(IDC_TOOL_AUTOCONTRAST));
        ASSERT_TRUE(DialogDriver(*d.Page(7)).Type(contrast::IDC_SHADOW, L"5"));
        ASSERT_TRUE(DialogDriver(*d.Page(7)).Click(IDC_APPLY));
        const OwnedImage24 shown = d.CurrentImage().Copy();
        ASSERT_FALSE(SameImage(shown, LoadDirect(source)));

        // Ctrl+S in the edit just typed into does nothing (the edit has it).
        ASSERT_TRUE(w.PressKey('S', true));
        EXPECT_EQ(dialogs->Count(ShownDialog::File), 0u);
        // Save as, with Ctrl+S outside an edit: the filter names the
        // source's extension.
        dialogs->AnswerFile(copy);
        ASSERT_TRUE(w.PressKey('S', true, IDC_FIT));
        const auto shownDialogs = dialogs->Shown();
        ASSERT_FALSE(shownDialogs.empty());
        EXPECT_EQ(shownDialogs.back().kind, ShownDialog::File);
        EXPECT_FALSE(shownDialogs.back().file.open);
        EXPECT_EQ(shownDialogs.back().file.filter, L"(*.png)|*.png||");
        EXPECT_EQ(shownDialogs.back().file.fileName, source);
        // It offers the source's name: replacing a file that exists is asked.
        EXPECT_EQ(shownDialogs.back().file.flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存成功");
        EXPECT_TRUE(SameImage(LoadDirect(copy), shown));
        EXPECT_EQ(d.CurrentPath(), source);
        const std::vector<std::uint8_t> copyBytes = Bytes(copy);
        ASSERT_FALSE(copyBytes.empty());

        // A further operation, then Save: the source, not the copy.
        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
        ASSERT_TRUE(w.Click(IDC_SAVE));
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存成功");
        EXPECT_TRUE(SameImage(LoadDirect(source), d.CurrentImage()));
        EXPECT_EQ(Bytes(copy), copyBytes);

        // Save as into a folder that does not exist fails and says so.
        const std::vector<std::uint8_t> sourceBytes = Bytes(source);
        const std::wstring nowhere = folder.tmp.wfile(L"missing/x.png");
        dialogs->AnswerFile(nowhere);
        ASSERT_TRUE(w.Click(IDC_SAVE_AS));
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存失败: " + nowhere);
        EXPECT_FALSE(files::Exists(nowhere));
        EXPECT_EQ(Bytes(source), sourceBytes);
        // No temporary file is left behind.
        EXPECT_EQ(CountEntries(folder.Path()), 2u);

        // The status line clears itself after three seconds.
        EXPECT_TRUE(PumpUntil([&] { return !w.IsVisible(IDC_STATUS); }, std::chrono::seconds(6)));
        EXPECT_EQ(w.Text(IDC_STATUS), L"");
    });
}

// A key with Ctrl means what was held when the key went down, whichever key
// is let go first: Ctrl+S let go Ctrl first (fast typing, or xdotool's
// ctrl+s) still opens "另存为" and leaves the source alone; S pressed before
// Ctrl is a plain S. The same for F4, and for A and D on the edge page.
TEST_F(ManualWindowE2E, KeyCombinationsAreTheKeysHeldWhenTheKeyWentDown) {
    using Order = DialogDriver::CtrlOrder;
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("doc.png"), manualtest::ToPicture(ScannedPage(200, 260, 5)), 2, 8));
    const std::wstring source = folder.tmp.wfile(L"doc.png");
    struct OrderCase {
        Order order;
        bool ctrl;  // the combination it makes
        const char* name;
    };
    const OrderCase orders[] = {
        {Order::kNone, false, "alone"},
        {Order::kKeyLetGoFirst, true, "Ctrl let go last"},
        {Order::kCtrlLetGoFirst, true, "Ctrl let go first"},
        {Order::kCtrlAfterKey, false, "Ctrl pressed after the key"},
    };
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_EQ(d.CurrentPath(), source);
        int copies = 0;
        for (UINT key : {UINT('S'), VK_F4}) {
            for (const OrderCase& o : orders) {
                SCOPED_TRACE(::testing::Message() << "key " << key << ", " << o.name);
                // A picture that differs from the file: a quarter turn.
                ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
                ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
                const OwnedImage24 shown = d.CurrentImage().Copy();
                ASSERT_FALSE(SameImage(LoadDirect(source), shown));
                const std::vector<std::uint8_t> before = Bytes(source);
                const std::size_t fileDialogs = dialogs->Count(ShownDialog::File);
                const std::wstring copy = folder.tmp.wfile(L"copy" + std::to_wstring(++copies) + L".png");
                if (o.ctrl) dialogs->AnswerFile(copy);
                ASSERT_TRUE(w.TypeKey(key, o.order, IDC_FIT));
                EXPECT_EQ(w.Text(IDC_STATUS), L"保存成功");
                if (o.ctrl) {
                    EXPECT_EQ(dialogs->Count(ShownDialog::File), fileDialogs + 1) << "save-as asks for a file";
                    EXPECT_EQ(Bytes(source), before) << "the source is not overwritten";
                    EXPECT_TRUE(SameImage(LoadDirect(copy), shown));
                } else {
                    EXPECT_EQ(dialogs->Count(ShownDialog::File), fileDialogs);
                    EXPECT_TRUE(SameImage(LoadDirect(source), shown));
                    EXPECT_FALSE(files::Exists(copy));
                }
                EXPECT_EQ(d.CurrentPath(), source);
            }
        }
        EXPECT_EQ(dialogs->Unanswered(), 0u);

        // A on the edge page: with Ctrl the cut by background colour, else
        // the white-margin cut. D: the defaults of the same cut.
        d.ShowPage(2);
        auto& v = ManualSetting::values;
        for (const OrderCase& o : orders) {
            SCOPED_TRACE(o.name);
            ASSERT_TRUE(w.TypeKey('A', o.order, IDC_FIT));
            EXPECT_EQ(d.History().CurrentEntry()->name, o.ctrl ? L"背景色切边" : L"切白边");
            v.cutWhite.ratio = 9.0f;
            v.cutByBkColor.contentRatio = 9.0f;
            ASSERT_TRUE(w.TypeKey('D', o.order, IDC_FIT));
            EXPECT_EQ(v.cutByBkColor.contentRatio, o.ctrl ? 50.0f : 9.0f);
            EXPECT_EQ(v.cutWhite.ratio, o.ctrl ? 9.0f : 2.0f);
        }
    });
}

// The output-size page takes only sizes the batch settings allow (1 to 32768
// pixels a side): others are refused with a message when applied and change
// nothing. A save at a fixed size that cannot be made (beyond the image
// limits) says it failed and leaves the file as it was; a valid size is
// saved at that size.
TEST_F(ManualWindowE2E, FixedOutputSizesThatCannotBeMadeAreNeverReportedAsSaved) {
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("doc.png"), manualtest::ToPicture(ScannedPage(200, 260, 9)), 2, 8));
    const std::wstring source = folder.tmp.wfile(L"doc.png");
    const std::wstring refusal = L"宽和高的范围为1到32768.";
    auto& output = ManualSetting::values.output;
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(correct::IDC_ROTATE_CW));
        ASSERT_TRUE(w.Click(IDC_TOOL_OUTPUTSIZE));
        DialogDriver page(*d.Page(9));
        ASSERT_TRUE(page.Click(output::IDC_FIXED));

        struct Refused {
            const wchar_t* width;
            const wchar_t* height;
        };
        const Refused refused[] = {{L"0", L"300"},      {L"300", L"0"},      {L"-5", L"300"},     {L"300", L"-1"},
                                   {L"40000", L"40000"}, {L"32769", L"300"}, {L"abc", L"300"}};
        for (const Refused& r : refused) {
            SCOPED_TRACE(::testing::Message() << "width " << ToUtf8(r.width) << ", height " << ToUtf8(r.height));
            dialogs->Clear();
            const std::vector<std::uint8_t> before = Bytes(source);
            ASSERT_TRUE(page.Type(output::IDC_WIDTH, r.width));
            ASSERT_TRUE(page.Type(output::IDC_HEIGHT, r.height));
            ASSERT_TRUE(page.Click(IDC_APPLY));
            EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{refusal});
            EXPECT_NE(w.Text(IDC_STATUS), L"保存设置完成");
            EXPECT_EQ(output.mode, manual_setting::kOutputAsResult) << "nothing is stored";
            EXPECT_EQ(output.width, 2480);
            EXPECT_EQ(output.height, 3508);
            EXPECT_EQ(Bytes(source), before);
        }

        // In range, but a colour page of 30000 x 30000 is beyond the image
        // limits: the save fails and says so, the file stays as it was.
        struct Unmade {
            std::int32_t mode, width, height;
        };
        const Unmade unmade[] = {{manual_setting::kOutputFixedPixels, 30000, 30000},
                                 // Values that reach the store some other way.
                                 {manual_setting::kOutputFixedPixels, 0, 300},
                                 {manual_setting::kOutputFixedPixels, 300, -2}};
        for (const Unmade& u : unmade) {
            SCOPED_TRACE(::testing::Message() << u.width << " x " << u.height);
            output.mode = u.mode;
            output.width = u.width;
            output.height = u.height;
            const std::vector<std::uint8_t> before = Bytes(source);
            ASSERT_TRUE(w.Click(IDC_SAVE));
            EXPECT_EQ(w.Text(IDC_STATUS), L"保存失败: 无法按 " + std::to_wstring(u.width) + L" x " +
                                              std::to_wstring(u.height) + L" 像素输出");
            EXPECT_EQ(Bytes(source), before);
            EXPECT_EQ(CountEntries(folder.Path()), 1u) << "no file is left behind";
        }

        // A valid size is applied and saved at that size.
        dialogs->Clear();
        ASSERT_TRUE(page.Type(output::IDC_WIDTH, L"150"));
        ASSERT_TRUE(page.Type(output::IDC_HEIGHT, L"120"));
        ASSERT_TRUE(page.Click(IDC_APPLY));
        EXPECT_TRUE(dialogs->MessageTexts().empty());
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存设置完成");
        EXPECT_EQ(output.mode, manual_setting::kOutputFixedPixels);
        ASSERT_TRUE(w.Click(IDC_SAVE));
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存成功");
        const testimg::PngInfo saved = testimg::ReadPng(folder.tmp.file("doc.png"));
        ASSERT_TRUE(saved.ok);
        EXPECT_EQ(saved.width, 150);
        EXPECT_EQ(saved.height, 120);
    });
}

// A multi-page TIFF: the window edits page 1; saving writes the edited page
// as page 1 and keeps the other pages, unchanged and in order.
TEST_F(ManualWindowE2E, SavingAMultiPageTiffKeepsTheOtherPages) {
    Folder folder;
    std::vector<testimg::TiffPage> pages;
    for (unsigned i = 0; i < 3; ++i) pages.emplace_back(testimg::Pattern(120, 90, 3, 40 + i), 8, 2, 1);
    const std::string file = folder.tmp.file("book.tif");
    ASSERT_TRUE(testimg::WriteTiff(file, pages));
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_EQ(d.CurrentImage().width, 120);
        ASSERT_TRUE(w.Click(IDC_TOOL_ERASE));
        const POINT scroll = d.MainView().Scroll();
        ASSERT_TRUE(w.Drag(IDC_MAIN_VIEW, POINT{5 - scroll.x, 5 - scroll.y}, POINT{50 - scroll.x, 40 - scroll.y}));
        ASSERT_EQ(d.History().Size(), 2u);
        ASSERT_TRUE(w.Click(IDC_SAVE));
        EXPECT_EQ(w.Text(IDC_STATUS), L"保存成功");
    });
    const auto written = testimg::ReadTiff(file);
    ASSERT_EQ(written.size(), 3u);
    // Page 1: the erased box is white, the rest is the original page.
    const testimg::Picture& first = written[0].rgb;
    ASSERT_EQ(first.width, 120);
    EXPECT_EQ(first.at(20, 20, 0), 255);
    EXPECT_EQ(first.at(20, 20, 1), 255);
    EXPECT_EQ(first.at(20, 20, 2), 255);
    EXPECT_EQ(first.at(100, 80, 1), pages[0].picture.at(100, 80, 1));
    for (std::size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(written[i].rgb.pixels, pages[i].picture.pixels);
    }
    EXPECT_EQ(CountEntries(folder.tmp.wpath()), 1u);
}

// Previous on the first file selects the last, next on the last the first;
// the keys do the same as the buttons.
TEST_F(ManualWindowE2E, PreviousAndNextFileWrapAround) {
    Folder folder;
    for (const char* name : {"a.png", "b.png", "c.png"})
        ASSERT_TRUE(testimg::WritePng(folder.tmp.file(name), testimg::Pattern(40, 30, 3, name[0]), 2, 8));
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        const auto& files = d.DirPage().Finder(true).FileList();
        ASSERT_EQ(files.size(), 3u);
        ASSERT_EQ(d.CurrentPath(), files[0]->fullPath);
        ASSERT_TRUE(w.Click(IDC_PREV_FILE));
        EXPECT_EQ(d.CurrentPath(), files[2]->fullPath);
        EXPECT_EQ(d.History().Texts(), std::vector<std::wstring>{L"1. 原图(当前项)"});
        ASSERT_TRUE(w.Click(IDC_NEXT_FILE));
        EXPECT_EQ(d.CurrentPath(), files[0]->fullPath);
        ASSERT_TRUE(w.PressKey('N'));
        EXPECT_EQ(d.CurrentPath(), files[1]->fullPath);
        ASSERT_TRUE(w.PressKey(VK_F1));
        ASSERT_TRUE(w.PressKey('P'));
        EXPECT_EQ(d.CurrentPath(), files[2]->fullPath);
        EXPECT_TRUE(SameImage(d.CurrentImage(), LoadDirect(files[2]->fullPath)));
        EXPECT_EQ(w.Text(IDC_FILE_PATH), files[2]->fullPath);
    });
}

// Comparison mode: a file chosen in the processed tree shows its twin of the
// original folder beside it; one chosen in the original tree loads its twin
// of the processed folder as the picture to work on.
TEST_F(ManualWindowE2E, ComparisonModeLoadsTheTwin) {
    Folder folder;
    const std::string processed = folder.tmp.file("b");
    const std::string original = folder.tmp.file("a");
    MakeDirs(processed + "/x");
    MakeDirs(original + "/x");
    ASSERT_TRUE(testimg::WritePng(processed + "/x/1.png", testimg::Pattern(60, 40, 3, 1), 2, 8));
    ASSERT_TRUE(testimg::WritePng(original + "/x/1.png", testimg::Pattern(64, 48, 3, 2), 2, 8));
    MakeDirs(processed + "/empty/deeper");
    const std::wstring processedFile = folder.tmp.wfile(L"b/x/1.png");
    const std::wstring originalFile = folder.tmp.wfile(L"a/x/1.png");
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        DialogDriver page(d.DirPage());
        EXPECT_FALSE(w.IsEnabled(IDC_VIEW_MODE));
        EXPECT_FALSE(page.IsVisible(dir::IDC_ORIGINAL_FOLDER));
        ASSERT_TRUE(page.Click(dir::IDC_COMPARE));
        EXPECT_TRUE(d.SideBySide());
        EXPECT_TRUE(w.IsVisible(IDC_SECOND_VIEW));
        EXPECT_TRUE(w.IsEnabled(IDC_VIEW_MODE));
        EXPECT_TRUE(page.IsVisible(dir::IDC_ORIGINAL_FOLDER));

        BrowseOriginal(d, folder.tmp.wfile(L"a"));
        // The original tree is shown and its first file selected: the
        // processed twin is the picture to work on, the file itself the second.
        EXPECT_TRUE(page.IsChecked(dir::IDC_SHOW_ORIGINAL));
        EXPECT_TRUE(d.CurrentPath().empty());  // no processed folder yet
        BrowseProcessed(d, folder.tmp.wfile(L"b"));
        EXPECT_EQ(d.CurrentPath(), processedFile);
        EXPECT_TRUE(SameImage(d.CurrentImage(), LoadDirect(processedFile)));
        EXPECT_TRUE(SameImage(d.OriginalImage(), LoadDirect(originalFile)));
        EXPECT_EQ(d.SecondView().ImageWidth(), 64);
        // Only the folders that lead to images are listed.
        EXPECT_EQ(d.DirPage().Tree().GetCount(), 2u);

        ASSERT_TRUE(page.Click(dir::IDC_SHOW_ORIGINAL));
        EXPECT_EQ(d.CurrentPath(), processedFile);
        EXPECT_TRUE(SameImage(d.OriginalImage(), LoadDirect(originalFile)));
        EXPECT_EQ(d.MapToOriginalPath(processedFile), originalFile);
        EXPECT_EQ(d.MapToProcessedPath(originalFile), processedFile);

        // The view button toggles; back in direct mode the processed tree
        // returns and the single view is forced.
        ASSERT_TRUE(w.Click(IDC_VIEW_MODE));
        EXPECT_FALSE(d.SideBySide());
        EXPECT_FALSE(w.IsVisible(IDC_SECOND_VIEW));
        ASSERT_TRUE(w.Click(IDC_VIEW_MODE));
        EXPECT_TRUE(d.SideBySide());
        ASSERT_TRUE(page.Click(dir::IDC_DIRECT));
        EXPECT_FALSE(d.SideBySide());
        EXPECT_TRUE(page.IsChecked(dir::IDC_SHOW_PROCESSED));
        EXPECT_FALSE(page.IsChecked(dir::IDC_SHOW_ORIGINAL));
        EXPECT_FALSE(w.IsEnabled(IDC_VIEW_MODE));

        // "打开所在文件夹" on the file opens its folder.
        ASSERT_TRUE(page.Click(dir::IDC_OPEN_FOLDER));
        const auto shown = dialogs->Shown();
        ASSERT_EQ(shown.back().kind, ShownDialog::Shell);
        EXPECT_EQ(shown.back().text, L"explorer");
        EXPECT_EQ(shown.back().parameters, folder.tmp.wfile(L"b/x"));
        // Without a file manager the user is told where the folder is.
        dialogs->Clear();
        dialogs->AnswerShell(false);
        ASSERT_TRUE(page.Click(dir::IDC_OPEN_FOLDER));
        EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{L"无法打开文件夹: " + folder.tmp.wfile(L"b/x")});
    });
}

// Ten colour pages in the history are tens of megabytes; they are given
// back when another file is loaded and when the window closes.
TEST_F(ManualWindowE2E, HistoryPicturesAreFreed) {
    Folder folder;
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("a.png"), testimg::Pattern(1600, 1200, 3, 9), 2, 8));
    ASSERT_TRUE(testimg::WritePng(folder.tmp.file("b.png"), testimg::Pattern(16, 12, 3, 9), 2, 8));
    constexpr std::size_t kPicture = 1600 * 3 * 1200;
    const std::size_t before = HeapInUse();
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        BrowseProcessed(d, folder.Path());
        ASSERT_EQ(d.CurrentImage().width, 1600);
        ASSERT_TRUE(w.Click(IDC_TOOL_AUTOCONTRAST));
        for (int i = 0; i < 12; ++i) ASSERT_TRUE(DialogDriver(*d.Page(7)).Click(IDC_APPLY));
        ASSERT_EQ(d.History().Size(), 10u);
        EXPECT_EQ(d.History().SnapshotBytes(), 10 * kPicture);
        const std::size_t full = HeapInUse();
        EXPECT_GT(full, before + 10 * kPicture);
        // Another file: the big pictures go.
        ASSERT_TRUE(w.Click(IDC_NEXT_FILE));
        ASSERT_EQ(d.CurrentImage().width, 16);
        const std::size_t other = HeapInUse();
        EXPECT_LT(other + 10 * kPicture, full);
        ASSERT_TRUE(w.Click(IDC_PREV_FILE));
        for (int i = 0; i < 9; ++i) ASSERT_TRUE(DialogDriver(*d.Page(7)).Click(IDC_APPLY));
        EXPECT_GT(HeapInUse(), before + 10 * kPicture);
    });
    // Closed: within a picture of where it started (the view layer keeps a
    // little).
    EXPECT_LT(HeapInUse(), before + kPicture);
    EXPECT_EQ(dlg.History().Size(), 0u);
    EXPECT_TRUE(dlg.CurrentImage().Empty());
}

// The window in comparison mode after an operation, for the documentation.
TEST_F(ManualWindowE2E, Screenshot) {
    Folder folder;
    const std::string processed = folder.tmp.file("processed");
    const std::string original = folder.tmp.file("original");
    MakeDirs(processed);
    MakeDirs(original);
    const synth::Page page = ScannedPage(620, 877, 21);
    ASSERT_TRUE(testimg::WriteJpeg(original + "/page1.jpg", manualtest::ToPicture(page), 90, 150));
    ASSERT_TRUE(testimg::WriteJpeg(processed + "/page1.jpg", manualtest::ToPicture(page), 90, 150));
    CManualDlg dlg;
    Open(dlg, [&](CManualDlg& d, DialogDriver& w) {
        ASSERT_TRUE(DialogDriver(d.DirPage()).Click(dir::IDC_COMPARE));
        BrowseOriginal(d, QString::fromStdString(original).toStdWString());
        BrowseProcessed(d, QString::fromStdString(processed).toStdWString());
        ASSERT_FALSE(d.OriginalImage().Empty());
        ASSERT_TRUE(w.Click(IDC_TOOL_CORRECT));
        ASSERT_TRUE(DialogDriver(*d.Page(1)).Click(IDC_APPLY));
        ASSERT_TRUE(w.Click(IDC_TOOL_RMBKCOLOR));
        ASSERT_TRUE(DialogDriver(*d.Page(3)).Click(IDC_APPLY));
        ASSERT_EQ(d.History().Size(), 3u);
        PumpUntil([] { return false; }, std::chrono::milliseconds(100));

        QWidget* window = d.Widget()->window();
        const char* dir = std::getenv("TESSAVAN_SCREENSHOT_DIR");
        const std::string file = (dir ? std::string(dir) : folder.tmp.path()) + "/manual-window.png";
        ASSERT_TRUE(window->grab().save(QString::fromStdString(file), "PNG"));
        const QImage shot(QString::fromStdString(file));
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), window->size());
        // The view's checkerboard shows beside the fitted page.
        QWidget* view = d.MainView().Widget();
        const QPoint corner = view->mapTo(window, QPoint(2, 2));
        const QColor c = shot.pixelColor(corner);
        EXPECT_TRUE(c.red() == 200 || c.red() == 255) << c.red();
    });
}
