// SPDX-License-Identifier: MIT
#include "platform/messages.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {
namespace {

const QEvent::Type kCallbackEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallbackEvent : public QEvent {
public:
    explicit CallbackEvent(std::function<void()> fn) : QEvent(kCallbackEvent), fn_(std::move(fn)) {}
    std::function<void()> Take() { return std::move(fn_); }

private:
    std::function<void()> fn_;
};

// The exception thrown by a handler during the current round of processing,
// kept until control is back outside Qt's frames.
std::exception_ptr& PendingException() {
    static std::exception_ptr pending;
    return pending;
}

void KeepException() {
    if (!PendingException()) PendingException() = std::current_exception();
}

// Callbacks that arrived after a handler threw, in the same round: they are
// held back and queued again, so that nothing runs between the throw and the
// caller that receives the exception, and nothing is lost either.
std::vector<std::function<void()>>& HeldBack() {
    static std::vector<std::function<void()>> held;
    return held;
}

void RethrowPending() {
    std::exception_ptr pending = std::exchange(PendingException(), nullptr);
    if (!pending) return;
    for (auto& fn : std::exchange(HeldBack(), {})) PostCallback(std::move(fn));
    std::rethrow_exception(pending);
}

void RunPosted(std::function<void()> fn) {
    if (PendingException()) {
        HeldBack().push_back(std::move(fn));
        return;
    }
    try {
        fn();
    } catch (...) {
        KeepException();
    }
}

class Dispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kCallbackEvent) return QObject::event(e);
        RunPosted(static_cast<CallbackEvent*>(e)->Take());
        return true;
    }
};

// Callbacks posted on the main thread while ProcessMessages or
// WaitForNextEvent runs there (a socket's readiness turned into its
// notification, mostly) wait in a queue of their own, run by the next of
// those calls. Qt's queue would wake its loop through a system call on
// every post and need one more turn of it to deliver; a walk posts several
// times per directory. Posts from other threads, from Qt's own loop (the
// window idle) or from a loop nested in a handler (a modal box) go through
// Qt as before, so nothing waits on a queue nobody drains.
struct PumpState {
    int depth = 0;
    int loopLevel = 0;  // the thread's nested event loops when the pump began
    std::deque<std::function<void()>> queue;
};

thread_local PumpState pump;

bool PostsToPumpQueue() { return pump.depth > 0 && QThread::currentThread()->loopLevel() == pump.loopLevel; }

// Runs the callbacks queued so far; those they post run in the next round.
void RunPumpQueue() {
    for (std::size_t count = pump.queue.size(); count > 0 && !pump.queue.empty(); --count) {
        std::function<void()> fn = std::move(pump.queue.front());
        pump.queue.pop_front();
        RunPosted(std::move(fn));
    }
}

class PumpScope {
public:
    PumpScope() : savedLevel_(pump.loopLevel) {
        ++pump.depth;
        pump.loopLevel = QThread::currentThread()->loopLevel();
    }
    ~PumpScope() {
        --pump.depth;
        pump.loopLevel = savedLevel_;
    }
    PumpScope(const PumpScope&) = delete;
    PumpScope& operator=(const PumpScope&) = delete;

private:
    int savedLevel_;
};

// What is left in the pump's queue when the main thread is about to block
// outside a pump of ours (in Qt's own loop, or a modal box's loop started
// by a handler) goes over to Qt's queue, for that loop to deliver.
void HandOverPumpQueue(QObject* receiver) {
    if (pump.queue.empty() || PostsToPumpQueue()) return;
    for (auto& fn : std::exchange(pump.queue, {}))
        QCoreApplication::postEvent(receiver, new CallbackEvent(std::move(fn)));
}

Dispatcher& TheDispatcher() {
    static Dispatcher* dispatcher = [] {
        EnsureApplication();
        QThread* const mainThread = QCoreApplication::instance()->thread();
        auto* d = new Dispatcher;
        d->moveToThread(mainThread);
        QObject::connect(QAbstractEventDispatcher::instance(mainThread), &QAbstractEventDispatcher::aboutToBlock, d,
                         [d] { HandOverPumpQueue(d); });
        return d;
    }();
    return *dispatcher;
}

struct WindowTable {
    std::mutex mutex;
    std::unordered_map<HWND, std::shared_ptr<WindowProc>> windows;
    HWND next = 1;

    std::shared_ptr<WindowProc> Find(HWND window) {
        std::lock_guard lock(mutex);
        auto it = windows.find(window);
        return it == windows.end() ? nullptr : it->second;
    }
};

WindowTable& Windows() {
    static WindowTable table;
    return table;
}

void Deliver(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Looked up at delivery, so a message for a window destroyed after it was
    // posted is dropped.
    if (auto proc = Windows().Find(window)) (*proc)(msg, wParam, lParam);
}

}  // namespace

void PreferPlainEventLoop() {
    // Qt's GLib-based loop costs two more system calls than its own for
    // every message posted and every wait, and a walk posts and waits
    // several times per directory. Nothing here needs GLib's loop; a user
    // who does keeps it by setting QT_NO_GLIB to an empty value.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    PreferPlainEventLoop();
    static int argc = 1;
    static char name[] = "dirweigh";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

HWND CreateHiddenWindow(WindowProc proc) {
    TheDispatcher();
    auto& table = Windows();
    std::lock_guard lock(table.mutex);
    HWND handle = table.next++;
    table.windows.emplace(handle, std::make_shared<WindowProc>(std::move(proc)));
    return handle;
}

void DestroyWindow(HWND window) {
    auto& table = Windows();
    std::shared_ptr<WindowProc> doomed;  // released outside the lock
    std::lock_guard lock(table.mutex);
    auto it = table.windows.find(window);
    if (it == table.windows.end()) return;
    doomed = std::move(it->second);
    table.windows.erase(it);
}

bool IsWindow(HWND window) { return Windows().Find(window) != nullptr; }

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(window)) return false;
    PostCallback([=] { Deliver(window, msg, wParam, lParam); });
    return true;
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto proc = Windows().Find(window);
    return proc ? (*proc)(msg, wParam, lParam) : 0;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

UINT RegisterWindowMessage(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, UINT> registered;
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::lock_guard lock(mutex);
    auto [it, inserted] = registered.emplace(key, static_cast<UINT>(0xC000 + registered.size()));
    return it->second;
}

void PostCallback(std::function<void()> fn) {
    if (PostsToPumpQueue()) {
        pump.queue.push_back(std::move(fn));
        return;
    }
    QCoreApplication::postEvent(&TheDispatcher(), new CallbackEvent(std::move(fn)));
}

// As with Qt's own queue, what is posted while events are processed is
// delivered by the next call, not this one: a caller that checks its flags
// after ProcessMessages and then waits finds that wait ending at once with
// the notification, instead of sleeping with it already delivered.
void ProcessMessages() {
    TheDispatcher();
    {
        PumpScope scope;
        RunPumpQueue();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    RethrowPending();
}

void WaitForNextEvent() {
    TheDispatcher();
    {
        PumpScope scope;
        // Something already queued is the next event: no blocking then.
        if (pump.queue.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        RunPumpQueue();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    RethrowPending();
}

std::function<void()> Guarded(std::function<void()> fn) {
    return [fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {
            KeepException();
        }
    };
}

}  // namespace platform
