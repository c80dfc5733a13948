// Reversible, position-dependent scrambling of passwords held in the login record.
//
// Pure functions over byte strings of any content (zero bytes included); the result has
// the length of the input. DescifrarClave(CifrarClave(t)) == t for every t. No exceptions.
#pragma once

#include <string>
#include <string_view>

namespace enviozvr::core {

std::string CifrarClave(std::string_view text);
std::string DescifrarClave(std::string_view text);

}  // namespace enviozvr::core
