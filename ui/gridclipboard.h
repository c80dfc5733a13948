// Grid copy onto the system clipboard: the five documents of one copy in one QMimeData.
//
// Where each document goes: the Unicode text through QMimeData::setText (every platform
// offers it as its plain text), the CSV document as "text/csv", the RTF document as
// "text/rtf" and "application/rtf", the DBCELLS document as "application/x-dbcells". On
// Windows the registered clipboard names "Csv", "Rich Text Format" and "DBCELLS" are added
// through Qt's Windows MIME prefix, with their zero terminators; the plain Text document
// reaches CF_TEXT through setText there. The bytes of each document are the exporters'.
//
// GUI thread only. An export failure propagates and leaves the clipboard as it was.
#pragma once

#include <QMimeData>
#include <memory>

#include "grid/grid.h"

namespace enviozvr::ui {

inline constexpr const char* kMimeCsv = "text/csv";
inline constexpr const char* kMimeRtf = "text/rtf";
inline constexpr const char* kMimeRtfApplication = "application/rtf";
inline constexpr const char* kMimeDBCells = "application/x-dbcells";

// The MIME name of a registered Windows clipboard format (application/x-qt-windows-mime).
QString windowsClipboardMime(const char* registeredName);

// Builds the payload of a copy of the grid's selection (the whole grid when wholeGrid is
// set): one memory stream serves the five exports.
std::unique_ptr<QMimeData> gridCopyMimeData(grid::DataGrid& grid, bool wholeGrid);

// Places that payload on the application clipboard.
void CopyGridToClipboard(grid::DataGrid& grid, bool wholeGrid);

}  // namespace enviozvr::ui
