#include "core/localfiles.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "coretest.h"
#include "support/appdir.h"

using namespace std::chrono_literals;
using namespace std::string_literals;
using enviozvr::coretest::MessageCapture;
using enviozvr::coretest::StampWindow;
using enviozvr::testing::InstallDir;
namespace core = enviozvr::core;

namespace {

using Entries = std::vector<std::string>;

const std::string kMissingKeyMessage =
    "No se encontr\xF3"
    " la Clave HKEY_LOCAL_MACHINE\\Software\\Orbalt\\NivoraERP2016\\Directorio";

// ---- installation directory ----

TEST(Diraplicacion, ReadsTheCurrentKey) {
    InstallDir dir;
    MessageCapture capture;
    EXPECT_EQ(core::diraplicacion(), dir.path());
    EXPECT_EQ(core::applicationFile("ENVIO.TXT"), dir.path() + "/ENVIO.TXT");
    EXPECT_TRUE(capture.messages.empty());
}

TEST(Diraplicacion, FallsBackToThePreviousKeyAndPrefersTheCurrentOne) {
    InstallDir dir(InstallDir::Key::Nivora2015);
    EXPECT_EQ(core::diraplicacion(), dir.path());

    // Looked up anew: a current key that appears later wins at the next call.
    dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=/srv/nivora16\n");
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora16");
}

// Settings files that have not changed for a while are not parsed again for every log
// line; a change to one, of the same size or by a new file put in its place, is still
// seen at the next call, soon after the change or long after it, and so is a key that
// appears in a preferred place.
TEST(Diraplicacion, AChangedSettingsFileIsSeenAtTheNextCall) {
    InstallDir dir(InstallDir::Key::Nivora2015);
    const std::string file = dir.settingsFile(InstallDir::Key::Nivora2015);
    dir.writeSettings(InstallDir::Key::Nivora2015, "[General]\nDirectorio=/srv/nivora-a\n");
    const auto written = std::filesystem::last_write_time(file);
    core::setSettingsClockAhead(3s);  // the file settles: from now on its answer is kept
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora-a");
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora-a");

    {  // same size, written in place
        std::ofstream out(file, std::ios::binary | std::ios::in);
        out.seekp(
            static_cast<std::streamoff>(std::string("[General]\nDirectorio=/srv/nivora-").size()));
        out << 'b';
    }
    // Written a second later, as its time says, and no call while the change was recent.
    std::filesystem::last_write_time(file, written + 1s);
    core::setSettingsClockAhead(6s);
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora-b");

    // A new file of the same size put in its place, with a time of its own (the settings
    // reader itself tells files apart by their time and size).
    std::ofstream(file + ".new", std::ios::binary) << "[General]\nDirectorio=/srv/nivora-c\n";
    std::filesystem::last_write_time(file + ".new", written + 2s);
    std::filesystem::rename(file + ".new", file);
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora-c");

    dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=/srv/nivora16\n");
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora16");
    core::setSettingsClockAhead(0s);
}

TEST(Diraplicacion, SearchesEveryXdgConfigDir) {
    InstallDir dir;
    ::setenv("XDG_CONFIG_DIRS", ("/nonexistent-enviozvr:" + dir.configDir()).c_str(), 1);
    EXPECT_EQ(core::diraplicacion(), dir.path());
}

TEST(Diraplicacion, KeyWithoutValueGivesEmptyTextSilently) {
    InstallDir dir(InstallDir::Key::Nivora2016, /*withValue=*/false);
    MessageCapture capture;
    EXPECT_EQ(core::diraplicacion(), "");
    EXPECT_EQ(core::applicationFile("SERVIDORES.cfg"), "");
    EXPECT_TRUE(capture.messages.empty());
    // The problem names the file that lacks the value.
    EXPECT_EQ(
        core::installationDirectoryProblem(),
        kMissingKeyMessage + " (archivo " + dir.settingsFile(InstallDir::Key::Nivora2016) + ")");
}

// The bytes of a file, or nullopt when it cannot be read.
std::optional<std::string> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Diraplicacion, NoKeyTellsTheUserOncePerRunAndWritesNothingAtTheRoot) {
    InstallDir dir(InstallDir::Key::None);
    core::forgetMissingKeyNotice();
    MessageCapture capture;
    const auto rootLogBefore = fileBytes("/ENVIO.TXT");
    const auto rootErrorsBefore = fileBytes("/ERRORES.TXT");
    EXPECT_EQ(core::diraplicacion(), "");
    EXPECT_EQ(core::applicationFile("ENVIO.TXT"), "");
    core::archivo_auditoria("1", "236", "FV1");
    core::logUnhandledError("JUAN", "boom");
    EXPECT_TRUE(core::leerServidores().empty());
    EXPECT_EQ(capture.messages, (Entries{kMissingKeyMessage}));
    EXPECT_EQ(fileBytes("/ENVIO.TXT"), rootLogBefore);
    EXPECT_EQ(fileBytes("/ERRORES.TXT"), rootErrorsBefore);
    // The problem names every file that was looked for; the user's message keeps its text.
    EXPECT_EQ(core::installationDirectoryProblem(),
              kMissingKeyMessage +
                  " (archivos buscados: " + dir.settingsFile(InstallDir::Key::Nivora2016) + ", " +
                  dir.settingsFile(InstallDir::Key::Nivora2015) + ")");
    EXPECT_EQ(capture.messages.size(), 1u);
}

TEST(Diraplicacion, ValuesAsWritten) {
    struct Case {
        const char* what;
        std::string line;       // the settings line after "Directorio="
        std::string directory;  // what diraplicacion gives; "" with `error` set
        const char* error;      // the error it throws, or nullptr
    };
    const Case cases[] = {
        {"plain folder", "/srv/nivora", "/srv/nivora", nullptr},
        {"a comma is part of the folder", "/srv/a,b", "/srv/a,b", nullptr},
        {"comma and blank kept as written", "/srv/a, b,c", "/srv/a, b,c", nullptr},
        {"quoted text", "\"/srv/a,b\"", "/srv/a,b", nullptr},
        {"a size is no text", "@Size(1 2)", "", "Invalid data type for 'Directorio'"},
        {"a rectangle is no text", "@Rect(0 0 1 2)", "", "Invalid data type for 'Directorio'"},
        {"bytes are no text", "@ByteArray(abc)", "", "Invalid data type for 'Directorio'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A fresh settings file each time: the settings reader caches a file whose size
        // and time have not changed.
        InstallDir dir(InstallDir::Key::None);
        dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=" + c.line + "\n");
        if (!c.error) {
            EXPECT_EQ(core::diraplicacion(), c.directory);
            EXPECT_EQ(core::installationDirectoryProblem(), "");
            continue;
        }
        try {
            core::diraplicacion();
            ADD_FAILURE() << "expected an error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_EQ(core::installationDirectoryProblem(), c.error);
    }
}

TEST(Logs, AFolderWithACommaGetsItsLines) {
    InstallDir dir(InstallDir::Key::None);
    const std::string folder = dir.path() + "/a,b";
    std::filesystem::create_directories(folder);
    dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=" + folder + "\n");
    core::archivo_auditoria("7", "236", "FV7");
    const auto lines = dir.logLines("a,b/ENVIO.TXT");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",7,236,FV7"), std::string::npos) << lines[0];
}

// ---- server list ----

struct ServerListCase {
    const char* what;
    std::string bytes;
    Entries entries;
};

TEST(ServerList, LineEnds) {
    const std::string longEntry(300, 's');
    const ServerListCase cases[] = {
        {"CR LF", "srv1\r\nsrv2:C:\\nivora\r\n"s, {"srv1", "srv2:C:\\nivora"}},
        {"LF only", "srv1\nsrv2\n"s, {"srv1", "srv2"}},
        {"last line without a line end", "srv1\r\nsrv2"s, {"srv1", "srv2"}},
        {"two CR LF pairs give an empty entry", "srv1\r\n\r\nsrv2\r\n"s, {"srv1", "", "srv2"}},
        {"lone CR loses nothing", "srv1\rsrv2\rsrv3"s, {"srv1", "srv2", "srv3"}},
        {"CR then CR LF", "srv1\r\r\nsrv2"s, {"srv1", "", "srv2"}},
        {"LF CR is two line ends", "srv1\n\rsrv2"s, {"srv1", "", "srv2"}},
        {"empty file", ""s, {}},
        {"single line end", "\r\n"s, {""}},
        {"Windows-1252 bytes and long lines kept whole",
         "servidor-espa\xF1"
         "a\r\n"s +
             longEntry,
         {"servidor-espa\xF1"
          "a",
          longEntry}},
    };
    InstallDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.writeFile("list.cfg", c.bytes);
        EXPECT_EQ(core::readServerList(dir.file("list.cfg")), c.entries);
    }
}

TEST(ServerList, MissingFileGivesNoEntries) {
    InstallDir dir;
    EXPECT_TRUE(core::readServerList(dir.file("absent.cfg")).empty());
    EXPECT_TRUE(core::leerServidores().empty());
}

TEST(ServerList, LeerServidoresReadsTheInstallationFolder) {
    InstallDir dir;
    dir.writeFile("SERVIDORES.cfg", "localhost\r\n192.168.1.5\r\n");
    EXPECT_EQ(core::leerServidores(), (Entries{"localhost", "192.168.1.5"}));
}

// ---- logs ----

TEST(Logs, FirstLineCreatesLaterLinesAppend) {
    InstallDir dir;
    ASSERT_FALSE(dir.readFile("ENVIO.TXT"));

    StampWindow first;
    core::archivo_auditoria("17", "236", "FA0001234C01");
    first.close();
    const std::string firstLine = dir.readFile("ENVIO.TXT").value_or("<missing>");
    EXPECT_TRUE(first.matches(firstLine, ",17,236,FA0001234C01\r\n")) << firstLine;

    StampWindow second;
    core::archivo_auditoria("18", "236", "FB0000001");
    second.close();
    const std::string both = dir.readFile("ENVIO.TXT").value_or("<missing>");
    ASSERT_EQ(both.substr(0, firstLine.size()), firstLine);
    EXPECT_TRUE(second.matches(both.substr(firstLine.size()), ",18,236,FB0000001\r\n")) << both;
}

TEST(Logs, AppendsToAnExistingFileAndKeepsCommas) {
    InstallDir dir;
    dir.writeFile("ERRORES.TXT", "earlier line\r\n");
    StampWindow stamp;
    core::logUnhandledError("JUAN", "Column unknown, X, at line 1, column 8");
    stamp.close();
    const std::string text = dir.readFile("ERRORES.TXT").value_or("");
    const std::string earlier = "earlier line\r\n";
    ASSERT_EQ(text.substr(0, earlier.size()), earlier);
    EXPECT_TRUE(stamp.matches(text.substr(earlier.size()),
                              ",JUAN,Column unknown, X, at line 1, column 8\r\n"))
        << text;
}

TEST(Logs, ConnectionFailureLine) {
    InstallDir dir;
    StampWindow stamp;
    core::logConnectionFailure("srv2/datos/002/nivora.fdb");
    stamp.close();
    const std::string text = dir.readFile("errorenvio.txt").value_or("");
    EXPECT_TRUE(
        stamp.matches(text, ",No se pudo conectar con el servidor srv2/datos/002/nivora.fdb\r\n"))
        << text;
}

TEST(Logs, ControlCharactersInAFieldAreBlanks) {
    struct Case {
        const char* what;
        std::string codigo;
        std::string written;
    };
    const Case cases[] = {
        {"CR LF forging a line", "C1\r\n01/01/26,08:00:00,99,236,FALSO",
         "C1  01/01/26,08:00:00,99,236,FALSO"},
        {"lone LF", "A\nB", "A B"},
        {"lone CR", "A\rB", "A B"},
        {"tab, escape and delete",
         "A\tB\x1b"
         "C\x7f",
         "A B C "},
        {"a zero byte", std::string("A\0B", 3), "A B"},
        {"Windows-1252 letters stay",
         "Pe\xF1"
         "a \x80",
         "Pe\xF1"
         "a \x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallDir dir;
        core::archivo_auditoria("5", "236", "FV1" + c.codigo);
        const auto lines = dir.logLines("ENVIO.TXT");
        ASSERT_EQ(lines.size(), 1u);
        const std::string tail = ",5,236,FV1" + c.written;
        ASSERT_GE(lines[0].size(), tail.size());
        EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail);
    }
}

// Runs `action` in a child process without the privileges of root (root reads every
// file); returns its exit status.
int runUnprivileged(const std::function<int()>& action) {
    if (::geteuid() != 0) return action();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(action());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(Logs, AnUnreadableLogIsAppendedToNotReplaced) {
    const char* const logs[] = {"ENVIO.TXT", "errorenvio.txt", "ERRORES.TXT"};
    for (const char* name : logs) {
        SCOPED_TRACE(name);
        InstallDir dir;
        // The settings must be readable by the unprivileged child.
        for (const std::string& p : {dir.configDir(), dir.configDir() + "/Orbalt"})
            std::filesystem::permissions(p, std::filesystem::perms::all);
        std::filesystem::permissions(
            dir.settingsFile(InstallDir::Key::Nivora2016),
            std::filesystem::perms::owner_all | std::filesystem::perms::others_read);
        dir.writeFile(name, "earlier line\r\n");
        std::filesystem::permissions(dir.file(name), std::filesystem::perms::owner_write |
                                                         std::filesystem::perms::group_write |
                                                         std::filesystem::perms::others_write);
        const int status = runUnprivileged([&] {
            if (std::ifstream(dir.file(name))) return 3;  // must not be readable here
            if (std::string(name) == "ENVIO.TXT")
                core::archivo_auditoria("1", "236", "FV1");
            else if (std::string(name) == "errorenvio.txt")
                core::logConnectionFailure("x");
            else
                core::logUnhandledError("JUAN", "boom");
            return 0;
        });
        ASSERT_EQ(status, 0);
        const auto lines = dir.logLines(name);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "earlier line");
    }
}

// A line that cannot be written is lost without an exception; the first loss of each log
// in the run is said on standard error with the file and the reason, and the run knows.
TEST(Logs, AnUnwritableLogLosesItsLinesAndIsSaidOncePerFile) {
    InstallDir dir(InstallDir::Key::None);
    dir.writeSettings(InstallDir::Key::Nivora2016,
                      "[General]\nDirectorio=" + dir.path() + "/no-such-folder\n");
    core::forgetLostLogLines();
    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(core::archivo_auditoria("1", "236", "X"));
    EXPECT_NO_THROW(core::archivo_auditoria("2", "236", "X"));
    EXPECT_NO_THROW(core::logUnhandledError("", "boom"));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(core::logLineLost());
    core::forgetLostLogLines();
    EXPECT_FALSE(dir.readFile("no-such-folder/ENVIO.TXT"));
    const std::string folder = dir.path() + "/no-such-folder/";
    EXPECT_EQ(said, "enviozvr: no se puede escribir el log " + folder +
                        "ENVIO.TXT (No such file or directory): sus lineas se pierden\n"
                        "enviozvr: no se puede escribir el log " +
                        folder +
                        "ERRORES.TXT (No such file or directory): sus lineas se pierden\n");
}

}  // namespace

// The shipped logrotate snippet, pointed at a test folder and run with logrotate itself,
// between lines the program writes: every line ends up whole in the old or the new log,
// in order, in the installation directory and in an instance's log folder under
// /var/log/enviozvr alike. With copytruncate instead of moving the file the same holds
// for lines written before and after a rotation (the log is never held open between
// lines).
TEST(Logs, EveryLineSurvivesALogrotateRotation) {
    if (!std::filesystem::exists("/usr/sbin/logrotate"))
        GTEST_SKIP() << "logrotate is not installed";
    std::ifstream in(ENVIOZVR_SOURCE_DIR "/packaging/enviozvr.logrotate");
    const std::string shipped{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_NE(shipped.find("/srv/nivora/ENVIO.TXT"), std::string::npos);
    ASSERT_NE(shipped.find("/var/log/enviozvr/*/ENVIO.TXT"), std::string::npos);

    struct Case {
        const char* what;
        std::function<std::string(std::string)> edit;
        std::string folder;  // of the logs, under the installation directory; "" for itself
    } cases[] = {
        {"as shipped", [](std::string s) { return s; }, ""},
        {"copytruncate",
         [](std::string s) { return s.replace(s.find("nocreate"), 8, "copytruncate"); }, ""},
        {"an instance's log folder", [](std::string s) { return s; }, "var/001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallDir dir;
        std::string config = c.edit(shipped);
        // Rotated as the user running the test.
        const std::string su = "su enviozvr enviozvr";
        ASSERT_NE(config.find(su), std::string::npos);
        for (std::size_t at; (at = config.find(su)) != std::string::npos;)
            config.replace(
                at, su.size(),
                "su "s + getpwuid(geteuid())->pw_name + " " + getgrgid(getegid())->gr_name);
        for (std::size_t at; (at = config.find("/srv/nivora")) != std::string::npos;)
            config.replace(at, 11, dir.path());
        for (std::size_t at; (at = config.find("/var/log/enviozvr")) != std::string::npos;)
            config.replace(at, 17, dir.file("var"));
        dir.writeFile("logrotate.conf", config);
        const std::string prefix = c.folder.empty() ? "" : c.folder + "/";
        if (!c.folder.empty()) {
            std::filesystem::create_directories(dir.file(c.folder));
            std::filesystem::permissions(dir.file("var"), std::filesystem::perms::owner_all |
                                                              std::filesystem::perms::group_read |
                                                              std::filesystem::perms::group_exec |
                                                              std::filesystem::perms::others_read |
                                                              std::filesystem::perms::others_exec);
            core::setLogDirectory(dir.file(c.folder));
        }
        struct Reset {
            ~Reset() { core::setLogDirectory({}); }
        } reset;

        for (int i = 1; i <= 3; ++i) core::archivo_auditoria(std::to_string(i), "236", "FV");
        const std::string command = "/usr/sbin/logrotate -f -s '" + dir.file("logrotate.state") +
                                    "' '" + dir.file("logrotate.conf") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << config;
        for (int i = 4; i <= 5; ++i) core::archivo_auditoria(std::to_string(i), "236", "FV");

        const auto old = dir.logLines(prefix + "ENVIO.TXT.1");
        const auto current = dir.logLines(prefix + "ENVIO.TXT");
        ASSERT_EQ(old.size(), 3u);
        ASSERT_EQ(current.size(), 2u);
        std::vector<std::string> all(old);
        all.insert(all.end(), current.begin(), current.end());
        for (std::size_t i = 0; i < all.size(); ++i)
            EXPECT_NE(all[i].find("," + std::to_string(i + 1) + ",236,FV"), std::string::npos)
                << all[i];
    }
}
