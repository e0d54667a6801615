#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/core/ScriptedUserDialogs.h"
#include "platform/core/UserDialogs.h"

TEST(ScriptedDialogs, RecordsMessageBoxesAndAnswersInOrder) {
    ScriptedUserDialogs dialogs;
    dialogs.AnswerMessageBox(IDCANCEL);
    EXPECT_EQ(AfxMessageBox(L"处理完成后才能使用此功能。", MB_OKCANCEL), IDCANCEL);
    // Nothing queued: the first button, and the call counts as unanswered.
    EXPECT_EQ(MessageBoxW(L"second", L"Tessavan", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(AfxMessageBox(L"third"), IDOK);

    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, L"提示");
    EXPECT_EQ(shown[0].type, MB_OKCANCEL);
    EXPECT_TRUE(shown[0].answered);
    EXPECT_EQ(shown[1].caption, L"Tessavan");
    EXPECT_EQ(shown[1].result, IDYES);
    EXPECT_FALSE(shown[1].answered);
    EXPECT_EQ(dialogs.Unanswered(), 2u);
    EXPECT_EQ(dialogs.MessageTexts(),
              (std::vector<std::wstring>{L"处理完成后才能使用此功能。", L"second", L"third"}));
}

TEST(ScriptedDialogs, PickersAnswerOrCancel) {
    ScriptedUserDialogs dialogs;
    struct Case { std::optional<std::wstring> answer; bool ok; std::wstring folderAfter; };
    const Case cases[] = {
        {std::wstring(L"/data/扫描"), true, L"/data/扫描"},
        {std::nullopt, false, L"/unchanged"},
    };
    for (const auto& c : cases) {
        dialogs.AnswerFolder(c.answer);
        std::wstring folder = L"/unchanged";
        EXPECT_EQ(BrowseForFolder(L"请选择目录", folder), c.ok);
        EXPECT_EQ(folder, c.folderAfter);
    }
    // No answer queued: cancel.
    std::wstring folder = L"/keep";
    EXPECT_FALSE(BrowseForFolder(L"请选择要保存的目录", folder));
    EXPECT_EQ(folder, L"/keep");

    dialogs.AnswerFile(std::wstring(L"/out/a.tif"));
    CFileDialog save(false, nullptr, L"/in/a.jpg", OFN_HIDEREADONLY, L"(*.jpg)|*.jpg||");
    ASSERT_EQ(save.DoModal(), IDOK);
    EXPECT_EQ(save.GetPathName(), L"/out/a.tif");
    EXPECT_EQ(save.GetFileName(), L"a.tif");
    EXPECT_EQ(save.GetFileExt(), L"tif");
    CFileDialog open(true, L"jpg");
    EXPECT_EQ(open.DoModal(), IDCANCEL);
    EXPECT_EQ(open.GetPathName(), L"");

    dialogs.AnswerColor(RGB(1, 2, 3));
    CColorDialog colour(RGB(200, 127, 0));
    ASSERT_EQ(colour.DoModal(), IDOK);
    EXPECT_EQ(colour.GetColor(), RGB(1, 2, 3));
    CColorDialog cancelled(RGB(9, 9, 9));
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.GetColor(), RGB(9, 9, 9));

    EXPECT_GT(ShellExecuteW(HWND(), nullptr, L"explorer", L"/data/扫描", nullptr, SW_SHOW), 32);
    dialogs.AnswerShell(false);
    EXPECT_EQ(ShellExecuteW(HWND(), L"open", L"http://example.invalid/", nullptr, nullptr, SW_SHOW), 2);

    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown[0].kind, ShownDialog::Folder);
    EXPECT_EQ(shown[0].text, L"请选择目录");
    EXPECT_EQ(shown[3].kind, ShownDialog::File);
    EXPECT_FALSE(shown[3].file.open);
    EXPECT_EQ(shown[3].file.fileName, L"/in/a.jpg");
    EXPECT_EQ(shown[3].file.filter, L"(*.jpg)|*.jpg||");
    EXPECT_EQ(shown[3].file.flags, OFN_HIDEREADONLY);
    EXPECT_TRUE(shown[4].file.open);
    EXPECT_EQ(shown[4].file.defaultExt, L"jpg");
    EXPECT_EQ(shown[5].initialColor, RGB(200, 127, 0));
    EXPECT_EQ(shown[7].kind, ShownDialog::Shell);
    EXPECT_EQ(shown[7].caption, L"");
    EXPECT_EQ(shown[7].text, L"explorer");
    EXPECT_EQ(shown[7].parameters, L"/data/扫描");
    EXPECT_EQ(shown[8].caption, L"open");
}

TEST(ScriptedDialogs, AFolderTheFileManagerCannotShowIsNamedInAMessage) {
    ScriptedUserDialogs dialogs;
    EXPECT_TRUE(ShowFolderInFileManager(L"/data/扫描"));
    dialogs.AnswerShell(false);
    EXPECT_FALSE(ShowFolderInFileManager(L"/data/处理/a b"));
    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, ShownDialog::Shell);
    EXPECT_EQ(shown[0].text, L"explorer");
    EXPECT_EQ(shown[0].parameters, L"/data/扫描");
    EXPECT_EQ(shown[1].kind, ShownDialog::Shell);
    EXPECT_EQ(shown[1].parameters, L"/data/处理/a b");
    EXPECT_EQ(shown[2].kind, ShownDialog::MessageBox);
    EXPECT_EQ(shown[2].text, L"无法打开文件夹: /data/处理/a b");
    EXPECT_EQ(shown[2].caption, L"提示");
}

TEST(ScriptedDialogs, WorkerBoxesAreRecordedWithTheirThreadAndTheCallbackSeesThem) {
    ScriptedUserDialogs dialogs;
    std::atomic<int> seen{0};
    dialogs.OnShow([&](const ShownDialog& d) {
        if (d.text == L"出错了哦(Error accour)") ++seen;
    });
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        AfxMessageBox(L"出错了哦(Error accour)");
    });
    worker.join();
    ASSERT_EQ(dialogs.Count(ShownDialog::MessageBox), 1u);
    EXPECT_EQ(dialogs.Shown()[0].thread, workerId);
    EXPECT_EQ(seen.load(), 1);
}

TEST(ScriptedDialogs, InstallingAndRemovingRestoresWhatWasThere) {
    IUserDialogs* before = &UserDialogs();
    {
        ScriptedUserDialogs outer;
        EXPECT_EQ(&UserDialogs(), &outer);
        {
            ScriptedUserDialogs inner;
            EXPECT_EQ(&UserDialogs(), &inner);
            AfxMessageBox(L"to inner");
            // Replacing only the message boxes leaves the pickers alone.
            ScriptedUserDialogs boxesOnly;
            SetUserDialogs(&inner);
            SetMessageBoxes(&boxesOnly);
            AfxMessageBox(L"to boxesOnly");
            std::wstring f;
            BrowseForFolder(L"t", f);
            SetMessageBoxes(nullptr);
            AfxMessageBox(L"to inner again");
            EXPECT_EQ(boxesOnly.MessageTexts(), std::vector<std::wstring>{L"to boxesOnly"});
            EXPECT_EQ(inner.MessageTexts(), (std::vector<std::wstring>{L"to inner", L"to inner again"}));
            EXPECT_EQ(inner.Count(ShownDialog::Folder), 1u);
            SetUserDialogs(&inner);
        }
        EXPECT_EQ(&UserDialogs(), &outer);
        EXPECT_EQ(outer.Shown().size(), 0u);
    }
    EXPECT_EQ(&UserDialogs(), before);
    EXPECT_EQ(&MessageBoxes(), static_cast<IMessageBoxes*>(before));
}
