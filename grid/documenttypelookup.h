// The looked-up field NomTipo that names a document type in a grid: TIDO_NOMCORTO of the
// TIPO_DOCUMENTO row (in tipodoc) whose TIDO_COD equals the row's own document type.
#pragma once

#include <string>

#include "data/dataset.h"
#include "grid/grid.h"

namespace enviozvr::grid {

// keyField holds the row's document type (RPEV_TIPO, REPC_TIPO); size and label are the
// field's display width and label in its grid.
LookupFieldDef documentTypeLookup(const data::CachedResultSet* tipodoc, const std::string& keyField,
                                  int size, const std::string& label);

}  // namespace enviozvr::grid
