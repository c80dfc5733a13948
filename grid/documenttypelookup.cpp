#include "grid/documenttypelookup.h"

namespace enviozvr::grid {

LookupFieldDef documentTypeLookup(const data::CachedResultSet* tipodoc, const std::string& keyField,
                                  int size, const std::string& label) {
    LookupFieldDef def;
    def.name = "NomTipo";
    def.keyFields = keyField;
    def.lookupDataSet = tipodoc;
    def.lookupKeyFields = "TIDO_COD";
    def.lookupResultField = "TIDO_NOMCORTO";
    def.dataType = ftString;
    def.size = size;
    def.displayLabel = label;
    return def;
}

}  // namespace enviozvr::grid
