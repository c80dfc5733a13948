// The command-line export end to end, against embedded company and general databases laid
// out as a server's "datos" folder.
#include "app/exportcli.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
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

TEST_F(ExportCommandTest, SortsAndFiltersLikeTheViewersGrid) {
    const std::string out = dir.file("list.txt");
    auto run = [&](const std::string& list, std::vector<std::string> options) {
        std::vector<std::string> a = args(list, "txt", out);
        a.insert(a.begin() + 3, options.begin(), options.end());
        const int status = runExportCommand(a);
        return status == 0 ? readFile(out) : "status " + std::to_string(status);
    };
    // The event codes in the order the written list holds them.
    auto order = [&](const std::string& text) {
        std::vector<std::pair<size_t, std::string>> found;
        for (const char* code : {"C-1", "C-2", "C-3", "C-4"}) {
            const size_t at = text.find(std::string("\t") + code + "\t");
            if (at != std::string::npos) found.emplace_back(at, code);
        }
        std::sort(found.begin(), found.end());
        std::string s;
        for (const auto& f : found) s += f.second + " ";
        return s;
    };
    EXPECT_EQ(order(run("pendientes", {})), "C-2 C-3 ");
    EXPECT_EQ(order(run("pendientes", {"--sort=Hora"})), "C-3 C-2 ");
    EXPECT_EQ(order(run("pendientes", {"--sort=Hora:desc"})), "C-2 C-3 ");
    EXPECT_EQ(order(run("pendientes", {"--sort=N\xC3\xBAmero"})), "C-3 C-2 ");  // UTF-8 title
    EXPECT_EQ(order(run("pendientes", {"--sort=Op", "--sort=hora:desc"})), "C-2 C-3 ");
    EXPECT_EQ(order(run("pendientes", {"--filter=PtVt=>1"})), "C-3 ");
    EXPECT_EQ(order(run("errores", {"--filter=Servidor=b02"})), "C-4 ");
    EXPECT_EQ(order(run("errores", {"--sort=Servidor:desc", "--filter=Mensaje de error=~%fallo%"})),
              "C-4 ");
    EXPECT_EQ(order(run("errores", {"--sort=Servidor", "--filter=Tipo doc=FACT"})), "C-1 C-4 ");
    EXPECT_EQ(order(run("errores", {"--filter=PtVt==Null"})), "C-1 ");
}

TEST_F(ExportCommandTest, BadSortOrFilterOptionsAreBadArguments) {
    const std::string out = dir.file("list.txt");
    struct Case {
        const char* option;
        const char* message;
    };
    const Case cases[] = {
        {"--filter=PtVt=abc", "enviozvr: PtVt: 'abc' is not a valid floating point value\n"},
        {"--filter=Servidor='B01", "enviozvr: Servidor: Quote is absent: 'B01\n"},
        {"--filter=Fecha=ayer", "enviozvr: Fecha: 'ayer' is not a valid date and time\n"},
        {"--sort=Nada",
         "enviozvr: no column titled 'Nada' (Tipo doc, Pref, N\xC3\xBAmero, C\xC3\xB3"
         "digo, Servidor, Fecha, Hora, Op, Prefd, PtVt, Mensaje de error)\n"},
        {"--sort=Hora:up", nullptr},
        {"--filter=Servidor", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        std::vector<std::string> a = args("errores", "txt", out);
        a.insert(a.begin() + 3, c.option);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(runExportCommand(a), 2);
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (c.message) {
            EXPECT_EQ(err, c.message);
        }
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    }
}

// More pending events than an XLS sheet holds: the export refuses, names the limit, writes
// nothing and exits 2; the same list as CSV is written whole.
TEST_F(ExportCommandTest, XlsPastItsRowLimitIsRefusedAndWritesNothing) {
    company.exec(
        "execute block as declare i integer = 100; begin while (i < 70100) do begin "
        "insert into REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, "
        "RPEV_OPER) values (:i, 'B01', 236, 'FV', '000001', 'A'); i = i + 1; end end");
    const std::string out = dir.file("pendientes.xls");
    testing::internal::CaptureStderr();
    const int status = runExportCommand(args("pendientes", "xls", out));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_NE(said.find("65535"), std::string::npos) << said;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));

    const std::string csv = dir.file("pendientes.csv");
    ASSERT_EQ(runExportCommand(args("pendientes", "csv", csv)), 0);
    const std::string text = readFile(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 70002);
}

// LibreOffice converts the files as another program reads them: one Writer run turns the
// RTF and HTML files into HTML, one Calc run reads the CSV (semicolons, Windows-1252,
// formulas evaluated) into HTML, another reads the HTML page as a sheet. The RTF cells are
// not painted black and its texts are there; the HTML's accented titles are read right;
// the CSV's and the page's formula-like texts stay texts while a number stays a number. LibreOffice
// comes with scripts/setup.
TEST_F(ExportCommandTest, LibreOfficeReadsTheFilesAsWritten) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    ASSERT_FALSE(soffice.isEmpty())
        << "LibreOffice (soffice) is not installed; scripts/setup installs it";
    company.exec(
        "insert into REPLICA_EVENTOS values (6, 'B01', 236, 15, 'FV', '000128', '=1+1', "
        "'2026-12-10', '12:00:00', null, null, 'A', '@X', 9, "
        "'=HYPERLINK(\"http://example.com/x\";\"clic\")')");
    for (const char* format : {"rtf", "htm", "csv"})
        ASSERT_EQ(runExportCommand(args("errores", format,
                                        dir.file(std::string("list-") + format + "." + format))),
                  0);

    const QString profile = QStringLiteral("-env:UserInstallation=file://") +
                            QString::fromStdString(dir.file("lo-profile"));
    const QString out = QString::fromStdString(dir.file("lo"));
    const auto convert = [&](const QStringList& options, const QStringList& files) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(soffice, QStringList{profile, QStringLiteral("--headless")} + options +
                             QStringList{QStringLiteral("--convert-to"), QStringLiteral("html"),
                                         QStringLiteral("--outdir"), out} +
                             files);
        ASSERT_TRUE(p.waitForStarted(-1));
        ASSERT_TRUE(p.waitForFinished(-1));
        EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    };
    const auto in = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
    convert({}, {in("list-rtf.rtf"), in("list-htm.htm")});
    // The CSV as a spreadsheet user opens it: ";" separated, Windows-1252, formulas evaluated.
    convert({QStringLiteral("--infilter=CSV:59,34,1")}, {in("list-csv.csv")});
    // The HTML page as a spreadsheet user opens it: read by Calc, not Writer.
    ASSERT_TRUE(QFile::copy(in("list-htm.htm"), in("calc-htm.htm")));
    convert({QStringLiteral("--infilter=HTML (StarCalc)")}, {in("calc-htm.htm")});

    const std::string rtf = readFile(dir.file("lo/list-rtf.html"));
    ASSERT_FALSE(rtf.empty()) << "the RTF was not converted";
    EXPECT_EQ(rtf.find("bgcolor=\"#000000\""), std::string::npos) << "black cells";
    for (const char* text : {"N\xC3\xBAmero",
                             "C\xC3\xB3"
                             "digo",
                             "conexi\xC3\xB3n", "000124"})
        EXPECT_NE(rtf.find(text), std::string::npos) << text;

    const std::string htm = readFile(dir.file("lo/list-htm.html"));
    ASSERT_FALSE(htm.empty()) << "the HTML was not converted";
    for (const char* text : {"N\xC3\xBAmero",
                             "C\xC3\xB3"
                             "digo",
                             "conexi\xC3\xB3n"})
        EXPECT_NE(htm.find(text), std::string::npos) << text;

    const std::string csv = readFile(dir.file("lo/list-csv.html"));
    ASSERT_FALSE(csv.empty()) << "the CSV was not converted";
    EXPECT_EQ(csv.find("href="), std::string::npos) << "a formula ran";
    EXPECT_EQ(csv.find("sdval=\"2\""), std::string::npos) << "=1+1 was computed";
    for (const char* text : {"=1+1", "=HYPERLINK(", "@X", "N\xC3\xBAmero"})
        EXPECT_NE(csv.find(text), std::string::npos) << text;
    EXPECT_NE(csv.find("sdval=\"9\""), std::string::npos) << "the number 9 is read as a number";

    const std::string sheet = readFile(dir.file("lo/calc-htm.html"));
    ASSERT_FALSE(sheet.empty()) << "the HTML was not read as a sheet";
    EXPECT_EQ(sheet.find("href="), std::string::npos) << "a formula ran";
    EXPECT_EQ(sheet.find("sdval=\"2\""), std::string::npos) << "=1+1 was computed";
    for (const char* text : {"=1+1", "=HYPERLINK(", "@X"})
        EXPECT_NE(sheet.find(text), std::string::npos) << text;
}
