#include "grid/clipboardcopy.h"

#include "grid/gridexport.h"

namespace enviozvr::grid {

const char* clipboardFormatName(ClipboardFormat format) {
    switch (format) {
        case ClipboardFormat::Csv:
            return "Csv";
        case ClipboardFormat::RichText:
            return "Rich Text Format";
        case ClipboardFormat::DBCells:
            return "DBCELLS";
        default:
            return "";
    }
}

void copyGridDocuments(DataGrid& grid, bool wholeGrid, bool terminators,
                       const std::function<void(ClipboardFormat, std::string_view)>& place) {
    struct Document {
        ClipboardFormat format;
        TGridExportClass exportClass;
        int zeros;
    };
    static const Document documents[] = {
        {ClipboardFormat::Text, &makeGridExport<TGridExportAsText>, 1},
        {ClipboardFormat::UnicodeText, &makeGridExport<TGridExportAsUnicodeText>, 2},
        {ClipboardFormat::Csv, &makeGridExport<TGridExportAsCSV>, 1},
        {ClipboardFormat::RichText, &makeGridExport<TGridExportAsRTF>, 1},
        {ClipboardFormat::DBCells, &makeGridExport<TGridExportAsDBCells>, 0},
    };
    grid.disableControls();
    try {
        TMemoryStream stream;
        for (const Document& d : documents) {
            ExportGridToStream(d.exportClass, grid, stream, wholeGrid);
            if (terminators)
                for (int i = 0; i < d.zeros; ++i) stream.writeByte(0);
            place(d.format, stream.view());
            stream.clear();
        }
    } catch (...) {
        grid.enableControls();
        throw;
    }
    grid.enableControls();
}

}  // namespace enviozvr::grid
