#include "data/internal/fbapi.h"

#include <ibase.h>

using namespace Firebird;

namespace enviozvr::data::fb {

IMaster* master() {
    static IMaster* m = fb_get_master_interface();
    return m;
}

IUtil* util() {
    static IUtil* u = master()->getUtilInterface();
    return u;
}

IProvider* provider() {
    static IProvider* p = master()->getDispatcher();
    return p;
}

std::vector<std::string> statusLines(const IStatus* status) {
    std::vector<std::string> lines;
    const ISC_STATUS* vector = status->getErrors();
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &vector) > 0) lines.emplace_back(buffer);
    return lines;
}

std::string errorText(const std::vector<std::string>& lines, ConnectionKind kind) {
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) joined += "\r\n";
        joined += lines[i];
    }
    if (kind == ConnectionKind::General) {
        if (!joined.empty() && joined.back() == '.') joined.pop_back();
        return joined;
    }
    return "SQL Server Error: " + joined;
}

DatabaseError toDatabaseError(const IStatus* status, ConnectionKind kind,
                              const std::string& statement) {
    auto lines = statusLines(status);
    const ISC_STATUS* errors = status->getErrors();
    long code = (errors[0] == isc_arg_gds) ? static_cast<long>(errors[1]) : 0;
    std::vector<long> codes;
    for (const ISC_STATUS* v = errors; *v != isc_arg_end;) {
        if (v[0] == isc_arg_gds) codes.push_back(static_cast<long>(v[1]));
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    char state[6] = {};
    fb_sqlstate(state, errors);
    const std::string text = errorText(lines, kind);
    return DatabaseError(text, std::move(lines), code, state, statement, std::move(codes));
}

bool statusHas(const IStatus* status, ISC_STATUS code) {
    for (const ISC_STATUS* v = status->getErrors(); *v != isc_arg_end;) {
        if (v[0] == isc_arg_gds && v[1] == code) return true;
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

}  // namespace enviozvr::data::fb
