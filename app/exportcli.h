// Command-line export of the event lists:
//   enviozvr --export=errores|pendientes --format=txt|csv|htm|rtf|xls --output=FILE
//            [--sort=TITLE[:desc]]... [--filter=TITLE=TEXT]... SERVER USER PASSWORD COMPANY
// logs in as the automatic mode does, selects the company, reads the viewer's list with
// the viewer's query, sorts and filters it as the viewer's grid does (sort keys in the
// order given, TITLE a column title as shown, TEXT a filter text of the filter row) and
// writes the whole list with titles in the chosen format (the table of
// grid/export/formats.h). A title that names no column and a filter text that does not
// parse are bad arguments (the grid's message). Runs on the calling thread; reports every
// failure on standard error and in the exit status (0 written, 1 login, query or file
// failure, 2 bad arguments); never throws. On failure nothing half-written is left under
// the chosen name.
#pragma once

#include <string>
#include <vector>

namespace enviozvr::app {

// args: the program's arguments without the program name. Returns the exit status.
int runExportCommand(const std::vector<std::string>& args);

}  // namespace enviozvr::app
