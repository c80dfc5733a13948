// Names of fields, indexes, parameters and columns compare without regard to the case of
// their ASCII letters.
#pragma once

#include <string_view>

namespace enviozvr::data {

bool sameName(std::string_view a, std::string_view b);

}  // namespace enviozvr::data
