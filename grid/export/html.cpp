#include "grid/export/html.h"

#include "grid/export/cells.h"

namespace enviozvr::grid {

using namespace exportcells;

namespace {

const char* htmlAlign(TAlignment a) {
    switch (a) {
        case taRightJustify:
            return "RIGHT";
        case taCenter:
            return "CENTER";
        default:
            return "LEFT";
    }
}

// RRGGBB in upper-case hexadecimal; clNone is black.
void htmlColor(const DataGrid& grid, TColor c, char* out) {
    const TColor rgb = c == clNone ? clBlack : grid.rgb(c);
    static const char digits[] = "0123456789ABCDEF";
    const int parts[3] = {redOf(rgb), greenOf(rgb), blueOf(rgb)};
    for (size_t i = 0; i < 3; ++i) {
        out[2 * i] = digits[(parts[i] >> 4) & 15];
        out[2 * i + 1] = digits[parts[i] & 15];
    }
}

void putHtmlEscaped(TStream& s, std::string_view text) {
    if (text.empty()) {
        s.write("&nbsp;");
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = "&quot;";
                break;
            default:
                continue;
        }
        s.write(text.data() + start, i - start);
        s.write(entity);
        start = i + 1;
    }
    s.write(text.data() + start, text.size() - start);
}

}  // namespace

void TGridExportAsHTML::BeginDocument() {
    TStream& s = Stream();
    s.write(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\r\n<html>\r\n<head>\r\n"
        // The texts are Windows-1252 bytes: say so, or accented letters are misread.
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\r\n"
        "<title>\r\n");
    s.write(Grid().Name);
    s.write("\r\n</title>\r\n</head>\r\n<body>\r\n<table ");
    const DataGrid& g = Grid();
    if (!g.hasOption(dgColLines) && !g.hasOption(dgRowLines))
        s.write("BORDER=0 CELLSPACING=0 CELLPADDING=");
    else if (g.Ctl3D)
        s.write("BORDER=1 CELLSPACING=0 CELLPADDING=");
    else
        s.write("BORDER=0 CELLSPACING=1 CELLPADDING=");
    s.write(g.Flat ? "1" : "2");
    s.write(" BGCOLOR=#");
    char hex[6];
    htmlColor(g, g.FixedColor, hex);
    s.write(hex, 6);
    s.write(">\r\n\r\n");
    lastColor_ = clNone;
    htmlColor(g, clNone, lastHex_);
}

void TGridExportAsHTML::EndDocument() { Stream().write("</table>\r\n</body>\r\n</html>\r\n"); }

void TGridExportAsHTML::putColor(TColor color) {
    if (color != lastColor_) {
        htmlColor(Grid(), color, lastHex_);
        lastColor_ = color;
    }
    Stream().write(lastHex_, 6);
}

void TGridExportAsHTML::putCell(int width, TAlignment alignment, const TColor* background,
                                const TFont& font, std::string_view text) {
    TStream& s = Stream();
    s.write("  <TD WIDTH=");
    putInt(s, width);
    s.write(" ALIGN=\"");
    s.write(htmlAlign(alignment));
    s.writeByte('"');
    if (background) {
        s.write(" BGCOLOR=#");
        putColor(*background);
    }
    s.write("><FONT STYLE=\"font-family: ");
    s.write(font.Name);
    s.write("; font-size: ");
    putInt(s, font.Size);
    s.write("pt; color: #");
    putColor(font.Color);
    s.write("\">");
    if (font.bold()) s.write("<B>");
    if (font.italic()) s.write("<I>");
    if (font.underline()) s.write("<U>");
    if (font.strikeOut()) s.write("<STRIKE>");
    putHtmlEscaped(s, text);
    if (font.bold()) s.write("</B>");
    if (font.italic()) s.write("</I>");
    if (font.underline()) s.write("</U>");
    if (font.strikeOut()) s.write("</STRIKE>");
    s.write("</FONT></TD>\r\n");
}

void TGridExportAsHTML::PutTitleRow(const TGridColumnList& columns) {
    if (columns.empty()) return;
    Stream().write("<TR>\r\n");
    for (TGridColumn* c : columns)
        putCell(c->Width, c->Title.Alignment, nullptr, c->Title.Font, c->Title.Caption);
    Stream().write("</TR>\r\n");
}

void TGridExportAsHTML::PutDataRow(const TGridColumnList& columns) {
    Stream().write("<TR>\r\n");
    TGridExport::PutDataRow(columns);
    Stream().write("</TR>\r\n");
}

void TGridExportAsHTML::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    // A spreadsheet that opens the page reads its cells as typed: guarded like CSV's.
    if (formulaLike(column, params.Text)) params.Text.insert(params.Text.begin(), kFormulaGuard);
    putCell(column.Width, params.Alignment, &params.Background, params.Font, params.Text);
}

void TGridExportAsHTML::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    Stream().write("<TR>\r\n");
    TGridExport::PutFooterRow(columns, footerRow);
    Stream().write("</TR>\r\n");
}

void TGridExportAsHTML::PutFooterCell(int, int, TGridColumn& column, const TFont& font,
                                      TColor background, TAlignment alignment,
                                      const std::string& text) {
    putCell(column.Width, alignment, &background, font, text);
}

}  // namespace enviozvr::grid
