#include "platform/core/ScriptedUserDialogs.h"

#include <algorithm>

ScriptedUserDialogs::ScriptedUserDialogs() : previous_(SetUserDialogs(this)) {}

ScriptedUserDialogs::~ScriptedUserDialogs() { SetUserDialogs(previous_); }

void ScriptedUserDialogs::AnswerMessageBox(int button) {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back(button);
}
void ScriptedUserDialogs::AnswerFolder(std::optional<std::wstring> folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.push_back(std::move(folder));
}
void ScriptedUserDialogs::AnswerFile(std::optional<std::wstring> path) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.push_back(std::move(path));
}
void ScriptedUserDialogs::AnswerColor(std::optional<COLORREF> color) {
    std::lock_guard<std::mutex> lock(mutex_);
    colors_.push_back(color);
}
void ScriptedUserDialogs::AnswerShell(bool started) {
    std::lock_guard<std::mutex> lock(mutex_);
    shell_.push_back(started);
}

void ScriptedUserDialogs::OnShow(std::function<void(const ShownDialog&)> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    onShow_ = std::move(callback);
}

std::vector<ShownDialog> ScriptedUserDialogs::Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

std::vector<std::wstring> ScriptedUserDialogs::MessageTexts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> texts;
    for (const auto& s : shown_)
        if (s.kind == ShownDialog::MessageBox) texts.push_back(s.text);
    return texts;
}

std::size_t ScriptedUserDialogs::Count(ShownDialog::Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(shown_.begin(), shown_.end(), [&](const ShownDialog& s) { return s.kind == kind; }));
}

std::size_t ScriptedUserDialogs::Unanswered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(shown_.begin(), shown_.end(), [](const ShownDialog& s) { return !s.answered; }));
}

void ScriptedUserDialogs::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.clear();
    boxes_.clear();
    folders_.clear();
    files_.clear();
    colors_.clear();
    shell_.clear();
}

template <typename T>
std::optional<T> ScriptedUserDialogs::Take(std::deque<T>& queue, ShownDialog& record) {
    std::function<void(const ShownDialog&)> callback;
    std::optional<T> answer;
    record.thread = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callback = onShow_;
        if (!queue.empty()) {
            answer = std::move(queue.front());
            queue.pop_front();
        }
    }
    record.answered = answer.has_value();
    if (callback) callback(record);
    return answer;
}

void ScriptedUserDialogs::Record(const ShownDialog& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.push_back(record);
}

int ScriptedUserDialogs::Show(const std::wstring& text, const std::wstring& caption, UINT type) {
    ShownDialog r;
    r.kind = ShownDialog::MessageBox;
    r.text = text;
    r.caption = caption;
    r.type = type;
    const auto answer = Take(boxes_, r);
    const UINT buttons = type & MB_TYPEMASK;
    r.result = answer ? *answer : ((buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK);
    Record(r);
    return r.result;
}

bool ScriptedUserDialogs::BrowseForFolder(const std::wstring& title, std::wstring& folder) {
    ShownDialog r;
    r.kind = ShownDialog::Folder;
    r.text = title;
    const auto answer = Take(folders_, r);
    const bool ok = answer && answer->has_value();
    if (ok) folder = **answer;
    r.result = ok ? 1 : 0;
    Record(r);
    return ok;
}

bool ScriptedUserDialogs::GetFileName(const FileDialogRequest& request, std::wstring& path) {
    ShownDialog r;
    r.kind = ShownDialog::File;
    r.file = request;
    const auto answer = Take(files_, r);
    const bool ok = answer && answer->has_value();
    if (ok) path = **answer;
    r.result = ok ? 1 : 0;
    Record(r);
    return ok;
}

bool ScriptedUserDialogs::ChooseColor(COLORREF initial, COLORREF& chosen) {
    ShownDialog r;
    r.kind = ShownDialog::Color;
    r.initialColor = initial;
    const auto answer = Take(colors_, r);
    const bool ok = answer && answer->has_value();
    if (ok) chosen = **answer;
    r.result = ok ? 1 : 0;
    Record(r);
    return ok;
}

bool ScriptedUserDialogs::ShellExecute(const std::wstring& operation, const std::wstring& file,
                                       const std::wstring& parameters) {
    ShownDialog r;
    r.kind = ShownDialog::Shell;
    r.caption = operation;
    r.text = file;
    r.parameters = parameters;
    const auto answer = Take(shell_, r);
    const bool ok = answer ? *answer : true;
    r.result = ok ? 1 : 0;
    Record(r);
    return ok;
}
