// The built program as a child process over databases on the local server: stop signals
// in the headless and desktop modes, desktop arguments that look like Qt options, and
// the locale's encoding of console arguments and messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/consoletext.h"
#include "data/connection.h"
#include "data/transaction.h"
#include "sender/maindata.h"
#include "support/childprocess.h"
#include "ui/ctrlaccesozvr.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

// A QCoreApplication for QProcess and the file watcher, unless one exists.
using AppInstance = testing::ApplicationInstance;

// The program, started with `args` (UTF-8 bytes) in the C.UTF-8 locale on the offscreen
// platform (or the one ENVIOZVR_PROCESS_TEST_PROGRAM names); finish() is false unless it
// ended by itself within a minute.
struct Program : testing::Child {
    explicit Program(const std::vector<std::string>& args)
        : testing::Child(
              args, {.program = qEnvironmentVariable("ENVIOZVR_PROCESS_TEST_PROGRAM").toStdString(),
                     .environment = {{"QT_QPA_PLATFORM", "offscreen"}, {"LC_ALL", "C.UTF-8"}},
                     .normalExitOnly = true}) {}
};

// Waits until the log `name` of the world's installation folder has `count` whole lines.
bool waitForLogLines(const UiWorld& world, const std::string& name, std::size_t count) {
    QFileSystemWatcher watcher({QString::fromStdString(world.install.path())});
    QSignalSpy folder(&watcher, &QFileSystemWatcher::directoryChanged);
    QSignalSpy file(&watcher, &QFileSystemWatcher::fileChanged);
    QDeadlineTimer deadline(60000);
    for (;;) {
        const auto lines = world.logLines(name);
        std::size_t whole = 0;
        for (const auto& l : lines) whole += l.rfind("<no CR LF>", 0) != 0;
        if (whole >= count) return true;
        if (deadline.hasExpired()) return false;
        const QString path = QString::fromStdString(world.install.file(name));
        if (!lines.empty() && !watcher.files().contains(path)) watcher.addPath(path);
        // A change notice wakes the check; the short bound covers one that came between
        // the check and the wait.
        if (!folder.wait(50)) file.wait(50);
    }
}

// A transaction of the test that holds the row of one event of the origin: the
// program's marking of that event as sent waits until it ends.
class EventRowLock {
  public:
    EventRowLock(UiWorld& world, int id) : connection_(data::Connection::company("Lock")) {
        connection_->setParam("Database", world.origin().location());
        connection_->setParam("User_Name", world.user);
        connection_->setParam("password", world.password);
        connection_->connect();
        transaction_.emplace(*connection_);
        connection_->execute("UPDATE REPLICA_EVENTOS SET RPEV_ERROR = RPEV_ERROR WHERE RPEV_ID = " +
                             std::to_string(id));
    }
    void release() { transaction_->rollback(); }

  private:
    std::unique_ptr<data::Connection> connection_;
    std::optional<data::Transaction> transaction_;
};

bool logLinesAreWhole(const UiWorld& world, const std::string& name) {
    for (const auto& l : world.logLines(name))
        if (l.rfind("<no CR LF>", 0) == 0) return false;
    return true;
}

// ---- headless ----

enum class Moment {
    InTheFirstEvent,  // the program is inside event 1 of 3 (its marking waits on a lock
                      // that is held until the program has ended)
    BetweenCycles,    // the first cycle has ended; the program waits for its timer
};

struct HeadlessStopCase {
    const char* what;
    std::vector<std::string> options;
    int signal;
    Moment moment;
    int status;
    std::vector<bool> sent;  // events 1, 2, 3 afterwards
    std::size_t logged;      // lines in ENVIO.TXT
};

// Standard error without the start-up warnings about indexes.
std::string withoutIndexWarnings(const std::string& err) {
    std::string out;
    std::size_t at = 0;
    while (at < err.size()) {
        const std::size_t end = std::min(err.find('\n', at), err.size() - 1) + 1;
        const std::string line = err.substr(at, end - at);
        if (line.rfind("enviozvr: warning: ", 0) != 0) out += line;
        at = end;
    }
    return out;
}

TEST(Signals, HeadlessFinishesTheEventInHandDisconnectsAndExits) {
    // A stop ends the wait in hand: the event whose marking waits stays pending (a later
    // run sends it again, replacing the invoice at the destination).
    const HeadlessStopCase cases[] = {
        {"SIGTERM inside an event",
         {},
         SIGTERM,
         Moment::InTheFirstEvent,
         0,
         {false, false, false},
         1},
        {"SIGINT inside an event",
         {},
         SIGINT,
         Moment::InTheFirstEvent,
         0,
         {false, false, false},
         1},
        {"SIGTERM inside an event of the only cycle",
         {"--once"},
         SIGTERM,
         Moment::InTheFirstEvent,
         1,
         {false, false, false},
         1},
        {"SIGTERM between cycles", {}, SIGTERM, Moment::BetweenCycles, 0, {true, true, true}, 3},
        {"SIGINT between cycles",
         {"--minutes=0"},
         SIGINT,
         Moment::BetweenCycles,
         0,
         {true, true, true},
         3},
    };
    AppInstance app;
    for (const HeadlessStopCase& c : cases) {
        SCOPED_TRACE(c.what);
        UiWorld world;
        world.listDestination("002", world.server);
        for (int id = 1; id <= 3; ++id) world.addInvoiceEvent(id, "002", std::to_string(1000 + id));

        std::unique_ptr<EventRowLock> lock;
        if (c.moment == Moment::InTheFirstEvent) lock = std::make_unique<EventRowLock>(world, 1);
        std::vector<std::string> args{"--headless", world.server, world.user, world.password,
                                      "001"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Program program(args);
        ASSERT_TRUE(program.started);

        if (c.moment == Moment::InTheFirstEvent) {
            ASSERT_TRUE(waitForLogLines(world, "ENVIO.TXT", 1));
            program.signal(c.signal);
            ASSERT_TRUE(program.waitUntilSignalsTaken());
        } else {
            // After the line that ends the cycle: a stop that comes before it belongs to
            // the cycle, which then says it was stopped.
            const std::string next =
                c.options.empty() ? "siguiente ciclo en 1 min" : "sin ciclos por reloj";
            ASSERT_TRUE(program.waitForOutput(
                "ciclo 1: 3 enviados, 0 con error, 3 enviados desde el inicio; " + next + "\n"))
                << program.out;
            program.signal(c.signal);
        }
        ASSERT_TRUE(program.finish()) << "still running or killed; stderr: " << program.err;
        if (lock) lock->release();
        EXPECT_EQ(program.process.exitCode(), c.status) << program.err;
        for (int id = 1; id <= 3; ++id) EXPECT_EQ(world.sent(id), c.sent[id - 1]) << "event " << id;
        EXPECT_EQ(world.logLines("ENVIO.TXT").size(), c.logged);
        EXPECT_TRUE(logLinesAreWhole(world, "ENVIO.TXT"));
        EXPECT_TRUE(world.logLines("ERRORES.TXT").empty()) << program.err;
        EXPECT_EQ(withoutIndexWarnings(program.err), "");
        // A cycle cut short says so in the line that ends it.
        EXPECT_EQ(program.out.find("; detenido por una senal de parada\n") != std::string::npos,
                  c.moment == Moment::InTheFirstEvent)
            << program.out;
    }
}

// A headless run holds the login and the replication passwords: killed by a signal whose
// default action writes a core file, with the core size limit raised and a core file
// pattern that writes into the working folder, it leaves none.
TEST(Signals, AHeadlessRunLeavesNoCoreFileWithItsPasswords) {
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    testing::TempDir folder;

    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const std::vector<std::string> args{ENVIOZVR_PROGRAM, "--headless",   world.server,
                                        world.user,       world.password, "001"};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0) environment.emplace_back(*e);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_CORE, &unlimited);
        if (::chdir(folder.path().c_str()) != 0) ::_exit(126);
        ::dup2(out[1], 1);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // Past its first cycle, so the passwords have been read and used.
    std::string text;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (text.find("ciclo 1:") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    EXPECT_NE(text.find("ciclo 1:"), std::string::npos) << text;
    ::kill(pid, SIGQUIT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGQUIT);
    EXPECT_FALSE(WCOREDUMP(status));
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().rfind("core", 0), std::string::npos)
            << entry.path();
    EXPECT_TRUE(world.sent(1));
}

// ---- desktop ----

TEST(Signals, DesktopClosesAsCancelarDoes) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    struct Case {
        const char* what;
        int signal;
    };
    const Case cases[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    int id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++id;
        world.addInvoiceEvent(id, "002", std::to_string(1000 + id));
        // Automatic mode: it logs in, sends at once and then waits for its timer.
        Program program({world.server, world.user, world.password, "001"});
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(waitForLogLines(world, "ENVIO.TXT", static_cast<std::size_t>(id)));
        program.signal(c.signal);
        ASSERT_TRUE(program.finish()) << "still running or killed; stderr: " << program.err;
        EXPECT_EQ(program.process.exitCode(), 0);
        EXPECT_TRUE(world.sent(id));
        EXPECT_TRUE(logLinesAreWhole(world, "ENVIO.TXT"));
    }
}

// A password that Qt would take for one of its options stays the third argument: the
// automatic login is tried with it (and refused, which leaves its error box open), and
// a stop signal then closes the program, box and all.
// The parameter: the password, one of Qt's own options.
class DesktopArguments : public ::testing::TestWithParam<const char*> {};

TEST_P(DesktopArguments, QtOptionsAmongThemKeepTheirPositions) {
    AppInstance app;
    const char* const password = GetParam();
    UiWorld world;
    Program program({world.server, world.user, password, "001"});
    ASSERT_TRUE(program.started);
    ASSERT_TRUE(waitForLogLines(world, "ERRORES.TXT", 1)) << program.err;
    const auto lines = world.logLines("ERRORES.TXT");
    EXPECT_NE(lines[0].find("Your user name and password are not defined"), std::string::npos)
        << lines[0];
    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish()) << "still running or killed; stderr: " << program.err;
    EXPECT_EQ(program.process.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(QtOption, DesktopArguments,
                         ::testing::Values("-name", "-style", "-platform", "-reverse", "-session"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param + 1);
                         });

// ---- console encoding ----

TEST(ConsoleText, HeadlessArgumentsAndMessagesInTheLocalesEncoding) {
    struct Case {
        const char* what;
        std::string company;  // as typed on a UTF-8 terminal
        std::string message;  // a part of standard error, UTF-8; "": not refused as unknown
    };
    const Case cases[] = {
        // Found among the companies only as Windows-1252 bytes, so not refused as unknown.
        {"a known code with a non-ASCII letter", "Ñ01", ""},
        {"an unknown code", "ÑÑÑ", "enviozvr: the company ÑÑÑ is not in COMPANIA\n"},
    };
    AppInstance app;
    UiWorld world;
    world.general->exec(
        "INSERT INTO COMPANIA (COMP_COD, COM_NOMBRE) VALUES ('\xD1"
        "01', "
        "'Compa\xF1\xED"
        "a \xD1')");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program program(
            {"--headless", "--once", world.server, world.user, world.password, c.company});
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.finish());
        // An unknown company is a bad argument (2); the known one's cycle ends early (1):
        // the company has no database.
        EXPECT_EQ(program.process.exitCode(), c.message.empty() ? 1 : 2);
        const std::string unknown = "is not in COMPANIA";
        if (c.message.empty()) {
            EXPECT_EQ(program.err.find(unknown), std::string::npos) << program.err;
        } else {
            EXPECT_NE(program.err.find(c.message), std::string::npos) << program.err;
        }
    }
}

// The message keeps its text and names the settings files: the one without the value, or
// every file that was looked for.
TEST(ConsoleText, HeadlessRefusesToStartWithoutAnInstallationDirectory) {
    using Key = testing::InstallDir::Key;
    struct Case {
        const char* what;
        Key key;
        bool withValue;
        std::vector<Key> named;  // the files the message names, in order
    };
    const Case cases[] = {
        {"no key", Key::None, true, {Key::Nivora2016, Key::Nivora2015}},
        {"a key without the value", Key::Nivora2016, false, {Key::Nivora2016}},
    };
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::InstallDir settings(c.key, c.withValue);
        std::string files;
        for (const Key k : c.named) files += (files.empty() ? "" : ", ") + settings.settingsFile(k);
        const std::string message =
            "No se encontró la Clave "
            "HKEY_LOCAL_MACHINE\\Software\\Orbalt\\NivoraERP2016\\Directorio (" +
            std::string(c.named.size() > 1 ? "archivos buscados: " : "archivo ") + files + ")\n";
        Program program({"--headless", world.server, world.user, world.password, "001"});
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.finish());
        EXPECT_EQ(program.process.exitCode(), 2);
        EXPECT_EQ(program.err, message);
        EXPECT_EQ(program.out, "");
        EXPECT_FALSE(world.sent(1));
    }
}

// Arguments that can never work are refused at the start with status 2, whether the run
// repeats or not, and the message shows what was typed.
TEST(ConsoleText, HeadlessRefusesBadArgumentsAtTheStart) {
    struct Case {
        const char* what;
        std::vector<std::string> extra;  // after SERVER USER PASSWORD
        std::string message;             // a part of standard error, UTF-8
    };
    const Case cases[] = {
        {"an unknown company, repeating", {"999"}, "the company 999 is not in COMPANIA"},
        {"an overlong company, once", {"0011", "--once"}, "the company 0011 is not in COMPANIA"},
        {"a connect timeout of 0",
         {"001", "--connect-timeout=0"},
         "--connect-timeout needs a whole number of seconds from 1 to 86400, not '0'"},
        {"a stall timeout of 0",
         {"001", "--stall-timeout=0", "--once"},
         "--stall-timeout needs a whole number of seconds from 1 to 86400, not '0'"},
        {"a batch in Arabic-Indic digits",
         {"001", "--batch=٥"},
         "--batch needs a whole number above 0, not '٥'"},
    };
    AppInstance app;
    UiWorld world;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"--headless", world.server, world.user, world.password};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        Program program(args);
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.finish()) << "still running: " << program.err;
        EXPECT_EQ(program.process.exitCode(), 2);
        EXPECT_NE(program.err.find(c.message), std::string::npos) << program.err;
        EXPECT_TRUE(world.logLines("ENVIO.TXT").empty());
    }
}

// An installation directory that cannot hold the lock file is said to be so, with its
// path and the reason: not taken for another instance, and before any destination is
// contacted (the start-up index check would find 003 unreachable).
TEST(ConsoleText, AnUnusableInstallationDirectoryIsNamedAsSuch) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.listDestination("003", "127.0.0.1/1:" + world.dir.path());
    world.addInvoiceEvent(1, "002", "1001");
    struct Case {
        const char* what;
        std::string directory;
        std::string reason;
    };
    const Case cases[] = {
        {"a missing directory", world.install.path() + "/no-existe", "No such file or directory"},
        {"a file in its place", world.install.file("ENVIO.TXT") + "/x", "Not a directory"},
    };
    world.install.writeFile("ENVIO.TXT", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::InstallDir settings;
        settings.writeSettings(testing::InstallDir::Key::Nivora2016,
                               "[General]\nDirectorio=" + c.directory + "\n");
        Program program({"--headless", "--once", world.server, world.user, world.password, "001"});
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.finish());
        EXPECT_EQ(program.process.exitCode(), 2);
        EXPECT_NE(program.err.find("no se puede usar el directorio de instalacion " + c.directory),
                  std::string::npos)
            << program.err;
        EXPECT_NE(program.err.find(c.reason), std::string::npos) << program.err;
        EXPECT_EQ(program.err.find("otra instancia"), std::string::npos) << program.err;
        EXPECT_EQ(program.err.find("could not be checked"), std::string::npos) << program.err;
        EXPECT_FALSE(world.sent(1));
    }
}

// The status check without a settings file says so in the locale's encoding.
TEST(ConsoleText, StatusWithoutASettingsFileSpeaksTheLocalesEncoding) {
    AppInstance app;
    UiWorld world;
    testing::InstallDir settings(testing::InstallDir::Key::None);
    Program program({"--status", world.server, world.user, world.password, "001"});
    ASSERT_TRUE(program.started);
    ASSERT_TRUE(program.finish());
    EXPECT_NE(program.err.find("No se encontró la Clave"), std::string::npos) << program.err;
    EXPECT_EQ(program.err.find("No se encontr\xF3"), std::string::npos) << program.err;
}

TEST(ConsoleText, ConversionsBetweenEncodingsAndWindows1252) {
    struct Case {
        const char* encoding;
        std::string typed;  // in `encoding`
        std::string ansi;   // Windows-1252
    };
    const Case cases[] = {
        {"UTF-8", "compañía €5",
         "compa\xF1\xED"
         "a \x80"
         "5"},
        {"ISO-8859-1",
         "compa\xF1\xED"
         "a",
         "compa\xF1\xED"
         "a"},
        {"ISO-8859-15",
         "\xA4"
         "5 \xBD",
         "\x80"
         "5 \x9C"},           // euro sign, oe ligature
        {"UTF-8", "ч", "?"},  // not in the code page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + c.typed);
        EXPECT_EQ(app::windows1252FromEncoding(c.typed, c.encoding), c.ansi);
        if (c.ansi != "?") {
            EXPECT_EQ(app::encodingFromWindows1252(c.ansi, c.encoding), c.typed);
        }
    }
    // Invalid input and characters the target lacks become '?'.
    EXPECT_EQ(app::windows1252FromEncoding("a\xFF"
                                           "b",
                                           "UTF-8"),
              "a?b");
    EXPECT_EQ(app::encodingFromWindows1252("\x80"
                                           "1",
                                           "ISO-8859-1"),
              "?1");
}

// A password typed on the login screen and the same password given to headless mode as a
// UTF-8 argument reach the database as the same Windows-1252 bytes, characters outside the
// code page (outside the BMP too) included.
TEST(ConsoleText, APasswordGivesTheSameBytesOnTheLoginScreenAndOnTheCommandLine) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    static int argc = 1;
    static char name[] = "process_test";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    testing::TempDir dir;  // no general.fdb there: the login is refused after the bytes are set
    const struct {
        std::string utf8;
        std::string ansi;
    } cases[] = {
        {"clave", "clave"},
        {"contraseña€",
         "contrase\xF1"
         "a\x80"},
        {"x\xF0\x9F\x98\x80y", "x?y"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x81", "??"},
        {"Łódź",
         "?\xF3"
         "d?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ansi);
        EXPECT_EQ(app::windows1252FromEncoding(c.utf8, "UTF-8"), c.ansi);
        sender::MainData data;
        ui::Tfaccesozvr screen(data);
        screen.Servidor->setEditText(
            QString::fromStdString(testing::serverHost() + ":" + dir.path()));
        screen.Tusua->setText(QString::fromStdString(testing::serverUser()));
        screen.TClave->setText(QString::fromUtf8(c.utf8.c_str()));
        EXPECT_ANY_THROW(screen.SpeedButton1Click());
        EXPECT_EQ(data.DbGeneral.param("password"), c.ansi);
    }
}

}  // namespace
}  // namespace enviozvr::uitest
