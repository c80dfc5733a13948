#include "grid/export/cells.h"

#include <charconv>
#include <string>

#include "data/codepage.h"

namespace enviozvr::grid::exportcells {

void putInt(TStream& s, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.write(buf, static_cast<size_t>(r.ptr - buf));
}

bool formulaLike(const TGridColumn& column, std::string_view text) {
    if (text.empty() || std::string_view("=+-@").find(text.front()) == std::string_view::npos)
        return false;
    const GridField& field = column.Field();
    return !(field.exists() && isNumericType(field.dataType));
}

void putUtf16(TStream& s, std::string_view windows1252) {
    const std::u16string u = data::utf16FromWindows1252(windows1252);
    for (char16_t c : u) s.writeU16(static_cast<uint16_t>(c));
}

}  // namespace enviozvr::grid::exportcells
