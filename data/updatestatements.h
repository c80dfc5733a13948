// The statements that apply one change of a change log: pure functions of the change,
// the fields and the table name, with "?" markers for every value.
#pragma once

#include <string>
#include <vector>

#include "data/provider.h"
#include "data/value.h"

namespace enviozvr::data {

// Statement text and parameters generated for one change; empty text when the change
// needs no statement (a modify with no eligible assigned column).
struct GeneratedStatement {
    std::string text;
    std::vector<Value> params;
};

// The target table of update application: the first name after FROM in the source SQL,
// empty when there is none.
std::string targetTableName(const std::string& sql);
// The name in double quotes, each dotted part separately, unless already quoted.
std::string quotedTableName(const std::string& name);
// Builds the INSERT, DELETE or UPDATE for a change (throws DataError for a change with no
// where-eligible column). quotedTable is the quoted table name.
GeneratedStatement generateStatement(const Change& change, const std::vector<Field>& fields,
                                     const std::string& quotedTable);

}  // namespace enviozvr::data
