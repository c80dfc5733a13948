#include "app/headless.h"

#include <QCoreApplication>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

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
    "  SERVER    text that starts every database path (host:folder, or a folder for\n"
    "            embedded databases): SERVER/datos/general.fdb\n"
    "  USER, PASSWORD  database login of the general database\n"
    "  COMPANY   code of the origin company (COMP_COD)\n"
    "  NEWEST    any text: send the newest events first\n"
    "  --minutes=N       minutes between send cycles (default 1); while a cycle's batch\n"
    "                    comes back full the next cycle starts at once\n"
    "  --batch=N         events taken per destination company and cycle (default 100)\n"
    "  --no-retry-errors leave out events that carry an error\n"
    "  --once            one send cycle, then exit: 0 when it reached its end, 1 when it\n"
    "                    ended early, 2 for bad arguments or a failed login\n";

struct HeadlessArgs {
    std::vector<std::string> positional;
    std::string minutes = "1";
    std::string batch = "100";
    bool skipErrored = false;
    bool once = false;
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
        std::cerr << "enviozvr: " << problem << "\n" << kUsage;
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

// No window: messages and the last connection error go to standard error, one line per
// company served to standard output. It also keeps what a cycle did, for the line that
// ends each cycle of the repeating run.
class ConsoleStatus : public SendStatus {
public:
    std::vector<CompanySummary> served;  // the companies of the cycle under way

    void showMessage(const std::string& text) override { core::showUserMessage(text); }
    void setProgressPanel(const std::string&, bool) override {}
    void resetProgress(int) override {}
    void stepProgress() override {}
    void setCurrentEvent(const std::string&, bool) override {}
    void setLastSend(const std::string&) override {}
    void setErrorViewerEnabled(bool) override {}
    void setLastError(const std::string& text) override
    {
        std::cerr << text << std::endl;
    }
    void repaint() override {}
    void companyServed(const CompanySummary& s) override
    {
        served.push_back(s);
        if (s.connected)
            std::cout << s.company << ": " << s.taken << " tomados, " << s.sent << " enviados, "
                      << s.failed << " con error" << std::endl;
        else
            std::cout << s.company << ": sin conexion, 0 tomados, 0 enviados, 0 con error"
                      << std::endl;
    }
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
void warnAboutIndexes(MainData& data)
{
    try {
        for (const std::string& line : indexWarnings(data))
            std::cerr << "enviozvr: " << line << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "enviozvr: warning: the indexes could not be checked: " << e.what()
                  << std::endl;
    }
}

}  // namespace

int runHeadless(const std::vector<std::string>& args)
{
    const std::optional<HeadlessArgs> parsed = parseArgs(args);
    if (!parsed) return 2;
    const HeadlessArgs& a = *parsed;
    const std::string& server = a.positional[0];
    const std::string& user = a.positional[1];
    const std::string& password = a.positional[2];
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
    core::StandardErrorDisplay display;
    core::installUnhandledErrorHandler(&data.loginRecord, &display);
    // The handler must not keep pointers to this frame's objects once it is left.
    struct Uninstall {
        ~Uninstall() { core::installUnhandledErrorHandler(nullptr, nullptr); }
    } uninstall;

    if (!core::runGuardedOk([&] { data.loginAutomatic(server, user, password); })) return 2;

    HeadlessOptions options(a, newest);
    core::runGuarded([&] {
        if (data.companyName(company).empty()) return;
        options.chosen = true;
        data.selectCompany(company);
    });
    if (options.chosen && data.DbCia.isConnected()) warnAboutIndexes(data);

    ConsoleStatus status;
    if (a.once) {
        InertTimer timer;
        CycleEnd end = CycleEnd::NoCompany;
        const bool ok =
            core::runGuardedOk([&] { end = runSendCycle(data, options, status, timer); });
        return ok && end == CycleEnd::Completed ? 0 : 1;
    }

    // A backlog drains: while a cycle ends with a full batch from which events went out,
    // the next cycle starts at once instead of waiting for the timer. Each cycle ends with
    // one line of progress.
    QtSendTimer timer;
    int cycles = 0;
    long long sentSinceStart = 0;
    std::function<void()> cycle = [&] {
        status.served.clear();
        CycleEnd end = CycleEnd::NoCompany;
        const bool ok =
            core::runGuardedOk([&] { end = runSendCycle(data, options, status, timer); });
        const bool completed = ok && end == CycleEnd::Completed;
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
        std::cout << cycleLine(++cycles, sent, failed, sentSinceStart, again, completed,
                               timer.interval())
                  << std::endl;
        if (again) QTimer::singleShot(0, cycle);
    };
    QObject::connect(&timer.timer, &QTimer::timeout, [&] { cycle(); });
    timer.start(kInitialIntervalMs);
    QTimer::singleShot(0, [&] { cycle(); });
    return QCoreApplication::exec();
}

}  // namespace enviozvr::app
