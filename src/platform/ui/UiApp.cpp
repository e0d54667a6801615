#include "platform/ui/UiApp.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/ui/Keys.h"
#include "platform/ui/QtUserDialogs.h"
#include "platform/ui/Widgets.h"

namespace {

// Delivers queued messages on the Qt event loop: one wake, one Qt event, one
// message. Every loop that handles posted events (the main loop, each
// QDialog::exec, message boxes, file dialogs) therefore delivers them too.
//
// The wake event is made by the waking thread and read by the user-interface
// thread; Qt hands it over under a lock of its own. The small mutex below
// repeats that hand-over where ThreadSanitizer can see it (Qt is not
// instrumented), so the run under it checks our code, not Qt's locks.
class QtMessageLoop final : public QObject, public IMessageLoop {
public:
    static constexpr QEvent::Type kDeliver = static_cast<QEvent::Type>(QEvent::User + 0x7E5);

    void Wake() override {
        std::lock_guard<std::mutex> lock(handOver_);
        QCoreApplication::postEvent(this, new QEvent(kDeliver));
    }
    // On the user-interface thread, before a wake event is looked at.
    void Received() { std::lock_guard<std::mutex> lock(handOver_); }

    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (done()) return true;
            const auto now = Clock::now();
            if (now >= deadline) return done();
            // A short timer bounds the wait: `done` may hang on more than events.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            QTimer wake;
            wake.setSingleShot(true);
            wake.start(static_cast<int>(std::clamp<long long>(left.count(), 1, 5)));
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }

protected:
    bool event(QEvent* e) override {
        Received();
        if (e->type() == kDeliver) {
            DeliverQueuedMessage();
            return true;
        }
        return QObject::event(e);
    }

private:
    std::mutex handOver_;
};

QtMessageLoop* g_loop = nullptr;

std::atomic<int> g_modifiers{0};

// The modifier keys held when each key that is down went down, by
// virtual-key code (user-interface thread only): its release is delivered
// with them.
std::unordered_map<UINT, UINT> g_heldAtKeyDown;

UINT ModifierKeys(int qtModifiers) {
    UINT keys = 0;
    if (qtModifiers & Qt::ControlModifier) keys |= MOD_CONTROL;
    if (qtModifiers & Qt::ShiftModifier) keys |= MOD_SHIFT;
    if (qtModifiers & Qt::AltModifier) keys |= MOD_ALT;
    return keys;
}

// Keyboard messages: each key press and release at the focused widget is
// offered to PreTranslateMessage of its window object and of the windows it
// lies in, innermost first, up to its top-level dialog; a window that
// returns true swallows it. A release carries the modifier keys held when
// its key went down (MSG::keyModifiers), wherever in the program that was.
class KeyFilter final : public QObject {
protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == g_loop) {
            g_loop->Received();
            return false;
        }
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::Wheel) {
            g_modifiers.store(static_cast<QInputEvent*>(event)->modifiers().toInt());
            return false;
        }
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget) return false;
        // The event travels from the focused widget up to its parents; take it
        // once, where it starts.
        QWidget* focus = QApplication::focusWidget();
        if (focus ? widget != focus : !widget->isWindow()) return false;
        int modifiers = key->modifiers().toInt();
        if (key->key() == Qt::Key_Control && type == QEvent::KeyRelease) modifiers &= ~Qt::ControlModifier;
        if (key->key() == Qt::Key_Control && type == QEvent::KeyPress) modifiers |= Qt::ControlModifier;
        g_modifiers.store(modifiers);
        if (type == QEvent::KeyRelease && key->isAutoRepeat()) return false;
        const UINT vk = VirtualKeyFromQt(key->key(), (key->modifiers() & Qt::KeypadModifier) != 0);
        if (!vk) return false;
        UINT held = ModifierKeys(modifiers);
        if (type == QEvent::KeyPress) {
            // The first press decides; the presses of auto-repeat keep it.
            if (!key->isAutoRepeat() || !g_heldAtKeyDown.contains(vk)) g_heldAtKeyDown[vk] = held;
        } else if (const auto it = g_heldAtKeyDown.find(vk); it != g_heldAtKeyDown.end()) {
            held = it->second;
            g_heldAtKeyDown.erase(it);
        }
        CWnd* start = uiw::OwnerOf(widget);
        if (!start) return false;
        MSG msg;
        msg.hwnd = start->GetSafeHwnd();
        msg.message = type == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP;
        msg.wParam = vk;
        msg.lParam = type == QEvent::KeyPress ? (key->isAutoRepeat() ? 0x40000001 : 0x00000001)
                                              : static_cast<LPARAM>(0xC0000001u);
        msg.keyModifiers = held;
        for (CWnd* w = start; w; w = w->IsTopLevel() ? nullptr : w->GetParent()) {
            if (w->PreTranslateMessage(&msg)) return true;
        }
        return false;
    }
};

CWinApp* g_app = nullptr;

// Texts of Qt's own dialogs that Qt's Chinese catalogue lacks: the kinds of
// entries in the file dialogs' lists.
class ProgramCatalogue final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override {
        struct Entry {
            const char* context;
            const char* source;
            const char16_t* text;
        };
        static constexpr Entry kEntries[] = {
            {"QAbstractFileIconProvider", "Folder", u"文件夹"},
            {"QAbstractFileIconProvider", "Drive", u"驱动器"},
            {"QAbstractFileIconProvider", "File", u"文件"},
            {"QAbstractFileIconProvider", "Shortcut", u"快捷方式"},
            {"QAbstractFileIconProvider", "Unknown", u"未知"},
        };
        if (!context || !sourceText) return {};
        for (const Entry& e : kEntries)
            if (std::strcmp(context, e.context) == 0 && std::strcmp(sourceText, e.source) == 0)
                return QString::fromUtf16(e.text);
        return {};
    }
};

}  // namespace

SHORT GetKeyState(int virtualKey) {
    const int m = g_modifiers.load();
    bool down = false;
    if (virtualKey == static_cast<int>(VK_CONTROL)) down = (m & Qt::ControlModifier) != 0;
    else if (virtualKey == static_cast<int>(VK_SHIFT)) down = (m & Qt::ShiftModifier) != 0;
    else if (virtualKey == static_cast<int>(VK_MENU)) down = (m & Qt::AltModifier) != 0;
    return down ? static_cast<SHORT>(0x8000) : 0;
}

void EnsureUiApplication(int* argc, char** argv) {
    static int defaultArgc = 1;
    static char defaultName[] = "tessavan";
    static char* defaultArgv[] = {defaultName, nullptr};
    static bool done = false;
    if (done) return;
    done = true;
    if (!QCoreApplication::instance()) {
        // Lives as long as the process.
        new QApplication(argc ? *argc : defaultArgc, argv ? argv : defaultArgv);
    }
    // The program speaks Chinese: what Qt shows (its own dialogs: the folder
    // browser, the file dialogs, the colour picker; sizes, dates and kinds of
    // files) is in Chinese (China), from Qt's Chinese catalogue and the few
    // texts it lacks. Numbers the program writes and reads (edits, files)
    // keep the C locale: they never go through QLocale.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    static QTranslator qtCatalogue;
    if (qtCatalogue.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtCatalogue);
    static ProgramCatalogue programCatalogue;
    QCoreApplication::installTranslator(&programCatalogue);
    QFont font = QApplication::font();
    font.setFamilies(gdi::FontFamiliesFor(L"MS Shell Dlg"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    g_loop = new QtMessageLoop;
    InstallMessageLoop(g_loop);
    SetUserDialogs(&QtUserDialogs());
    qApp->installEventFilter(new KeyFilter);
}

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run(int argc, char** argv) {
    static int storedArgc;
    storedArgc = argc;
    EnsureUiApplication(&storedArgc, argv);
    if (!InitInstance()) return 0;
    return QApplication::exec();
}

CWinApp* AfxGetApp() { return g_app; }
