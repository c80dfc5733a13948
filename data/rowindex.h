// Index ordering of the rows of a cached result set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/value.h"

namespace enviozvr::data {

// Options of an index of a cached result set.
enum TIndexOption : uint8_t {
    ixDescending = 1u << 0,       // every field descending
    ixCaseInsensitive = 1u << 1,  // texts compared without regard to letter case
};

// A named index: an ordering of the held rows by a list of fields ("A;B"), ascending
// except for the fields named in descFields. Texts compare byte by byte (case-sensitive
// unless ixCaseInsensitive); NULL sorts before every value, so first ascending and last
// descending. Rows with equal keys keep their natural order.
struct IndexDef {
    std::string name;
    std::string fields;
    std::string descFields;
    uint8_t options = 0;
};

// Splits a list of field names such as "A;B" into its names, blanks trimmed.
std::vector<std::string> splitFieldNames(const std::string& names);

// -1, 0 or 1: the order of two values of one index key (NULL first; texts byte by byte,
// or by upper-case Windows-1252 letters when caseInsensitive).
int compareKeyValues(const Value& a, const Value& b, bool caseInsensitive);

}  // namespace enviozvr::data
