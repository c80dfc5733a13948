// The RTF format: a document holding one table.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grid/export/exporter.h"

namespace enviozvr::grid {

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

}  // namespace enviozvr::grid
