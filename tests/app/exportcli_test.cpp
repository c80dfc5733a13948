// The command-line export end to end, against embedded company and general databases laid
// out as a server's "datos" folder.
#include "app/exportcli.h"

#include <QDir>
#include <QFileInfo>
#include <fstream>
#include <sstream>

#include "data/value.h"
#include "gridfixture.h"
#include "support/testdb.h"

using namespace enviozvr::grid::testing;
using enviozvr::app::runExportCommand;
using enviozvr::testing::TempDir;
using enviozvr::testing::TestDatabase;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// SERVER/datos/general.fdb and SERVER/datos/C01/nivora.fdb with five events: two errored
// and two pending invoices, one sent.
class ExportCommandTest : public ::testing::Test {
  protected:
    static std::string makeDirs(const TempDir& dir) {
        QDir().mkpath(QString::fromStdString(dir.file("datos/C01")));
        return dir.path();
    }

    ExportCommandTest()
        : server(makeDirs(dir)),
          general(dir.file("datos/general.fdb")),
          company(dir.file("datos/C01/nivora.fdb")) {
        general.createGeneralSchema();
        company.createCompanySchema();
        company.exec({
            "insert into TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) values (236, "
            "'FACT', 'Factura')",
            "insert into REPLICA_EVENTOS values (4, 'B02', 236, 10, 'FV', '000124', 'C-4', "
            "'2026-12-09', '08:30:00', null, null, 'A', 'PD', 7, 'fallo \"x\"; y')",
            "insert into REPLICA_EVENTOS values (1, 'B01', 236, 11, 'FV', '000123', 'C-1', "
            "'2026-12-08', '17:05:09', null, null, 'D', null, null, 'sin conexi\xF3n')",
            "insert into REPLICA_EVENTOS values (3, 'B01', 236, 12, 'FV', '000125', 'C-3', "
            "'2026-12-10', '09:00:00', null, null, 'A', null, 3, null)",
            "insert into REPLICA_EVENTOS values (2, 'B01', 236, 13, 'FV', '000126', 'C-2', "
            "'2026-12-10', '10:00:00', null, null, 'A', null, null, null)",
            "insert into REPLICA_EVENTOS values (5, 'B01', 236, 14, 'FV', '000127', 'C-5', "
            "'2026-12-10', '11:00:00', '2026-12-10', '11:05:00', 'A', null, null, null)",
        });
    }

    std::vector<std::string> args(const std::string& list, const std::string& format,
                                  const std::string& output,
                                  const std::string& companyCode = "C01") {
        return {"--export=" + list, "--format=" + format, "--output=" + output, server,
                "sysdba",           "masterkey",          companyCode};
    }

    static std::string date(int y, int m, int d) {
        return enviozvr::data::shortDateText(enviozvr::data::Date::fromYmd(y, m, d));
    }
    static std::string time(int h, int m, int s) {
        return enviozvr::data::longTimeText(enviozvr::data::Time::fromHms(h, m, s));
    }

    TempDir dir;
    std::string server;
    TestDatabase general;
    TestDatabase company;
};

}  // namespace

TEST_F(ExportCommandTest, WritesTheErrorListAsCsv) {
    const std::string out = dir.file("errores.csv");
    ASSERT_EQ(runExportCommand(args("errores", "csv", out)), 0);
    const std::string text = readFile(out);
    const std::string titles =
        "\"Tipo doc\";\"Pref\";\"N\xFAmero\";\"C\xF3"
        "digo\";\"Servidor\";\"Fecha\";\"Hora\";\"Op\";"
        "\"Prefd\";\"PtVt\";\"Mensaje de error\"";
    const std::string four = "\"FACT\";\"FV\";\"000124\";\"C-4\";\"B02\";\"" + date(2026, 12, 9) +
                             "\";\"" + time(8, 30, 0) +
                             "\";\"A\";\"PD\";\"7\";\"fallo \"\"x\"\"; y\"";
    const std::string one = "\"FACT\";\"FV\";\"000123\";\"C-1\";\"B01\";\"" + date(2026, 12, 8) +
                            "\";\"" + time(17, 5, 9) + "\";\"D\";\"\";\"\";\"sin conexi\xF3n\"";
    // The error list has no ORDER BY: either order of the two rows is the database's.
    EXPECT_TRUE(text == titles + "\r\n" + four + "\r\n" + one ||
                text == titles + "\r\n" + one + "\r\n" + four)
        << text;
}

TEST_F(ExportCommandTest, WritesThePendingListAsXlsInIdOrder) {
    const std::string out = dir.file("pendientes.xls");
    ASSERT_EQ(runExportCommand(args("pendientes", "xls", out)), 0);
    const std::string got = readFile(out);
    std::string expected = xlsBof();
    const char* titles[] = {"Tipo doc",
                            "Pref",
                            "N\xFAmero",
                            "C\xF3"
                            "digo",
                            "Servidor",
                            "Fecha",
                            "Hora",
                            "Op",
                            "Prefd",
                            "PtVt"};
    for (int c = 0; c < 10; ++c) expected += xlsLabel(0, c, titles[c]);
    auto row = [&](int r, const char* number, const char* code, int hour, bool ptvt) {
        expected += xlsLabel(r, 0, "FACT") + xlsLabel(r, 1, "FV") + xlsLabel(r, 2, number) +
                    xlsLabel(r, 3, code) + xlsLabel(r, 4, "B01") +
                    xlsLabel(r, 5, date(2026, 12, 10)) + xlsLabel(r, 6, time(hour, 0, 0)) +
                    xlsLabel(r, 7, "A") + xlsBlank(r, 8) + (ptvt ? xlsRk(r, 9, 3) : xlsBlank(r, 9));
    };
    row(1, "000126", "C-2", 10, false);
    row(2, "000125", "C-3", 9, true);
    expected += xlsEof();
    EXPECT_EQ(got, expected) << hexDump(got);
}

TEST_F(ExportCommandTest, FailuresExitNonZeroAndLeaveNoFile) {
    const std::string out = dir.file("list.htm");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int status;
    };
    const Case cases[] = {
        {"unknown list", args("todos", "htm", out), 2},
        {"unknown format", args("errores", "pdf", out), 2},
        {"missing company",
         {"--export=errores", "--format=htm", "--output=" + out, server, "sysdba", "x"},
         2},
        {"no output", {"--export=errores", "--format=htm", server, "sysdba", "x", "C01"}, 2},
        {"no general database",
         {"--export=errores", "--format=htm", "--output=" + out, dir.file("nowhere"), "sysdba", "x",
          "C01"},
         1},
        {"no company database", args("errores", "htm", out, "C99"), 1},
        {"file cannot be created", args("errores", "htm", dir.file("no/folder/list.htm")), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runExportCommand(c.arguments), c.status);
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    }
    // A failing run keeps an existing file as it was.
    { std::ofstream(out, std::ios::binary) << "yesterday"; }
    EXPECT_EQ(runExportCommand(args("errores", "htm", out, "C99")), 1);
    EXPECT_EQ(readFile(out), "yesterday");
    EXPECT_EQ(runExportCommand(args("errores", "htm", out)), 0);
    EXPECT_EQ(readFile(out).rfind("<!DOCTYPE HTML", 0), 0u);
}
