// The five documents of a grid copy, their order and terminators.
#include "grid/clipboardcopy.h"

#include "gridfixture.h"

using namespace enviozvr::grid;
using namespace enviozvr::grid::testing;
using enviozvr::data::FieldType;

namespace {

struct Placed {
    ClipboardFormat format;
    std::string bytes;
};

class ClipboardCopyTest : public ::testing::Test, public GridFixture {
  protected:
    void SetUp() override {
        load({field("A", FieldType::String, 5), field("N", FieldType::Integer, 4)},
             {{txt("x"), num(1)}, {txt("y"), enviozvr::data::Value::null()}});
    }
    std::vector<Placed> copy(bool wholeGrid, bool terminators) {
        std::vector<Placed> placed;
        copyGridDocuments(grid, wholeGrid, terminators, [&](ClipboardFormat f, std::string_view b) {
            placed.push_back({f, std::string(b)});
        });
        return placed;
    }
};

}  // namespace

TEST_F(ClipboardCopyTest, SelectAllCopiesEveryRecordInFiveFormats) {
    grid.Selection().SelectWholeGrid();
    const std::vector<Placed> placed = copy(false, true);
    ASSERT_EQ(placed.size(), 5u);
    const std::string zero(1, '\0');
    EXPECT_EQ(placed[0].format, ClipboardFormat::Text);
    EXPECT_EQ(placed[0].bytes, "A\tN\r\nx\t1\r\ny\t" + zero);
    EXPECT_EQ(placed[1].format, ClipboardFormat::UnicodeText);
    std::string unicode;
    for (char c : std::string("A\tN\r\nx\t1\r\ny\t")) unicode += u16(static_cast<unsigned char>(c));
    EXPECT_EQ(placed[1].bytes, unicode + zero + zero);
    EXPECT_EQ(placed[2].format, ClipboardFormat::Csv);
    EXPECT_EQ(placed[2].bytes, "\"A\";\"N\"\r\n\"x\";\"1\"\r\n\"y\";\"\"" + zero);
    EXPECT_EQ(placed[3].format, ClipboardFormat::RichText);
    EXPECT_EQ(placed[3].bytes.rfind("{\\rtf0\\ansi\r\n", 0), 0u);
    EXPECT_EQ(placed[3].bytes.substr(placed[3].bytes.size() - 2), "}" + zero);
    EXPECT_EQ(placed[4].format, ClipboardFormat::DBCells);
    EXPECT_EQ(placed[4].bytes, "DBCELLS" + bytes({1}) + i32(2) + bytes({1, 0, 1, 0}) + bytes({5}) +
                                   i32(1) + "x" + bytes({3}) + i32(1) + bytes({5}) + i32(1) + "y" +
                                   bytes({2}) + bytes({0}));
    EXPECT_STREQ(clipboardFormatName(ClipboardFormat::RichText), "Rich Text Format");
}

TEST_F(ClipboardCopyTest, NoSelectionCopiesTheFocusedCellAndAFailureKeepsWhatWasPlaced) {
    set.moveTo(1);
    grid.SelectedIndex = 0;
    const std::vector<Placed> placed = copy(false, false);
    EXPECT_EQ(placed[0].bytes, "y");
    EXPECT_EQ(placed[2].bytes, "\"y\"");
    EXPECT_EQ(placed[4].bytes, "DBCELLS" + bytes({1}) + i32(1) + bytes({1, 0}) + bytes({5}) +
                                   i32(1) + "y" + bytes({0}));

    std::vector<ClipboardFormat> formats;
    EXPECT_THROW(copyGridDocuments(grid, true, true,
                                   [&](ClipboardFormat f, std::string_view) {
                                       formats.push_back(f);
                                       if (f == ClipboardFormat::Csv) throw GridError("full");
                                   }),
                 GridError);
    EXPECT_EQ(formats.size(), 3u);
    EXPECT_FALSE(grid.controlsDisabled());
    EXPECT_EQ(set.recNo(), 1);
}
