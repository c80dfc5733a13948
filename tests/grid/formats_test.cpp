// The five file formats byte for byte: the published examples, escaping, table options,
// colour and font tables, and how files are written and replaced.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <sstream>

#include "data/codepage.h"
#include "gridfixture.h"
#include "support/testdb.h"

using namespace enviozvr::grid;
using namespace enviozvr::grid::testing;
using enviozvr::data::FieldType;
using enviozvr::testing::TempDir;

namespace {

const std::string kFont =
    "<FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000000\">";
const std::string kBorders =
    "\\clbrdrl\\brdrs\\brdrcf0\r\n\\clbrdrt\\brdrs\\brdrcf0\r\n"
    "\\clbrdrb\\brdrs\\brdrcf0\r\n\\clbrdrr\\brdrs\\brdrcf0\r\n";

// One string column PREF titled "Pref", 35 pixels wide, holding one record.
class OneCellTest : public ::testing::Test, public GridFixture {
  protected:
    void loadText(const char* text) {
        load({field("PREF", FieldType::String, 40)}, {{txt(text)}});
        grid.column(0).Title.Caption = "Pref";
        grid.column(0).Width = 35;
    }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(CsvExample, TitlesAndQuotedRecord) {
    GridFixture f;
    f.load({field("PREF", FieldType::String, 4), field("NUM", FieldType::String, 20)},
           {{txt("A"), txt("He said \"hi\"")}});
    f.grid.column(0).Title.Caption = "Pref";
    f.grid.column(1).Title.Caption = "N\xFAmero";
    EXPECT_EQ(f.run<TGridExportAsCSV>(true),
              "\"Pref\";\"N\xFAmero\"\r\n\"A\";\"He said \"\"hi\"\"\"");
}

TEST_F(OneCellTest, HtmlDocumentWithEscapedCell) {
    loadText("A&B");
    const std::string expected =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\r\n<html>\r\n<head>\r\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\r\n"
        "<title>\r\n"
        "Grid1\r\n</title>\r\n</head>\r\n<body>\r\n"
        "<table BORDER=1 CELLSPACING=0 CELLPADDING=2 BGCOLOR=#C0C0C0>\r\n\r\n"
        "<TR>\r\n  <TD WIDTH=35 ALIGN=\"LEFT\">" +
        kFont +
        "Pref</FONT></TD>\r\n</TR>\r\n"
        "<TR>\r\n  <TD WIDTH=35 ALIGN=\"LEFT\" BGCOLOR=#FFFFFF>" +
        kFont +
        "A&amp;B</FONT></TD>\r\n</TR>\r\n"
        "</table>\r\n</body>\r\n</html>\r\n";
    EXPECT_EQ(run<TGridExportAsHTML>(true), expected);
}

TEST_F(OneCellTest, RtfDocument) {
    loadText("A");
    const std::string row = "\\trowd\\trgaph40\r\n" + kBorders;
    const std::string expected =
        "{\\rtf0\\ansi\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;\\red192\\green192\\blue192;}"
        "\r\n"
        "{\\fonttbl\\f0\\fnil MS Sans Serif;}\r\n" +
        row +
        "\\clcbpat2\\cellx525\r\n{\\trrh0\r\n"
        "\\pard\\intbl{\\ql\\sb24\\sa24\\fs16\\f0\\cf0\\cb2 "
        "Pref\\cell}\r\n\\pard\\intbl\\row}\r\n" +
        row +
        "\\clcbpat1\\cellx525\r\n{\\trrh0\r\n"
        "\\pard\\intbl{\\ql\\sb24\\sa24\\fs16\\f0\\cf0\\cb1 A\\cell}\r\n\\pard\\intbl\\row}\r\n"
        "}";
    EXPECT_EQ(run<TGridExportAsRTF>(true), expected);
}

TEST_F(OneCellTest, XlsDocument) {
    loadText("A");
    grid.column(0).Title.Caption = "Op";
    const std::string expected =
        bytes({0x09, 0x08, 0x08, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00}) +
        bytes(
            {0x04, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x4F, 0x70}) +
        bytes({0x04, 0x02, 0x09, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x41}) +
        bytes({0x0A, 0x00, 0x00, 0x00});
    const std::string got = run<TGridExportAsXLS>(true);
    EXPECT_EQ(got, expected) << hexDump(got);
}

TEST(XlsExample, IntegerIsAnRkRecord) {
    GridFixture f;
    f.load({field("N", FieldType::Integer, 4)}, {{num(5)}});
    const std::string rk =
        bytes({0x7E, 0x02, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x00, 0x00, 0x00});
    const std::string got = f.run<TGridExportAsXLS>(true);
    EXPECT_EQ(got, xlsBof() + xlsLabel(0, 0, "N") + rk + xlsEof()) << hexDump(got);
}

// An XLS sheet numbers its rows in 16 bits: 65,535 data rows under the titles fit, one more
// is refused before a file is written (an existing file keeps its content), whatever kind
// of selection is exported.
TEST(XlsRowLimit, FullSheetFitsAndOneRowMoreIsRefused) {
    for (const int rows : {65535, 65536, 70003}) {
        SCOPED_TRACE(rows);
        GridFixture f;
        std::vector<enviozvr::data::Row> data;
        for (int i = 0; i < rows; ++i) data.push_back({num(i)});
        f.load({field("N", FieldType::Integer, 4)}, std::move(data));
        if (rows <= kXlsMaxDataRows) {
            const std::string got = f.run<TGridExportAsXLS>(true);
            const std::string tail = xlsRk(65535, 0, rows - 1) + xlsEof();
            EXPECT_EQ(got.substr(got.size() - tail.size()), tail);
            continue;
        }
        TempDir dir;
        const std::string path = dir.file("out.xls");
        {
            std::ofstream old(path, std::ios::binary);
            old << "older";
        }
        try {
            ExportGridToFile(&makeGridExport<TGridExportAsXLS>, f.grid,
                             QString::fromStdString(path), true);
            FAIL() << "no error";
        } catch (const XlsRowLimitError& e) {
            EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
        }
        EXPECT_EQ(readFile(path), "older");
        // A column selection past the limit is refused the same way.
        f.grid.Selection().selectColumn(f.grid.column(0));
        EXPECT_THROW(f.run<TGridExportAsXLS>(false), XlsRowLimitError);
    }
}

// A text cell that a spreadsheet would run as a formula is guarded by an apostrophe in the
// text formats and the HTML page; numbers, and texts with such a character further on, are written
// as they are.
TEST(FormulaGuard, TextCellsStartingLikeAFormula) {
    const struct {
        const char* text;
        const char* written;
    } cases[] = {
        {"=HYPERLINK(\"http://x\";\"y\")", "'=HYPERLINK(\"http://x\";\"y\")"},
        {"+57 300", "'+57 300"},
        {"-A", "'-A"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"a=b", "a=b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        GridFixture f;
        f.load({field("T", FieldType::String, 40), field("N", FieldType::Integer, 4),
                field("F", FieldType::Float, 8)},
               {{txt(c.text), num(-5), enviozvr::data::Value::real(-1.5)}});
        const std::string t = c.written;
        std::string csvText = t;
        for (size_t at = 0; (at = csvText.find('"', at)) != std::string::npos; at += 2)
            csvText.insert(at, 1, '"');
        EXPECT_EQ(f.run<TGridExportAsText>(true), "T\tN\tF\r\n" + t + "\t-5\t-1.5");
        EXPECT_EQ(f.run<TGridExportAsCSV>(true),
                  "\"T\";\"N\";\"F\"\r\n\"" + csvText + "\";\"-5\";\"-1.5\"");
        const std::string utf16 = f.run<TGridExportAsUnicodeText>(true);
        std::string expected16;
        for (char ch : "T\tN\tF\r\n" + t + "\t-5\t-1.5") expected16 += std::string{ch, '\0'};
        EXPECT_EQ(utf16, expected16);
        // The HTML page too, with its entities; its number cells keep their sign.
        std::string htmlText = t.empty() ? "&nbsp;" : t;
        for (size_t at = 0; (at = htmlText.find('"', at)) != std::string::npos;)
            htmlText.replace(at, 1, "&quot;");
        const std::string html = f.run<TGridExportAsHTML>(true);
        EXPECT_NE(html.find("\">" + htmlText + "</FONT>"), std::string::npos) << html;
        EXPECT_NE(html.find("\">-5</FONT>"), std::string::npos) << html;
        EXPECT_NE(html.find("\">-1.5</FONT>"), std::string::npos) << html;
        // The XLS sheet writes texts as labels, never formulas: unchanged there.
        EXPECT_NE(f.run<TGridExportAsXLS>(true).find(xlsLabel(1, 0, c.text)), std::string::npos);
    }
}

// Texts that need escaping in one format or another, in every format.
TEST(Escaping, EveryFormat) {
    const char* tricky = "a\tb\r\nc \"q\" {x}\\y & <z>";
    GridFixture f;
    f.load({field("T", FieldType::String, 60), field("E", FieldType::String, 10)},
           {{txt(tricky), txt("")}});
    f.grid.setOption(dgTitles, false);
    EXPECT_EQ(f.run<TGridExportAsText>(true), std::string(tricky) + "\t");
    EXPECT_EQ(f.run<TGridExportAsCSV>(true), "\"a\tb\r\nc \"\"q\"\" {x}\\y & <z>\";\"\"");
    const std::string html = f.run<TGridExportAsHTML>(true);
    EXPECT_NE(html.find(">a\tb\r\nc &quot;q&quot; {x}\\y &amp; &lt;z&gt;</FONT>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find(">&nbsp;</FONT>"), std::string::npos) << html;
    const std::string rtf = f.run<TGridExportAsRTF>(true);
    EXPECT_NE(rtf.find(" a\tb\r\nc \"q\" \\{x\\}\\\\y & <z>\\cell}"), std::string::npos) << rtf;
    EXPECT_EQ(f.run<TGridExportAsXLS>(true),
              xlsBof() + xlsLabel(0, 0, tricky) + xlsLabel(0, 1, "") + xlsEof());
}

// Every entity is written whole, so that a ';' after a quote or an ampersand stays a
// character of the text (a formula's argument separator) and is not read as the end of
// the entity.
TEST(Escaping, HtmlEntitiesAreWholeAndKeepTheFollowingSemicolon) {
    GridFixture f;
    f.load({field("T", FieldType::String, 40)},
           {{txt("A&B<C>\"D\"")}, {txt("x(\"http://x\";\"clic\")&;")}, {txt("")}});
    const std::string html = f.run<TGridExportAsHTML>(true);
    EXPECT_NE(html.find(">A&amp;B&lt;C&gt;&quot;D&quot;</FONT>"), std::string::npos) << html;
    EXPECT_NE(html.find(">x(&quot;http://x&quot;;&quot;clic&quot;)&amp;;</FONT>"),
              std::string::npos)
        << html;
    EXPECT_NE(html.find(">&nbsp;</FONT>"), std::string::npos) << html;
    for (const char* cut : {"&quot\"", "&amp\"", "&lt\"", "&gt\"", "&nbsp<", "&quot ", "&amp "})
        EXPECT_EQ(html.find(cut), std::string::npos) << cut;
}

TEST(HtmlTable, BordersPaddingAndFixedColour) {
    struct Case {
        bool colLines, rowLines, ctl3d, flat;
        TColor fixed;
        const char* table;
    };
    const Case cases[] = {
        {true, true, true, false, clBtnFace,
         "<table BORDER=1 CELLSPACING=0 CELLPADDING=2 BGCOLOR=#C0C0C0>"},
        {false, false, true, false, clBtnFace,
         "<table BORDER=0 CELLSPACING=0 CELLPADDING=2 BGCOLOR=#C0C0C0>"},
        {true, false, false, true, clRed,
         "<table BORDER=0 CELLSPACING=1 CELLPADDING=1 BGCOLOR=#FF0000>"},
        {false, true, true, true, clNone,
         "<table BORDER=1 CELLSPACING=0 CELLPADDING=1 BGCOLOR=#000000>"},
        {false, true, true, false, rgbColor(0x12, 0xAB, 0x0F),
         "<table BORDER=1 CELLSPACING=0 CELLPADDING=2 BGCOLOR=#12AB0F>"},
    };
    for (const Case& c : cases) {
        GridFixture f;
        f.load({field("T", FieldType::String, 5)}, {});
        f.grid.setOption(dgColLines, c.colLines);
        f.grid.setOption(dgRowLines, c.rowLines);
        f.grid.Ctl3D = c.ctl3d;
        f.grid.Flat = c.flat;
        f.grid.FixedColor = c.fixed;
        const std::string html = f.run<TGridExportAsHTML>(true);
        EXPECT_NE(html.find(std::string("<body>\r\n") + c.table + "\r\n\r\n"), std::string::npos)
            << c.table << "\n"
            << html;
    }
}

TEST(HtmlCell, StylesAlignmentAndColours) {
    GridFixture f;
    f.load({field("T", FieldType::String, 5)}, {{txt("x")}});
    TGridColumn& c = f.grid.column(0);
    c.Width = 40;
    c.Alignment = taRightJustify;
    c.Color = clNone;
    c.Font.Name = "Arial";
    c.Font.Size = 10;
    c.Font.Color = clRed;
    c.Font.Style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
    c.Title.Alignment = taCenter;
    const std::string html = f.run<TGridExportAsHTML>(true);
    EXPECT_NE(html.find("  <TD WIDTH=40 ALIGN=\"CENTER\"><FONT"), std::string::npos) << html;
    EXPECT_NE(html.find("  <TD WIDTH=40 ALIGN=\"RIGHT\" BGCOLOR=#000000><FONT STYLE=\"font-family: "
                        "Arial; font-size: 10pt; color: #FF0000\"><B><I><U><STRIKE>x</B></I></U>"
                        "</STRIKE></FONT></TD>\r\n"),
              std::string::npos)
        << html;
}

TEST(RtfLayout, RightEdgesAtNinetySixPixelsPerInch) {
    GridFixture f;
    f.load({field("A", FieldType::String, 5), field("B", FieldType::String, 5),
            field("C", FieldType::String, 5)},
           {});
    f.grid.column(0).Width = 65;
    f.grid.column(1).Width = 35;
    f.grid.column(2).Width = 73;
    const std::string rtf = f.run<TGridExportAsRTF>(true);
    EXPECT_NE(rtf.find("\\cellx975\r\n" + kBorders + "\\clcbpat2\\cellx1500\r\n" + kBorders +
                       "\\clcbpat2\\cellx2595\r\n{\\trrh0"),
              std::string::npos)
        << rtf;
    // Every width that fits the page converts exactly to 15 twips per pixel at 96 pixels
    // per inch.
    for (int w = 1; w * 15 <= 11906 - 2 * 1800; ++w) {
        GridFixture g;
        g.load({field("A", FieldType::String, 5)}, {});
        g.grid.column(0).Width = w;
        g.grid.setOption(dgTitles, true);
        const std::string doc = g.run<TGridExportAsRTF>(true);
        ASSERT_NE(doc.find("\\cellx" + std::to_string(15 * w) + "\r\n"), std::string::npos) << w;
    }
}

// The error list's columns (749 px, 11,235 twips) run past the printable width of A4 and
// Letter with the default margins (8,306 twips on A4): the table is narrowed to it, each
// column keeping its share, and the last column ends at the right margin.
TEST(RtfLayout, ATableWiderThanThePageIsFittedBetweenTheMargins) {
    GridFixture f;
    const int widths[] = {65, 35, 73, 86, 218, 76, 50, 18, 38, 26, 64};
    std::vector<enviozvr::data::Field> fields;
    for (size_t i = 0; i < std::size(widths); ++i)
        fields.push_back(field(std::string(1, static_cast<char>('A' + i)), FieldType::String, 5));
    f.load(fields, {});
    for (size_t i = 0; i < std::size(widths); ++i)
        f.grid.column(static_cast<int>(i)).Width = widths[i];
    const std::string rtf = f.run<TGridExportAsRTF>(true);
    std::vector<int64_t> edges;
    for (size_t at = rtf.find("\\cellx"); at != std::string::npos; at = rtf.find("\\cellx", at + 1))
        edges.push_back(std::stoll(rtf.substr(at + 6)));
    ASSERT_EQ(edges.size(), std::size(widths)) << rtf;
    EXPECT_EQ(edges.back(), 11906 - 2 * 1800);
    int64_t left = 0;
    int sum = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        sum += widths[i];
        // Each right edge stands where its share of the grid's width puts it.
        EXPECT_NEAR(static_cast<double>(edges[i]), 8306.0 * sum / 749, 1.0) << i;
        EXPECT_GT(edges[i], left);
        left = edges[i];
    }
}

TEST(RtfLayout, OtherResolutionFlatGridAndStyles) {
    GridFixture f;
    f.env.ppi = 120;
    f.load({field("A", FieldType::String, 5)}, {{txt("v")}});
    f.grid.Flat = true;
    TGridColumn& c = f.grid.column(0);
    c.Width = 100;  // 100 / 120 * 1440 = 1200
    c.Alignment = taCenter;
    c.Font.Name = "Courier";
    c.Font.Size = 9;
    c.Font.Color = clRed;
    c.Font.Style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
    c.Color = rgbColor(1, 2, 3);
    const std::string rtf = f.run<TGridExportAsRTF>(true);
    EXPECT_NE(
        rtf.find("{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;"
                 "\\red192\\green192\\blue192;\\red1\\green2\\blue3;\\red255\\green0\\blue0;}"),
        std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("{\\fonttbl\\f0\\fnil MS Sans Serif;\\f1\\fnil Courier;}"),
              std::string::npos);
    EXPECT_NE(rtf.find("\\clcbpat3\\cellx1200\r\n"), std::string::npos);
    EXPECT_NE(
        rtf.find("\\pard\\intbl{\\qc\\sb12\\sa12\\fs18\\b\\i\\strike\\ul\\f1\\cf4\\cb3 v\\cell}"),
        std::string::npos)
        << rtf;
}

TEST(RtfLayout, ButtonFaceEqualToWhiteSharesItsEntry) {
    GridFixture f;
    f.env.buttonFace = clWhite;
    f.load({field("A", FieldType::String, 5)}, {{txt("v")}});
    const std::string rtf = f.run<TGridExportAsRTF>(true);
    EXPECT_NE(rtf.find("{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;}\r\n"),
              std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("\\clcbpat1\\cellx"), std::string::npos);
}

TEST(UnicodeText, Utf16WithoutByteOrderMark) {
    GridFixture f;
    f.load({field("A", FieldType::String, 5), field("B", FieldType::String, 5)},
           {{txt("\x80"), txt("\xF1")}, {txt("x"), txt("")}});
    f.grid.column(0).Title.Caption = "N\xFA";
    const std::string got = f.run<TGridExportAsUnicodeText>(true);
    const std::string expected = u16('N') + u16(0xFA) + u16('\t') + u16('B') + u16('\r') +
                                 u16('\n') + u16(0x20AC) + u16('\t') + u16(0xF1) + u16('\r') +
                                 u16('\n') + u16('x') + u16('\t');
    EXPECT_EQ(got, expected) << hexDump(got);
}

TEST(MemoryStream, CapacityGrowsInStepsOf128KiB) {
    TMemoryStream s;
    EXPECT_EQ(s.capacity(), 0u);
    s.writeByte(1);
    EXPECT_EQ(s.capacity(), 131072u);
    s.write(std::string(131071, 'x'));
    EXPECT_EQ(s.capacity(), 131072u);
    s.writeByte(2);
    EXPECT_EQ(s.capacity(), 262144u);
    s.write(std::string(300000, 'y'));
    EXPECT_EQ(s.capacity(), 524288u);
    EXPECT_EQ(s.size(), 131072u + 1 + 300000);
    s.clear();
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.capacity(), 524288u);
}

TEST(ExportToFile, WritesReplacesAndReportsAFileThatCannotBeCreated) {
    TempDir dir;
    GridFixture f;
    f.load({field("A", FieldType::String, 5)}, {{txt("v")}});
    const std::string path = dir.file("out.txt");
    {
        std::ofstream old(path, std::ios::binary);
        old << "an older and longer content";
    }
    ExportGridToFile(&makeGridExport<TGridExportAsCSV>, f.grid, QString::fromStdString(path), true);
    EXPECT_EQ(readFile(path), "\"A\"\r\n\"v\"");

    const std::string missing = dir.file("no/such/folder/out.xls");
    try {
        ExportGridToFile(&makeGridExport<TGridExportAsXLS>, f.grid, QString::fromStdString(missing),
                         true);
        FAIL() << "no error";
    } catch (const GridError& e) {
        const std::string prefix = "Cannot create file \"" + missing + "\". ";
        EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
        EXPECT_GT(std::string(e.what()).size(), prefix.size()) << "no system message";
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(missing)));
}

TEST(ExportToFile, RelativeNameIsReportedWithItsFullPath) {
    TempDir dir;
    GridFixture f;
    f.load({field("A", FieldType::String, 5)}, {{txt("v")}});
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path()));
    std::string message;
    try {
        ExportGridToFile(&makeGridExport<TGridExportAsText>, f.grid, "missing/out.txt", true);
    } catch (const GridError& e) {
        message = e.what();
    }
    QDir::setCurrent(saved);
    EXPECT_EQ(
        message.rfind("Cannot create file \"" +
                          QDir(QString::fromStdString(dir.path())).canonicalPath().toStdString() +
                          "/missing/out.txt\". ",
                      0),
        0u)
        << message;
}

// The format table as the save dialog and the command line show it: the filters in the
// dialog's order, each found again from its own text, and the usage words; a filter text
// the table does not hold names no format.
TEST(FormatTable, DialogFiltersAndUsageWords) {
    const struct {
        const char* filter;
        const char* usage;
        TGridExportClass exportClass;
    } expected[] = {
        {"Text files (*.txt *.TXT)", "txt", &makeGridExport<TGridExportAsText>},
        {"Comma separated values (*.csv *.CSV)", "csv", &makeGridExport<TGridExportAsCSV>},
        {"HTML file (*.htm *.HTM)", "htm", &makeGridExport<TGridExportAsHTML>},
        {"Rich Text Format (*.rtf *.RTF)", "rtf", &makeGridExport<TGridExportAsRTF>},
        {"Microsoft Excel Workbook (*.xls *.XLS)", "xls", &makeGridExport<TGridExportAsXLS>},
    };
    const std::vector<GridExportFormat>& formats = gridExportFormats();
    ASSERT_EQ(formats.size(), std::size(expected));
    for (size_t i = 0; i < formats.size(); ++i) {
        SCOPED_TRACE(expected[i].usage);
        const GridExportFormat& f = formats[i];
        EXPECT_EQ(f.filterIndex, static_cast<int>(i) + 1);
        EXPECT_EQ(exportFormatFilter(f), expected[i].filter);
        EXPECT_EQ(exportFormatForFilter(expected[i].filter), &f);
        EXPECT_EQ(exportFormatForFilterIndex(f.filterIndex), &f);
        EXPECT_EQ(exportFormatForUsage(expected[i].usage), &f);
        EXPECT_EQ(exportFormatForExtension(f.extension), &f);
        EXPECT_EQ(f.exportClass, expected[i].exportClass);
    }
    EXPECT_EQ(exportFormatForFilter("Text files (*.txt)"), nullptr);
    EXPECT_EQ(exportFormatForUsage("TXT"), nullptr);
    EXPECT_EQ(exportFormatUsage("|"), "txt|csv|htm|rtf|xls");
    EXPECT_EQ(exportFormatChoice(), "txt, csv, htm, rtf or xls");
}
