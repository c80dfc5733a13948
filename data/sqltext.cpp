#include "data/sqltext.h"

namespace enviozvr::data {

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

std::string sqlInteger(int64_t value) { return std::to_string(value); }

std::string sqlDate(Date d) { return "'" + isoDateText(d) + "'"; }

std::string sqlTime(Time t) { return "'" + isoTimeText(t) + "'"; }

}  // namespace enviozvr::data
