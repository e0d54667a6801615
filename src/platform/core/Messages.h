// Window handles and numbered window messages, without any user-interface
// library.
//
// A window handle is a small number registered in a process-wide table, not a
// pointer: a handle whose window is gone simply no longer resolves, so posting
// to it fails instead of touching freed memory. Windows register on the user-
// interface thread (the thread that runs the message loop); their
// `WindowProc` is only ever called there.
//
// - `PostMessage` may be called from any thread. It queues the message for
//   the user-interface thread and returns at once; false (nothing queued)
//   when the handle does not name a live window.
// - `SendMessage` from the window's own thread is a direct call. From any
//   other thread the message is queued and the caller blocks until the
//   user-interface thread has handled it, and gets its result. A window
//   destroyed before it handled the message, or the loop being removed,
//   releases the caller with 0. (With no loop installed yet, the caller waits
//   for one.)
// - The user-interface loop plugs in through `IMessageLoop`: it is woken once
//   per queued item and calls `DeliverQueuedMessage` on its thread for each
//   wake. The Qt loop lives in platform/ui; `MessagePump` (MessagePump.h) is a
//   loop without Qt for tests and headless runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/core/WinTypes.h"

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window handle. The null handle names no window.
struct HWND {
    std::uint32_t value = 0;

    constexpr HWND() = default;
    constexpr HWND(std::nullptr_t) {}
    constexpr explicit HWND(std::uint32_t v) : value(v) {}
    constexpr explicit operator bool() const { return value != 0; }
    friend constexpr bool operator==(HWND, HWND) = default;
};

constexpr UINT WM_USER = 0x0400;

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

// What a registered window implements: the handling of its numbered messages.
class IMessageReceiver {
public:
    virtual ~IMessageReceiver() = default;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// Registers `receiver` (not owned) under a fresh handle owned by the calling
// thread. Handles are never reused while the process runs.
HWND RegisterWindow(IMessageReceiver* receiver);
// Removes the handle. Messages still queued for it are dropped; senders
// waiting on it are released with 0. Called from another thread while the
// window is handling a message, it waits until that handling has returned.
void UnregisterWindow(HWND hwnd);
// True while `hwnd` names a registered window.
bool IsWindow(HWND hwnd);

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The application's main window, for code that reaches it from below the
// user interface (a worker announcing a finished page). Null when there is
// none or it is gone.
void SetMainWindowHandle(HWND hwnd);
HWND GetMainWindowHandle();

// The user-interface loop.
class IMessageLoop {
public:
    virtual ~IMessageLoop() = default;
    // Called (from any thread, possibly with an internal lock held: it must not
    // call back into this API) once per queued item; the loop then calls
    // DeliverQueuedMessage once on its own thread.
    virtual void Wake() = 0;
    // On the loop's thread: handles queued messages and the loop's other events
    // until `done()` holds or `timeout` has passed; returns the last value of
    // `done()`.
    virtual bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) = 0;
};

// Installs `loop` (not owned); the calling thread becomes the user-interface
// thread. Null removes it: queued posts are dropped and waiting senders
// released with 0.
void InstallMessageLoop(IMessageLoop* loop);
// True on the thread of the installed loop.
bool IsUiThread();

// On the user-interface thread: delivers the oldest queued item (a message to
// its window, or a queued call). False when the queue was empty.
bool DeliverQueuedMessage();
// On the user-interface thread: delivers the oldest queued message for `hwnd`
// whose number is one of `messages`, and nothing else; every other item stays
// queued in its order. For a thread busy with long work of its own that must
// still answer one window's traffic (workers waiting on that window). False
// when there is no such message, or off the user-interface thread.
bool DeliverQueuedMessageFor(HWND hwnd, std::span<const UINT> messages);
// Waits until an item is queued or the timeout passes; true when the queue is
// not empty. For loops without an event system of their own.
bool WaitForQueuedMessage(std::chrono::milliseconds timeout);

// Runs `call` on the user-interface thread and returns when it has finished.
// Direct call on that thread, or when no loop is installed. An exception
// thrown by `call` is rethrown in the caller. False when the call did not run
// because the loop was removed while it waited.
bool InvokeOnUiThread(const std::function<void()>& call);

// On the user-interface thread: handles messages until `done()` holds or the
// timeout passes (through the installed loop). Elsewhere, or without a loop,
// it only waits for `done()`. Returns the last value of `done()`.
bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
