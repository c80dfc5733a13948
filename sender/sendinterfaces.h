// What the send cycle reads from and reports to its surroundings: the main window in
// the desktop, a console reporter in the headless mode, recording fakes in tests.
//
// Threads. runSendCycle makes every call on the thread that runs it. The desktop runs its
// cycle on a thread of its own: there the window's options are copied when the cycle
// starts and its status and timer calls are passed on to the window's thread in order
// (see ui/sendrunner.h), so that the window's own implementations only ever run on its
// thread. runParallelSendCycle (sender/parallelcycle.h) makes most calls on the thread
// that runs it, but while its workers serve destinations that thread waits for them, and:
// - SendStatus::stopRequested, setLastError, setCurrentEvent and showMessage come from the
//   worker threads, one call at a time under the cycle's mutex (never two at once, and
//   none from the calling thread meanwhile); an implementation must not rely on the
//   thread it runs on. The other status calls (the summaries, the last send, the
//   progress) are made on the calling thread or not at all.
// - SendOptions is read on the calling thread only: each worker reads a FixedSendOptions
//   copy of its own.
// - SendTimer is used on the calling thread only: workers get a NullSendTimer.
#pragma once

#include <string>
#include <utility>

#include "sender/sendoptions.h"

namespace enviozvr::sender {

// The send options, read at the moment the cycle needs them.
class SendOptions {
  public:
    virtual ~SendOptions() = default;
    // LCiaOri shows a company (its selection has already connected DbCia).
    virtual bool companyChosen() const = 0;
    // NroOp (headless: --batch), read as a number where it is given (BatchSize::fromText).
    // A text that is no number is refused by the cycle before any statement; when nothing
    // was given the cycle takes kEmptyBoxBatchSize and writes it back here.
    virtual BatchSize batchSize() const = 0;
    virtual void setBatchSize(int events) = 0;
    // ckreciente: newest registered events first.
    virtual bool newestFirst() const = 0;
    // CkError: leave out events that carry an error text.
    virtual bool skipErrored() const = 0;
    // Minut, as typed: minutes between automatic cycles.
    virtual std::string minutes() const = 0;
};

// Send options held as values: the headless mode's, read from its arguments, and the copy
// each worker of a parallel cycle takes of the caller's.
class FixedSendOptions : public SendOptions {
  public:
    FixedSendOptions(bool chosen, BatchSize batch, bool newest, bool skipErrored,
                     std::string minutes)
        : chosen_(chosen),
          batch_(std::move(batch)),
          newest_(newest),
          skipErrored_(skipErrored),
          minutes_(std::move(minutes)) {}
    // What `o` says now.
    explicit FixedSendOptions(const SendOptions& o)
        : FixedSendOptions(o.companyChosen(), o.batchSize(), o.newestFirst(), o.skipErrored(),
                           o.minutes()) {}

    void setCompanyChosen(bool chosen) { chosen_ = chosen; }
    bool companyChosen() const override { return chosen_; }
    BatchSize batchSize() const override { return batch_; }
    void setBatchSize(int events) override { batch_ = BatchSize(events); }
    bool newestFirst() const override { return newest_; }
    bool skipErrored() const override { return skipErrored_; }
    std::string minutes() const override { return minutes_; }

  private:
    bool chosen_;
    BatchSize batch_;
    bool newest_;
    bool skipErrored_;
    std::string minutes_;
};

// What one destination company's batch came to, reported after its batch.
struct CompanySummary {
    std::string company;
    int taken = 0;              // events in the batch
    int sent = 0;               // marked sent
    int failed = 0;             // left pending with an error
    bool connected = true;      // false: the destination database could not be connected
    bool lost = false;          // the connection was lost in mid-batch; the rest waits
    bool stopped = false;       // a stop request ended the batch after an event; the rest waits
    bool originFailed = false;  // a failure of the origin ended the batch; the rest waits
    std::string reason;         // why the destination was given up (not connected, lost, or
                                // the origin failed)
};

// The status display of the cycle. Every call does nothing unless overridden: a status
// takes only what it shows (the desktop's window takes all of it).
class SendStatus {
  public:
    virtual ~SendStatus() = default;
    // A message for the user that waits for acknowledgement in the desktop
    // ("Debe indicar la compañía de origen.").
    virtual void showMessage(const std::string& text) { (void)text; }
    // Panel3: caption and visibility.
    virtual void setProgressPanel(const std::string& caption, bool visible) {
        (void)caption;
        (void)visible;
    }
    // ProgressBar1: minimum 0, maximum `maximum`, position 0; then steps of 1.
    virtual void resetProgress(int maximum) { (void)maximum; }
    virtual void stepProgress() {}
    // A destination's database is being attached (true), which may take up to the connect
    // limit, or the attach is over (false, before resetProgress). The desktop shows a busy
    // bar meanwhile.
    virtual void setConnecting(bool connecting) { (void)connecting; }
    // Edit1: the event being sent, and whether the box is shown.
    virtual void setCurrentEvent(const std::string& text, bool visible) {
        (void)text;
        (void)visible;
    }
    // EUltenvio.
    virtual void setLastSend(const std::string& text) { (void)text; }
    // PngSpeedButton1 ("Mensajes error").
    virtual void setErrorViewerEnabled(bool enabled) { (void)enabled; }
    // Label8.
    virtual void setLastError(const std::string& text) { (void)text; }
    // Paint what changed now: a cycle run on the window's own thread holds it and takes no
    // input (the desktop's runs on another thread, where this only marks a step).
    virtual void repaint() {}
    // One destination company's batch is done (or its connection failed: taken 0).
    virtual void companyServed(const CompanySummary& summary) { (void)summary; }
    // True once the program is to stop: the cycle asks before each destination and each
    // event, so the event in hand is always finished, and then ends (CycleEnd::Stopped).
    // May be asked from any thread that runs a cycle or a worker of one (see the top).
    virtual bool stopRequested() const { return false; }
};

// Timer1: the periodic timer that runs the cycle.
class SendTimer {
  public:
    virtual ~SendTimer() = default;
    virtual void stop() = 0;
    // Sets the interval and switches the timer on (a fresh countdown).
    virtual void start(int intervalMs) = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;
};

// A timer that does nothing and is never on: for a run whose timer is re-armed by someone
// else (a worker of a parallel cycle) or not at all (a benchmark).
class NullSendTimer : public SendTimer {
  public:
    void stop() override {}
    void start(int) override {}
    bool isActive() const override { return false; }
    int interval() const override { return 0; }
};

}  // namespace enviozvr::sender
