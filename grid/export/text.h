// The delimited-text formats: one writer, told apart by their separator, their quoting and
// their encoding. Lines end in CR LF, cells are parted by the separator, and a data cell
// of a text field that starts with "=", "+", "-" or "@" gets an apostrophe in front, so
// that a spreadsheet reading the text does not run it as a formula.
#pragma once

#include <string_view>

#include "grid/export/exporter.h"

namespace enviozvr::grid {

// Tab-separated lines of Windows-1252 text, nothing escaped. Its kinds below change the
// separator, the quoting and the encoding.
class TGridExportAsText : public TGridExport {
  public:
    enum class Encoding { Windows1252, Utf16LE };
    struct Dialect {
        char separator = '\t';
        // Every cell and title in double quotes, inner double quotes doubled.
        bool quoted = false;
        Encoding encoding = Encoding::Windows1252;
    };

    explicit TGridExportAsText(DataGrid& grid) : TGridExportAsText(grid, Dialect{}) {}
    TGridExportAsText(DataGrid& grid, Dialect dialect) : TGridExport(grid), dialect_(dialect) {}

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
    // A character of the document's own (separator, quote, line break) in its encoding.
    void putChar(char c);
    // Windows-1252 text in the document's encoding.
    void putText(std::string_view text);
    // A cell or title as the dialect writes it, with the formula guard in front when asked.
    void putCell(std::string_view text, bool guarded);

    bool firstLine_ = true;
    bool firstCell_ = true;

  private:
    Dialect dialect_;
};

// Semicolon-separated lines with every text quoted and inner double quotes doubled.
class TGridExportAsCSV : public TGridExportAsText {
  public:
    explicit TGridExportAsCSV(DataGrid& grid)
        : TGridExportAsText(grid, Dialect{';', true, Encoding::Windows1252}) {}
};

// The text format in UTF-16 little-endian, without a byte-order mark.
class TGridExportAsUnicodeText : public TGridExportAsText {
  public:
    explicit TGridExportAsUnicodeText(DataGrid& grid)
        : TGridExportAsText(grid, Dialect{'\t', false, Encoding::Utf16LE}) {}
};

}  // namespace enviozvr::grid
