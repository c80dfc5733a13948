#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/localfiles.h"
#include "support/appdir.h"
#include "coretest.h"

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

TEST(Diraplicacion, ReadsTheCurrentKey)
{
    InstallDir dir;
    MessageCapture capture;
    EXPECT_EQ(core::diraplicacion(), dir.path());
    EXPECT_EQ(core::applicationFile("ENVIO.TXT"), dir.path() + "/ENVIO.TXT");
    EXPECT_TRUE(capture.messages.empty());
}

TEST(Diraplicacion, FallsBackToThePreviousKeyAndPrefersTheCurrentOne)
{
    InstallDir dir(InstallDir::Key::Nivora2015);
    EXPECT_EQ(core::diraplicacion(), dir.path());

    // Looked up anew: a current key that appears later wins at the next call.
    dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=/srv/nivora16\n");
    EXPECT_EQ(core::diraplicacion(), "/srv/nivora16");
}

TEST(Diraplicacion, SearchesEveryXdgConfigDir)
{
    InstallDir dir;
    ::setenv("XDG_CONFIG_DIRS", ("/nonexistent-enviozvr:" + dir.configDir()).c_str(), 1);
    EXPECT_EQ(core::diraplicacion(), dir.path());
}

TEST(Diraplicacion, KeyWithoutValueGivesEmptyTextSilently)
{
    InstallDir dir(InstallDir::Key::Nivora2016, /*withValue=*/false);
    MessageCapture capture;
    EXPECT_EQ(core::diraplicacion(), "");
    EXPECT_EQ(core::applicationFile("SERVIDORES.cfg"), "/SERVIDORES.cfg");
    EXPECT_TRUE(capture.messages.empty());
}

TEST(Diraplicacion, NoKeyTellsTheUserAtEveryLookup)
{
    InstallDir dir(InstallDir::Key::None);
    MessageCapture capture;
    EXPECT_EQ(core::diraplicacion(), "");
    EXPECT_EQ(core::applicationFile("ENVIO.TXT"), "/ENVIO.TXT");
    EXPECT_EQ(capture.messages, (Entries{kMissingKeyMessage, kMissingKeyMessage}));
}

TEST(Diraplicacion, NonTextValueFails)
{
    InstallDir dir(InstallDir::Key::None);
    // A comma-separated value reads as a list, not as a text.
    dir.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=/a, /b\n");
    try {
        core::diraplicacion();
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Directorio'");
    }
}

// ---- server list ----

struct ServerListCase {
    const char* what;
    std::string bytes;
    Entries entries;
};

TEST(ServerList, LineEnds)
{
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
         "servidor-espa\xF1" "a\r\n"s + longEntry, {"servidor-espa\xF1" "a", longEntry}},
    };
    InstallDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.writeFile("list.cfg", c.bytes);
        EXPECT_EQ(core::readServerList(dir.file("list.cfg")), c.entries);
    }
}

TEST(ServerList, MissingFileGivesNoEntries)
{
    InstallDir dir;
    EXPECT_TRUE(core::readServerList(dir.file("absent.cfg")).empty());
    EXPECT_TRUE(core::leerServidores().empty());
}

TEST(ServerList, LeerServidoresReadsTheInstallationFolder)
{
    InstallDir dir;
    dir.writeFile("SERVIDORES.cfg", "localhost\r\n192.168.1.5\r\n");
    EXPECT_EQ(core::leerServidores(), (Entries{"localhost", "192.168.1.5"}));
}

// ---- logs ----

TEST(Logs, FirstLineCreatesLaterLinesAppend)
{
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

TEST(Logs, AppendsToAnExistingFileAndKeepsCommas)
{
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

TEST(Logs, ConnectionFailureLine)
{
    InstallDir dir;
    StampWindow stamp;
    core::logConnectionFailure("srv2/datos/002/nivora.fdb");
    stamp.close();
    const std::string text = dir.readFile("errorenvio.txt").value_or("");
    EXPECT_TRUE(stamp.matches(
        text, ",No se pudo conectar con el servidor srv2/datos/002/nivora.fdb\r\n"))
        << text;
}

TEST(Logs, UnwritableLogIsIgnored)
{
    InstallDir dir(InstallDir::Key::None);
    dir.writeSettings(InstallDir::Key::Nivora2016,
                      "[General]\nDirectorio=" + dir.path() + "/no-such-folder\n");
    EXPECT_NO_THROW(core::archivo_auditoria("1", "236", "X"));
    EXPECT_NO_THROW(core::logUnhandledError("", "boom"));
    EXPECT_FALSE(dir.readFile("no-such-folder/ENVIO.TXT"));
}

}  // namespace
