#include "platform/core/UserDialogs.h"

#include <atomic>
#include <cstdio>

#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

namespace {

class DefaultUserDialogs final : public IUserDialogs {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override {
        std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        switch (type & MB_TYPEMASK) {
            case MB_YESNO:
            case MB_YESNOCANCEL: return IDYES;
            default: return IDOK;
        }
    }
    bool BrowseForFolder(const std::wstring&, std::wstring&) override { return false; }
    bool GetFileName(const FileDialogRequest&, std::wstring&) override { return false; }
    bool ChooseColor(COLORREF, COLORREF&) override { return false; }
    bool ShellExecute(const std::wstring&, const std::wstring&, const std::wstring&) override { return false; }
};

DefaultUserDialogs g_default;
std::atomic<IUserDialogs*> g_dialogs{&g_default};
std::atomic<IMessageBoxes*> g_boxes{&g_default};

}  // namespace

IMessageBoxes& MessageBoxes() { return *g_boxes.load(); }
IUserDialogs& UserDialogs() { return *g_dialogs.load(); }

IUserDialogs* SetUserDialogs(IUserDialogs* impl) {
    IUserDialogs* next = impl ? impl : &g_default;
    g_boxes.store(next);
    return g_dialogs.exchange(next);
}

void SetMessageBoxes(IMessageBoxes* impl) { g_boxes.store(impl ? impl : g_dialogs.load()); }

int MessageBoxW(const std::wstring& text, const std::wstring& caption, UINT type) {
    return MessageBoxes().Show(text, caption, type);
}

int AfxMessageBox(const std::wstring& text, UINT type) { return MessageBoxW(text, kDefaultCaption, type); }

bool BrowseForFolder(const std::wstring& title, std::wstring& folder) {
    return UserDialogs().BrowseForFolder(title, folder);
}

CFileDialog::CFileDialog(bool openFileDialog, const wchar_t* defaultExt, const wchar_t* fileName, DWORD flags,
                         const wchar_t* filter) {
    request_.open = openFileDialog;
    if (defaultExt) request_.defaultExt = defaultExt;
    if (fileName) request_.fileName = fileName;
    request_.flags = flags;
    if (filter) request_.filter = filter;
}

int CFileDialog::DoModal() {
    std::wstring path;
    if (!UserDialogs().GetFileName(request_, path)) return IDCANCEL;
    path_ = path;
    return IDOK;
}

std::wstring CFileDialog::GetFileName() const { return PathFileName(path_); }
std::wstring CFileDialog::GetFileExt() const { return PathExtension(path_); }

int CColorDialog::DoModal() {
    COLORREF chosen = color_;
    if (!UserDialogs().ChooseColor(color_, chosen)) return IDCANCEL;
    color_ = chosen;
    return IDOK;
}

bool ShowFolderInFileManager(const std::wstring& folder) {
    if (UserDialogs().ShellExecute(L"", L"explorer", folder)) return true;
    MessageBoxW(L"无法打开文件夹: " + folder, kDefaultCaption, MB_OK);
    return false;
}

std::intptr_t ShellExecuteW(HWND, const wchar_t* operation, const wchar_t* file, const wchar_t* parameters,
                            const wchar_t*, int) {
    const bool started = UserDialogs().ShellExecute(operation ? operation : L"", file ? file : L"",
                                                    parameters ? parameters : L"");
    return started ? 33 : 2;
}
