#include "platform/core/UserDialogs.h"

#include <atomic>
#include <cstdio>

#include "platform/core/Strings.h"

namespace {

class StderrMessageBoxes final : public IMessageBoxes {
public:
    int Show(const std::wstring& text, const std::wstring& caption, UINT type) override {
        std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        switch (type & MB_TYPEMASK) {
            case MB_YESNO:
            case MB_YESNOCANCEL: return IDYES;
            default: return IDOK;
        }
    }
};

StderrMessageBoxes g_default;
std::atomic<IMessageBoxes*> g_current{&g_default};

}  // namespace

IMessageBoxes& MessageBoxes() { return *g_current.load(); }

void SetMessageBoxes(IMessageBoxes* impl) { g_current.store(impl ? impl : &g_default); }

int MessageBoxW(const std::wstring& text, const std::wstring& caption, UINT type) {
    return MessageBoxes().Show(text, caption, type);
}

int AfxMessageBox(const std::wstring& text, UINT type) { return MessageBoxW(text, kDefaultCaption, type); }
