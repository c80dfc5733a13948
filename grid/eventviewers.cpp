#include "grid/eventviewers.h"

#include "grid/documenttypelookup.h"

namespace enviozvr::grid {

std::string eventViewerQuery(EventViewer viewer) {
    if (viewer == EventViewer::Errors)
        return "select * from replica_eventos r WHERE R.rpev_fecrep IS NULL and r.rpev_error is "
               "not null and rpev_tipo = 236";
    return "select * from replica_eventos r WHERE R.rpev_fecrep IS NULL and r.rpev_error is null "
           "and rpev_tipo = 236 order by r.rpev_id";
}

std::string eventViewerFileName(EventViewer viewer) {
    return viewer == EventViewer::Errors ? "Erroresreplica" : "Pendientesreplica";
}

std::vector<data::Field> eventListFields() {
    using data::Field;
    using data::FieldType;
    auto field = [](std::string name, FieldType type, int size, bool required, std::string label,
                    bool fixed = false) {
        Field f;
        f.name = std::move(name);
        f.type = type;
        f.size = size;
        f.required = required;
        f.fixedWidth = fixed;
        f.displayLabel = std::move(label);
        return f;
    };
    return {
        field("RPEV_ID", FieldType::Integer, 4, true, ""),
        field("RPEV_COMPANIA", FieldType::String, 60, true, "Servidor"),
        field("RPEV_TIPO", FieldType::Integer, 4, true, ""),
        field("RPEV_IDDOC", FieldType::Integer, 4, false, ""),
        field("RPEV_PREF", FieldType::String, 4, false, "Pref"),
        field("RPEV_NUMERO", FieldType::String, 6, false, "N\xFAmero"),
        field("RPEV_CODIGO", FieldType::String, 20, false,
              "C\xF3"
              "digo"),
        field("RPEV_FECREG", FieldType::Date, 0, false, "Fecha"),
        field("RPEV_HORAREG", FieldType::Time, 0, false, "Hora"),
        field("RPEV_FECREP", FieldType::Date, 0, false, ""),
        field("RPEV_HORAREP", FieldType::Time, 0, false, ""),
        field("RPEV_OPER", FieldType::String, 1, false, "Op", true),
        field("RPEV_PREFDEST", FieldType::String, 4, false, "Prefd"),
        field("RPEV_PTVT", FieldType::Integer, 4, false, "PtVt"),
        field("RPEV_ERROR", FieldType::String, 2048, false, "Mensaje de error"),
    };
}

void declareEventListFields(data::CachedResultSet& list) {
    list.clearDeclaredFields();
    for (data::Field& f : eventListFields()) list.declareField(std::move(f));
}

void setUpEventGrid(DataGrid& grid, EventViewer viewer, data::CachedResultSet* list,
                    const data::CachedResultSet* tipodoc) {
    grid.Name = "Grid1";
    grid.Options = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                   dgConfirmDelete | dgCancelOnExit;
    grid.Flat = false;
    grid.Ctl3D = true;
    grid.FixedColor = clBtnFace;
    grid.Color = clWindow;
    grid.FooterRowCount = 0;
    grid.AllowedSelections = kAllSelections;
    grid.EditActions = geaCopy | geaSelectAll;
    TFont font;
    font.Name = "MS Sans Serif";
    font.Size = 8;
    font.Color = clWindowText;
    grid.Font = font;
    grid.TitleFont = font;
    grid.FooterFont = font;
    grid.clearColumns();
    grid.setDataSet(list);
    grid.addLookupField(documentTypeLookup(tipodoc, "RPEV_TIPO", 10, "Tipo doc"));

    struct ColumnDef {
        const char* field;
        const char* title;
        int width;
    };
    static const ColumnDef columns[] = {
        {"NomTipo", "Tipo doc", 65},
        {"RPEV_PREF", "Pref", 35},
        {"RPEV_NUMERO", "N\xFAmero", 73},
        {"RPEV_CODIGO",
         "C\xF3"
         "digo",
         86},
        {"RPEV_COMPANIA", "Servidor", 218},
        {"RPEV_FECREG", "Fecha", 76},
        {"RPEV_HORAREG", "Hora", 50},
        {"RPEV_OPER", "Op", 18},
        {"RPEV_PREFDEST", "Prefd", 38},
        {"RPEV_PTVT", "PtVt", 26},
        {"RPEV_ERROR", "Mensaje de error", 64},
    };
    const int count = viewer == EventViewer::Errors ? 11 : 10;
    for (int i = 0; i < count; ++i) {
        TGridColumn& c = grid.addColumn(columns[i].field);
        c.Title.Caption = columns[i].title;
        c.Width = columns[i].width;
    }
    grid.SelectedIndex = 0;
}

}  // namespace enviozvr::grid
