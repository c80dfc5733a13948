// The HTML format: a page holding one table.
#pragma once

#include <string_view>

#include "grid/export/exporter.h"

namespace enviozvr::grid {

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

}  // namespace enviozvr::grid
