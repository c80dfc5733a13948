#include "grid/export/text.h"

#include "grid/export/cells.h"

namespace enviozvr::grid {

using namespace exportcells;

void TGridExportAsText::RunExport(TStream& stream, bool exportAll) {
    firstLine_ = true;
    firstCell_ = true;
    TGridExport::RunExport(stream, exportAll);
}

void TGridExportAsText::putChar(char c) {
    if (dialect_.encoding == Encoding::Utf16LE)
        Stream().writeU16(static_cast<uint8_t>(c));
    else
        Stream().writeByte(static_cast<uint8_t>(c));
}

void TGridExportAsText::putText(std::string_view text) {
    if (dialect_.encoding == Encoding::Utf16LE)
        putUtf16(Stream(), text);
    else
        Stream().write(text);
}

void TGridExportAsText::putCell(std::string_view text, bool guarded) {
    if (!dialect_.quoted) {
        if (guarded) putChar(kFormulaGuard);
        putText(text);
        return;
    }
    putChar('"');
    if (guarded) putChar(kFormulaGuard);
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            putText(text.substr(start, i - start + 1));
            putChar('"');
            start = i + 1;
        }
    }
    putText(text.substr(start));
    putChar('"');
}

void TGridExportAsText::PutLineBreak() {
    if (firstLine_) {
        firstLine_ = false;
    } else if (dialect_.encoding == Encoding::Utf16LE) {
        putChar('\r');
        putChar('\n');
    } else {
        Stream().write(kCrLf);
    }
}

void TGridExportAsText::PutCellSeparator() {
    if (firstCell_)
        firstCell_ = false;
    else
        putChar(dialect_.separator);
}

void TGridExportAsText::PutTitleRow(const TGridColumnList& columns) {
    PutLineBreak();
    for (size_t i = 0; i < columns.size(); ++i) {
        putCell(columns[i]->Title.Caption, false);
        if (i + 1 < columns.size()) putChar(dialect_.separator);
    }
}

void TGridExportAsText::PutDataRow(const TGridColumnList& columns) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutDataRow(columns);
}

void TGridExportAsText::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    PutCellSeparator();
    putCell(params.Text, formulaLike(column, params.Text));
}

void TGridExportAsText::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutFooterRow(columns, footerRow);
}

void TGridExportAsText::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor, TAlignment,
                                      const std::string& text) {
    PutCellSeparator();
    putCell(text, false);
}

}  // namespace enviozvr::grid
