// Message boxes, folder browser, file dialogs, colour picker and the shell's
// "open", behind one replaceable interface. Code below the user interface (the
// processing core, workers) raises messages through here; the Qt layer
// installs the implementation that shows real dialogs (on the UI thread, also
// when asked from a worker), and tests install a scripted one that records
// and answers (ScriptedUserDialogs.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/Messages.h"
#include "platform/core/WinTypes.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_TYPEMASK = 0xF;
constexpr UINT MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// File dialog options.
constexpr DWORD OFN_READONLY = 0x1;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
constexpr DWORD OFN_HIDEREADONLY = 0x4;
constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;

// Show commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Shows the text and returns the button chosen (IDOK, IDYES, ...). May be
    // called from any thread.
    virtual int Show(const std::wstring& text, const std::wstring& caption, UINT type) = 0;
};

// What a file dialog is asked to show.
struct FileDialogRequest {
    bool open = true;          // an open dialog, else a save dialog
    std::wstring defaultExt;   // added to a typed name without extension ("jpg", no dot)
    std::wstring fileName;     // initial file name or path
    DWORD flags = 0;           // OFN_*
    // Filter pairs as "text|pattern|text|pattern||", patterns separated by ';'.
    std::wstring filter;
};

// Every dialog of the system and the shell's "open". All functions may be
// called from any thread; they return when the user has answered.
class IUserDialogs : public IMessageBoxes {
public:
    // The folder browser. True and the chosen folder in `folder` when the user
    // picks one; false and `folder` unchanged when the user cancels.
    virtual bool BrowseForFolder(const std::wstring& title, std::wstring& folder) = 0;
    // The file dialog. True and the chosen full path in `path` on OK.
    virtual bool GetFileName(const FileDialogRequest& request, std::wstring& path) = 0;
    // The colour picker. True and the chosen colour in `chosen` on OK.
    virtual bool ChooseColor(COLORREF initial, COLORREF& chosen) = 0;
    // The shell: `operation` "open" (or empty, the default action) on `file`
    // (a path, a URL, or a program such as "explorer" with `parameters`).
    // True when it was started.
    virtual bool ShellExecute(const std::wstring& operation, const std::wstring& file,
                              const std::wstring& parameters) = 0;
};

// The installed implementations. The default (no user interface) writes
// messages to the standard error stream and answers the first button (IDOK or
// IDYES); pickers answer "cancel" and the shell does nothing.
IMessageBoxes& MessageBoxes();
IUserDialogs& UserDialogs();
// Installs `impl` (not owned) for every dialog; null restores the default.
// Returns the implementation installed before.
IUserDialogs* SetUserDialogs(IUserDialogs* impl);
// Installs `impl` (not owned) for the message boxes only; null restores the
// message boxes of the installed IUserDialogs.
void SetMessageBoxes(IMessageBoxes* impl);

// The caption the program's own message boxes carry.
inline const std::wstring kDefaultCaption = L"提示";

int MessageBoxW(const std::wstring& text, const std::wstring& caption, UINT type = MB_OK);
// A message box with the program's caption.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);

// The folder browser with a title; see IUserDialogs::BrowseForFolder.
bool BrowseForFolder(const std::wstring& title, std::wstring& folder);

// A file dialog held by value, as the dialog code uses it: construct, DoModal
// (IDOK or IDCANCEL), then read the chosen path.
class CFileDialog {
public:
    CFileDialog(bool openFileDialog, const wchar_t* defaultExt = nullptr, const wchar_t* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const wchar_t* filter = nullptr);
    int DoModal();
    std::wstring GetPathName() const { return path_; }
    std::wstring GetFileName() const;  // name with extension
    std::wstring GetFileExt() const;   // extension without the dot
    const FileDialogRequest& Request() const { return request_; }

private:
    FileDialogRequest request_;
    std::wstring path_;
};

// The colour picker held by value: DoModal (IDOK or IDCANCEL), then GetColor.
class CColorDialog {
public:
    explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0) : color_(initial) {}
    int DoModal();
    COLORREF GetColor() const { return color_; }

private:
    COLORREF color_;
};

// Shows `folder` in the desktop's file manager (the shell's "explorer" with
// the folder as its parameter). When none can be started (a desktop without
// a file-manager launcher) the user is told so with the folder's path:
// "无法打开文件夹: <folder>", caption "提示". True when it was shown.
bool ShowFolderInFileManager(const std::wstring& folder);

// The shell's execute: returns a value above 32 when it was started, as
// callers of the shell expect; 2 (file not found) when not.
std::intptr_t ShellExecuteW(HWND owner, const wchar_t* operation, const wchar_t* file, const wchar_t* parameters,
                            const wchar_t* directory, int showCommand);
