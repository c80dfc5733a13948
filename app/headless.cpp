#include "app/headless.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "app/consoletext.h"
#include "app/instancelock.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "core/localfiles.h"
#include "core/messages.h"
#include "core/unhandled.h"
#include "sender/indexcheck.h"
#include "sender/maindata.h"
#include "sender/sendcycle.h"

namespace enviozvr::app {

using namespace enviozvr::sender;

namespace {

constexpr int kInitialIntervalMs = 1800000;  // 30 minutes, as the desktop starts

const char* const kUsage =
    "usage: enviozvr --headless SERVER USER PASSWORD COMPANY [NEWEST]\n"
    "                [--minutes=N] [--batch=N] [--no-retry-errors] [--once]\n"
    "                [--connect-timeout=S] [--stall-timeout=S]\n"
    "  SERVER    text that starts every database path (host:folder, or a folder for\n"
    "            embedded databases): SERVER/datos/general.fdb\n"
    "  USER, PASSWORD  database login of the general database; a PASSWORD of '-' is\n"
    "            read from the environment variable ENVIOZVR_PASSWORD\n"
    "  COMPANY   code of the origin company (COMP_COD)\n"
    "  NEWEST    any text: send the newest events first\n"
    "  --minutes=N       minutes between send cycles (default 1); while a cycle's batch\n"
    "                    comes back full the next cycle starts at once\n"
    "  --batch=N         events taken per destination company and cycle (default 100)\n"
    "  --no-retry-errors leave out events that carry an error\n"
    "  --once            one send cycle, then exit: 0 when it reached its end, 1 when it\n"
    "                    ended early, 2 for bad arguments, no installation directory,\n"
    "                    a failed login or another instance sending for the same origin\n"
    "                    company\n"
    "  --connect-timeout=S  seconds a destination may take to accept a connection\n"
    "                    (default 15)\n"
    "  --stall-timeout=S seconds a destination may leave a request unanswered before it\n"
    "                    is cancelled and the destination skipped for the cycle (default 60)\n"
    "One instance at a time sends for an origin company: a second one waits for its next\n"
    "cycle (or, with --once, exits with status 2).\n";

struct HeadlessArgs {
    std::vector<std::string> positional;
    std::string minutes = "1";
    std::string batch = "100";
    bool skipErrored = false;
    bool once = false;
    std::chrono::seconds connectTimeout = kDestinationConnectTimeout;
    std::chrono::seconds stallTimeout = kDestinationStallLimit;
};

// Parses the arguments; nullopt after writing what is wrong and the usage to stderr.
std::optional<HeadlessArgs> parseArgs(const std::vector<std::string>& args)
{
    HeadlessArgs h;
    std::string problem;
    for (const std::string& a : args) {
        if (a == "--headless") continue;
        if (a == "--once") {
            h.once = true;
        } else if (a == "--no-retry-errors") {
            h.skipErrored = true;
        } else if (a.rfind("--minutes=", 0) == 0) {
            h.minutes = a.substr(10);
            if (!tryMinutesValue(h.minutes))
                problem = "--minutes needs a whole number of minutes from 0 to 35791, not '" +
                          h.minutes + "'";
        } else if (a.rfind("--batch=", 0) == 0) {
            h.batch = a.substr(8);
            try {
                batchSizeValue(h.batch);
            } catch (const std::exception&) {
                problem = "--batch needs a whole number above 0, not '" + h.batch + "'";
            }
        } else if (a.rfind("--connect-timeout=", 0) == 0) {
            if (const auto v = secondsOption(a.substr(18)))
                h.connectTimeout = *v;
            else
                problem = "--connect-timeout needs a whole number of seconds, not '" +
                          a.substr(18) + "'";
        } else if (a.rfind("--stall-timeout=", 0) == 0) {
            if (const auto v = secondsOption(a.substr(16)))
                h.stallTimeout = *v;
            else
                problem = "--stall-timeout needs a whole number of seconds, not '" +
                          a.substr(16) + "'";
        } else if (a.rfind("--", 0) == 0) {
            problem = "unknown option '" + a + "'";
        } else {
            h.positional.push_back(a);
        }
        if (!problem.empty()) break;
    }
    if (problem.empty() && h.positional.size() < 4)
        problem = "SERVER, USER, PASSWORD and COMPANY are required";
    else if (problem.empty() && h.positional.size() > 5)
        problem = "too many arguments";
    else if (problem.empty() && h.positional[3].empty())
        problem = "COMPANY must not be empty";
    if (!problem.empty()) {
        std::cerr << "enviozvr: " << consoleText(problem) << "\n" << kUsage;
        return std::nullopt;
    }
    return h;
}

class HeadlessOptions : public SendOptions {
public:
    HeadlessOptions(const HeadlessArgs& a, bool newest)
        : batch_(a.batch), minutes_(a.minutes), newest_(newest), skipErrored_(a.skipErrored)
    {
    }
    bool chosen = false;
    bool companyChosen() const override { return chosen; }
    std::string batchSize() const override { return batch_; }
    void setBatchSize(const std::string& text) override { batch_ = text; }
    bool newestFirst() const override { return newest_; }
    bool skipErrored() const override { return skipErrored_; }
    std::string minutes() const override { return minutes_; }

private:
    std::string batch_;
    std::string minutes_;
    bool newest_;
    bool skipErrored_;
};

// Thrown by ConsoleStatus to end a cycle early after a stop signal. Not a std::exception,
// so that nothing on the way takes it for an error of the cycle.
struct CycleStopped {};

// A line of text on a console stream, in the locale's encoding.
void writeLine(std::ostream& out, const std::string& text)
{
    out << consoleText(text) << std::endl;
}

// No window: messages and the last connection error go to standard error, one line per
// company served to standard output. After a stop signal it ends the cycle where a new
// company or a new event would start, so the event in hand is always finished. It also
// keeps what a cycle did, for the line that ends each cycle of the repeating run.
class ConsoleStatus : public SendStatus {
public:
    std::vector<CompanySummary> served;  // the companies of the cycle under way

    void showMessage(const std::string& text) override { core::showUserMessage(text); }
    void setProgressPanel(const std::string&, bool visible) override
    {
        if (visible) stopHere();
    }
    void resetProgress(int) override {}
    void stepProgress() override {}
    void setCurrentEvent(const std::string&, bool visible) override
    {
        if (visible) stopHere();
    }
    void setLastSend(const std::string&) override {}
    void setErrorViewerEnabled(bool) override {}
    void setLastError(const std::string& text) override { writeLine(std::cerr, text); }
    void repaint() override {}
    void companyServed(const CompanySummary& s) override
    {
        served.push_back(s);
        if (s.connected)
            writeLine(std::cout, s.company + ": " + std::to_string(s.taken) + " tomados, " +
                                     std::to_string(s.sent) + " enviados, " +
                                     std::to_string(s.failed) + " con error");
        else
            writeLine(std::cout, s.company + ": sin conexion, 0 tomados, 0 enviados, 0 con error");
    }

private:
    static void stopHere()
    {
        if (stopRequested()) throw CycleStopped{};
    }
};

// Unhandled errors and messages on standard error, in the locale's encoding.
class ConsoleErrorDisplay : public core::ErrorDisplay {
public:
    void showError(const std::string& text) override { writeLine(std::cerr, text); }
};

// Timer1 over a QTimer. An interval of 0 leaves the timer on without ever firing (a
// QTimer would fire at every pass of the event loop instead).
class QtSendTimer : public SendTimer {
public:
    QTimer timer;
    void stop() override
    {
        timer.stop();
        on_ = false;
    }
    void start(int intervalMs) override
    {
        interval_ = intervalMs;
        on_ = true;
        if (intervalMs > 0)
            timer.start(intervalMs);
        else
            timer.stop();
    }
    bool isActive() const override { return on_; }
    int interval() const override { return interval_; }

private:
    bool on_ = false;
    int interval_ = 0;
};

// A timer for the one-cycle run: it only remembers what it was told.
class InertTimer : public SendTimer {
public:
    void stop() override { active_ = false; }
    void start(int intervalMs) override
    {
        interval_ = intervalMs;
        active_ = true;
    }
    bool isActive() const override { return active_; }
    int interval() const override { return interval_; }

private:
    bool active_ = true;
    int interval_ = kInitialIntervalMs;
};

// The line that ends a cycle of the repeating run.
std::string cycleLine(int cycle, int sent, int failed, long long sentSinceStart, bool again,
                      bool completed, int intervalMs)
{
    std::string line = "ciclo " + std::to_string(cycle) + ": " + std::to_string(sent) +
                       " enviados, " + std::to_string(failed) + " con error, " +
                       std::to_string(sentSinceStart) + " enviados desde el inicio; ";
    if (!completed) line += "terminado antes de tiempo; ";
    if (again) return line + "lote lleno: el siguiente ciclo empieza ya";
    if (intervalMs <= 0) return line + "sin ciclos por reloj";
    return line + "siguiente ciclo en " + std::to_string(intervalMs / 60000) + " min";
}

// Warns on standard error about each index the send cycle's statements need and a
// database lacks. A failure of the check itself is reported the same way and stops
// nothing.
void warnAboutIndexes(MainData& data, bool newestFirst)
{
    try {
        for (const std::string& line : indexWarnings(data, newestFirst)) writeLine(std::cerr, "enviozvr: " + line);
    } catch (const std::exception& e) {
        writeLine(std::cerr, std::string("enviozvr: warning: the indexes could not be checked: ") +
                                 e.what());
    }
}

// Runs `cycle` holding the instance lock of the origin company (when one is chosen; without
// a company the cycle stops at its own check). When another instance holds the lock, says
// so on standard error, arms the timer for the next try after Minut minutes and returns
// false. A failure to take the lock (the origin database cannot be reached) is thrown,
// after re-arming the timer likewise.
bool cycleWithLock(InstanceLock& lock, const HeadlessOptions& options, SendTimer& timer,
                   const std::function<void()>& cycle)
{
    if (options.chosen) {
        InstanceLock::Result held = InstanceLock::Result::Acquired;
        try {
            held = lock.tryAcquire();
        } catch (...) {
            timer.start(minutesValue(options.minutes()) * 60000);
            throw;
        }
        if (held != InstanceLock::Result::Acquired) {
            writeLine(std::cerr, "enviozvr: " + lock.busyMessage(held));
            timer.start(minutesValue(options.minutes()) * 60000);
            return false;
        }
    }
    struct Release {
        InstanceLock& lock;
        ~Release()
        {
            try {
                lock.release();
            } catch (...) {
            }
        }
    } release{lock};
    cycle();
    return true;
}

}  // namespace

int runHeadless(const std::vector<std::string>& rawArgs)
{
    std::vector<std::string> args;
    for (const std::string& a : rawArgs) args.push_back(argumentText(a));
    const std::optional<HeadlessArgs> parsed = parseArgs(args);
    if (!parsed) return 2;
    // Without an installation directory there is nowhere to log: refuse to start.
    if (const std::string problem = core::installationDirectoryProblem(); !problem.empty()) {
        writeLine(std::cerr, problem);
        return 2;
    }
    const HeadlessArgs& a = *parsed;
    const std::string& server = a.positional[0];
    const std::string& user = a.positional[1];
    const std::string password = passwordArgument(a.positional[2]);
    const std::string& company = a.positional[3];
    const bool newest = a.positional.size() > 4 && !a.positional[4].empty();

    std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "enviozvr";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QCoreApplication>(argc, argv);
    }

    MainData data;
    data.DBEnvio.setTimeouts(a.connectTimeout, a.stallTimeout);
    ConsoleErrorDisplay display;
    core::installUnhandledErrorHandler(&data.loginRecord, &display);
    core::setUserMessageHandler([](const std::string& text) { writeLine(std::cerr, text); });
    // The handlers must not keep pointers to this frame's objects once it is left.
    struct Uninstall {
        ~Uninstall()
        {
            core::installUnhandledErrorHandler(nullptr, nullptr);
            core::setUserMessageHandler({});
        }
    } uninstall;

    if (!core::runGuardedOk([&] { data.loginAutomatic(server, user, password); })) return 2;

    // A stop signal: no further cycle starts and a cycle under way ends after its event in
    // hand (ConsoleStatus); then the connections are closed and the program ends.
    bool stopped = false;
    const auto disconnect = [&] {
        core::runGuarded([&] {
            data.DBEnvio.disconnect();
            data.DbCia.disconnect();
            data.DbGeneral.disconnect();
        });
    };

    HeadlessOptions options(a, newest);
    core::runGuarded([&] {
        if (data.companyName(company).empty()) return;
        options.chosen = true;
        data.selectCompany(company);
    });
    if (options.chosen && data.DbCia.isConnected()) warnAboutIndexes(data, options.newestFirst());

    ConsoleStatus status;
    // One cycle unless a stop came first, holding the origin company's instance lock;
    // true when it reached its end. `busy`: another instance held the lock.
    InstanceLock lock(company, data.DbCia);
    bool busy = false;
    const auto cycle = [&](SendTimer& timer) {
        if (stopRequested()) return false;
        CycleEnd end = CycleEnd::NoCompany;
        busy = false;
        const bool ok = core::runGuardedOk([&] {
            try {
                busy = !cycleWithLock(lock, options, timer,
                                      [&] { end = runSendCycle(data, options, status, timer); });
            } catch (const CycleStopped&) {
                stopped = true;
            }
        });
        return ok && !stopped && !busy && end == CycleEnd::Completed;
    };

    if (a.once) {
        InertTimer timer;
        const bool completed = cycle(timer);
        if (stopRequested()) disconnect();
        if (busy) return 2;
        return completed ? 0 : 1;
    }

    // A backlog drains: while a cycle ends with a full batch from which events went out,
    // the next cycle starts at once instead of waiting for the timer. Each cycle ends with
    // one line of progress.
    QtSendTimer timer;
    int cycles = 0;
    long long sentSinceStart = 0;
    std::function<void()> repeating = [&] {
        status.served.clear();
        const bool completed = cycle(timer);
        if (busy || stopped || stopRequested()) return;
        // Full: a destination's batch held as many events as the batch size and at least
        // one of them went out, so more may be waiting (a batch that only failed would
        // come back the same, and a destination lost in mid-batch waits for the timer).
        int sent = 0, failed = 0;
        bool full = false;
        const int batch = [&] {
            try {
                return batchSizeValue(options.batchSize());
            } catch (const std::exception&) {
                return INT_MAX;  // never full (the arguments were checked at the start)
            }
        }();
        for (const CompanySummary& s : status.served) {
            sent += s.sent;
            failed += s.failed;
            if (s.connected && !s.lost && s.taken >= batch && s.sent > 0) full = true;
        }
        sentSinceStart += sent;
        const bool again = completed && full;
        writeLine(std::cout, cycleLine(++cycles, sent, failed, sentSinceStart, again, completed,
                                       timer.interval()));
        if (again) QTimer::singleShot(0, repeating);
    };
    QObject::connect(&timer.timer, &QTimer::timeout, [&] { repeating(); });
    timer.start(kInitialIntervalMs);
    QTimer::singleShot(0, [&] { repeating(); });
    const StopRequest stop(QCoreApplication::instance(), [&] {
        timer.stop();
        QCoreApplication::exit(0);
    });
    const int exitStatus = QCoreApplication::exec();
    if (stopRequested()) disconnect();
    return exitStatus;
}

}  // namespace enviozvr::app
