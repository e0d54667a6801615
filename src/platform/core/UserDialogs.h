// Message boxes, behind one replaceable interface. Code below the user
// interface (the processing core, workers) raises messages through here;
// the Qt layer installs the implementation that shows real dialogs (on the
// UI thread, also when asked from a worker), and tests install a scripted
// one that records and answers.
#pragma once

#include <string>

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

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // Shows the text and returns the button chosen (IDOK, IDYES, ...). May be
    // called from any thread.
    virtual int Show(const std::wstring& text, const std::wstring& caption, UINT type) = 0;
};

// The installed implementation; the default one writes the message to the
// standard error stream and answers with the first button (IDOK or IDYES).
IMessageBoxes& MessageBoxes();
// Installs `impl` (not owned); null restores the default.
void SetMessageBoxes(IMessageBoxes* impl);

// The caption the program's own message boxes carry.
inline const std::wstring kDefaultCaption = L"提示";

int MessageBoxW(const std::wstring& text, const std::wstring& caption, UINT type = MB_OK);
// A message box with the program's caption.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);
