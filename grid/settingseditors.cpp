#include "grid/settingseditors.h"

#include "grid/documenttypelookup.h"

namespace enviozvr::grid {

namespace {

data::Field field(std::string name, data::FieldType type, int size, bool required,
                  std::string label, bool fixed = false) {
    data::Field f;
    f.name = std::move(name);
    f.type = type;
    f.size = size;
    f.required = required;
    f.fixedWidth = fixed;
    f.displayLabel = std::move(label);
    return f;
}

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
    using data::FieldType;
    return {
        field("RPCO_COD", FieldType::String, 3, true,
              "C\xF3"
              "digo",
              true),
        field("RPCP_NOMBRE", FieldType::String, 80, false,
              "Compa\xF1\xED"
              "a"),
        field("RPCO_SERVIDOR", FieldType::String, 60, false, "Servidor"),
        field("RPCO_ERRO", FieldType::String, 1, false, "", true),
        field("SUCU_ID", FieldType::Integer, 4, false, ""),
        field("RPCO_ACTIVA", FieldType::String, 1, false, "Activa", true),
    };
}

std::vector<data::Field> repConfFields() {
    using data::FieldType;
    return {
        field("REPC_TIPO", FieldType::Integer, 4, true, "Tipo"),
        field("REPC_PREF", FieldType::String, 4, true, "Prefijo"),
        field("REPC_REPLICA", FieldType::String, 1, false, "Replica", true),
        field("REPC_COMPANIA", FieldType::String, 3, true,
              "Compa\xF1\xED"
              "a"),
    };
}

std::vector<data::Field> tipodocFields() {
    using data::FieldType;
    std::vector<data::Field> fields = {
        field("TIDO_COD", FieldType::Integer, 4, true, ""),
        field("TIDO_NOMCORTO", FieldType::String, 8, true, ""),
        field("TIDO_NOMLARGO", FieldType::String, 30, true, ""),
        field("TIDO_MODULO", FieldType::String, 20, false, ""),
    };
    for (const char* flag : {"TIDO_INVE", "TIDO_CART", "TIDO_CXP", "TIDO_CAJA", "TIDO_BCOS",
                             "TIDO_NOM", "TIDO_IMP", "TIDO_PROD"})
        fields.push_back(field(flag, FieldType::String, 1, false, "", true));
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
