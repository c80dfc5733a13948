// --help, --version and unknown options of the built program, run as a child process
// without a display, without a platform plugin setting and without an installation
// directory: none of them may need a window system or a database.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"
#include "grid/export/formats.h"
#include "support/childprocess.h"

namespace {

using ProgramRun = enviozvr::testing::ChildRun;

// The program without a display, a platform plugin setting or any Qt configuration.
ProgramRun runProgram(const std::vector<std::string>& args) {
    static enviozvr::testing::ApplicationInstance app("commandline_test");
    static QTemporaryDir emptyConfig;
    return enviozvr::testing::runChild(
        args, {.environment = {{"XDG_CONFIG_DIRS", emptyConfig.path().toStdString()}},
               .unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}});
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The option names ("--name") in `text`; in a manual page "\-\-name".
std::set<std::string> optionNames(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> names;
    const std::regex option(R"((^|[^a-z-])(--[a-z][a-z-]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        names.insert((*it)[2]);
    return names;
}

struct OptionCase {
    std::vector<std::string> args;
    int status;
    std::string outStart;  // empty: nothing on standard output
    std::string errHas;    // empty: nothing on standard error
};

TEST(CommandLine, HelpVersionAndUnknownOptionsWithoutDisplayOrDatabase) {
    const std::string version = std::string("enviozvr ") + ENVIOZVR_PROJECT_VERSION;
    const OptionCase cases[] = {
        {{"--help"}, 0, "usage: enviozvr", ""},
        {{"-h"}, 0, "usage: enviozvr", ""},
        {{"--headless", "--help", "srv", "u", "p", "001"}, 0, "usage: enviozvr", ""},
        {{"--version"}, 0, version, ""},
        {{"--status", "--version"}, 0, version, ""},
        {{"--bogus"}, 2, "", "enviozvr: unknown option '--bogus'\nusage: enviozvr"},
        {{"-x", "srv", "u", "p", "001"}, 2, "", "enviozvr: unknown option '-x'"},
        {{"--headless", "--onec", "srv", "u", "p", "001"}, 2, "", "unknown option '--onec'"},
        {{"--export", "srv"}, 2, "", "unknown option '--export'"},
        // The status check answers a monitoring system: UNKNOWN on standard output.
        {{"--status", "--bogus", "srv", "u", "p", "001"},
         3,
         "ENVIOZVR UNKNOWN - unknown option '--bogus'\n",
         "unknown option '--bogus'"},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
        const ProgramRun run = runProgram(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.outStart.empty())
            EXPECT_EQ(run.out, "");
        else
            EXPECT_EQ(run.out.substr(0, c.outStart.size()), c.outStart);
        if (c.errHas.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
    }
    // The version is one line: the project version, then at most the commit.
    const ProgramRun run = runProgram({"--version"});
    EXPECT_TRUE(std::regex_match(run.out, std::regex(version + R"(( \(git [0-9a-f]+\))?\n)")))
        << run.out;
}

// The exit statuses that need no database are the ones the help and the manual page give:
// bad arguments and a missing installation directory 2 (3, UNKNOWN, for --status), a
// failed login 2 for --headless but 1 for --export.
TEST(CommandLine, ExitStatusesAreTheDocumentedOnes) {
    const std::string nowhere = "/enviozvr-no-such-folder";
    const OptionCase cases[] = {
        {{"--headless", "--once", nowhere, "u", "p", "001"}, 2, "", "Directorio"},
        {{"--status", nowhere, "u", "p", "001"}, 3, "ENVIOZVR UNKNOWN - ", "Directorio"},
        {{"--export=errores", "--format=txt", "srv", "u", "p", "001"}, 2, "", "--output=FILE"},
        {{"--export=errores", "--format=txt", "--output=" + nowhere + "/x.txt", nowhere, "u", "p",
          "001"},
         1,
         "",
         "login failed"},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.args.front());
        const ProgramRun run = runProgram(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.errHas), std::string::npos) << run.err;
    }
    const std::string help = runProgram({"--help"}).out;
    const std::string manual = fileText(ENVIOZVR_SOURCE_DIR "/packaging/enviozvr.1");
    for (const char* mode : {"--headless --once", "--status", "--export"}) {
        EXPECT_NE(help.find(std::string("Exit status of ") + mode + ": 0"), std::string::npos)
            << mode;
        const std::string inManual = std::regex_replace(std::string(mode), std::regex("-"), "\\-");
        EXPECT_NE(manual.find(".B " + inManual + "\n0 when"), std::string::npos) << mode;
    }
    EXPECT_NE(help.find("1 the login, the company, the\nlist or the file failed"),
              std::string::npos);
}

// The help names every option that the operator's manual shows for the run modes, and the
// manual page documents every option that the help names.
TEST(CommandLine, HelpCoversTheReadmeAndTheManualPageCoversTheHelp) {
    const ProgramRun help = runProgram({"--help"});
    ASSERT_EQ(help.status, 0);
    const std::set<std::string> inHelp = optionNames(help.out);

    const std::string readme = fileText(ENVIOZVR_SOURCE_DIR "/docs/operating.md");
    const auto from = readme.find("## Running it");
    const auto to = readme.find("### As a systemd service");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    const std::set<std::string> inReadme = optionNames(readme.substr(from, to - from));
    EXPECT_GE(inReadme.size(), 14u);
    for (const std::string& o : inReadme) EXPECT_TRUE(inHelp.count(o)) << o << " not in --help";
    EXPECT_NE(help.out.find("ENVIOZVR_PASSWORD"), std::string::npos);

    const std::set<std::string> inManual =
        optionNames(fileText(ENVIOZVR_SOURCE_DIR "/packaging/enviozvr.1"));
    for (const std::string& o : inHelp)
        EXPECT_TRUE(inManual.count(o)) << o << " not in the manual page";
}

// The options table is what --help, the manual page's synopsis and the operator's manual show: each
// option of a run mode stands in that mode's synopsis in all three, and in the manual's
// option list.
TEST(CommandLine, SynopsesFollowTheOptionsTable) {
    using namespace enviozvr::app;
    const std::string help = runProgram({"--help"}).out;
    const std::string manual = fileText(ENVIOZVR_SOURCE_DIR "/packaging/enviozvr.1");
    const std::string readme = fileText(ENVIOZVR_SOURCE_DIR "/docs/operating.md");
    const std::set<std::string> inManual = optionNames(manual);
    // The lines of `text` from the one that starts with `start` to the next that starts
    // with `end` (or with `start` again).
    const auto block = [](const std::string& text, const std::string& start,
                          const std::string& end) {
        const auto from = text.find("\n" + start);
        if (from == std::string::npos) return std::string();
        auto to = text.find("\n" + end, from + 1);
        return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
    };
    for (const RunModeEntry& m : runModeTable()) {
        SCOPED_TRACE(m.option);
        const std::string helpSynopsis = block(help, "       enviozvr " + m.option, "       e");
        const std::string manualSynopsis = std::regex_replace(
            block(manual, ".B enviozvr " + std::regex_replace(m.option, std::regex("-"), "\\-"),
                  ".br"),
            std::regex(R"(\\-)"), "-");
        const std::string readmeSynopsis = block(readme, "enviozvr " + m.option, "enviozvr ");
        ASSERT_FALSE(helpSynopsis.empty());
        ASSERT_FALSE(manualSynopsis.empty());
        ASSERT_FALSE(readmeSynopsis.empty());
        for (const OptionEntry& o : optionTable()) {
            if ((o.modes & m.bit) == 0) continue;
            EXPECT_TRUE(inManual.count(o.name)) << o.name << " not in the manual page";
            if (o.synopsis == InSynopsis::Hidden) continue;
            const std::set<std::string> names[] = {optionNames(helpSynopsis),
                                                   optionNames(manualSynopsis),
                                                   optionNames(readmeSynopsis)};
            for (const auto& [where, found] : {std::pair{"--help", names[0]},
                                               {"the manual page", names[1]},
                                               {"the operator's manual", names[2]}})
                EXPECT_TRUE(found.count(o.name)) << o.name << " not in the synopsis of " << where;
        }
    }
}

// The lists of file formats that --help, the manual page and the operator's manual show are the
// format table's: the manual page is a static file, so this is what keeps it in step.
TEST(CommandLine, FormatListsFollowTheFormatTable) {
    using namespace enviozvr::grid;
    std::string roffSynopsis, roffOption;
    for (const GridExportFormat& f : gridExportFormats()) {
        roffSynopsis += std::string(roffSynopsis.empty() ? "" : "\\fR|\\fB") + f.usage;
        roffOption += std::string(roffOption.empty() ? "" : " | ") + f.usage;
    }
    const std::string manual = fileText(ENVIOZVR_SOURCE_DIR "/packaging/enviozvr.1");
    EXPECT_NE(manual.find(".B enviozvr \\-\\-export=errores\\fR|\\fBpendientes \\-\\-format=" +
                          roffSynopsis + "\n"),
              std::string::npos)
        << roffSynopsis;
    EXPECT_NE(manual.find(".BR \\-\\-format=" + roffOption + "\n"), std::string::npos)
        << roffOption;

    const std::string usage = exportFormatUsage("|");
    const ProgramRun help = runProgram({"--help"});
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("enviozvr --export=errores|pendientes --format=" + usage + "\n"),
              std::string::npos);
    EXPECT_NE(help.out.find("  --format=" + usage + "   the file format\n"), std::string::npos);
    const std::string readme = fileText(ENVIOZVR_SOURCE_DIR "/docs/operating.md");
    EXPECT_NE(readme.find("--format=" + usage + " --output=FILE"), std::string::npos);

    const ProgramRun unknown =
        runProgram({"--export=errores", "--format=pdf", "--output=x", "s", "u", "p", "001"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown format 'pdf' (" + exportFormatChoice() + ")"),
              std::string::npos)
        << unknown.err;
    EXPECT_NE(unknown.err.find("usage: enviozvr --export=errores|pendientes --format=" + usage +
                               " --output=FILE"),
              std::string::npos)
        << unknown.err;
}

}  // namespace
