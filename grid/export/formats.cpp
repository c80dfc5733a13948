#include "grid/export/formats.h"

#include <QByteArray>

#include "grid/export/html.h"
#include "grid/export/rtf.h"
#include "grid/export/text.h"
#include "grid/export/xls.h"

namespace enviozvr::grid {

const std::vector<GridExportFormat>& gridExportFormats() {
    static const std::vector<GridExportFormat> formats = {
        {1, "txt", "txt", "Text files", &makeGridExport<TGridExportAsText>},
        {2, "csv", "csv", "Comma separated values", &makeGridExport<TGridExportAsCSV>},
        {3, "htm", "htm", "HTML file", &makeGridExport<TGridExportAsHTML>},
        {4, "rtf", "rtf", "Rich Text Format", &makeGridExport<TGridExportAsRTF>},
        {5, "xls", "xls", "Microsoft Excel Workbook", &makeGridExport<TGridExportAsXLS>},
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

const GridExportFormat* exportFormatForUsage(std::string_view usage) {
    for (const GridExportFormat& f : gridExportFormats())
        if (usage == f.usage) return &f;
    return nullptr;
}

std::string exportFormatFilter(const GridExportFormat& format) {
    const std::string lower = format.extension;
    const std::string upper = QByteArray(format.extension).toUpper().toStdString();
    return std::string(format.dialogLabel) + " (*." + lower + " *." + upper + ")";
}

const GridExportFormat* exportFormatForFilter(std::string_view filter) {
    for (const GridExportFormat& f : gridExportFormats())
        if (filter == exportFormatFilter(f)) return &f;
    return nullptr;
}

std::string exportFormatUsage(std::string_view separator) {
    std::string out;
    for (const GridExportFormat& f : gridExportFormats()) {
        if (!out.empty()) out += separator;
        out += f.usage;
    }
    return out;
}

std::string exportFormatChoice() {
    const std::vector<GridExportFormat>& formats = gridExportFormats();
    std::string out;
    for (size_t i = 0; i < formats.size(); ++i) {
        if (i > 0) out += i + 1 < formats.size() ? ", " : " or ";
        out += formats[i].usage;
    }
    return out;
}

}  // namespace enviozvr::grid
