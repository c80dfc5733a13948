// Clean stops on SIGINT and SIGTERM.
//
// The Firebird client installs handlers of its own for both signals when its providers
// load, and those handlers swallow them. So the program takes the two signals out of
// handler delivery altogether: blockStopSignals, called first thing in main before any
// thread exists, blocks them in every thread and waits for them on a thread of its own.
// What a stop means belongs to the run mode: it registers a StopRequest whose action
// runs on the thread of its context object's event loop, and it reads stopRequested()
// between units of work (a cycle, an event) that it finishes whole. A second signal while
// a stop is already under way ends the process at once with status 128 + signal.
#pragma once

#include <functional>

class QObject;

namespace enviozvr::app {

// Blocks SIGINT and SIGTERM and starts the thread that waits for them. Call once, from
// main, before any other thread is started. (On Windows: console interrupts.)
void blockStopSignals();

// From now on a stop signal ends the process at once with status 128 + signal: for a run
// mode that holds nothing and writes nothing (the status check).
void stopEndsTheProcess();

// True once SIGINT or SIGTERM has arrived. Any thread. A stop also ends every wait on a
// database in progress (data::interruptWaits).
bool stopRequested();

// While it lives, a stop signal calls `action` through `context`'s event loop (queued);
// when a signal has already arrived, the call is queued at construction. One at a time;
// construct and destroy on the thread of `context`.
class StopRequest {
  public:
    StopRequest(QObject* context, std::function<void()> action);
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;
};

}  // namespace enviozvr::app
