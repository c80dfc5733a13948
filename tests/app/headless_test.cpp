// The headless run mode over real embedded databases: exit statuses, its output and
// where unhandled errors go.
#include <gtest/gtest.h>

#include "app/headless.h"
#include "senderworld.h"

namespace enviozvr::sendertest {
namespace {

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
    const int status = app::runHeadless(args);
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
    EXPECT_EQ(app::runHeadless({"--headless", "--once", w.server, "sysdba", "masterkey", "003"}),
              1);
    ::testing::internal::GetCapturedStderr();
    const auto lines = w.logFields("ERRORES.TXT");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("D,T,SYSDBA,", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("/datos/003/nivora.fdb"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace enviozvr::sendertest
