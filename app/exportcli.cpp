#include "app/exportcli.h"

#include <QString>
#include <cstdio>
#include <exception>
#include <optional>

#include "app/consoletext.h"
#include "app/options.h"
#include "app/serviceargs.h"
#include "data/dataset.h"
#include "grid/eventviewers.h"
#include "grid/gridexport.h"
#include "grid/gridfilter.h"
#include "grid/gridsort.h"
#include "sender/maindata.h"

namespace enviozvr::app {

using namespace enviozvr::grid;

namespace {

// The synopsis of the mode on one line.
std::string usage() {
    std::string line = synopsis(kExportMode, "usage: ", std::string::npos, 0);
    line.pop_back();
    return line;
}

// A sort key or a filter of the list, by column title (Windows-1252, as the grid shows it).
struct SortRequest {
    std::string title;
    bool descending = false;
};
struct FilterRequest {
    std::string title;
    std::string text;
};

struct ExportRequest {
    EventViewer viewer = EventViewer::Errors;
    const GridExportFormat* format = nullptr;
    std::string output;
    std::string server, user, password, company;
    std::vector<SortRequest> sorts;
    std::vector<FilterRequest> filters;
};

// A sort or filter option that names no column, or a filter text that does not parse:
// reported like a bad argument.
class OptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

void report(const std::string& text) {
    std::fprintf(stderr, "enviozvr: %s\n", consoleText(text).c_str());
    std::fflush(stderr);
}

bool sameTitle(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (data::upperCase1252(static_cast<unsigned char>(a[i])) !=
            data::upperCase1252(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

TGridColumn& columnTitled(const DataGrid& grid, const std::string& title) {
    for (int i = 0; i < grid.columnCount(); ++i)
        if (sameTitle(grid.column(i).Title.Caption, title)) return grid.column(i);
    std::string titles;
    for (int i = 0; i < grid.columnCount(); ++i)
        titles += (i ? ", " : "") + grid.column(i).Title.Caption;
    throw OptionError("no column titled '" + title + "' (" + titles + ")");
}

// Sorts and filters the list as the viewer's grid does: the sort index over the marked
// columns in key order, then the filters applied by reading the list again.
void sortAndFilter(DataGrid& grid, data::CachedResultSet& list, const ExportRequest& request) {
    GridSortState sort;
    for (const SortRequest& s : request.sorts)
        sort.setMarker(columnTitled(grid, s.title).FieldName(),
                       s.descending ? SortMarker::Up : SortMarker::Down);
    GridFilterState filters;
    for (const FilterRequest& f : request.filters) {
        const TGridColumn& column = columnTitled(grid, f.title);
        try {
            filters.store(column.FieldName(), columnOperandType(column), f.text);
        } catch (const FilterError& e) {
            throw OptionError(f.title + ": " + e.what());
        }
    }
    if (!sort.empty()) applyGridSort(grid, sort);
    if (filters.hasConditions()) {
        installGridFilter(grid, filters);
        list.close();
        list.open();
    }
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
        std::optional<std::string> option;
        if (takeOption(arg, "sort", option)) {
            SortRequest s{argumentText(*option), false};
            const size_t colon = s.title.rfind(':');
            if (colon != std::string::npos) {
                const std::string direction = s.title.substr(colon + 1);
                if (direction != "desc" && direction != "asc")
                    return "bad sort direction '" + direction + "' in " + argumentText(arg) +
                           " (asc or desc)";
                s.descending = direction == "desc";
                s.title.erase(colon);
            }
            if (s.title.empty()) return "missing column title in " + argumentText(arg);
            request.sorts.push_back(std::move(s));
            continue;
        }
        if (takeOption(arg, "filter", option)) {
            const std::string text = argumentText(*option);
            const size_t equals = text.find('=');
            if (equals == std::string::npos || equals == 0)
                return "expected --filter=TITLE=TEXT, got " + argumentText(arg);
            request.filters.push_back({text.substr(0, equals), text.substr(equals + 1)});
            continue;
        }
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
    if (!format) return "missing --format=" + exportFormatUsage("|");
    request.format = exportFormatForUsage(*format);
    if (!request.format) return "unknown format '" + *format + "' (" + exportFormatChoice() + ")";
    if (!output || output->empty()) return "missing --output=FILE";
    request.output = *output;
    if (positional.size() != 4)
        return "expected SERVER USER PASSWORD COMPANY, got " + std::to_string(positional.size()) +
               " argument(s)";
    // Texts of the program are Windows-1252; the output file name stays a local path.
    request.server = argumentText(positional[0]);
    request.user = argumentText(positional[1]);
    request.password = passwordArgument(argumentText(positional[2]));
    request.company = argumentText(positional[3]);
    if (request.company.empty()) return "the company code is empty";
    return {};
}

}  // namespace

int runExportCommand(const std::vector<std::string>& args) {
    ExportRequest request;
    if (const std::string error = parse(args, request); !error.empty()) {
        report(error);
        report(usage());
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
        stage = "reading the list";
        sortAndFilter(grid, list, request);
        stage = "export";
        ExportGridToFile(request.format->exportClass, grid,
                         QString::fromLocal8Bit(request.output.c_str()), true);
    } catch (const OptionError& e) {
        report(e.what());
        return 2;
    } catch (const XlsRowLimitError& e) {
        // The list does not fit the format: nothing was written, as with a bad argument.
        report(e.what());
        return 2;
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
