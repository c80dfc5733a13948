// Basic types of the grid layer: colours, fonts, alignments, field types, and the small
// interface through which the grid asks the platform for system colours and the screen's
// resolution. Plain values; no threads; nothing here throws.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace enviozvr::grid {

// A failure reported by the grid layer itself (a file that cannot be created or written, a
// closed data set, a buffer that cannot grow). Errors of the data layer pass unchanged.
class GridError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A colour: 0x00BBGGRR for an RGB value; 0xFF0000nn for system colour number nn, resolved
// through a GridEnvironment; clNone and clDefault are markers.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor systemColor(int index) { return 0xFF000000u | static_cast<uint32_t>(index); }
constexpr TColor clWindow = systemColor(5);
constexpr TColor clWindowText = systemColor(8);
constexpr TColor clBtnFace = systemColor(15);
constexpr TColor clBtnText = systemColor(18);

constexpr bool isSystemColor(TColor c) { return (c & 0xFF000000u) == 0xFF000000u; }
constexpr TColor rgbColor(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int redOf(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;  // points
    TColor Color = clWindowText;
    uint8_t Style = 0;  // TFontStyle bits

    bool bold() const { return Style & fsBold; }
    bool italic() const { return Style & fsItalic; }
    bool underline() const { return Style & fsUnderline; }
    bool strikeOut() const { return Style & fsStrikeOut; }
    bool operator==(const TFont&) const = default;
};

// The type of a field as the grid and its exporters see it.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid,
    ftTimeStamp,
    ftFMTBcd
};

// The kinds of field type that the display texts, the footers and the exporters tell apart.
constexpr bool isIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}
constexpr bool isFloatType(TFieldType t) {
    return t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd;
}
constexpr bool isNumericType(TFieldType t) {
    return isIntegerType(t) || isFloatType(t) || t == ftLargeint;
}
constexpr bool isDateTimeType(TFieldType t) {
    return t == ftDate || t == ftTime || t == ftDateTime || t == ftTimeStamp;
}

// What the grid needs from the platform: the RGB value of a system colour and the
// horizontal pixels per logical inch of the screen the grid is drawn on.
class GridEnvironment {
  public:
    virtual ~GridEnvironment() = default;
    // RGB value (0x00BBGGRR) of system colour number `index`.
    virtual TColor systemColorRgb(int index) const = 0;
    virtual int pixelsPerInch() const = 0;
};

// Fixed values: window white, window and button text black, button face silver, 96 pixels
// per inch, unless set otherwise. Used where no screen is at hand (tests, command line).
class FixedGridEnvironment : public GridEnvironment {
  public:
    TColor window = clWhite;
    TColor windowText = clBlack;
    TColor buttonFace = clSilver;
    TColor buttonText = clBlack;
    int ppi = 96;

    TColor systemColorRgb(int index) const override;
    int pixelsPerInch() const override { return ppi; }
};

// The RGB value of a colour: system colours resolved, others unchanged.
TColor colorToRgb(TColor c, const GridEnvironment& env);

}  // namespace enviozvr::grid
