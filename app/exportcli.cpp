#include "app/exportcli.h"

#include <QString>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/consoletext.h"
#include "data/dataset.h"
#include "grid/eventviewers.h"
#include "grid/gridexport.h"
#include "sender/maindata.h"

namespace enviozvr::app {

using namespace enviozvr::grid;

namespace {

constexpr const char* kUsage =
    "usage: enviozvr --export=errores|pendientes --format=txt|csv|htm|rtf|xls --output=FILE "
    "SERVER USER PASSWORD COMPANY";

struct ExportRequest {
    EventViewer viewer = EventViewer::Errors;
    const GridExportFormat* format = nullptr;
    std::string output;
    std::string server, user, password, company;
};

void report(const std::string& text) {
    std::fprintf(stderr, "enviozvr: %s\n", consoleText(text).c_str());
    std::fflush(stderr);
}

bool takeOption(const std::string& arg, const char* name, std::optional<std::string>& into) {
    const std::string prefix = std::string("--") + name + "=";
    if (arg.rfind(prefix, 0) != 0) return false;
    into = arg.substr(prefix.size());
    return true;
}

// Parses the arguments; returns an error text, empty when they are sound.
std::string parse(const std::vector<std::string>& args, ExportRequest& request) {
    std::optional<std::string> exportName, format, output;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (takeOption(arg, "export", exportName) || takeOption(arg, "format", format) ||
            takeOption(arg, "output", output))
            continue;
        if (arg.rfind("--", 0) == 0) return "unknown option " + arg;
        positional.push_back(arg);
    }
    if (!exportName) return "missing --export=errores|pendientes";
    if (*exportName == "errores")
        request.viewer = EventViewer::Errors;
    else if (*exportName == "pendientes")
        request.viewer = EventViewer::Pending;
    else
        return "unknown list '" + *exportName + "' (errores or pendientes)";
    if (!format) return "missing --format=txt|csv|htm|rtf|xls";
    request.format = exportFormatForExtension(*format);
    if (!request.format) return "unknown format '" + *format + "' (txt, csv, htm, rtf or xls)";
    if (!output || output->empty()) return "missing --output=FILE";
    request.output = *output;
    if (positional.size() != 4)
        return "expected SERVER USER PASSWORD COMPANY, got " + std::to_string(positional.size()) +
               " argument(s)";
    // Texts of the program are Windows-1252; the output file name stays a local path.
    request.server = argumentText(positional[0]);
    request.user = argumentText(positional[1]);
    request.password = argumentText(positional[2]);
    request.company = argumentText(positional[3]);
    if (request.company.empty()) return "the company code is empty";
    return {};
}

}  // namespace

int runExportCommand(const std::vector<std::string>& args) {
    ExportRequest request;
    if (const std::string error = parse(args, request); !error.empty()) {
        report(error);
        report(kUsage);
        return 2;
    }
    const char* stage = "login";
    try {
        sender::MainData mainData;
        mainData.loginAutomatic(request.server, request.user, request.password);
        stage = "company";
        mainData.selectCompany(request.company);

        stage = "reading the list";
        data::Provider listProvider("PErroresenv", mainData.QErroresenv, true);
        data::CachedResultSet list("CErroresenv", listProvider);
        declareEventListFields(list);
        list.setCommandText(eventViewerQuery(request.viewer));
        list.open();
        data::Provider typeProvider("PTipodoc", mainData.TTipodoc, false);
        data::CachedResultSet tipodoc("CTipodoc", typeProvider);
        tipodoc.open();

        stage = "export";
        DataGrid grid("Grid1");
        setUpEventGrid(grid, request.viewer, &list, &tipodoc);
        ExportGridToFile(request.format->exportClass, grid,
                         QString::fromLocal8Bit(request.output.c_str()), true);
    } catch (const std::exception& e) {
        const std::string what = e.what();
        if (std::string(stage) == "export")
            report(what);
        else if (std::string(stage) == "company")
            report("company " + request.company + ": " + what);
        else
            report(std::string(stage) + " failed: " + what);
        return 1;
    }
    return 0;
}

}  // namespace enviozvr::app
