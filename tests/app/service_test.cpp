// The built program as a systemd service runs it, over databases on the local server:
// the folder of the logs and the lock (--log-dir), logs that cannot be written, the
// priorities of its lines when its output is the journal, the exit statuses that tell a
// configuration error from a temporary failure, and the password of the export read from
// the environment.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/childprocess.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

using AppInstance = testing::ApplicationInstance;
using Finished = testing::ChildRun;
using testing::linesOf;

// Runs the program with `args` in the C.UTF-8 locale, with `env` added to the test's
// environment. With `outputFile`, standard output and error both go to that file, as a
// service's go to the journal's stream.
Finished runProgram(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {},
                    const std::string& outputFile = {}) {
    testing::ChildOptions options{.environment = {{"LC_ALL", "C.UTF-8"}},
                                  .unset = {"JOURNAL_STREAM"},
                                  .outputFile = outputFile};
    options.environment.insert(options.environment.end(), env.begin(), env.end());
    return testing::runChild(args, options);
}

bool hasLine(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& l : lines)
        if (l.rfind(start, 0) == 0) return true;
    return false;
}

// The log folder of the option holds the logs and the lock file of the run; without the
// option they stay in the installation directory. A folder that cannot hold the lock is
// named as the log folder, with status 2.
TEST(Service, TheLogFolderOptionHoldsLogsAndLock) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    const std::string folder = world.dir.file("logs-001");
    std::filesystem::create_directory(folder);
    makeWorldWritable(folder);

    std::vector<std::string> args{"--headless", "--once",       world.server,
                                  world.user,   world.password, "001"};
    Finished withOption = runProgram([&] {
        auto a = args;
        a.push_back("--log-dir=" + folder);
        return a;
    }());
    ASSERT_TRUE(withOption.ended);
    EXPECT_EQ(withOption.status, 0) << withOption.err;
    EXPECT_TRUE(world.sent(1));
    EXPECT_TRUE(std::filesystem::exists(folder + "/ENVIO.TXT"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/enviozvr-001.lock"));
    EXPECT_FALSE(world.install.readFile("ENVIO.TXT").has_value());
    EXPECT_FALSE(world.install.readFile("enviozvr-001.lock").has_value());

    world.addInvoiceEvent(2, "002", "1002");
    Finished without = runProgram(args);
    ASSERT_TRUE(without.ended);
    EXPECT_EQ(without.status, 0) << without.err;
    ASSERT_EQ(world.logLines("ENVIO.TXT").size(), 1u);
    EXPECT_NE(world.logLines("ENVIO.TXT")[0].find(",2,236,FV1002C2"), std::string::npos);

    world.addInvoiceEvent(3, "002", "1003");
    const std::string missing = world.dir.file("no-existe");
    Finished unusable = runProgram([&] {
        auto a = args;
        a.push_back("--log-dir=" + missing);
        return a;
    }());
    ASSERT_TRUE(unusable.ended);
    EXPECT_EQ(unusable.status, 2);
    EXPECT_NE(unusable.err.find("no se puede usar el directorio de logs " + missing),
              std::string::npos)
        << unusable.err;
    EXPECT_FALSE(world.sent(3));
}

// A log that cannot be written is said on standard error once in the run, with its path
// and the reason, however many of its lines are lost; the cycle still sends, and its
// one-cycle run ends with status 1.
TEST(Service, AnUnwritableLogIsSaidOnceAndFailsTheOneCycleRun) {
    AppInstance app;
    struct Case {
        const char* what;
        void (*make)(const std::string& path);
        std::string reason;
    };
    const Case cases[] = {
        {"a full disk",
         [](const std::string& path) { std::filesystem::create_symlink("/dev/full", path); },
         "No space left on device"},
        {"a folder in its place",
         [](const std::string& path) { std::filesystem::create_directory(path); },
         "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UiWorld world;
        world.listDestination("002", world.server);
        world.addInvoiceEvent(1, "002", "1001");
        world.addInvoiceEvent(2, "002", "1002");
        const std::string log = world.install.file("ENVIO.TXT");
        c.make(log);
        Finished run =
            runProgram({"--headless", "--once", world.server, world.user, world.password, "001"});
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.status, 1);
        const std::string said =
            "enviozvr: no se puede escribir el log " + log + " (" + c.reason + ")";
        const std::size_t first = run.err.find(said);
        EXPECT_NE(first, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(said, first + 1), std::string::npos) << run.err;
        EXPECT_TRUE(world.sent(1));
        EXPECT_TRUE(world.sent(2));
    }
}

// When standard output and error are the stream JOURNAL_STREAM names, every line starts
// with its priority: an unreachable destination and the cycle it cut short are warnings,
// a destination served is information. On any other stream the lines are bare.
TEST(Service, LinesCarryTheirPriorityOnlyOnTheJournalStream) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.listDestination("003", "127.0.0.1/1:" + world.dir.path());
    world.addInvoiceEvent(1, "002", "1001");
    world.addInvoiceEvent(2, "003", "1002");
    struct Case {
        const char* what;
        bool journal;
    };
    const Case cases[] = {{"the journal's stream", true}, {"another file", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string output = world.dir.file(std::string("out-") + (c.journal ? "j" : "f"));
        std::ofstream(output).close();
        struct stat info {};
        ASSERT_EQ(::stat(output.c_str(), &info), 0);
        const std::string stream =
            std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + (c.journal ? 0 : 1));
        Finished run =
            runProgram({"--headless", "--once", world.server, world.user, world.password, "001"},
                       {{"JOURNAL_STREAM", stream}}, output);
        ASSERT_TRUE(run.ended);
        const std::vector<std::string> lines = linesOf(run.out);
        const std::string warn = c.journal ? "<4>" : "", info6 = c.journal ? "<6>" : "";
        EXPECT_TRUE(hasLine(lines, warn + "003: sin conexion")) << run.out;
        EXPECT_TRUE(hasLine(lines, warn + "Ult. error:")) << run.out;
        EXPECT_TRUE(hasLine(lines, info6 + "002: 1 tomados, 1 enviados, 0 con error")) << run.out;
        for (const std::string& l : lines) {
            const bool prefixed = l.size() > 3 && l[0] == '<' && l[2] == '>';
            EXPECT_EQ(prefixed, c.journal) << l;
        }
        world.origin().exec("UPDATE REPLICA_EVENTOS SET RPEV_FECREP = NULL WHERE RPEV_ID = 1");
    }
}

// The exit status tells what a restart can mend: a configuration error is 2 (the unit
// does not restart), an origin that cannot be reached at the start is 75 (it does), said
// with the reason the status check gives for the same cause (a closed port is no unknown
// host).
TEST(Service, ExitStatusTellsAConfigurationErrorFromATemporaryFailure) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    const std::string unreachable = "127.0.0.1/1:" + world.dir.path();
    struct Case {
        const char* what;
        std::vector<std::string> args;  // after --headless
        int status;
        std::string says = {};  // a part of standard error
    };
    const Case cases[] = {
        {"a password the server refuses", {world.server, world.user, "not-the-password", "001"}, 2},
        {"an unknown company", {world.server, world.user, world.password, "999"}, 2},
        {"an empty log folder", {world.server, world.user, world.password, "001", "--log-dir="}, 2},
        {"an origin server that does not answer",
         {unreachable, world.user, world.password, "001"},
         75,
         "enviozvr: el origen " + unreachable +
             "/datos/general.fdb no se puede usar: el servidor rechaza la conexion (nadie "
             "atiende en su puerto)\n"},
        {"the same, one cycle", {unreachable, world.user, world.password, "001", "--once"}, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"--headless"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Finished run = runProgram(args);
        ASSERT_TRUE(run.ended) << "still running";
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_FALSE(world.sent(1));
        if (!c.says.empty()) {
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("No se encontr"), std::string::npos) << run.err;
        }
    }
}

// The export takes a password of "-" from ENVIOZVR_PASSWORD, as the other modes do, so a
// scheduled export never shows it in the process list.
TEST(Service, TheExportReadsAPasswordOfDashFromTheEnvironment) {
    AppInstance app;
    UiWorld world;
    world.listDestination("002", world.server);
    world.addInvoiceEvent(1, "002", "1001");
    struct Case {
        const char* what;
        std::string environment;
        int status;
    };
    const Case cases[] = {
        {"the right password", world.password, 0},
        {"a wrong one", "not-the-password", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string output = world.dir.file(std::string("pendientes-") + c.what + ".csv");
        Finished run = runProgram({"--export=pendientes", "--format=csv", "--output=" + output,
                                   world.server, world.user, "-", "001"},
                                  {{"ENVIOZVR_PASSWORD", c.environment}});
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(std::filesystem::exists(output), c.status == 0);
        if (c.status == 0) {
            std::ifstream in(output, std::ios::binary);
            const std::string text(std::istreambuf_iterator<char>(in), {});
            EXPECT_NE(text.find("\"1001\""), std::string::npos) << text;
        }
    }
}

}  // namespace
}  // namespace enviozvr::uitest
