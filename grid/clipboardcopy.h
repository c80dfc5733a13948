// The documents of a grid copy, in the order they are placed on the clipboard: the Text
// document (CF_TEXT), the Unicode text (CF_UNICODETEXT), "Csv", "Rich Text Format" and
// "DBCELLS". The clipboard itself belongs to the caller, which receives each document as it
// is made. Single-threaded; an export failure or an exception from the caller's `place`
// propagates, after the grid's notifications are resumed; documents placed before stay.
#pragma once

#include <functional>
#include <string_view>

#include "grid/grid.h"

namespace enviozvr::grid {

enum class ClipboardFormat { Text, UnicodeText, Csv, RichText, DBCells };

// "Csv", "Rich Text Format", "DBCELLS" for the registered formats; empty for the two
// predefined text formats.
const char* clipboardFormatName(ClipboardFormat format);

// Exports the grid's selection (the whole grid when wholeGrid is set) once per format into
// one memory stream and hands each document to `place`. With terminators set, the text
// documents end in their zero terminator (one zero byte, two for the Unicode text); the
// DBCELLS document never has one.
void copyGridDocuments(DataGrid& grid, bool wholeGrid, bool terminators,
                       const std::function<void(ClipboardFormat, std::string_view)>& place);

}  // namespace enviozvr::grid
