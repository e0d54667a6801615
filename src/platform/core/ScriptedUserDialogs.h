// A scripted stand-in for every dialog, for tests: it records what was shown
// (from any thread) and answers from queues the test fills beforehand. While
// it lives it is the installed IUserDialogs; destroying it reinstalls the
// one before.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/UserDialogs.h"

struct ShownDialog {
    enum Kind { MessageBox, Folder, File, Color, Shell };
    Kind kind = MessageBox;
    std::wstring text;        // message text; folder browser title; shell file
    std::wstring caption;     // message caption; shell operation
    UINT type = 0;            // message box type (MB_*)
    FileDialogRequest file;   // file dialogs
    std::wstring parameters;  // shell parameters
    COLORREF initialColor = 0;
    std::thread::id thread;   // the thread that asked
    bool answered = false;    // false when no scripted answer was queued
    int result = 0;           // message box: the button; others: 1 for OK, 0 for cancel
};

class ScriptedUserDialogs final : public IUserDialogs {
public:
    ScriptedUserDialogs();
    ~ScriptedUserDialogs() override;
    ScriptedUserDialogs(const ScriptedUserDialogs&) = delete;
    ScriptedUserDialogs& operator=(const ScriptedUserDialogs&) = delete;

    // Answers for the next calls, in order. Without a queued answer a message
    // box answers its first button (IDOK or IDYES), pickers cancel and the
    // shell reports success; such calls are counted as unanswered.
    void AnswerMessageBox(int button);
    void AnswerFolder(std::optional<std::wstring> folder);  // nullopt: cancel
    void AnswerFile(std::optional<std::wstring> path);
    void AnswerColor(std::optional<COLORREF> color);
    void AnswerShell(bool started);

    // Called on the asking thread with each record before it is answered, so
    // a test can act while the "dialog is open".
    void OnShow(std::function<void(const ShownDialog&)> callback);

    std::vector<ShownDialog> Shown() const;
    // The texts of the message boxes shown, in order.
    std::vector<std::wstring> MessageTexts() const;
    std::size_t Count(ShownDialog::Kind kind) const;
    std::size_t Unanswered() const;
    void Clear();

    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override;
    bool BrowseForFolder(const std::wstring& title, std::wstring& folder) override;
    bool GetFileName(const FileDialogRequest& request, std::wstring& path) override;
    bool ChooseColor(COLORREF initial, COLORREF& chosen) override;
    bool ShellExecute(const std::wstring& operation, const std::wstring& file,
                      const std::wstring& parameters) override;

private:
    template <typename T>
    std::optional<T> Take(std::deque<T>& queue, ShownDialog& record);
    void Record(const ShownDialog& record);

    mutable std::mutex mutex_;
    std::deque<int> boxes_;
    std::deque<std::optional<std::wstring>> folders_;
    std::deque<std::optional<std::wstring>> files_;
    std::deque<std::optional<COLORREF>> colors_;
    std::deque<bool> shell_;
    std::function<void(const ShownDialog&)> onShow_;
    std::vector<ShownDialog> shown_;
    IUserDialogs* previous_;
};
