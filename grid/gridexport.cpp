#include "grid/gridexport.h"

#include <QFileInfo>
#include <QSaveFile>
#include <charconv>
#include <cmath>

#include "data/codepage.h"
#include "grid/format.h"

namespace enviozvr::grid {

using data::utf16FromWindows1252;
using data::windows1252FromQString;

namespace {

constexpr std::string_view kCrLf = "\r\n";

void putInt(TStream& s, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.write(buf, static_cast<size_t>(r.ptr - buf));
}

int64_t pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// A value as fixed point with four decimals, rounded to the nearest, ties to even.
int64_t fixed4(const data::Value& v) {
    switch (v.kind()) {
        case data::Value::Kind::Integer:
            return v.asInteger() * 10000;
        case data::Value::Kind::Decimal: {
            const data::Decimal d = v.asDecimal();
            if (d.scale <= 4) return d.unscaled * pow10(4 - d.scale);
            const int64_t divisor = pow10(d.scale - 4);
            int64_t q = d.unscaled / divisor;
            const int64_t r = d.unscaled % divisor;
            const int64_t twice = 2 * (r < 0 ? -r : r);
            if (twice > divisor || (twice == divisor && (q % 2) != 0)) q += d.unscaled < 0 ? -1 : 1;
            return q;
        }
        default:
            return static_cast<int64_t>(std::nearbyint(v.asDouble() * 10000.0));
    }
}

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

const char* rtfAlign(TAlignment a) {
    switch (a) {
        case taRightJustify:
            return "\\qr";
        case taCenter:
            return "\\qc";
        default:
            return "\\ql";
    }
}

bool isIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}

bool isFloatType(TFieldType t) {
    return t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd;
}

// A text cell that a spreadsheet would run as a formula (it starts with "=", "+", "-" or
// "@"); the cells of number fields keep their sign and are never such.
bool formulaLike(TGridColumn& column, std::string_view text) {
    if (text.empty() || std::string_view("=+-@").find(text.front()) == std::string_view::npos)
        return false;
    const GridField& field = column.Field();
    const TFieldType type = field.dataType;
    return !(field.exists() && (isIntegerType(type) || isFloatType(type) || type == ftLargeint));
}

// What goes before such a cell in the text formats: an apostrophe, which spreadsheets take
// as "text follows".
constexpr char kFormulaGuard = '\'';

// Days since 30 December 1899 with the time as the fraction of the day; days before that
// date carry the fraction with the sign of the day.
double dayNumber(data::Date date, data::Time time) {
    const double days = static_cast<double>(date.days - data::Date::fromYmd(1899, 12, 30).days);
    const double fraction = static_cast<double>(time.fractions) / (86400.0 * 10000.0);
    return days < 0 ? days - fraction : days + fraction;
}

// Comma text: values separated by commas, quoted when they hold a control character, a
// space, a comma or a double quote; a single empty value is written as "".
std::string commaText(const std::vector<std::string>& values) {
    if (values.size() == 1 && values[0].empty()) return "\"\"";
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out.push_back(',');
        const std::string& v = values[i];
        bool quote = false;
        for (unsigned char c : v)
            if (c <= ' ' || c == ',' || c == '"') quote = true;
        if (!quote) {
            out += v;
            continue;
        }
        out.push_back('"');
        for (char c : v) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

void putUtf16(TStream& s, std::string_view windows1252) {
    const std::u16string u = utf16FromWindows1252(windows1252);
    for (char16_t c : u) s.writeU16(static_cast<uint16_t>(c));
}

}  // namespace

// ---- TGridExport ---------------------------------------------------------------------------

TGridExport::TGridExport(DataGrid& grid) : grid_(grid) {}
TGridExport::~TGridExport() = default;

void TGridExport::AddRowToFooterTotals() {
    const size_t n = expCols_.size();
    for (int r = 0; r < grid_.FooterRowCount; ++r) {
        for (size_t c = 0; c < n; ++c) {
            const TGridColumnFooter* footer = expCols_[c]->footerAt(r);
            if (!footer) continue;
            const GridField& field = footerFields_[r * n + c];
            if (!field.exists()) continue;
            if (footer->ValueType == fvtSum) {
                const data::Value v = grid_.fieldValue(field);
                if (!v.isNull()) footerValues_[r * n + c] += fixed4(v);
            } else if (footer->ValueType == fvtCount) {
                footerValues_[r * n + c] += 10000;
            }
        }
    }
}

void TGridExport::BeginDocument() {}
void TGridExport::EndDocument() {}
void TGridExport::PutTitleRow(const TGridColumnList&) {}

void TGridExport::PutDataRow(const TGridColumnList& columns) {
    for (TGridColumn* column : columns) {
        cellParams_.Font = column->Font;
        cellParams_.Background = column->Color;
        cellParams_.Alignment = column->Alignment;
        cellParams_.Text = grid_.cellText(*column);
        PutDataCell(*column, cellParams_);
    }
}

void TGridExport::PutDataCell(TGridColumn&, TGridCellParams&) {}

void TGridExport::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    const size_t n = columns.size();
    for (size_t c = 0; c < n; ++c) {
        TGridColumn& column = *columns[c];
        TGridColumnFooter defaults;
        defaults.Color = grid_.FooterColor;
        defaults.Font = grid_.FooterFont;
        const TGridColumnFooter* stored = column.footerAt(footerRow);
        const TGridColumnFooter& footer = stored ? *stored : defaults;
        std::string text;
        if (footer.ValueType == fvtSum || footer.ValueType == fvtCount) {
            const size_t at = static_cast<size_t>(footerRow) * n + c;
            const GridField field =
                at < footerFields_.size() ? footerFields_[at] : grid_.footerField(column, footer);
            const int64_t total = at < footerValues_.size() ? footerValues_[at] : 0;
            text = grid_.footerTotalText(field, footer.ValueType, total);
        } else {
            text = grid_.footerText(column, footerRow);
        }
        const TFont font = footer.Font;
        PutFooterCell(static_cast<int>(c), footerRow, column, font, footer.Color, footer.Alignment,
                      text);
    }
}

void TGridExport::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor, TAlignment,
                                const std::string&) {}

void TGridExport::sizeFooterTotals() {
    const size_t n = expCols_.size();
    const size_t rows = static_cast<size_t>(std::max(0, grid_.FooterRowCount));
    footerValues_.assign(rows * n, 0);
    footerFields_.assign(rows * n, GridField{});
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < n; ++c) {
            const TGridColumnFooter* footer = expCols_[c]->footerAt(static_cast<int>(r));
            if (footer) footerFields_[r * n + c] = grid_.footerField(*expCols_[c], *footer);
        }
    }
}

void TGridExport::putFooterRows() {
    for (int r = 0; r < grid_.FooterRowCount; ++r) PutFooterRow(expCols_, r);
}

void TGridExport::walkAll() {
    data::CachedResultSet& ds = *grid_.dataSet();
    sizeFooterTotals();
    BeginDocument();
    if (grid_.hasOption(dgTitles)) PutTitleRow(expCols_);
    ds.first();
    while (!ds.eof()) {
        PutDataRow(expCols_);
        ++rowsWritten_;
        AddRowToFooterTotals();
        ds.next();
    }
    putFooterRows();
}

void TGridExport::runSelection(TGridSelectionType kind) {
    data::CachedResultSet& ds = *grid_.dataSet();
    TGridSelection& selection = grid_.Selection();
    switch (kind) {
        case gstRecordBookmarks: {
            expCols_ = grid_.visibleColumns();
            sizeFooterTotals();
            BeginDocument();
            if (grid_.hasOption(dgTitles)) PutTitleRow(expCols_);
            const std::vector<Bookmark> rows = selection.Rows.items();
            for (Bookmark b : rows) {
                ds.gotoBookmark(b);
                AddRowToFooterTotals();
                PutDataRow(expCols_);
                ++rowsWritten_;
            }
            putFooterRows();
            break;
        }
        case gstRectangle: {
            const TGridSelectionRect& rect = selection.Rect;
            expCols_.clear();
            for (TGridColumn* c : grid_.visibleColumns())
                if (c->Index() >= rect.DataLeftCol() && c->Index() <= rect.DataRightCol())
                    expCols_.push_back(c);
            const TBookmark top = rect.DataTopRow();
            const TBookmark bottom = rect.DataBottomRow();
            sizeFooterTotals();
            BeginDocument();
            if (grid_.hasOption(dgTitles)) PutTitleRow(expCols_);
            if (top) {
                ds.gotoBookmark(*top);
                while (!ds.eof()) {
                    PutDataRow(expCols_);
                    ++rowsWritten_;
                    AddRowToFooterTotals();
                    if (bottom && ds.bookmark() == *bottom) break;
                    ds.next();
                }
            }
            putFooterRows();
            break;
        }
        case gstColumns:
            expCols_ = selection.Columns.items();
            walkAll();
            break;
        case gstAll:
            expCols_ = grid_.visibleColumns();
            walkAll();
            break;
        case gstNon: {
            expCols_.clear();
            if (TGridColumn* focused = grid_.focusedColumn()) expCols_.push_back(focused);
            footerValues_.clear();
            footerFields_.clear();
            BeginDocument();
            PutDataRow(expCols_);
            ++rowsWritten_;
            break;
        }
    }
}

void TGridExport::RunExport(TStream& stream, bool exportAll) {
    stream_ = &stream;
    rowsWritten_ = 0;
    const TGridSelectionType kind = exportAll ? gstAll : grid_.Selection().SelectionType();
    data::CachedResultSet* ds = grid_.dataSet();
    if (!ds || !ds->active()) throw GridError("Cannot perform this operation on a closed dataset");
    grid_.bindFields();
    grid_.disableControls();
    const TGridPosition position = grid_.savePosition();
    try {
        runSelection(kind);
    } catch (...) {
        try {
            grid_.restorePosition(position);
        } catch (...) {
        }
        grid_.enableControls();
        throw;
    }
    try {
        grid_.restorePosition(position);
    } catch (...) {
        grid_.enableControls();
        throw;
    }
    grid_.enableControls();
    EndDocument();
}

void TGridExport::RunExportToFile(const QString& fileName, bool exportAll) {
    QSaveFile file(fileName);
    auto cannotCreate = [&](const QString& reason) {
        const QString path = QFileInfo(fileName).absoluteFilePath();
        return GridError("Cannot create file \"" + windows1252FromQString(path) + "\". " +
                         windows1252FromQString(reason));
    };
    if (!file.open(QIODevice::WriteOnly)) throw cannotCreate(file.errorString());
    {
        DeviceStream out(file);
        RunExport(out, exportAll);
        out.flush();
    }
    if (!file.commit()) throw cannotCreate(file.errorString());
}

// ---- Text ----------------------------------------------------------------------------------

void TGridExportAsText::RunExport(TStream& stream, bool exportAll) {
    firstLine_ = true;
    firstCell_ = true;
    TGridExport::RunExport(stream, exportAll);
}

void TGridExportAsText::PutLineBreak() {
    if (firstLine_)
        firstLine_ = false;
    else
        Stream().write(kCrLf);
}

void TGridExportAsText::PutCellSeparator() {
    if (firstCell_)
        firstCell_ = false;
    else
        Stream().writeByte('\t');
}

void TGridExportAsText::PutTitleRow(const TGridColumnList& columns) {
    PutLineBreak();
    for (size_t i = 0; i < columns.size(); ++i) {
        Stream().write(columns[i]->Title.Caption);
        if (i + 1 < columns.size()) Stream().writeByte('\t');
    }
}

void TGridExportAsText::PutDataRow(const TGridColumnList& columns) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutDataRow(columns);
}

void TGridExportAsText::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    PutCellSeparator();
    if (formulaLike(column, params.Text)) Stream().writeByte(kFormulaGuard);
    Stream().write(params.Text);
}

void TGridExportAsText::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutFooterRow(columns, footerRow);
}

void TGridExportAsText::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor, TAlignment,
                                      const std::string& text) {
    PutCellSeparator();
    Stream().write(text);
}

// ---- CSV -----------------------------------------------------------------------------------

TGridExportAsCSV::TGridExportAsCSV(DataGrid& grid) : TGridExportAsText(grid), separator_(';') {}

void TGridExportAsCSV::putQuoted(std::string_view text) {
    TStream& s = Stream();
    s.writeByte('"');
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            s.write(text.data() + start, i - start + 1);
            s.writeByte('"');
            start = i + 1;
        }
    }
    s.write(text.data() + start, text.size() - start);
    s.writeByte('"');
}

void TGridExportAsCSV::PutTitleRow(const TGridColumnList& columns) {
    PutLineBreak();
    for (size_t i = 0; i < columns.size(); ++i) {
        putQuoted(columns[i]->Title.Caption);
        if (i + 1 < columns.size()) Stream().writeByte(static_cast<uint8_t>(separator_));
    }
}

void TGridExportAsCSV::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    PutCellSeparator();
    if (formulaLike(column, params.Text))
        putQuoted(std::string(1, kFormulaGuard) + params.Text);
    else
        putQuoted(params.Text);
}

void TGridExportAsCSV::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor, TAlignment,
                                     const std::string& text) {
    PutCellSeparator();
    putQuoted(text);
}

void TGridExportAsCSV::PutCellSeparator() {
    if (firstCell_)
        firstCell_ = false;
    else
        Stream().writeByte(static_cast<uint8_t>(separator_));
}

// ---- HTML ----------------------------------------------------------------------------------

namespace {

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
        s.write("&nbsp");
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '&':
                entity = "&amp";
                break;
            case '<':
                entity = "&lt";
                break;
            case '>':
                entity = "&gt";
                break;
            case '"':
                entity = "&quot";
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

// ---- RTF -----------------------------------------------------------------------------------

namespace {
// The width between the margins of a page the document does not size: the readers'
// default margins (1800 twips each side) on A4 paper, the narrower of A4 and Letter.
constexpr int64_t kRtfPrintableWidth = 11906 - 2 * 1800;
}  // namespace

int TGridExportAsRTF::colorIndex(TColor color) {
    for (const auto& [known, index] : knownColors_)
        if (known == color) return index;
    const TColor rgb = Grid().rgb(color) & 0xFFFFFF;
    int index = -1;
    for (size_t i = 0; i < colors_.size() && index < 0; ++i)
        if (colors_[i] == rgb) index = static_cast<int>(i);
    if (index < 0) {
        colors_.push_back(rgb);
        index = static_cast<int>(colors_.size() - 1);
    }
    knownColors_.emplace_back(color, index);
    return index;
}

int TGridExportAsRTF::fontIndex(const std::string& name) {
    if (!fonts_.empty() && fonts_[0] == name) return 0;
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i] == name) return static_cast<int>(i);
    fonts_.push_back(name);
    return static_cast<int>(fonts_.size() - 1);
}

void TGridExportAsRTF::putRowStart(const TGridColumnList& columns, RowKind kind, int footerRow) {
    TMemoryStream& s = *body_;
    s.write("\\trowd\\trgaph40\r\n");
    const long double ppi = Grid().environment().pixelsPerInch();
    const auto twips = [ppi](int pixels) {
        return static_cast<int64_t>(static_cast<long double>(pixels) / ppi * 1440.0L);
    };
    int64_t total = 0;
    for (TGridColumn* c : columns) total += twips(c->Width);
    // A table wider than the printable width runs past the right margin, its last columns
    // cut: it is narrowed to that width, each column keeping its share.
    const long double scale =
        total > kRtfPrintableWidth ? static_cast<long double>(kRtfPrintableWidth) / total : 1.0L;
    int64_t pixelTwips = 0;
    for (TGridColumn* c : columns) {
        TColor shading = c->Color;
        if (kind == RowKind::Title) {
            shading = c->Title.Color;
        } else if (kind == RowKind::Footer) {
            const TGridColumnFooter* f = c->footerAt(footerRow);
            shading = f ? f->Color : Grid().FooterColor;
        }
        s.write(
            "\\clbrdrl\\brdrs\\brdrcf0\r\n\\clbrdrt\\brdrs\\brdrcf0\r\n"
            "\\clbrdrb\\brdrs\\brdrcf0\r\n\\clbrdrr\\brdrs\\brdrcf0\r\n"
            // The cell's background colour; a full shading in the pattern colour is read as
            // solid black by some readers.
            "\\clcbpat");
        putInt(s, colorIndex(shading));
        s.write("\\cellx");
        pixelTwips += twips(c->Width);
        const int64_t right =
            scale == 1.0L ? pixelTwips
                          : static_cast<int64_t>(static_cast<long double>(pixelTwips) * scale);
        putInt(s, right);
        s.write(kCrLf);
    }
    s.write("{\\trrh0\r\n");
}

void TGridExportAsRTF::putRowEnd() { body_->write("\\pard\\intbl\\row}\r\n"); }

void TGridExportAsRTF::putParagraph(TAlignment alignment, const TFont& font, TColor background,
                                    std::string_view text) {
    TMemoryStream& s = *body_;
    const char* space = Grid().Flat ? "12" : "24";
    s.write("\\pard\\intbl{");
    s.write(rtfAlign(alignment));
    s.write("\\sb");
    s.write(space);
    s.write("\\sa");
    s.write(space);
    s.write("\\fs");
    putInt(s, 2 * static_cast<int64_t>(font.Size));
    if (font.bold()) s.write("\\b");
    if (font.italic()) s.write("\\i");
    if (font.strikeOut()) s.write("\\strike");
    if (font.underline()) s.write("\\ul");
    s.write("\\f");
    putInt(s, fontIndex(font.Name));
    s.write("\\cf");
    putInt(s, colorIndex(font.Color));
    s.write("\\cb");
    putInt(s, colorIndex(background));
    s.writeByte(' ');
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' || c == '{' || c == '}') {
            s.write(text.data() + start, i - start);
            s.writeByte('\\');
            start = i;
        }
    }
    s.write(text.data() + start, text.size() - start);
    s.write("\\cell}\r\n");
}

void TGridExportAsRTF::PutTitleRow(const TGridColumnList& columns) {
    putRowStart(columns, RowKind::Title, 0);
    for (TGridColumn* c : columns)
        putParagraph(c->Title.Alignment, c->Title.Font, c->Title.Color, c->Title.Caption);
    putRowEnd();
}

void TGridExportAsRTF::PutDataRow(const TGridColumnList& columns) {
    putRowStart(columns, RowKind::Data, 0);
    TGridExport::PutDataRow(columns);
    putRowEnd();
}

void TGridExportAsRTF::PutDataCell(TGridColumn&, TGridCellParams& params) {
    putParagraph(params.Alignment, params.Font, params.Background, params.Text);
}

void TGridExportAsRTF::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    putRowStart(columns, RowKind::Footer, footerRow);
    TGridExport::PutFooterRow(columns, footerRow);
    putRowEnd();
}

void TGridExportAsRTF::PutFooterCell(int, int, TGridColumn&, const TFont& font, TColor background,
                                     TAlignment alignment, const std::string& text) {
    putParagraph(alignment, font, background, text);
}

void TGridExportAsRTF::EndDocument() { body_->writeByte('}'); }

void TGridExportAsRTF::RunExport(TStream& stream, bool exportAll) {
    auto body = std::make_unique<TMemoryStream>();
    body_ = body.get();
    colors_.clear();
    fonts_.clear();
    knownColors_.clear();
    struct Release {
        TGridExportAsRTF& self;
        ~Release() {
            self.body_ = nullptr;
            self.colors_.clear();
            self.fonts_.clear();
            self.knownColors_.clear();
        }
    } release{*this};
    colorIndex(clBlack);
    colorIndex(clWhite);
    colorIndex(clBtnFace);
    TGridExport::RunExport(*body, exportAll);

    stream.write("{\\rtf0\\ansi\r\n{\\colortbl");
    for (TColor c : colors_) {
        stream.write("\\red");
        putInt(stream, redOf(c));
        stream.write("\\green");
        putInt(stream, greenOf(c));
        stream.write("\\blue");
        putInt(stream, blueOf(c));
        stream.writeByte(';');
    }
    stream.write("}\r\n{\\fonttbl");
    for (size_t i = 0; i < fonts_.size(); ++i) {
        stream.write("\\f");
        putInt(stream, static_cast<int64_t>(i));
        stream.write("\\fnil ");
        stream.write(fonts_[i]);
        stream.writeByte(';');
    }
    stream.write("}\r\n");
    stream.write(body->data(), body->size());
}

// ---- XLS -----------------------------------------------------------------------------------

namespace {
constexpr size_t kMaxLabel = 65535 - 8;
constexpr int64_t kRkMin = -536870912;
constexpr int64_t kRkMax = 536870911;
}  // namespace

XlsRowLimitError::XlsRowLimitError()
    : GridError(
          "Un archivo XLS admite como m\xE1ximo 65535 filas de datos y la selecci\xF3n "
          "tiene m\xE1s: no se ha guardado el archivo. Elija menos filas u otro formato.") {}

void TGridExportAsXLS::RunExport(TStream& stream, bool exportAll) {
    row_ = 0;
    col_ = 0;
    rowsExhausted_ = false;
    dataRows_ = 0;
    TGridExport::RunExport(stream, exportAll);
}

void TGridExportAsXLS::PutDataRow(const TGridColumnList& columns) {
    if (++dataRows_ > kXlsMaxDataRows) throw XlsRowLimitError();
    TGridExport::PutDataRow(columns);
}

void TGridExportAsXLS::advance() {
    if (static_cast<size_t>(col_) + 1 >= ExpCols().size()) {
        if (row_ == 0xFFFF) rowsExhausted_ = true;
        ++row_;
        col_ = 0;
    } else {
        ++col_;
    }
}

void TGridExportAsXLS::BeginDocument() {
    TStream& s = Stream();
    s.writeU16(0x0809);
    s.writeU16(8);
    s.writeU16(0x0000);
    s.writeU16(0x0010);
    s.writeU16(0x0000);
    s.writeU16(0x0000);
}

void TGridExportAsXLS::EndDocument() {
    Stream().writeU16(0x000A);
    Stream().writeU16(0);
}

// Writes a cell record's header (type, length, row, column, format index) and returns the
// stream for the record's own bytes.
TStream& TGridExportAsXLS::cellRecord(uint16_t type, uint16_t length, uint16_t format) {
    if (rowsExhausted_) throw XlsRowLimitError();
    TStream& s = Stream();
    s.writeU16(type);
    s.writeU16(length);
    s.writeU16(row_);
    s.writeU16(col_);
    s.writeU16(format);
    return s;
}

void TGridExportAsXLS::writeLabel(std::string_view text) {
    if (text.size() > kMaxLabel) text = text.substr(0, kMaxLabel);
    TStream& s = cellRecord(0x0204, static_cast<uint16_t>(8 + text.size()), 0);
    s.writeU16(static_cast<uint16_t>(text.size()));
    s.write(text);
    advance();
}

void TGridExportAsXLS::writeNumber(double value) {
    cellRecord(0x0203, 14, 0).writeDouble(value);
    advance();
}

void TGridExportAsXLS::writeRk(int32_t value) {
    cellRecord(0x027E, 10, 0).writeI32(static_cast<int32_t>(static_cast<uint32_t>(value) << 2) | 2);
    advance();
}

void TGridExportAsXLS::writeBlank() {
    cellRecord(0x0201, 6, 0x0017);
    advance();
}

void TGridExportAsXLS::PutTitleRow(const TGridColumnList& columns) {
    for (TGridColumn* c : columns) writeLabel(c->Title.Caption);
}

void TGridExportAsXLS::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    const GridField& field = column.Field();
    if (!field.exists()) return writeBlank();
    if (column.hasKeyPickList()) return writeLabel(params.Text);
    const data::Value v = Grid().fieldValue(field);
    if (v.isNull()) return writeBlank();
    if (isIntegerType(field.dataType)) {
        const int64_t i = v.asInteger();
        if (i >= kRkMin && i <= kRkMax) return writeRk(static_cast<int32_t>(i));
        return writeNumber(static_cast<double>(i));
    }
    if (isFloatType(field.dataType)) return writeNumber(v.asDouble());
    writeLabel(params.Text);
}

void TGridExportAsXLS::PutFooterCell(int position, int footerRow, TGridColumn& column, const TFont&,
                                     TColor, TAlignment, const std::string& text) {
    const TGridColumnFooter* footer = column.footerAt(footerRow);
    if (footer && (footer->ValueType == fvtSum || footer->ValueType == fvtCount))
        return writeNumber(static_cast<double>(footerValue(footerRow, position)) / 10000.0);
    writeLabel(text);
}

// ---- Unicode text --------------------------------------------------------------------------

void TGridExportAsUnicodeText::RunExport(TStream& stream, bool exportAll) {
    firstLine_ = true;
    firstCell_ = true;
    TGridExport::RunExport(stream, exportAll);
}

void TGridExportAsUnicodeText::putText(std::string_view text) { putUtf16(Stream(), text); }

void TGridExportAsUnicodeText::PutLineBreak() {
    if (firstLine_) {
        firstLine_ = false;
    } else {
        Stream().writeU16(0x000D);
        Stream().writeU16(0x000A);
    }
}

void TGridExportAsUnicodeText::PutCellSeparator() {
    if (firstCell_)
        firstCell_ = false;
    else
        Stream().writeU16(0x0009);
}

void TGridExportAsUnicodeText::PutTitleRow(const TGridColumnList& columns) {
    PutLineBreak();
    for (size_t i = 0; i < columns.size(); ++i) {
        putText(columns[i]->Title.Caption);
        if (i + 1 < columns.size()) Stream().writeU16(0x0009);
    }
}

void TGridExportAsUnicodeText::PutDataRow(const TGridColumnList& columns) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutDataRow(columns);
}

void TGridExportAsUnicodeText::PutDataCell(TGridColumn& column, TGridCellParams& params) {
    PutCellSeparator();
    putText(formulaLike(column, params.Text) ? std::string(1, kFormulaGuard) + params.Text
                                             : params.Text);
}

void TGridExportAsUnicodeText::PutFooterRow(const TGridColumnList& columns, int footerRow) {
    PutLineBreak();
    firstCell_ = true;
    TGridExport::PutFooterRow(columns, footerRow);
}

void TGridExportAsUnicodeText::PutFooterCell(int, int, TGridColumn&, const TFont&, TColor,
                                             TAlignment, const std::string& text) {
    PutCellSeparator();
    putText(text);
}

// ---- DBCELLS -------------------------------------------------------------------------------

void TGridExportAsDBCells::BeginDocument() {
    TStream& s = Stream();
    s.write("DBCELLS");
    s.writeByte(0x01);
    s.writeI32(static_cast<int32_t>(ExpCols().size()));
    for (TGridColumn* c : ExpCols()) {
        s.writeByte(c->Visible ? 0x01 : 0x00);
        s.writeByte(0x00);
    }
}

void TGridExportAsDBCells::EndDocument() { Stream().writeByte(0x00); }

void TGridExportAsDBCells::PutDataCell(TGridColumn& column, TGridCellParams&) {
    TStream& s = Stream();
    const GridField& field = column.Field();
    auto putBytes = [&s](uint8_t tag, std::string_view bytes) {
        s.writeByte(tag);
        s.writeI32(static_cast<int32_t>(bytes.size()));
        s.write(bytes);
    };
    auto putWide = [&s](std::string_view windows1252) {
        const std::u16string u = utf16FromWindows1252(windows1252);
        s.writeByte(0x07);
        s.writeI32(static_cast<int32_t>(u.size() * 2));
        for (char16_t c : u) s.writeU16(static_cast<uint16_t>(c));
    };
    if (field.isLookup()) {
        std::vector<std::string> keys;
        for (const data::Value& v : Grid().lookupKeyValues(field)) keys.push_back(v.toText());
        return putWide(commaText(keys));
    }
    if (!field.exists()) return s.writeByte(0x01);
    const data::Value v = Grid().fieldValue(field);
    if (v.isNull()) return s.writeByte(0x02);
    switch (field.dataType) {
        case ftString:
        case ftBoolean:
        case ftMemo:
        case ftFixedChar:
        case ftLargeint:
        case ftOraClob:
        case ftGuid:
            return putBytes(0x05, v.toText());
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
            s.writeByte(0x03);
            return s.writeI32(static_cast<int32_t>(v.asInteger()));
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftFMTBcd:
            s.writeByte(0x04);
            return s.writeDouble(v.asDouble());
        case ftDate:
        case ftTime:
        case ftDateTime:
        case ftTimeStamp: {
            data::Date date = data::Date::fromYmd(1899, 12, 30);
            data::Time time;
            if (v.kind() == data::Value::Kind::Date) {
                date = v.asDate();
            } else if (v.kind() == data::Value::Kind::Time) {
                time = v.asTime();
            } else {
                date = v.asTimestamp().date;
                time = v.asTimestamp().time;
            }
            s.writeByte(0x04);
            return s.writeDouble(dayNumber(date, time));
        }
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftOraBlob:
            return putBytes(0x06, v.kind() == data::Value::Kind::Text ? v.asString() : v.toText());
        case ftWideString:
            return putWide(v.toText());
        default:
            return s.writeByte(0x01);
    }
}

// ---- Entry points --------------------------------------------------------------------------

int64_t ExportGridToFile(TGridExportClass exportClass, DataGrid& grid, const QString& fileName,
                         bool exportAll) {
    std::unique_ptr<TGridExport> exporter = exportClass(grid);
    exporter->RunExportToFile(fileName, exportAll);
    return exporter->RowsWritten();
}

void ExportGridToStream(TGridExportClass exportClass, DataGrid& grid, TStream& stream,
                        bool exportAll) {
    std::unique_ptr<TGridExport> exporter = exportClass(grid);
    exporter->RunExport(stream, exportAll);
}

const std::vector<GridExportFormat>& gridExportFormats() {
    static const std::vector<GridExportFormat> formats = {
        {1, "txt", &makeGridExport<TGridExportAsText>},
        {2, "csv", &makeGridExport<TGridExportAsCSV>},
        {3, "htm", &makeGridExport<TGridExportAsHTML>},
        {4, "rtf", &makeGridExport<TGridExportAsRTF>},
        {5, "xls", &makeGridExport<TGridExportAsXLS>},
    };
    return formats;
}

const GridExportFormat* exportFormatForFilterIndex(int filterIndex) {
    for (const GridExportFormat& f : gridExportFormats())
        if (f.filterIndex == filterIndex) return &f;
    return nullptr;
}

const GridExportFormat* exportFormatForExtension(std::string_view extension) {
    for (const GridExportFormat& f : gridExportFormats())
        if (extension == f.extension) return &f;
    return nullptr;
}

}  // namespace enviozvr::grid
