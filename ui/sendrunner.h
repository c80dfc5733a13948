// SendRunner: the main window's send cycle, run on a thread of its own so that the window
// keeps answering (clicks, "Cancelar", repaints) while a destination takes up to its
// connect or stall limit.
//
// The runner is a QObject of the window's thread, and every method below is called there.
// start() copies what a cycle needs (the login, the origin company, the destinations'
// limits, the send options as they stand) and runs one cycle on the runner's thread over a
// MainData of that thread: its own origin attachment and destination attachment, kept from
// cycle to cycle together with the destinations given up earlier, and made anew when the
// login or the origin company changed. The cycle serves one destination after another.
//
// What the cycle reports reaches `status` and `timer` on the window's thread, each call in
// the order the cycle made it; the cycle's stop question is answered by requestStop() (any
// thread), and the batch size it writes back reaches `options`. `finished` is then called
// on the window's thread with what the cycle threw (a failure of the origin) or nothing.
// A cycle that failed leaves no MainData behind: the next one connects the origin again.
// requestStop also ends at once a connect that the cycle waits for.
// The destructor asks a running cycle to stop, waits until it has finished the event in
// hand and releases the MainData on the thread that used it; calls the cycle made and the
// window has not taken yet are dropped.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "core/loginrecord.h"
#include "sender/maindata.h"
#include "sender/sendinterfaces.h"

class QThread;

namespace enviozvr::ui {

class SendRunner : public QObject {
    Q_OBJECT
  public:
    SendRunner(sender::SendOptions& options, sender::SendStatus& status, sender::SendTimer& timer,
               QObject* parent = nullptr);
    ~SendRunner() override;
    SendRunner(const SendRunner&) = delete;
    SendRunner& operator=(const SendRunner&) = delete;

    // What one cycle runs with, read on the window's thread.
    struct Cycle {
        core::LoginRecord login;
        std::string company;  // COMP_COD of the origin company (Windows-1252)
        std::chrono::seconds connectTimeout{sender::kDestinationConnectTimeout};
        std::chrono::seconds stallLimit{sender::kDestinationStallLimit};
    };

    // Starts a cycle; false (nothing started) while one is still running.
    bool start(const Cycle& cycle);
    // True from start() until `finished` has been called.
    bool running() const { return running_; }
    // The cycle in progress (or the next one) ends after the event in hand.
    void requestStop() { stop_ = true; }
    bool stopRequested() const { return stop_; }

    // Called on the window's thread when a cycle is over.
    std::function<void(std::exception_ptr failure)> finished;

  private:
    class Relay;
    // Runs `call` on the window's thread, after the calls posted before it.
    void toWindow(std::function<void()> call);
    // On the runner's thread: the MainData for `cycle`, made or kept.
    sender::MainData& dataFor(const Cycle& cycle);

    sender::SendOptions& options_;
    sender::SendStatus& status_;
    sender::SendTimer& timer_;
    QThread* thread_;
    QObject* worker_;  // lives on thread_: the cycles run as its queued calls
    bool running_ = false;
    std::atomic<bool> stop_{false};
    // Used only on thread_; data_ refers to abandoned_, which outlives it.
    sender::AbandonedAttachments abandoned_;
    std::unique_ptr<sender::MainData> data_;
    Cycle dataCycle_;
};

}  // namespace enviozvr::ui
