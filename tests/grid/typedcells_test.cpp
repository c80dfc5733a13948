// Typed cells (NULL, dates, integers, decimals, bytes, looked-up values) in the XLS and
// DBCELLS documents, display formats, and footer totals.
#include <QLocale>

#include "grid/format.h"
#include "gridfixture.h"

using namespace enviozvr::grid;
using namespace enviozvr::grid::testing;
using enviozvr::data::Date;
using enviozvr::data::FieldType;
using enviozvr::data::Time;
using enviozvr::data::Timestamp;
using enviozvr::data::Value;

namespace {

std::string dbcellsHeader(int columns) {
    std::string h = "DBCELLS" + bytes({1}) + i32(columns);
    for (int i = 0; i < columns; ++i) h += bytes({1, 0});
    return h;
}

std::string wide(const std::string& ascii) {
    std::string out = bytes({7}) + i32(static_cast<int32_t>(ascii.size() * 2));
    for (char c : ascii) out += u16(static_cast<unsigned char>(c));
    return out;
}

std::string localePoint() { return QLocale::system().decimalPoint().toStdString(); }

// One record of every kind of value, and a looked-up column over a second data set.
class TypedCellsTest : public ::testing::Test, public GridFixture {
  protected:
    void SetUp() override {
        types.loadRows({field("COD", FieldType::Integer, 4), field("NAME", FieldType::String, 8)},
                       {{num(236), txt("FACT")}, {num(7), txt("OTRO")}});
        auto memo = field("MEMO", FieldType::Blob);
        memo.textBlob = true;
        load({field("S", FieldType::String, 10), field("D", FieldType::Date),
              field("I", FieldType::Integer, 4), field("M", FieldType::Decimal, 8, 2),
              field("F", FieldType::Float), field("L", FieldType::Integer, 8),
              field("Y", FieldType::String, 10), field("W", FieldType::String, 10),
              field("T", FieldType::Time), field("TS", FieldType::Timestamp), memo,
              field("K", FieldType::Integer, 4), field("K2", FieldType::String, 10)},
             {{Value::null(), Value::date(Date::fromYmd(2024, 3, 5)), num(42),
               Value::decimal(123450, 2), Value::real(2.5), num(9000000000LL), txt("\x01\xAB"),
               txt("\xD1"), Value::time(Time::fromHms(13, 45, 30)),
               Value::timestamp({Date::fromYmd(2024, 3, 5), Time::fromHms(6, 0, 0)}), txt("notes"),
               num(236), txt("a b")}},
             false);
        GridFieldSettings bytesField;
        bytesField.dataType = ftBytes;
        grid.setFieldSettings("Y", bytesField);
        GridFieldSettings wideField;
        wideField.dataType = ftWideString;
        grid.setFieldSettings("W", wideField);
        LookupFieldDef lookup;
        lookup.name = "NomTipo";
        lookup.keyFields = "K";
        lookup.lookupDataSet = &types;
        lookup.lookupKeyFields = "COD";
        lookup.lookupResultField = "NAME";
        grid.addLookupField(lookup);
        LookupFieldDef twoKeys = lookup;
        twoKeys.name = "Both";
        twoKeys.keyFields = "K;K2";
        twoKeys.lookupKeyFields = "COD;NAME";
        grid.addLookupField(twoKeys);
        for (const char* n :
             {"S", "D", "I", "M", "F", "L", "Y", "W", "T", "TS", "MEMO", "NomTipo", "Both", ""})
            grid.addColumn(n);
        grid.setOption(dgTitles, false);
    }

    enviozvr::data::Query typesQuery{*connection, "select * from TIPO"};
    enviozvr::data::Provider typesProvider{"PTipo", typesQuery, false};
    enviozvr::data::CachedResultSet types{"CTipo", typesProvider};
};

}  // namespace

TEST_F(TypedCellsTest, XlsRecordsByFieldType) {
    const std::string got = run<TGridExportAsXLS>(true);
    const std::string expected =
        xlsBof() + xlsBlank(0, 0) +
        xlsLabel(0, 1, enviozvr::data::shortDateText(Date::fromYmd(2024, 3, 5))) + xlsRk(0, 2, 42) +
        xlsNumber(0, 3, 1234.5) + xlsNumber(0, 4, 2.5) + xlsLabel(0, 5, "9000000000") +
        xlsLabel(0, 6, "01AB") + xlsLabel(0, 7, "\xD1") +
        xlsLabel(0, 8, enviozvr::data::longTimeText(Time::fromHms(13, 45, 30))) +
        xlsLabel(0, 9,
                 Value::timestamp({Date::fromYmd(2024, 3, 5), Time::fromHms(6, 0, 0)}).toText()) +
        xlsLabel(0, 10, "notes") + xlsLabel(0, 11, "FACT") + xlsBlank(0, 12) + xlsBlank(0, 13) +
        xlsEof();
    EXPECT_EQ(got, expected) << hexDump(got) << "\n" << hexDump(expected);
}

TEST_F(TypedCellsTest, DbCellsTagsByFieldType) {
    const std::string got = run<TGridExportAsDBCells>(true);
    const std::string expected =
        dbcellsHeader(14) + bytes({2}) + bytes({4}) + f64(45356.0) + bytes({3}) + i32(42) +
        bytes({4}) + f64(1234.5) + bytes({4}) + f64(2.5) + bytes({5}) + i32(10) + "9000000000" +
        bytes({6}) + i32(2) + bytes({0x01, 0xAB}) + bytes({7}) + i32(2) + u16(0xD1) + bytes({4}) +
        f64((13 * 3600 + 45 * 60 + 30) / 86400.0) + bytes({4}) + f64(45356.25) + bytes({5}) +
        i32(5) + "notes" + wide("236") + wide("236,\"a b\"") + bytes({1}) + bytes({0});
    EXPECT_EQ(got, expected) << hexDump(got) << "\n" << hexDump(expected);
}

TEST_F(TypedCellsTest, TextFormatsShowDisplayTexts) {
    const std::string text = run<TGridExportAsText>(true);
    EXPECT_NE(text.find("\t42\t1234.50\t2.5\t9000000000\t01AB\t\xD1\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\tnotes\tFACT\t\t"), std::string::npos) << text;
    EXPECT_EQ(text.substr(0, 1), "\t") << "a NULL cell is empty";
}

TEST_F(TypedCellsTest, LookedUpValueMissingFromItsDataSet) {
    set.edit();
    set.setValue("K", num(99));
    set.post();
    grid.clearColumns();
    grid.addColumn("NomTipo");
    EXPECT_EQ(run<TGridExportAsText>(true), "");
    EXPECT_EQ(run<TGridExportAsXLS>(true), xlsBof() + xlsBlank(0, 0) + xlsEof());
    EXPECT_EQ(run<TGridExportAsDBCells>(true), dbcellsHeader(1) + wide("99") + bytes({0}));
}

TEST_F(TypedCellsTest, DisplayFormatsOfColumnsAndFields) {
    grid.clearColumns();
    grid.addColumn("M").DisplayFormat = "#,##0.000";
    grid.addColumn("D").DisplayFormat = "yyyy\"-\"mm\"-\"dd dddd";
    grid.addColumn("TS").DisplayFormat = "hh'h'nn";
    grid.addColumn("S").DisplayFormat = "0.00";
    grid.addColumn("MEMO").DisplayFormat = "0";
    grid.addColumn("I");
    GridFieldSettings threeDigits;
    threeDigits.displayFormat = "000";
    grid.setFieldSettings("I", threeDigits);
    const QLocale locale = QLocale::system();
    const std::string tuesday = locale.dayName(2).toStdString();  // 5 March 2024
    EXPECT_EQ(run<TGridExportAsText>(true), "1" + locale.groupSeparator().toStdString() + "234" +
                                                localePoint() + "500\t" + "2024-03-05 " + tuesday +
                                                "\t06h00\t\t\t042");
}

TEST(XlsIntegers, RkRangeAndLongLabels) {
    struct Case {
        int64_t value;
        bool rk;
    };
    const Case cases[] = {{0, true},          {-1, true},         {536870911, true},
                          {-536870912, true}, {536870912, false}, {-536870913, false},
                          {2147483647, false}};
    for (const Case& c : cases) {
        GridFixture f;
        f.load({field("N", FieldType::Integer, 4)}, {{num(c.value)}});
        f.grid.setOption(dgTitles, false);
        const std::string cell = c.rk ? xlsRk(0, 0, static_cast<int32_t>(c.value))
                                      : xlsNumber(0, 0, static_cast<double>(c.value));
        EXPECT_EQ(f.run<TGridExportAsXLS>(true), xlsBof() + cell + xlsEof()) << c.value;
    }
    GridFixture f;
    const std::string longText(70000, 'x');
    f.load({field("T", FieldType::Blob)}, {{txt(longText.c_str())}});
    f.grid.setOption(dgTitles, false);
    EXPECT_EQ(f.run<TGridExportAsXLS>(true),
              xlsBof() + xlsLabel(0, 0, std::string(65527, 'x')) + xlsEof());
}

// Sums (NULL left out, fixed point ties to even) and counts (NULL counted) per footer row.
class FooterTest : public ::testing::Test, public GridFixture {
  protected:
    void SetUp() override {
        load({field("I", FieldType::Integer, 4), field("M", FieldType::Decimal, 10, 5),
              field("S", FieldType::String, 5), field("T", FieldType::String, 5)},
             {{num(1), Value::decimal(5, 5), txt("a"), txt("x")},
              {num(2), Value::decimal(15, 5), Value::null(), txt("y")},
              {Value::null(), Value::decimal(100000, 5), txt("c"), txt("z")}});
        grid.FooterRowCount = 2;
        grid.column(0).Footer(0).ValueType = fvtSum;
        grid.column(1).Footer(0).ValueType = fvtSum;
        grid.column(2).Footer(0).ValueType = fvtCount;
        grid.column(3).Footer(0).ValueType = fvtStaticText;
        grid.column(3).Footer(0).Value = "Total";
        grid.column(0).Footer(1).ValueType = fvtCount;
    }
};

TEST_F(FooterTest, TotalsInTextAndXls) {
    const std::string p = localePoint();
    EXPECT_EQ(run<TGridExportAsText>(true),
              "I\tM\tS\tT\r\n1\t0.00005\ta\tx\r\n2\t0.00015\t\ty\r\n\t1.00000\tc\tz\r\n"
              "3\t1" +
                  p + "0002\t3\tTotal\r\n3\t\t\t");
    EXPECT_EQ(run<TGridExportAsXLS>(true),
              xlsBof() + xlsLabel(0, 0, "I") + xlsLabel(0, 1, "M") + xlsLabel(0, 2, "S") +
                  xlsLabel(0, 3, "T") + xlsRk(1, 0, 1) + xlsNumber(1, 1, 0.00005) +
                  xlsLabel(1, 2, "a") + xlsLabel(1, 3, "x") + xlsRk(2, 0, 2) +
                  xlsNumber(2, 1, 0.00015) + xlsBlank(2, 2) + xlsLabel(2, 3, "y") + xlsBlank(3, 0) +
                  xlsNumber(3, 1, 1.0) + xlsLabel(3, 2, "c") + xlsLabel(3, 3, "z") +
                  xlsNumber(4, 0, 3) + xlsNumber(4, 1, 1.0002) + xlsNumber(4, 2, 3) +
                  xlsLabel(4, 3, "Total") + xlsNumber(5, 0, 3) + xlsLabel(5, 1, "") +
                  xlsLabel(5, 2, "") + xlsLabel(5, 3, "") + xlsEof());
}

TEST_F(FooterTest, SelectionRestrictsTotalsAndNoSelectionHasNoFooter) {
    set.moveTo(0);
    const Bookmark first = set.bookmark();
    set.moveTo(1);
    const Bookmark second = set.bookmark();
    grid.Selection().selectRectangle({0, first}, {2, second});
    EXPECT_EQ(run<TGridExportAsCSV>(false),
              "\"I\";\"M\";\"S\"\r\n\"1\";\"0.00005\";\"a\"\r\n\"2\";\"0.00015\";\"\"\r\n"
              "\"3\";\"0" +
                  localePoint() + "0002\";\"2\"\r\n\"2\";\"\";\"\"");
    grid.Selection().ClearSelection();
    grid.SelectedIndex = 0;
    EXPECT_EQ(run<TGridExportAsText>(false), "2");
    EXPECT_EQ(run<TGridExportAsHTML>(false).find("Total"), std::string::npos);
}

TEST(DisplayFormats, FloatAndDateTimeFormats) {
    const QLocale locale = QLocale::system();
    // '.' and ',' in the expected texts stand for the locale's decimal point and group separator.
    auto localised = [&](std::string s) {
        std::string out;
        for (char c : s)
            out += c == '.'   ? locale.decimalPoint().toStdString()
                   : c == ',' ? locale.groupSeparator().toStdString()
                              : std::string(1, c);
        return out;
    };
    struct FloatCase {
        const char* format;
        double value;
        const char* text;
    };
    const FloatCase floats[] = {
        {"0.00", 1234.5, "1234.50"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#.##", 0.5, ".5"},
        {"0.0#", 2, "2.0"},
        {"000", 7, "007"},
        {"0.00;(0.00)", -5, "(5.00)"},
        {"0.00;;\"cero\"", 0, "cero"},
        {"\"$\"#,##0", -1500, "-$1,500"},
        {"0.00E+00", 12345, "1.23E+04"},
        {"", 2.5, "2.5"},
    };
    for (const FloatCase& c : floats)
        EXPECT_EQ(formatFloat(c.format, c.value), localised(c.text)) << c.format;

    const Date date = Date::fromYmd(2024, 3, 5);
    const Time time = Time::fromHms(18, 7, 9, 1230);
    struct DateCase {
        const char* format;
        const char* text;
    };
    const DateCase dates[] = {
        {"yyyy\"-\"mm\"-\"dd", "2024-03-05"},
        {"d\".\"m\".\"yy", "5.3.24"},
        {"hh'h'mm", "18h07"},
        {"h'h'n's's", "18h7s9"},
        {"hh'h' am/pm", "06h pm"},
        {"zzz", "123"},
    };
    for (const DateCase& c : dates)
        EXPECT_EQ(formatDateTime(c.format, date, time), c.text) << c.format;
}
