// The file formats a list is saved in, one row each: what the viewers' save dialog offers
// (its filters, in this order), what --export accepts as --format and names in its usage
// texts, and the exporter that writes the file. Every list of formats the program shows
// (the dialog's filters, --help, the command line's messages) is made from this table;
// the manual page's list is checked against it by the command-line tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "grid/export/exporter.h"

namespace enviozvr::grid {

struct GridExportFormat {
    int filterIndex;          // the save dialog's filter, from 1
    const char* extension;    // of the file name: "txt", "csv", "htm", "rtf", "xls"
    const char* usage;        // the value of --format= and the format's word in usage texts
    const char* dialogLabel;  // the save dialog's filter text before its patterns
    TGridExportClass exportClass;
};
const std::vector<GridExportFormat>& gridExportFormats();
const GridExportFormat* exportFormatForFilterIndex(int filterIndex);
const GridExportFormat* exportFormatForExtension(std::string_view extension);
const GridExportFormat* exportFormatForUsage(std::string_view usage);

// The save dialog's filter of a format: its label and its extension in both cases, since
// a dialog of the desktop (a native one) may compare names case-sensitively and X.TXT is
// as much a text file as x.txt: "Text files (*.txt *.TXT)".
std::string exportFormatFilter(const GridExportFormat& format);
// The format whose filter is `filter`; null for none.
const GridExportFormat* exportFormatForFilter(std::string_view filter);

// The formats' usage words joined by `separator`: "txt|csv|htm|rtf|xls" with "|".
std::string exportFormatUsage(std::string_view separator);
// The usage words as a choice in a sentence: "txt, csv, htm, rtf or xls".
std::string exportFormatChoice();

}  // namespace enviozvr::grid
