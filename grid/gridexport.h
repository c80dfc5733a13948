// The grid exporters: one object per run writes the selected part of a grid (or the whole
// grid) to a stream or a file as tab-separated text, semicolon CSV, HTML, RTF, BIFF cell
// records, UTF-16 text or the typed DBCELLS document.
//
// An exporter does not own its grid or its output stream. Single-threaded. Failures
// propagate as exceptions (GridError for the exporters' own, data-layer errors unchanged)
// after the grid's position has been restored and its notifications resumed; a file run
// leaves nothing behind under the chosen name when it fails.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "grid/grid.h"
#include "grid/stream.h"

namespace enviozvr::grid {

// The parameters of one cell handed to PutDataCell.
struct TGridCellParams {
    TFont Font;
    TColor Background = clWindow;
    TAlignment Alignment = taLeftJustify;
    std::string Text;
};

// Footer totals: fixed point (value x 10000), row by row: footer row r, export column c at
// r * (number of export columns) + c.
using TFooterValues = std::vector<int64_t>;

class TGridExport {
  public:
    explicit TGridExport(DataGrid& grid);
    virtual ~TGridExport();
    TGridExport(const TGridExport&) = delete;
    TGridExport& operator=(const TGridExport&) = delete;

    virtual void AddRowToFooterTotals();
    virtual void BeginDocument();
    virtual void EndDocument();
    virtual void PutTitleRow(const TGridColumnList& columns);
    virtual void PutDataRow(const TGridColumnList& columns);
    virtual void PutDataCell(TGridColumn& column, TGridCellParams& params);
    virtual void PutFooterRow(const TGridColumnList& columns, int footerRow);
    virtual void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                               TColor background, TAlignment alignment, const std::string& text);
    // Walks the selection (the whole grid when exportAll is set) into `stream`.
    virtual void RunExport(TStream& stream, bool exportAll);
    // Writes the run to a file, replacing the file of that name only when the run succeeds.
    virtual void RunExportToFile(const QString& fileName, bool exportAll);

    DataGrid& Grid() const { return grid_; }
    const TGridColumnList& ExpCols() const { return expCols_; }
    // The data rows the last run wrote (titles and footers not counted).
    int64_t RowsWritten() const { return rowsWritten_; }

  protected:
    TStream& Stream() const { return *stream_; }
    // The footer total of footer row r, export column c.
    int64_t footerValue(int footerRow, int position) const {
        return footerValues_.at(static_cast<size_t>(footerRow) * expCols_.size() + position);
    }

  private:
    void runSelection(TGridSelectionType kind);
    void walkAll();
    void putFooterRows();
    void sizeFooterTotals();

    DataGrid& grid_;
    TStream* stream_ = nullptr;
    TGridColumnList expCols_;
    TFooterValues footerValues_;
    std::vector<GridField> footerFields_;  // per footer row and export column
    TGridCellParams cellParams_;
    int64_t rowsWritten_ = 0;
};

// Tab-separated lines: CR LF between lines, TAB between cells, nothing escaped. A data
// cell of a text field that starts with "=", "+", "-" or "@" gets an apostrophe in front,
// so that a spreadsheet reading the text does not run it as a formula (here, in CSV and in
// the UTF-16 text).
class TGridExportAsText : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterRow(const TGridColumnList& columns, int footerRow) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;
    void RunExport(TStream& stream, bool exportAll) override;
    virtual void PutLineBreak();
    virtual void PutCellSeparator();

  protected:
    bool firstLine_ = true;
    bool firstCell_ = true;
};

// Semicolon-separated lines with every text quoted and inner double quotes doubled.
class TGridExportAsCSV : public TGridExportAsText {
  public:
    explicit TGridExportAsCSV(DataGrid& grid);
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;
    void PutCellSeparator() override;

  protected:
    void putQuoted(std::string_view text);
    char separator_;
};

// An HTML 3.2 page holding one table; it declares its Windows-1252 character set. A text
// cell that a spreadsheet would run as a formula gets an apostrophe in front, as in CSV.
class TGridExportAsHTML : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void BeginDocument() override;
    void EndDocument() override;
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterRow(const TGridColumnList& columns, int footerRow) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;

  private:
    void putCell(int width, TAlignment alignment, const TColor* background, const TFont& font,
                 std::string_view text);
    void putColor(TColor color);

    TColor lastColor_ = clNone;
    char lastHex_[6] = {'0', '0', '0', '0', '0', '0'};
};

// An RTF document holding one table; the body is built in memory first so that the colour
// and font tables at its head are complete. A table wider than a page's printable width
// (A4 or Letter, default margins) is narrowed to it, each column keeping its share.
class TGridExportAsRTF : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void EndDocument() override;
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterRow(const TGridColumnList& columns, int footerRow) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;
    void RunExport(TStream& stream, bool exportAll) override;

  private:
    enum class RowKind { Title, Data, Footer };
    int colorIndex(TColor color);
    int fontIndex(const std::string& name);
    void putRowStart(const TGridColumnList& columns, RowKind kind, int footerRow);
    void putRowEnd();
    void putParagraph(TAlignment alignment, const TFont& font, TColor background,
                      std::string_view text);

    TMemoryStream* body_ = nullptr;
    std::vector<TColor> colors_;      // RGB values, in table order
    std::vector<std::string> fonts_;  // font names, in table order
    // Colours as given (system colours unresolved) with their table index, so that each
    // colour is resolved once per run.
    std::vector<std::pair<TColor, int>> knownColors_;
};

// The most data rows an XLS sheet holds: its row numbers are 16 bits and row 0 takes the
// titles.
constexpr int64_t kXlsMaxDataRows = 65535;

// Raised when a run would write more rows than an XLS sheet holds; nothing is written.
class XlsRowLimitError : public GridError {
  public:
    XlsRowLimitError();
};

// BIFF records: BOF, one record per cell, EOF. A run past kXlsMaxDataRows data rows (or
// past the last 16-bit row number) fails with XlsRowLimitError instead of wrapping.
class TGridExportAsXLS : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void BeginDocument() override;
    void EndDocument() override;
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;
    void RunExport(TStream& stream, bool exportAll) override;

  private:
    void advance();
    TStream& cellRecord(uint16_t type, uint16_t length, uint16_t format);
    void writeLabel(std::string_view text);
    void writeNumber(double value);
    void writeRk(int32_t value);
    void writeBlank();

    uint16_t row_ = 0;
    uint16_t col_ = 0;
    bool rowsExhausted_ = false;  // the row number went past 65535
    int64_t dataRows_ = 0;
};

// The text format in UTF-16 little-endian, without a byte-order mark.
class TGridExportAsUnicodeText : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void PutTitleRow(const TGridColumnList& columns) override;
    void PutDataRow(const TGridColumnList& columns) override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
    void PutFooterRow(const TGridColumnList& columns, int footerRow) override;
    void PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont& font,
                       TColor background, TAlignment alignment, const std::string& text) override;
    void RunExport(TStream& stream, bool exportAll) override;
    virtual void PutLineBreak();
    virtual void PutCellSeparator();

  private:
    void putText(std::string_view text);
    bool firstLine_ = true;
    bool firstCell_ = true;
};

// The typed binary copy of the exported cells (no titles, no footers).
class TGridExportAsDBCells : public TGridExport {
  public:
    using TGridExport::TGridExport;
    void BeginDocument() override;
    void EndDocument() override;
    void PutDataCell(TGridColumn& column, TGridCellParams& params) override;
};

// An exporter class: makes an exporter attached to a grid.
using TGridExportClass = std::unique_ptr<TGridExport> (*)(DataGrid& grid);
template <class T>
std::unique_ptr<TGridExport> makeGridExport(DataGrid& grid) {
    return std::make_unique<T>(grid);
}

// Creates an exporter of the class for the grid, runs it once and destroys it; a file run
// returns the data rows it wrote.
int64_t ExportGridToFile(TGridExportClass exportClass, DataGrid& grid, const QString& fileName,
                         bool exportAll);
void ExportGridToStream(TGridExportClass exportClass, DataGrid& grid, TStream& stream,
                        bool exportAll);

// The five file formats, by the viewers' save-dialog filter index (1 to 5) or extension.
struct GridExportFormat {
    int filterIndex;
    const char* extension;  // "txt", "csv", "htm", "rtf", "xls"
    TGridExportClass exportClass;
};
const std::vector<GridExportFormat>& gridExportFormats();
const GridExportFormat* exportFormatForFilterIndex(int filterIndex);
const GridExportFormat* exportFormatForExtension(std::string_view extension);

}  // namespace enviozvr::grid
