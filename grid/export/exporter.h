// The walk every exporter shares: one object per run writes the selected part of a grid
// (or the whole grid) to a stream or a file, handing titles, data cells and footers to the
// format's Put... calls. The formats live beside it, one file each (text.h, html.h, rtf.h,
// xls.h, dbcells.h); formats.h is the table of the file formats.
//
// An exporter does not own its grid or its output stream. Single-threaded. Failures
// propagate as exceptions (GridError for the exporters' own, data-layer errors unchanged)
// after the grid's position has been restored and its notifications resumed; a file run
// leaves nothing behind under the chosen name when it fails.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
    // Moves the data set to the first row of the run (true) or to the next one (false);
    // says whether it stands on a row to write.
    using RowStep = std::function<bool(bool first)>;
    void runSelection(TGridSelectionType kind);
    // The one walk of every selection: the document, the titles, the rows `step` visits
    // with their totals, the footers. A run without a frame (a single cell) writes neither
    // titles nor footers and keeps no totals.
    void walk(const RowStep& step, bool framed);
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

}  // namespace enviozvr::grid
