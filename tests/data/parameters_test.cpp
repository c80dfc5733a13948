#include "data/parameters.h"

#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/sqltext.h"

using namespace enviozvr::data;

TEST(ParameterList, NamesCompareWithoutCaseAndTakeTheSpellingOfTheCall) {
    ParameterList p({"User_Name=sysdba", "Password=kelpstone"});
    p.set("password", "secret");
    EXPECT_EQ(p.lines(), (std::vector<std::string>{"User_Name=sysdba", "password=secret"}));
    EXPECT_EQ(p.get("PASSWORD"), "secret");
    p.set("RoleName", "RoleName");
    EXPECT_EQ(p.lines().back(), "RoleName=RoleName");
}

TEST(ParameterList, EmptyValueRemovesTheLine) {
    ParameterList p({"user_name=SYSDBA", "password=kelpstone"});
    p.set("Password", "");
    EXPECT_FALSE(p.has("password"));
    EXPECT_EQ(p.get("password"), "");
    p.set("missing", "");  // nothing to remove
    EXPECT_EQ(p.lines(), std::vector<std::string>{"user_name=SYSDBA"});
}

TEST(Connection, CompanyConnectionsStartWithTheFixedList) {
    auto c = Connection::company("DbCia");
    EXPECT_EQ(c->database(), "c:\\nivoraERP2015\\sop\\nivora.fdb");
    EXPECT_EQ(c->param("user_name"), "sysdba");
    EXPECT_EQ(c->param("password"), "kelpstone");
    EXPECT_EQ(c->param("RoleName"), "RoleName");
    EXPECT_EQ(c->param("WaitOnLocks"), "True");
    EXPECT_EQ(c->param("TransIsolation"), "ReadCommited");
    EXPECT_EQ(c->param("SQLDialect"), "3");
    c->setDatabase("srv:/datos/001/nivora.fdb");
    EXPECT_EQ(c->param("Database"), "srv:/datos/001/nivora.fdb");

    auto g = Connection::general();
    EXPECT_EQ(g->params().lines(),
              (std::vector<std::string>{"user_name=SYSDBA", "password=kelpstone"}));
}

TEST(SqlText, QuotingAndIsoForms) {
    struct Case {
        std::string in, out;
    } cases[] = {{"it's", "'it''s'"}, {"", "''"}, {"''", "''''''"}, {"plain", "'plain'"}};
    for (const auto& c : cases) EXPECT_EQ(enviozvr::data::quoted(c.in), c.out) << c.in;
    EXPECT_EQ(sqlInteger(-42), "-42");
    EXPECT_EQ(sqlDate(Date::fromYmd(2026, 2, 3)), "'2026-02-03'");
    EXPECT_EQ(sqlTime(Time::fromHms(7, 5, 9, 1234)), "'07:05:09'");
}

TEST(Values, DatesRoundTripThroughTheFirebirdEpoch) {
    EXPECT_EQ(Date::fromYmd(1858, 11, 17).days, 0);
    EXPECT_EQ(Date::fromYmd(2000, 1, 1).days, 51544);
    int y, m, d;
    Date::fromYmd(2024, 2, 29).toYmd(y, m, d);
    EXPECT_EQ((std::array{y, m, d}), (std::array{2024, 2, 29}));
}

TEST(Values, DecimalsKeepTheirScale) {
    EXPECT_EQ((Decimal{1250, 2}.toString()), "12.50");
    EXPECT_EQ((Decimal{-5, 3}.toString()), "-0.005");
    EXPECT_EQ((Decimal{1234565, 6}.rescaled(4).unscaled), 12346);  // half away from zero
    EXPECT_EQ((Decimal{-1234565, 6}.rescaled(4).unscaled), -12346);
    EXPECT_TRUE((Decimal{1250, 2} == Decimal{125, 1}));
}
