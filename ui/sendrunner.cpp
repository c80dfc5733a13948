#include "ui/sendrunner.h"

#include <QApplication>
#include <QThread>
#include <map>
#include <utility>

#include "data/connectstop.h"
#include "sender/sendcycle.h"

namespace enviozvr::ui {

// The cycle's options, status and timer on the runner's thread: the options are the
// window's as they stood at the start; everything said goes on to the window's thread.
class SendRunner::Relay : public sender::FixedSendOptions,
                          public sender::SendStatus,
                          public sender::SendTimer {
  public:
    Relay(SendRunner& runner, const sender::FixedSendOptions& options, bool timerActive,
          int timerInterval)
        : sender::FixedSendOptions(options),
          runner_(runner),
          timerActive_(timerActive),
          timerInterval_(timerInterval) {}

    // ---- Options: the batch size written back reaches NroOp as well.
    void setBatchSize(int events) override {
        sender::FixedSendOptions::setBatchSize(events);
        post([events](SendRunner& r) { r.options_.setBatchSize(events); });
    }

    // ---- Status
    void showMessage(const std::string& text) override {
        post([text](SendRunner& r) { r.status_.showMessage(text); });
    }
    void setProgressPanel(const std::string& caption, bool visible) override {
        post([caption, visible](SendRunner& r) { r.status_.setProgressPanel(caption, visible); });
    }
    void resetProgress(int maximum) override {
        post([maximum](SendRunner& r) { r.status_.resetProgress(maximum); });
    }
    void stepProgress() override {
        post([](SendRunner& r) { r.status_.stepProgress(); });
    }
    void setConnecting(bool connecting) override {
        post([connecting](SendRunner& r) { r.status_.setConnecting(connecting); });
    }
    void setCurrentEvent(const std::string& text, bool visible) override {
        post([text, visible](SendRunner& r) { r.status_.setCurrentEvent(text, visible); });
    }
    void setLastSend(const std::string& text) override {
        post([text](SendRunner& r) { r.status_.setLastSend(text); });
    }
    void setErrorViewerEnabled(bool enabled) override {
        post([enabled](SendRunner& r) { r.status_.setErrorViewerEnabled(enabled); });
    }
    void setLastError(const std::string& text) override {
        post([text](SendRunner& r) { r.status_.setLastError(text); });
    }
    void repaint() override {
        post([](SendRunner& r) { r.status_.repaint(); });
    }
    void companyServed(const sender::CompanySummary& summary) override {
        post([summary](SendRunner& r) { r.status_.companyServed(summary); });
    }
    bool stopRequested() const override { return runner_.stop_; }

    // ---- Timer: switched on the window's thread; what it answers here is what the cycle
    // last told it.
    void stop() override {
        timerActive_ = false;
        post([](SendRunner& r) { r.timer_.stop(); });
    }
    void start(int intervalMs) override {
        timerActive_ = true;
        timerInterval_ = intervalMs;
        post([intervalMs](SendRunner& r) { r.timer_.start(intervalMs); });
    }
    bool isActive() const override { return timerActive_; }
    int interval() const override { return timerInterval_; }

  private:
    void post(std::function<void(SendRunner&)> call) {
        SendRunner* r = &runner_;
        r->toWindow([r, call = std::move(call)] { call(*r); });
    }

    SendRunner& runner_;
    bool timerActive_;
    int timerInterval_;
};

SendRunner::SendRunner(sender::SendOptions& options, sender::SendStatus& status,
                       sender::SendTimer& timer, QObject* parent)
    : QObject(parent),
      options_(options),
      status_(status),
      timer_(timer),
      thread_(new QThread(this)),
      worker_(new QObject) {
    thread_->setObjectName(QStringLiteral("envio"));
    worker_->moveToThread(thread_);
    thread_->start();
}

SendRunner::~SendRunner() {
    stop_ = true;
    // After the cycle in progress (queued calls run in order): the attachments end on the
    // thread that made them.
    QMetaObject::invokeMethod(
        worker_, [this] { data_.reset(); }, Qt::QueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void SendRunner::toWindow(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

sender::MainData& SendRunner::dataFor(const Cycle& cycle) {
    const auto same = [&](const Cycle& a) {
        return a.login.UsuarioSesion == cycle.login.UsuarioSesion &&
               a.login.ClaveSesion == cycle.login.ClaveSesion &&
               a.login.ServidorSesion == cycle.login.ServidorSesion && a.company == cycle.company;
    };
    if (!data_ || !same(dataCycle_)) {
        data_.reset();
        // The destinations given up earlier stay guarded whatever the origin is.
        auto d = std::make_unique<sender::MainData>(abandoned_);
        d->loginRecord = cycle.login;
        d->beep = [this] { toWindow([] { QApplication::beep(); }); };
        // Nothing is read from the general database: the login is the window's. A failed
        // connect throws and keeps nothing but the destinations given up.
        d->selectCompany(cycle.company);
        dataCycle_ = cycle;
        data_ = std::move(d);
    }
    data_->DBEnvio.setTimeouts(cycle.connectTimeout, cycle.stallLimit);
    return *data_;
}

bool SendRunner::start(const Cycle& cycle) {
    if (running_) return false;
    running_ = true;
    stop_ = false;
    const sender::FixedSendOptions options(options_);
    const bool timerActive = timer_.isActive();
    const int timerInterval = timer_.interval();
    QMetaObject::invokeMethod(
        worker_,
        [this, cycle, options, timerActive, timerInterval] {
            std::exception_ptr failure;
            // "Cancelar" (requestStop) ends a connect that the cycle waits for, the
            // origin's or a destination's, instead of sitting out its limit.
            const data::ConnectStop connectStop(stop_);
            try {
                Relay relay(*this, options, timerActive, timerInterval);
                sender::MainData& d = dataFor(cycle);
                sender::runSendCycle(d, relay, relay, relay);
            } catch (...) {
                failure = std::current_exception();
                // The origin failed (a lost link, say): the next cycle attaches anew
                // rather than reusing what may be a dead attachment.
                data_.reset();
            }
            toWindow([this, failure] {
                running_ = false;
                if (finished) finished(failure);
            });
        },
        Qt::QueuedConnection);
    return true;
}

}  // namespace enviozvr::ui
