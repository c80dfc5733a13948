// The grid exporters: one object per run writes the selected part of a grid (or the whole
// grid) to a stream or a file as tab-separated text, semicolon CSV, HTML, RTF, BIFF cell
// records, UTF-16 text or the typed DBCELLS document. The shared walk is in
// export/exporter.h, each format in a file of its own under export/, and the table of the
// file formats in export/formats.h; this header gathers them for the callers.
#pragma once

#include "grid/export/dbcells.h"
#include "grid/export/exporter.h"
#include "grid/export/formats.h"
#include "grid/export/html.h"
#include "grid/export/rtf.h"
#include "grid/export/text.h"
#include "grid/export/xls.h"
