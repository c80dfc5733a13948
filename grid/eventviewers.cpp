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

std::span<const EventViewerColumn> eventViewerColumns(EventViewer viewer) {
    static const EventViewerColumn columns[] = {
        {"NomTipo", "Tipo doc", 65},
        {"RPEV_PREF", "Pref", 35},
        {"RPEV_NUMERO", "N\xFAmero", 73},
        {"RPEV_CODIGO", "C\363digo", 86},
        {"RPEV_COMPANIA", "Servidor", 218},
        {"RPEV_FECREG", "Fecha", 76},
        {"RPEV_HORAREG", "Hora", 50},
        {"RPEV_OPER", "Op", 18},
        {"RPEV_PREFDEST", "Prefd", 38},
        {"RPEV_PTVT", "PtVt", 26},
        {"RPEV_ERROR", "Mensaje de error", 64},
    };
    return {columns, viewer == EventViewer::Errors ? std::size(columns) : std::size(columns) - 1};
}

std::vector<data::Field> eventListFields() {
    using enum data::FieldType;
    return {
        {.name = "RPEV_ID", .type = Integer, .size = 4, .required = true},
        {.name = "RPEV_COMPANIA",
         .type = String,
         .size = 60,
         .required = true,
         .displayLabel = "Servidor"},
        {.name = "RPEV_TIPO", .type = Integer, .size = 4, .required = true},
        {.name = "RPEV_IDDOC", .type = Integer, .size = 4},
        {.name = "RPEV_PREF", .type = String, .size = 4, .displayLabel = "Pref"},
        {.name = "RPEV_NUMERO", .type = String, .size = 6, .displayLabel = "N\xFAmero"},
        {.name = "RPEV_CODIGO", .type = String, .size = 20, .displayLabel = "C\363digo"},
        {.name = "RPEV_FECREG", .type = Date, .displayLabel = "Fecha"},
        {.name = "RPEV_HORAREG", .type = Time, .displayLabel = "Hora"},
        {.name = "RPEV_FECREP", .type = Date},
        {.name = "RPEV_HORAREP", .type = Time},
        {.name = "RPEV_OPER", .type = String, .size = 1, .fixedWidth = true, .displayLabel = "Op"},
        {.name = "RPEV_PREFDEST", .type = String, .size = 4, .displayLabel = "Prefd"},
        {.name = "RPEV_PTVT", .type = Integer, .size = 4, .displayLabel = "PtVt"},
        {.name = "RPEV_ERROR", .type = String, .size = 2048, .displayLabel = "Mensaje de error"},
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

    for (const EventViewerColumn& column : eventViewerColumns(viewer)) {
        TGridColumn& c = grid.addColumn(column.field);
        c.Title.Caption = column.title;
        c.Width = column.width;
    }
    grid.SelectedIndex = 0;
}

}  // namespace enviozvr::grid
