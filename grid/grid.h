// The data grid model: columns (titles, fonts, colours, widths, footers), display order,
// focused column, options, the cached result set behind it with looked-up fields, the
// position the grid remembers and restores, and the selection with its transitions.
// Three parts live in rooms of their own behind DataGrid's interface: the selection
// (gridselection.h), the looked-up fields (gridlookups.h) and the cell and footer texts
// (celltext.h, where the text members below are defined).
//
// A DataGrid does not own its data set, its lookup data sets or its environment; it owns
// its columns and its selection. Single-threaded (the user-interface thread). Reads of the
// data set pass data-layer errors through unchanged.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/gridlookups.h"
#include "grid/gridselection.h"
#include "grid/gridtypes.h"

namespace enviozvr::grid {

class DataGrid;
class TGridColumn;

// ---- Fields as the grid sees them ------------------------------------------------------

// Settings of a field of the data set that the data layer does not describe.
struct GridFieldSettings {
    std::string displayFormat;           // used for its display text and footer sums
    bool currency = false;               // a money field (currency format in footers)
    int precision = 15;                  // significant digits of the general format
    std::optional<TFieldType> dataType;  // overrides the type derived from the column
};

// A field resolved by name: a column of the data set, a looked-up field, or none.
struct GridField {
    enum class Kind : uint8_t { None, Data, Lookup };
    Kind kind = Kind::None;
    TFieldType dataType = ftUnknown;
    int index = -1;  // data set field index, or lookup definition index
    const GridFieldSettings* settings = nullptr;  // Data fields with settings only

    bool exists() const { return kind != Kind::None; }
    bool isLookup() const { return kind == Kind::Lookup; }
};

// The field type the grid uses for a column of the data layer.
TFieldType fieldTypeOf(const data::Field& field);

// ---- Columns ---------------------------------------------------------------------------

enum TFooterValueType { fvtNon, fvtSum, fvtAvg, fvtCount, fvtFieldValue, fvtStaticText };

struct TGridColumnFooter {
    TFooterValueType ValueType = fvtNon;
    std::string FieldName;  // empty: the column's field
    std::string Value;      // text of a fvtStaticText footer
    TColor Color = clWindow;
    TFont Font;
    TAlignment Alignment = taLeftJustify;
};

struct TColumnTitle {
    std::string Caption;
    TFont Font;
    TColor Color = clBtnFace;
    TAlignment Alignment = taLeftJustify;
};

class TGridColumn {
  public:
    TColumnTitle Title;
    int Width = 64;  // pixels
    bool Visible = true;
    TFont Font;
    TColor Color = clWindow;
    TAlignment Alignment = taLeftJustify;
    std::string DisplayFormat;
    // Values shown through a key list: a field value equal to KeyList[i] shows PickList[i].
    std::vector<std::string> KeyList;
    std::vector<std::string> PickList;

    const std::string& FieldName() const { return fieldName_; }
    // The field bound to FieldName (kind None when there is none).
    const GridField& Field() const { return field_; }
    bool hasKeyPickList() const { return !KeyList.empty() && !PickList.empty(); }
    // The alignment the cells are shown with on screen: Alignment, except that a column
    // left at the default over a number field (not shown through a pick list) shows its
    // numbers at the right, where their digits line up.
    TAlignment shownAlignment() const;

    int Index() const { return index_; }
    DataGrid& Grid() const { return *grid_; }

    // The footer of footer row `row`, created with the grid's footer defaults when missing.
    TGridColumnFooter& Footer(int row);
    // The footer of `row`, or null when none was created.
    const TGridColumnFooter* footerAt(int row) const;

  private:
    friend class DataGrid;
    explicit TGridColumn(DataGrid& grid) : grid_(&grid) {}

    DataGrid* grid_;
    int index_ = 0;
    std::string fieldName_;
    GridField field_;
    std::vector<TGridColumnFooter> footers_;
};

// ---- The grid --------------------------------------------------------------------------

enum TGridOption : uint32_t {
    dgEditing = 1u << 0,
    dgAlwaysShowEditor = 1u << 1,
    dgTitles = 1u << 2,
    dgIndicator = 1u << 3,
    dgColumnResize = 1u << 4,
    dgColLines = 1u << 5,
    dgRowLines = 1u << 6,
    dgTabs = 1u << 7,
    dgRowSelect = 1u << 8,
    dgAlwaysShowSelection = 1u << 9,
    dgConfirmDelete = 1u << 10,
    dgCancelOnExit = 1u << 11,
    dgMultiSelect = 1u << 12,
};

enum TGridEditAction : uint8_t {
    geaCut = 1u << 0,
    geaCopy = 1u << 1,
    geaPaste = 1u << 2,
    geaDelete = 1u << 3,
    geaSelectAll = 1u << 4,
};

// Bits of TGridAllowedSelections.
constexpr uint8_t allowed(TGridSelectionType t) { return static_cast<uint8_t>(1u << t); }
constexpr uint8_t kAllSelections =
    allowed(gstRecordBookmarks) | allowed(gstRectangle) | allowed(gstColumns) | allowed(gstAll);

// Where the grid stood: its current record and that record's offset from the middle of
// the visible window of records.
struct TGridPosition {
    TBookmark record;
    int offsetFromMiddle = 0;
};

class DataGrid {
  public:
    explicit DataGrid(std::string name = "Grid1", const GridEnvironment* environment = nullptr);
    ~DataGrid();
    DataGrid(const DataGrid&) = delete;
    DataGrid& operator=(const DataGrid&) = delete;

    std::string Name;
    uint32_t Options = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                       dgConfirmDelete | dgCancelOnExit;
    bool Flat = false;
    bool Ctl3D = true;
    TColor Color = clWindow;
    TColor FixedColor = clBtnFace;
    TColor FooterColor = clWindow;
    TFont Font;
    TFont TitleFont;
    TFont FooterFont;
    int FooterRowCount = 0;
    uint8_t AllowedSelections = kAllSelections;
    uint8_t EditActions = 0;
    std::function<void()> OnSelectionChanged;
    // Asked for when the grid must be drawn again (the widget connects it).
    std::function<void()> onRepaint;
    // Told when the data set's notifications are resumed.
    std::function<void()> onDataSetChanged;

    bool hasOption(TGridOption o) const { return (Options & o) != 0; }
    void setOption(TGridOption o, bool on) { Options = on ? (Options | o) : (Options & ~o); }

    const GridEnvironment& environment() const { return *environment_; }
    TColor rgb(TColor c) const { return colorToRgb(c, *environment_); }

    // ---- data
    data::CachedResultSet* dataSet() const { return dataSet_; }
    void setDataSet(data::CachedResultSet* dataSet);
    void addLookupField(LookupFieldDef def);
    const LookupFieldDef& lookupField(int index) const { return lookups_.at(index); }
    void setFieldSettings(const std::string& fieldName, GridFieldSettings settings);
    // Resolves a field name (case-insensitive): looked-up fields first, then the data set.
    GridField findField(const std::string& name) const;
    // Binds every column to its field again (after the data set was reopened).
    void bindFields();

    // ---- columns, in display order (a column's Index is its position)
    TGridColumn& addColumn(const std::string& fieldName = {});
    void removeColumn(int index);
    void clearColumns();
    void moveColumn(int from, int to);
    int columnCount() const { return static_cast<int>(columns_.size()); }
    TGridColumn& column(int index) const { return *columns_.at(index); }
    TGridColumn* findColumn(const std::string& fieldName) const;
    TGridColumnList visibleColumns() const;
    // The focused column (SelectedIndex); -1 when there is none.
    int SelectedIndex = 0;
    TGridColumn* focusedColumn() const;

    // ---- selection
    TGridSelection& Selection() { return *selection_; }
    const TGridSelection& Selection() const { return *selection_; }
    bool canCopy() const;
    bool canSelectAll() const;

    // ---- position and notifications
    int topRow = 0;           // first row shown in the visible window
    int visibleRowCount = 1;  // rows the window shows
    TGridPosition savePosition() const;
    void restorePosition(const TGridPosition& position);
    void disableControls() { ++controlsDisabled_; }
    void enableControls();
    bool controlsDisabled() const { return controlsDisabled_ > 0; }
    // -1, 0, 1: the order of two rows in the data set (moves the cursor and puts it back).
    int compareBookmarks(Bookmark a, Bookmark b) const;

    // ---- values and texts of the current record
    data::Value fieldValue(const GridField& field) const;
    // The same for row `row` of the data set (0-based), leaving its cursor where it is:
    // what a view reads for the rows it draws (a row being inserted or edited as it stands,
    // see CachedResultSet::valueShown). NULL for a row outside the data set.
    data::Value fieldValueAt(const GridField& field, int row) const;
    std::string cellTextAt(const TGridColumn& column, int row) const;
    // The field's own display text (its display format when it has one).
    std::string fieldDisplayText(const GridField& field) const;
    // The text the grid shows in the column's cell.
    std::string cellText(const TGridColumn& column) const;
    // The text the grid shows in a footer cell (aggregates over the whole data set).
    std::string footerText(const TGridColumn& column, int footerRow) const;
    // The field a footer totals: the footer's FieldName, else the column's field.
    GridField footerField(const TGridColumn& column, const TGridColumnFooter& footer) const;
    // A fvtSum or fvtCount total (fixed point, value x 10000) as the footer shows it.
    std::string footerTotalText(const GridField& field, TFooterValueType type, int64_t total) const;
    // The values of a looked-up field's key fields.
    std::vector<data::Value> lookupKeyValues(const GridField& field) const;

    void repaint() const {
        if (onRepaint) onRepaint();
    }
    bool destroying() const { return destroying_; }

  private:
    void bindColumn(TGridColumn& column) const;
    void renumber();
    struct NamedSettings {
        std::string fieldName;
        GridFieldSettings settings;
    };

    const GridEnvironment* environment_;
    data::CachedResultSet* dataSet_ = nullptr;
    GridLookups lookups_;
    std::vector<std::unique_ptr<NamedSettings>> settings_;
    std::vector<std::unique_ptr<TGridColumn>> columns_;
    std::unique_ptr<TGridSelection> selection_;
    int controlsDisabled_ = 0;
    bool destroying_ = false;
};

using data::splitFieldNames;

}  // namespace enviozvr::grid
