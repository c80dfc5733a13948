// What the export formats share when they write a cell: integers as decimal text, the line
// break of the text documents, the guard in front of a text that a spreadsheet would run as
// a formula, and Windows-1252 texts as UTF-16 code units. Internal to the exporters.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/grid.h"
#include "grid/stream.h"

namespace enviozvr::grid::exportcells {

constexpr std::string_view kCrLf = "\r\n";

// What goes before a formula-like cell in the text formats: an apostrophe, which
// spreadsheets take as "text follows".
constexpr char kFormulaGuard = '\'';

void putInt(TStream& s, int64_t v);

// A text cell that a spreadsheet would run as a formula (it starts with "=", "+", "-" or
// "@"); the cells of number fields keep their sign and are never such.
bool formulaLike(const TGridColumn& column, std::string_view text);

// The Windows-1252 text as UTF-16 little-endian code units, without a byte-order mark.
void putUtf16(TStream& s, std::string_view windows1252);

}  // namespace enviozvr::grid::exportcells
