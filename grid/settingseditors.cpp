#include "grid/settingseditors.h"

#include "grid/documenttypelookup.h"

namespace enviozvr::grid {

namespace {

// Puts the current row into edit unless a row is already being inserted or edited.
// False when there is no row to edit.
bool editCurrentRow(data::CachedResultSet& list) {
    if (!list.active()) return false;
    const data::DataSetState state = list.state();
    if (state == data::DataSetState::Insert || state == data::DataSetState::Edit) return true;
    if (list.isEmpty()) return false;
    list.edit();
    return true;
}

}  // namespace

FlagCheckState flagCheckState(const data::Value& value) {
    if (value.kind() != data::Value::Kind::Text) return FlagCheckState::Grayed;
    const std::string& text = value.asString();
    if (text == "S" || text == "s") return FlagCheckState::Checked;
    if (text == "N" || text == "n") return FlagCheckState::Unchecked;
    return FlagCheckState::Grayed;
}

std::string flagAfterClick(const data::Value& value) {
    return flagCheckState(value) == FlagCheckState::Checked ? "N" : "S";
}

void clickFlag(data::CachedResultSet& list, const std::string& fieldName) {
    if (!editCurrentRow(list)) return;
    const int f = list.fieldByName(fieldName);
    list.setValue(f, data::Value::text(flagAfterClick(list.value(f))));
}

std::vector<data::Field> repcompFields() {
    using enum data::FieldType;
    return {
        {.name = "RPCO_COD",
         .type = String,
         .size = 3,
         .required = true,
         .fixedWidth = true,
         .displayLabel = "C\363digo"},
        {.name = "RPCP_NOMBRE", .type = String, .size = 80, .displayLabel = "Compa\361\355a"},
        {.name = "RPCO_SERVIDOR", .type = String, .size = 60, .displayLabel = "Servidor"},
        {.name = "RPCO_ERRO", .type = String, .size = 1, .fixedWidth = true},
        {.name = "SUCU_ID", .type = Integer, .size = 4},
        {.name = "RPCO_ACTIVA",
         .type = String,
         .size = 1,
         .fixedWidth = true,
         .displayLabel = "Activa"},
    };
}

std::vector<data::Field> repConfFields() {
    using enum data::FieldType;
    return {
        {.name = "REPC_TIPO", .type = Integer, .size = 4, .required = true, .displayLabel = "Tipo"},
        {.name = "REPC_PREF",
         .type = String,
         .size = 4,
         .required = true,
         .displayLabel = "Prefijo"},
        {.name = "REPC_REPLICA",
         .type = String,
         .size = 1,
         .fixedWidth = true,
         .displayLabel = "Replica"},
        {.name = "REPC_COMPANIA",
         .type = String,
         .size = 3,
         .required = true,
         .displayLabel = "Compa\361\355a"},
    };
}

std::vector<data::Field> tipodocFields() {
    using enum data::FieldType;
    std::vector<data::Field> fields = {
        {.name = "TIDO_COD", .type = Integer, .size = 4, .required = true},
        {.name = "TIDO_NOMCORTO", .type = String, .size = 8, .required = true},
        {.name = "TIDO_NOMLARGO", .type = String, .size = 30, .required = true},
        {.name = "TIDO_MODULO", .type = String, .size = 20},
    };
    for (const char* flag : {"TIDO_INVE", "TIDO_CART", "TIDO_CXP", "TIDO_CAJA", "TIDO_BCOS",
                             "TIDO_NOM", "TIDO_IMP", "TIDO_PROD"})
        fields.push_back({.name = flag, .type = String, .size = 1, .fixedWidth = true});
    return fields;
}

void declareFields(data::CachedResultSet& list, const std::vector<data::Field>& fields) {
    list.clearDeclaredFields();
    for (const data::Field& f : fields) list.declareField(f);
}

std::vector<DocumentType> documentTypes(const data::CachedResultSet& tipodoc) {
    std::vector<DocumentType> types;
    if (!tipodoc.active()) return types;
    const int code = tipodoc.fieldByName("TIDO_COD");
    const int name = tipodoc.fieldByName("TIDO_NOMCORTO");
    for (int row = 0; row < tipodoc.recordCount(); ++row) {
        const data::Value c = tipodoc.valueAt(row, code);
        if (c.isNull()) continue;
        types.push_back({c.asInteger(), tipodoc.valueAt(row, name).toText()});
    }
    return types;
}

void chooseDocumentType(data::CachedResultSet& repConf, int64_t code) {
    if (!editCurrentRow(repConf)) return;
    repConf.setValue("REPC_TIPO", data::Value::integer(code));
}

uint32_t settingsGridOptions() {
    return dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
           dgConfirmDelete | dgCancelOnExit;
}

namespace {

void setUpGrid(DataGrid& grid, data::CachedResultSet* list) {
    grid.Name = "Grid1";
    grid.Options = settingsGridOptions();
    grid.FooterRowCount = 0;
    grid.clearColumns();
    grid.setDataSet(list);
}

void addColumn(DataGrid& grid, const std::string& fieldName, const std::string& title, int width) {
    TGridColumn& c = grid.addColumn(fieldName);
    c.Title.Caption = title;
    c.Width = width;
}

}  // namespace

void setUpRepcompGrid(DataGrid& grid, data::CachedResultSet* list) {
    setUpGrid(grid, list);
    addColumn(grid, "RPCO_COD",
              "C\xF3"
              "digo",
              38);
    addColumn(grid, "RPCP_NOMBRE",
              "Compa\xF1\xED"
              "a",
              223);
    addColumn(grid, "RPCO_SERVIDOR", "Servidor", 262);
    addColumn(grid, "RPCO_ACTIVA", "Activa", 35);
}

void setUpRepdocsGrid(DataGrid& grid, data::CachedResultSet* list,
                      const data::CachedResultSet* tipodoc) {
    setUpGrid(grid, list);
    grid.addLookupField(documentTypeLookup(tipodoc, "REPC_TIPO", 60, "Tipo documento"));
    addColumn(grid, "NomTipo", "Tipo documento", 301);
    addColumn(grid, "REPC_PREF", "Prefijo", 35);
    addColumn(grid, "REPC_REPLICA", "Replica", 43);
    addColumn(grid, "REPC_COMPANIA",
              "Compa\xF1\xED"
              "a",
              55);
}

RepcompaniaLists::RepcompaniaLists(data::Query& QRepcomp)
    : PRepcomp("PRepcomp", QRepcomp, false), CRepcomp("CRepcomp", PRepcomp) {
    declareFields(CRepcomp, repcompFields());
}

void RepcompaniaLists::open() { CRepcomp.open(); }
void RepcompaniaLists::close() { CRepcomp.close(); }

RepdocsLists::RepdocsLists(data::Query& QRepdocs, data::Query& TTipodoc)
    : PTipodoc("PTipodoc", TTipodoc, false),
      CTipodoc("CTipodoc", PTipodoc),
      PRepConf("PRepConf", QRepdocs, false),
      CRepConf("CRepConf", PRepConf) {
    declareFields(CTipodoc, tipodocFields());
    declareFields(CRepConf, repConfFields());
}

void RepdocsLists::open() {
    CTipodoc.open();
    CRepConf.open();
}

void RepdocsLists::close() {
    CRepConf.close();
    CTipodoc.close();
}

std::vector<RefusedChange> refusedChanges(const data::CachedResultSet& list) {
    std::vector<RefusedChange> refused;
    for (const data::Change& change : list.changeLog()) {
        if (change.error.empty()) continue;
        RefusedChange r;
        r.kind = change.kind;
        r.error = change.error;
        const data::Row& row = change.kind == data::ukDelete ? change.oldValues : change.newValues;
        for (int f = 0; f < list.fieldCount(); ++f) {
            const int column = list.changeColumn(f);
            r.values.push_back(column < static_cast<int>(row.size()) ? row[column]
                                                                     : data::Value::null());
        }
        refused.push_back(std::move(r));
    }
    return refused;
}

std::vector<RefusedChange> saveSettings(data::CachedResultSet& list) {
    // Applying posts a changed row still in edit first (and drops a new row never changed).
    if (list.applyUpdates(0) == 0) return {};
    return refusedChanges(list);
}

void discardSettings(data::CachedResultSet& list) {
    list.cancel();
    list.cancelUpdates();
}

}  // namespace enviozvr::grid
