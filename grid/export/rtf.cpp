#include "grid/export/rtf.h"

#include <memory>

#include "grid/export/cells.h"

namespace enviozvr::grid {

using namespace exportcells;

namespace {

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

}  // namespace enviozvr::grid
