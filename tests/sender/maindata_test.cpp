// Logins, company selection and the headless run over real embedded databases.
#include <gtest/gtest.h>

#include "app/scrambler.h"
#include "data/errors.h"
#include "sender/headless.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

TEST(MainData, AutomaticLoginStoresTheRecordAndSelectsTheCompany)
{
    SenderWorld w(false);
    w.data.loginAutomatic(w.server, "sysdba", "masterkey");
    EXPECT_TRUE(w.data.DbGeneral.isConnected());
    EXPECT_EQ(w.data.loginRecord.UsuarioSesion, "SYSDBA");
    EXPECT_EQ(w.data.loginRecord.ClaveSesion, app::CifrarClave("masterkey"));
    EXPECT_EQ(w.data.loginRecord.ServidorSesion, w.server);

    EXPECT_EQ(w.data.companyName("001"), "Origen S.A.");
    EXPECT_EQ(w.data.companyName("009"), "");
    EXPECT_EQ(w.data.companyName("777"), "");

    EXPECT_EQ(w.data.selectCompany("001"),
              (std::vector<std::string>{"Todas", "Principal", "Sur"}));
    EXPECT_TRUE(w.data.DbCia.isConnected());
    EXPECT_EQ(w.data.DbCia.param("Database"), w.server + "/datos/001/nivora.fdb");
    EXPECT_EQ(w.data.DbCia.param("User_Name"), "SYSDBA");
    EXPECT_EQ(w.data.DbCia.param("password"), "masterkey");

    // A company without a database: the connect fails and DbCia keeps the new location.
    EXPECT_THROW(w.data.selectCompany("003"), data::DatabaseError);
    EXPECT_FALSE(w.data.DbCia.isConnected());
    EXPECT_EQ(w.data.DbCia.param("Database"), w.server + "/datos/003/nivora.fdb");
}

TEST(MainData, FailedLoginStoresNoRecord)
{
    SenderWorld w(false);
    EXPECT_THROW(w.data.loginAutomatic(w.server + "/missing", "sysdba", "x"),
                 data::DatabaseError);
    EXPECT_FALSE(w.data.DbGeneral.isConnected());
    EXPECT_EQ(w.data.loginRecord.UsuarioSesion, "");
    EXPECT_EQ(w.data.loginRecord.ServidorSesion, "");
}

// The user query of the interactive login quotes the user name like every literal.
TEST(MainData, InteractiveLoginQuotesTheUserName)
{
    for (const std::string user : {"sysdba", "o'brien", "nobody"}) {
        SCOPED_TRACE(user);
        SenderWorld w(false);
        EXPECT_NO_THROW(w.data.loginInteractive(w.server, user, "masterkey"));
        EXPECT_EQ(w.data.loginRecord.UsuarioSesion, app::upperAscii(user));
        EXPECT_FALSE(w.data.Cusuario.active());
    }
}

struct HeadlessCase {
    std::string name;
    std::vector<std::string> args;  // "$S" stands for the server text
    int status;
    std::string stdoutText;   // expected standard output ("" = none)
    std::string stderrPart;   // a part of standard error ("" = not checked)
};

void PrintTo(const HeadlessCase& c, std::ostream* os) { *os << c.name; }

class Headless : public ::testing::TestWithParam<HeadlessCase> {};

TEST_P(Headless, ExitStatusAndOutput)
{
    const HeadlessCase& c = GetParam();
    SenderWorld w(false);
    w.addDestination("002");
    w.addEvent({.id = 1, .company = "002", .tipo = 120, .numero = "1"});
    w.addEvent({.id = 2, .company = "002", .tipo = 120, .numero = "2", .registeredAt = "09:00:00"});
    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (const auto p = a.find("$S"); p != std::string::npos) a.replace(p, 2, w.server);
        args.push_back(a);
    }
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = sender::runHeadless(args);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, c.status) << err;
    EXPECT_EQ(out, c.stdoutText);
    if (!c.stderrPart.empty()) {
        EXPECT_NE(err.find(c.stderrPart), std::string::npos) << err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SendCycle, Headless,
    ::testing::Values(
        HeadlessCase{"OneCycle",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "001"},
                     0,
                     "002: 2 tomados, 2 enviados, 0 con error\n",
                     ""},
        HeadlessCase{"BatchAndNewest",
                     {"--headless", "$S", "sysdba", "masterkey", "001", "0", "--batch=1",
                      "--once", "--no-retry-errors", "--minutes=5"},
                     0,
                     "002: 1 tomados, 1 enviados, 0 con error\n",
                     ""},
        HeadlessCase{"MissingArguments",
                     {"--headless", "--once", "$S", "sysdba", "masterkey"},
                     2, "", "usage: enviozvr --headless SERVER USER PASSWORD COMPANY"},
        HeadlessCase{"EmptyCompany",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", ""},
                     2, "", "COMPANY must not be empty"},
        HeadlessCase{"BadBatch",
                     {"--headless", "--once", "--batch=0", "$S", "sysdba", "masterkey", "001"},
                     2, "", "--batch needs a whole number above 0"},
        HeadlessCase{"BadMinutes",
                     {"--headless", "--once", "--minutes=x", "$S", "sysdba", "masterkey", "001"},
                     2, "", "--minutes needs a whole number"},
        HeadlessCase{"UnknownOption",
                     {"--headless", "--once", "--fast", "$S", "sysdba", "masterkey", "001"},
                     2, "", "unknown option '--fast'"},
        HeadlessCase{"FailedLogin",
                     {"--headless", "--once", "$S/nowhere", "sysdba", "masterkey", "001"},
                     2, "", "No se encontr"},
        HeadlessCase{"UnknownCompany",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "777"},
                     1, "", "Debe indicar la compa"},
        HeadlessCase{"CompanyWithoutDatabase",
                     {"--headless", "--once", "$S", "sysdba", "masterkey", "003"},
                     1, "", "No se encontr"}),
    [](const auto& info) { return info.param.name; });

// An unhandled error of the headless run is logged with the login's user.
TEST(Headless, UnhandledErrorGoesToErroresTxt)
{
    SenderWorld w(false);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sender::runHeadless({"--headless", "--once", w.server, "sysdba", "masterkey", "003"}),
              1);
    ::testing::internal::GetCapturedStderr();
    const auto lines = w.logFields("ERRORES.TXT");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("D,T,SYSDBA,", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("/datos/003/nivora.fdb"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace enviozvr::sendertest
