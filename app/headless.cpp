#include "app/headless.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "app/consoletext.h"
#include "app/instancelock.h"
#include "app/options.h"
#include "app/serviceargs.h"
#include "app/signals.h"
#include "app/verify.h"
#include "core/journal.h"
#include "core/localfiles.h"
#include "core/loginrecord.h"
#include "core/messages.h"
#include "core/unhandled.h"
#include "data/errors.h"
#include "sender/indexcheck.h"
#include "sender/maindata.h"
#include "sender/originrights.h"
#include "sender/parallelcycle.h"
#include "sender/sendcycle.h"

namespace enviozvr::app {

using namespace enviozvr::sender;

namespace {

constexpr int kInitialIntervalMs = 1800000;  // 30 minutes, as the desktop starts

// isc_login: the server refused the user name and password; isc_io_error: the database
// file named by SERVER cannot be opened (no such file). Both stay until the settings change.
constexpr long kLoginRefusedCode = 335544472L;
constexpr long kFileNotOpenedCode = 335544344L;

bool loginRefused(const data::DatabaseError& e) {
    return e.iscCode() == kLoginRefusedCode || e.iscCode() == kFileNotOpenedCode;
}

struct HeadlessArgs {
    std::vector<std::string> positional;
    std::string minutes = "1";
    BatchSize batch{kDefaultBatchSize};
    bool skipErrored = false;
    bool once = false;
    std::chrono::seconds connectTimeout = kDestinationConnectTimeout;
    std::chrono::seconds stallTimeout = kDestinationStallLimit;
    int parallel = kDefaultParallelDestinations;
    int verifyEveryMinutes = 0;  // 0: the service does not verify
    bool repair = false;
};

constexpr std::string_view kMinutesOption = "--minutes=";
constexpr std::string_view kBatchOption = "--batch=";
constexpr std::string_view kConnectTimeoutOption = "--connect-timeout=";
constexpr std::string_view kStallTimeoutOption = "--stall-timeout=";
constexpr std::string_view kParallelOption = "--parallel=";
constexpr std::string_view kVerifyEveryOption = "--verify-every=";
constexpr int kMaxParallel = 64;

// The text after `prefix` when `arg` starts with it.
std::optional<std::string> afterPrefix(const std::string& arg, std::string_view prefix) {
    if (arg.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return arg.substr(prefix.size());
}

// Parses the arguments (`args` as Windows-1252 texts, `raw` the same in the locale's
// encoding, for messages that show a value as it was typed); nullopt after writing what
// is wrong and the usage to stderr.
std::optional<HeadlessArgs> parseArgs(const std::vector<std::string>& args,
                                      const std::vector<std::string>& raw) {
    HeadlessArgs h;
    std::string problem;  // in the locale's encoding
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const std::string& typed = raw[i];
        // The value of an option as it was typed, for the message that refuses it.
        const auto typedValue = [&](std::string_view prefix) {
            return "'" + typed.substr(std::min(prefix.size(), typed.size())) + "'";
        };
        if (a == "--headless") continue;
        if (a == "--once") {
            h.once = true;
        } else if (a == "--no-retry-errors") {
            h.skipErrored = true;
        } else if (a == "--repair") {
            h.repair = true;
        } else if (const auto every = afterPrefix(a, kVerifyEveryOption)) {
            const auto minutes = tryMinutesValue(*every);
            if (minutes && *minutes > 0)
                h.verifyEveryMinutes = *minutes;
            else
                problem = "--verify-every needs a whole number of minutes from 1 to 35791, not " +
                          typedValue(kVerifyEveryOption);
        } else if (const auto minutes = afterPrefix(a, kMinutesOption)) {
            h.minutes = *minutes;
            if (!tryMinutesValue(h.minutes))
                problem = "--minutes needs a whole number of minutes from 0 to 35791, not " +
                          typedValue(kMinutesOption);
        } else if (const auto batch = afterPrefix(a, kBatchOption)) {
            h.batch = BatchSize::fromText(*batch);
            if (!h.batch.usable())
                problem = "--batch needs a whole number above 0, not " + typedValue(kBatchOption);
        } else if (const auto connect = afterPrefix(a, kConnectTimeoutOption)) {
            if (const auto v = secondsOption(*connect))
                h.connectTimeout = *v;
            else
                problem =
                    "--connect-timeout needs a whole number of seconds from 1 to 86400, not " +
                    typedValue(kConnectTimeoutOption);
        } else if (const auto stall = afterPrefix(a, kStallTimeoutOption)) {
            if (const auto v = secondsOption(*stall))
                h.stallTimeout = *v;
            else
                problem = "--stall-timeout needs a whole number of seconds from 1 to 86400, not " +
                          typedValue(kStallTimeoutOption);
        } else if (const auto parallel = afterPrefix(a, kParallelOption)) {
            const std::string& t = *parallel;
            const bool digits =
                !t.empty() && t.size() <= 2 &&
                std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits && std::stoi(t) >= 1 && std::stoi(t) <= kMaxParallel)
                h.parallel = std::stoi(t);
            else
                problem = "--parallel needs a whole number from 1 to " +
                          std::to_string(kMaxParallel) + ", not " + typedValue(kParallelOption);
        } else if (a.rfind("--", 0) == 0) {
            problem = "unknown option '" + typed + "'";
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
    else if (problem.empty() && h.repair && h.verifyEveryMinutes == 0)
        problem = "--repair goes with --verify-every";
    if (!problem.empty()) {
        std::cerr << "enviozvr: " << problem << "\n" << modeUsage(kHeadlessMode);
        return std::nullopt;
    }
    return h;
}

using core::Priority;

// A line of text on standard output or error, in the locale's encoding, written whole:
// several destinations may be served at once. When the stream is the journal, the line
// carries `priority`.
void writeLine(std::ostream& out, Priority priority, const std::string& text) {
    static std::mutex mutex;
    const int fd = &out == &std::cout ? 1 : 2;
    const std::string line = core::journalText(fd, priority, consoleText(text) + "\n");
    std::lock_guard lock(mutex);
    out << line << std::flush;
}

// No window: messages and the last connection error go to standard error, one line per
// company served to standard output. It passes a stop signal on to the cycle, which ends
// where a new company or a new event would start, so the event in hand is always
// finished. It also keeps what a cycle did, for the line that ends each cycle.
class ConsoleStatus : public SendStatus {
  public:
    std::vector<CompanySummary> served;  // the companies of the cycle under way

    void showMessage(const std::string& text) override { core::showUserMessage(text); }
    void setLastError(const std::string& text) override {
        writeLine(std::cerr, Priority::Warning, text);
    }
    void companyServed(const CompanySummary& s) override {
        served.push_back(s);
        const std::string why = s.reason.empty() ? std::string() : " (" + s.reason + ")";
        // A destination that could not be served in full is a warning; one served is news.
        const Priority priority = !s.connected || s.lost || s.originFailed || s.failed > 0
                                      ? Priority::Warning
                                      : Priority::Info;
        if (s.connected)
            writeLine(std::cout, priority,
                      s.company + ": " + std::to_string(s.taken) + " tomados, " +
                          std::to_string(s.sent) + " enviados, " + std::to_string(s.failed) +
                          " con error" +
                          (s.lost           ? "; cortado" + why + ", el resto espera"
                           : s.originFailed ? "; interrumpido" + why + ", el resto espera"
                           : s.stopped      ? "; detenido, el resto espera"
                                            : ""));
        else
            writeLine(std::cout, priority,
                      s.company + ": sin conexion" + why + ", 0 tomados, 0 enviados, 0 con error");
    }

    bool stopRequested() const override { return app::stopRequested(); }
};

// Unhandled errors and messages on standard error, in the locale's encoding.
class ConsoleErrorDisplay : public core::ErrorDisplay {
  public:
    void showError(const std::string& text) override {
        writeLine(std::cerr, Priority::Error, text);
    }
};

// Timer1 over a QTimer. An interval of 0 leaves the timer on without ever firing (a
// QTimer would fire at every pass of the event loop instead).
class QtSendTimer : public SendTimer {
  public:
    QTimer timer;
    void stop() override {
        timer.stop();
        on_ = false;
    }
    void start(int intervalMs) override {
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
    void start(int intervalMs) override {
        interval_ = intervalMs;
        active_ = true;
    }
    bool isActive() const override { return active_; }
    int interval() const override { return interval_; }

  private:
    bool active_ = true;
    int interval_ = kInitialIntervalMs;
};

// How a cycle ended, for its closing line.
enum class CycleOutcome { Completed, EndedEarly, Stopped };

// The line that ends a cycle: of every cycle of the repeating run, and of the one-cycle
// run when a stop signal cut it short.
std::string cycleLine(int cycle, int sent, int failed, long long sentSinceStart, bool again,
                      CycleOutcome outcome, int intervalMs) {
    std::string line = "ciclo " + std::to_string(cycle) + ": " + std::to_string(sent) +
                       " enviados, " + std::to_string(failed) + " con error, " +
                       std::to_string(sentSinceStart) + " enviados desde el inicio; ";
    if (outcome == CycleOutcome::Stopped) return line + "detenido por una senal de parada";
    if (outcome == CycleOutcome::EndedEarly) line += "terminado antes de tiempo; ";
    if (again) return line + "lote lleno: el siguiente ciclo empieza ya";
    if (intervalMs <= 0) return line + "sin ciclos por reloj";
    return line + "siguiente ciclo en " + std::to_string(intervalMs / kMinuteMs) + " min";
}

// Warns on standard error about each index the send cycle's statements need and a
// database lacks. A failure of the check itself is reported the same way and stops
// nothing.
void warnAboutIndexes(MainData& data, bool newestFirst) {
    try {
        for (const std::string& line : indexWarnings(data, newestFirst, stopRequested))
            writeLine(std::cerr, Priority::Warning, "enviozvr: " + line);
    } catch (const std::exception& e) {
        writeLine(std::cerr, Priority::Warning,
                  std::string("enviozvr: warning: the indexes could not be checked: ") + e.what());
    }
}

// Runs `cycle` holding the instance lock of the origin company (when one is chosen; without
// a company the cycle stops at its own check). When another instance holds the lock, says
// so on standard error, arms the timer for the next try after Minut minutes and returns
// false. A failure to take the lock (the origin database cannot be reached) is thrown,
// after re-arming the timer likewise.
bool cycleWithLock(InstanceLock& lock, const FixedSendOptions& options, SendTimer& timer,
                   const std::function<void()>& cycle) {
    if (options.companyChosen()) {
        InstanceLock::Result held = InstanceLock::Result::Acquired;
        try {
            held = lock.tryAcquire();
        } catch (...) {
            timer.start(minutesValue(options.minutes()) * kMinuteMs);
            throw;
        }
        if (held != InstanceLock::Result::Acquired) {
            writeLine(std::cerr,
                      held == InstanceLock::Result::DirectoryUnusable ? Priority::Error
                                                                      : Priority::Warning,
                      "enviozvr: " + lock.busyMessage(held));
            timer.start(minutesValue(options.minutes()) * kMinuteMs);
            return false;
        }
    }
    struct Release {
        InstanceLock& lock;
        ~Release() {
            try {
                lock.release();
            } catch (...) {
                // Runs while the cycle's own failure may be on its way out: a lock that
                // cannot be let go cleanly (the origin gone) must not replace it, and is
                // let go when the connection or the process ends.
            }
        }
    } release{lock};
    cycle();
    return true;
}

// The application object a console run needs, unless one exists already (tests).
std::unique_ptr<QCoreApplication> consoleApplication() {
    if (QCoreApplication::instance()) return nullptr;
    static int argc = 1;
    static char name[] = "enviozvr";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

// While it lives, unhandled errors and user messages go to standard error; the handlers
// must not keep pointers to the run's objects once it is over.
class ConsoleHandlers {
  public:
    ConsoleHandlers(core::LoginRecord& login, core::ErrorDisplay& display) {
        core::installUnhandledErrorHandler(&login, &display);
        core::setUserMessageHandler(
            [](const std::string& text) { writeLine(std::cerr, Priority::Error, text); });
    }
    ~ConsoleHandlers() {
        core::installUnhandledErrorHandler(nullptr, nullptr);
        core::setUserMessageHandler({});
    }
    ConsoleHandlers(const ConsoleHandlers&) = delete;
    ConsoleHandlers& operator=(const ConsoleHandlers&) = delete;
};

// A right the origin's login user lacks is a configuration error: one line that names the
// user, the right, the table and the GRANT that gives it, and kConfigurationError. The
// general database's rights when `company` is null, else the company database's. Any
// other failure of the check is left to the steps that follow, which report it as before.
std::optional<int> refuseMissingRight(MainData& data, data::Connection* company) {
    std::optional<OriginRight> missing;
    try {
        missing = missingOriginRight(data.DbGeneral, company);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!missing) return std::nullopt;
    const data::Connection& where = company ? *company : data.DbGeneral;
    writeLine(std::cerr, Priority::Error,
              "enviozvr: " +
                  missingRightText(data.loginRecord.UsuarioSesion, *missing, where.database()));
    return kConfigurationError;
}

// Selects the origin company, refusing one the general database does not list (a bad
// argument: refused at once rather than at every cycle) and a login user that lacks a
// right the cycle needs, and warns about missing indexes. The exit status after saying
// why when the run cannot go on: kConfigurationError for an unknown company or a missing
// right, kTemporaryFailure when the list could not be read.
std::optional<int> chooseCompany(MainData& data, FixedSendOptions& options,
                                 const std::string& company) {
    if (const std::optional<int> refused = refuseMissingRight(data, nullptr)) return refused;
    bool known = false;
    if (!core::runGuardedOk([&] { known = !data.companyName(company).empty(); }))
        return kTemporaryFailure;
    if (!known) {
        writeLine(std::cerr, Priority::Error,
                  "enviozvr: the company " + company + " is not in COMPANIA");
        return kConfigurationError;
    }
    bool connected = false;
    try {
        data.connectCompany(company);
        connected = true;
    } catch (const std::exception&) {
        // Said by the selection below, as a failed selection always is.
    }
    if (connected) {
        if (const std::optional<int> refused = refuseMissingRight(data, &data.DbCia))
            return refused;
    }
    core::runGuarded([&] {
        options.setCompanyChosen(true);
        data.selectCompany(company);
    });
    if (options.companyChosen() && data.DbCia.isConnected() && !stopRequested())
        warnAboutIndexes(data, options.newestFirst());
    return std::nullopt;
}

// The send cycles of one headless run, after the login: the one-cycle run or the
// repeating one. A stop signal: no further cycle starts and a cycle under way ends after
// its event in hand; then the connections are closed and the run ends.
class HeadlessRun {
  public:
    HeadlessRun(MainData& data, FixedSendOptions& options, const std::string& company, int parallel,
                int verifyEveryMinutes, bool repair)
        : data_(data),
          options_(options),
          company_(company),
          parallel_(parallel),
          verifyEvery_(std::chrono::minutes(verifyEveryMinutes)),
          repair_(repair),
          lock_(company, data.DbCia) {}

    // One cycle, then the exit status: 0 when it reached its end, 1 when it ended early
    // or a log line could not be written, 2 when another instance held the lock.
    int once() {
        if (stopRequested()) {
            disconnect();
            return 1;
        }
        InertTimer timer;
        const CycleOutcome outcome = cycle(timer);
        if (outcome == CycleOutcome::Stopped) closingLine(1, false, outcome, timer);
        if (verifyEvery_.count() > 0 && !busy_ && !stopRequested()) verify(timer);
        if (stopRequested()) disconnect();
        if (busy_) return 2;
        return outcome == CycleOutcome::Completed && !core::logLineLost() ? 0 : 1;
    }

    // Cycles on the timer until a stop signal; the event loop's exit status. A backlog
    // drains: while a cycle ends with a full batch from which events went out, the next
    // cycle starts at once instead of waiting for the timer. Each cycle ends with a line.
    int repeating() {
        QtSendTimer timer;
        QObject::connect(&timer.timer, &QTimer::timeout, [&] { repeatOnce(timer); });
        timer.start(kInitialIntervalMs);
        QTimer::singleShot(0, [&] { repeatOnce(timer); });
        const StopRequest stop(QCoreApplication::instance(), [&] {
            timer.stop();
            QCoreApplication::exit(0);
        });
        const int exitStatus = QCoreApplication::exec();
        if (stopRequested()) disconnect();
        return exitStatus;
    }

  private:
    // One cycle unless a stop came first, holding the origin company's instance lock.
    CycleOutcome cycle(SendTimer& timer) {
        status_.served.clear();
        busy_ = false;
        CycleEnd end = CycleEnd::NoCompany;
        bool stopped = false;
        const bool ok = core::runGuardedOk([&] {
            try {
                busy_ = !cycleWithLock(lock_, options_, timer, [&] {
                    end =
                        runParallelSendCycle(data_, company_, parallel_, options_, status_, timer);
                });
            } catch (const std::exception& e) {
                // A wait that the stop signal ended is no failure of the cycle.
                if (!stopRequested()) {
                    const auto* db = dynamic_cast<const data::DatabaseError*>(&e);
                    if (data_.DbCia.stalled() || (db && db->connectionLost()))
                        writeLine(std::cerr, Priority::Error,
                                  "enviozvr: el origen no respondio o se perdio la conexion "
                                  "(limite " +
                                      std::to_string(data_.DbCia.stallLimit().count()) +
                                      " s): el ciclo termina antes de tiempo y el siguiente lo "
                                      "intenta de nuevo");
                    throw;
                }
                stopped = true;
            }
        });
        // An origin attachment that stopped answering is given up: the next cycle
        // connects anew.
        if (data_.DbCia.stalled())
            core::runGuarded([&] {
                try {
                    data_.DbCia.disconnect();
                } catch (const std::exception&) {
                    // Let go whatever the server says; the next use connects again.
                }
            });
        if (stopped || end == CycleEnd::Stopped) return CycleOutcome::Stopped;
        return ok && !busy_ && end == CycleEnd::Completed ? CycleOutcome::Completed
                                                          : CycleOutcome::EndedEarly;
    }

    void repeatOnce(QtSendTimer& timer) {
        if (stopRequested()) return;  // no further cycle starts
        const CycleOutcome outcome = cycle(timer);
        if (busy_) return;
        if (outcome != CycleOutcome::Stopped && stopRequested()) return;
        const bool again = closingLine(++cycles_, true, outcome, timer);
        if (again) {
            QTimer::singleShot(0, [this, &timer] { repeatOnce(timer); });
            return;
        }
        // Between cycles, when the verification is due.
        if (verifyEvery_.count() > 0 && !stopRequested() &&
            (!lastVerify_ || std::chrono::steady_clock::now() - *lastVerify_ >= verifyEvery_))
            verify(timer);
    }

    // Verifies the destinations (and mends them with --repair) holding the instance lock,
    // as a cycle does; its report goes to standard output, its record beside the logs.
    void verify(SendTimer& timer) {
        lastVerify_ = std::chrono::steady_clock::now();
        core::runGuarded([&] {
            cycleWithLock(lock_, options_, timer, [&] {
                sender::VerifyRequest request;
                request.repair = repair_;
                request.stopRequested = [] { return stopRequested(); };
                const auto checks = sender::verifyDestinations(data_, request);
                writeVerifyRecord(company_, recordOf(checks));
                int health = 0;
                std::istringstream report(verifyReport(company_, checks, repair_, health));
                std::string line;
                std::getline(report, line);
                // "ENVIOZVR <STATE> - <text> | <perfdata>": the text is what the log needs.
                const auto from = line.find(" - ");
                line = line.substr(from == std::string::npos ? 0 : from + 3);
                line = line.substr(0, line.find(" | "));
                const Priority priority = health == 0 ? Priority::Info : Priority::Warning;
                writeLine(std::cout, priority, "verificacion: " + line);
                while (std::getline(report, line)) writeLine(std::cout, priority, line);
            });
        });
    }

    // Writes the line that ends a cycle; true when the next cycle should start at once.
    // Full: a destination's batch held as many events as the batch size and at least one
    // of them went out, so more may be waiting (a batch that only failed would come back
    // the same, and a destination lost in mid-batch waits for the timer).
    bool closingLine(int number, bool repeats, CycleOutcome outcome, const SendTimer& timer) {
        int sent = 0, failed = 0;
        bool full = false;
        // The arguments were checked at the start: the batch size is a number.
        const int batch = options_.batchSize().events().value_or(INT_MAX);
        for (const CompanySummary& s : status_.served) {
            sent += s.sent;
            failed += s.failed;
            if (s.connected && !s.lost && !s.stopped && s.taken >= batch && s.sent > 0) full = true;
        }
        sentSinceStart_ += sent;
        const bool again = repeats && outcome == CycleOutcome::Completed && full;
        writeLine(
            std::cout, outcome == CycleOutcome::EndedEarly ? Priority::Warning : Priority::Info,
            cycleLine(number, sent, failed, sentSinceStart_, again, outcome, timer.interval()));
        return again;
    }

    void disconnect() {
        core::runGuarded([&] {
            data_.DBEnvio.disconnect();
            data_.DbCia.disconnect();
            data_.DbGeneral.disconnect();
        });
    }

    MainData& data_;
    FixedSendOptions& options_;
    const std::string company_;
    const int parallel_;                      // destinations served at once
    const std::chrono::minutes verifyEvery_;  // 0: no verification
    const bool repair_;
    std::optional<std::chrono::steady_clock::time_point> lastVerify_;
    ConsoleStatus status_;
    InstanceLock lock_;
    bool busy_ = false;  // another instance held the lock
    int cycles_ = 0;
    long long sentSinceStart_ = 0;
};

}  // namespace

int runHeadless(const std::vector<std::string>& rawArgs) {
    std::vector<std::string> args;
    args.reserve(rawArgs.size());
    for (const std::string& a : rawArgs) args.push_back(argumentText(a));
    const std::optional<HeadlessArgs> parsed = parseArgs(args, rawArgs);
    if (!parsed) return 2;
    // Without an installation directory there is nowhere to log: refuse to start.
    if (const std::string problem = core::installationDirectoryProblem(); !problem.empty()) {
        writeLine(std::cerr, Priority::Error, problem);
        return kConfigurationError;
    }
    const HeadlessArgs& a = *parsed;
    const std::string& server = a.positional[0];
    const std::string& user = a.positional[1];
    const std::string password = passwordArgument(a.positional[2]);
    const std::string& company = a.positional[3];
    const bool newest = a.positional.size() > 4 && !a.positional[4].empty();
    // A directory that cannot hold the lock file (nor the logs) is said before any
    // database is contacted.
    if (const std::string problem = InstanceLock::directoryProblem(company); !problem.empty()) {
        writeLine(std::cerr, Priority::Error, "enviozvr: " + problem);
        return kConfigurationError;
    }

    const std::unique_ptr<QCoreApplication> ownApp = consoleApplication();
    // A stop signal ends any wait on a database at once (see signals.h).
    data::trackEveryCall();
    MainData data;
    data.DBEnvio.setTimeouts(a.connectTimeout, a.stallTimeout);
    // The origin's attachments (the general database, the company database, and each
    // worker's and the instance lock's, which take theirs from it) wait no longer on a
    // silent link than a destination's do.
    data.DbGeneral.setTimeouts(a.connectTimeout, a.stallTimeout);
    data.DbCia.setTimeouts(a.connectTimeout, a.stallTimeout);
    ConsoleErrorDisplay display;
    const ConsoleHandlers handlers(data.loginRecord, display);

    bool refused = false;
    bool unreachable = false;
    if (!core::runGuardedOk([&] {
            try {
                data.loginAutomatic(server, user, password);
            } catch (const data::DatabaseError& e) {
                refused = loginRefused(e);
                if (refused || !originServerUnreachable(e)) throw;
                // Said with the same reason as the status check gives for it; the client's
                // own words go to ERRORES.TXT as for any unhandled error.
                unreachable = true;
                core::logUnhandledError(core::upperAscii(user), e.what());
                writeLine(std::cerr, Priority::Error,
                          "enviozvr: el origen " + sender::generalDatabasePath(server) +
                              " no se puede usar: " + originFailureReason(e, a.connectTimeout));
            }
        }) ||
        unreachable)
        return refused ? kConfigurationError : kTemporaryFailure;
    FixedSendOptions options(false, a.batch, newest, a.skipErrored, a.minutes);
    if (const std::optional<int> status = chooseCompany(data, options, company)) return *status;
    HeadlessRun run(data, options, company, a.parallel, a.verifyEveryMinutes, a.repair);
    return a.once ? run.once() : run.repeating();
}

}  // namespace enviozvr::app
