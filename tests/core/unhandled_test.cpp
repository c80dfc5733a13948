#include "core/unhandled.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "coretest.h"
#include "data/errors.h"
#include "support/appdir.h"

using enviozvr::coretest::MessageCapture;
using enviozvr::coretest::StampWindow;
using enviozvr::testing::InstallDir;
namespace core = enviozvr::core;

namespace {

const std::string kMissingFile = "No se encontr\xF3 el archivo o la ruta ";
const std::string kMissingHost = "No se encontr\xF3 el equipo servidor con nombre ";
const std::string kOther = "Se presento el siguiente error: ";

struct TranslationCase {
    const char* what;
    std::string message;
    std::string shown;
};

TEST(TranslateErrorMessage, Table) {
    const std::string login =
        "Your user name and password are not defined. Ask your database administrator to set "
        "up a Firebird login.";
    const std::string network =
        "Unable to complete network request to host \"nohost\".\n-Failed to locate host machine.";
    const TranslationCase cases[] = {
        {"refused login", login, "El nombre de Usuario o la clave son incorrectas."},
        {"login wording in other letter case", "your user name and password are not defined",
         kOther + "your user name and password are not defined"},
        {"missing file, older wording", "I/O error for file \"C:\\datos\\general.fdb\"\nError",
         kMissingFile + "C:\\datos\\general.fdb"},
        {"missing file without quotes", "I/O error for file general.fdb", kMissingFile},
        {"missing file with one quote", "I/O error for file \"general.fdb", kMissingFile},
        {"missing file, Firebird 3 wording",
         "I/O error during \"open\" operation for file \"/srv/datos/general.fdb\"\n"
         "-Error while trying to open file\n-No such file or directory",
         kMissingFile + "/srv/datos/general.fdb"},
        {"other I/O operation is not a missing file",
         "I/O error during \"read\" operation for file \"x.fdb\"",
         kOther + "I/O error during \"read\" operation for file \"x.fdb\""},
        {"unreachable server", network, kMissingHost + "nohost"},
        {"network wording in other letter case", "unable to complete network request",
         kOther + "unable to complete network request"},
        {"the table is tested in order", network + "\n" + login,
         "El nombre de Usuario o la clave son incorrectas."},
        {"anything else", "Column unknown, X", kOther + "Column unknown, X"},
        {"empty message", "", kOther},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(core::translateErrorMessage(c.message), c.shown);
    }
}

// Records every shown text with the contents of ERRORES.TXT at the moment it was shown.
class RecordingDisplay : public core::ErrorDisplay {
  public:
    explicit RecordingDisplay(const InstallDir& dir) : dir_(dir) {}
    void showError(const std::string& text) override {
        shown.push_back(text);
        logAtDisplay.push_back(dir_.readFile("ERRORES.TXT").value_or("<missing>"));
    }
    std::vector<std::string> shown;
    std::vector<std::string> logAtDisplay;

  private:
    const InstallDir& dir_;
};

class UnhandledErrors : public ::testing::Test {
  protected:
    void TearDown() override { core::installUnhandledErrorHandler(nullptr, nullptr); }

    InstallDir dir;
    RecordingDisplay display{dir};
    core::LoginRecord login;
};

TEST_F(UnhandledErrors, LogsFirstThenShowsTheTranslatedText) {
    login.UsuarioSesion = "JUAN";
    core::installUnhandledErrorHandler(&login, &display);
    StampWindow stamp;
    core::ENoManejada(std::runtime_error("Unable to complete network request to host \"srv9\"."));
    stamp.close();

    ASSERT_EQ(display.shown, std::vector<std::string>{kMissingHost + "srv9"});
    EXPECT_TRUE(stamp.matches(display.logAtDisplay[0],
                              ",JUAN,Unable to complete network request to host \"srv9\".\r\n"))
        << display.logAtDisplay[0];
}

TEST_F(UnhandledErrors, UserIsReadAtTheTimeOfTheError) {
    core::installUnhandledErrorHandler(&login, &display);
    StampWindow beforeLogin;
    core::ENoManejada(std::runtime_error("first, before login"));
    beforeLogin.close();
    const std::string firstLine = dir.readFile("ERRORES.TXT").value_or("");
    EXPECT_TRUE(beforeLogin.matches(firstLine, ",,first, before login\r\n")) << firstLine;

    login.UsuarioSesion = "ANA";
    StampWindow afterLogin;
    core::ENoManejada(std::runtime_error("second"));
    afterLogin.close();
    const std::string both = dir.readFile("ERRORES.TXT").value_or("");
    EXPECT_TRUE(afterLogin.matches(both.substr(firstLine.size()), ",ANA,second\r\n")) << both;
}

TEST_F(UnhandledErrors, LaterInstallationReplacesTheEarlier) {
    RecordingDisplay earlier(dir);
    core::LoginRecord otherLogin{"OTRO", "", ""};
    core::installUnhandledErrorHandler(&otherLogin, &earlier);
    login.UsuarioSesion = "JUAN";
    core::installUnhandledErrorHandler(&login, &display);

    core::ENoManejada(std::runtime_error("boom"));
    EXPECT_TRUE(earlier.shown.empty());
    EXPECT_EQ(display.shown, std::vector<std::string>{kOther + "boom"});
    EXPECT_NE(dir.readFile("ERRORES.TXT").value_or("").find(",JUAN,boom\r\n"), std::string::npos);
}

TEST_F(UnhandledErrors, UnusableDirectorySettingLosesTheLineButShowsTheMessage) {
    InstallDir broken(InstallDir::Key::None);
    broken.writeSettings(InstallDir::Key::Nivora2016, "[General]\nDirectorio=/a, /b\n");
    RecordingDisplay brokenDisplay(broken);
    core::installUnhandledErrorHandler(&login, &brokenDisplay);
    EXPECT_NO_THROW(core::ENoManejada(std::runtime_error("boom")));
    EXPECT_EQ(brokenDisplay.shown, std::vector<std::string>{kOther + "boom"});
}

TEST_F(UnhandledErrors, RunGuardedRoutesWhatEscapes) {
    login.UsuarioSesion = "JUAN";
    core::installUnhandledErrorHandler(&login, &display);

    EXPECT_TRUE(core::runGuardedOk([] {}));
    EXPECT_FALSE(core::runGuardedOk([] { throw enviozvr::data::SilentAbort(); }));
    EXPECT_TRUE(display.shown.empty());
    EXPECT_FALSE(dir.readFile("ERRORES.TXT")) << "a silent abort logs nothing";

    EXPECT_FALSE(
        core::runGuardedOk([] { throw enviozvr::data::DataError("Field 'X' must have a value"); }));
    EXPECT_FALSE(core::runGuardedOk([] { throw 42; }));
    EXPECT_EQ(display.shown, (std::vector<std::string>{kOther + "Field 'X' must have a value",
                                                       kOther + "Unknown error"}));
    const std::string log = dir.readFile("ERRORES.TXT").value_or("");
    EXPECT_NE(log.find(",JUAN,Field 'X' must have a value\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(",JUAN,Unknown error\r\n"), std::string::npos) << log;
}

TEST_F(UnhandledErrors, RunGuardedReturnsEvenWhenTheDisplayFails) {
    struct FailingDisplay : core::ErrorDisplay {
        void showError(const std::string&) override { throw std::runtime_error("no display"); }
    } failing;
    core::installUnhandledErrorHandler(&login, &failing);
    bool returned = false;
    EXPECT_NO_THROW({
        core::runGuarded([] { throw std::runtime_error("boom"); });
        returned = true;
    });
    EXPECT_TRUE(returned);
}

}  // namespace
