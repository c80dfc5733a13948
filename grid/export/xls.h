// The XLS format: a BIFF sheet of cell records.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/export/exporter.h"

namespace enviozvr::grid {

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

}  // namespace enviozvr::grid
