#include "app/signals.h"

#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "data/connection.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>

#include <csignal>
#endif

namespace enviozvr::app {

namespace {

std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_exitAtOnce{false};

struct Receiver {
    std::mutex mutex;
    QObject* context = nullptr;
    std::function<void()> action;
};

Receiver& receiver() {
    static Receiver r;
    return r;
}

// Queues the registered action on its context's thread. Caller holds the mutex.
void queueAction(Receiver& r) {
    if (!r.context || !r.action) return;
    QMetaObject::invokeMethod(r.context, r.action, Qt::QueuedConnection);
}

// A stop signal arrived: the first one asks for a stop, a second one ends at once.
void onStopSignal(int signal) {
    if (g_stopRequested.exchange(true) || g_exitAtOnce) std::_Exit(128 + signal);
    // Whatever the program waits for on a database (an attach, a lock, a silent link)
    // ends now; the run mode then stops as it does between units of work.
    data::interruptWaits();
    Receiver& r = receiver();
    std::lock_guard lock(r.mutex);
    queueAction(r);
}

#ifdef _WIN32
BOOL WINAPI consoleHandler(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    onStopSignal(type == CTRL_C_EVENT ? 2 : 15);
    return TRUE;
}
#endif

}  // namespace

void blockStopSignals() {
#ifdef _WIN32
    SetConsoleCtrlHandler(consoleHandler, TRUE);
#else
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // Blocked here, the signals stay blocked in every thread started later (the client
    // library's among them), so no handler of theirs ever sees them.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) == 0) onStopSignal(signal);
        }
    }).detach();
#endif
}

void stopEndsTheProcess() {
    g_exitAtOnce = true;
    if (g_stopRequested) std::_Exit(128 + 15);
}

bool stopRequested() { return g_stopRequested.load(); }

StopRequest::StopRequest(QObject* context, std::function<void()> action) {
    Receiver& r = receiver();
    std::lock_guard lock(r.mutex);
    r.context = context;
    r.action = std::move(action);
    if (g_stopRequested.load()) queueAction(r);
}

StopRequest::~StopRequest() {
    Receiver& r = receiver();
    std::lock_guard lock(r.mutex);
    r.context = nullptr;
    r.action = nullptr;
}

}  // namespace enviozvr::app
