// The data side of the two settings editors: the declared fields of their lists, the
// looked-up "Tipo documento", their grid columns, the check box rule of "Activa", and
// "Grabar" / "Cancelar" over a list's cache. Nothing here shows anything.
//
// Tfrepcompania edits REPLICA_COMPANIA through its list CRepcomp; Tfrepdocs edits
// REPLICACION_CONFIGURA through CRepConf, with the document types CTipodoc read once when
// it opens. Each list has the screen's own provider (no command text) over the main
// window's query. Single-threaded; data-layer errors pass through unchanged.
#pragma once

#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/grid.h"

namespace enviozvr::grid {

// ---- A one-character flag drawn as a check box ("Activa") ------------------------------

enum class FlagCheckState { Checked, Unchecked, Grayed };

// 'S' in any case is checked, 'N' in any case unchecked; anything else, empty and NULL
// included, is the third, greyed state.
FlagCheckState flagCheckState(const data::Value& value);
// The value a click on the box stores: "N" on a checked box, "S" on any other.
std::string flagAfterClick(const data::Value& value);
// A click on the box of the current row: enters edit (insert stays insert) and stores the
// value of flagAfterClick. Nothing on an empty or closed list.
void clickFlag(data::CachedResultSet& list, const std::string& fieldName);

// ---- Declared fields ------------------------------------------------------------------

// REPLICA_COMPANIA: RPCO_COD "Código" (CHAR 3, required), RPCP_NOMBRE "Compañía",
// RPCO_SERVIDOR "Servidor", RPCO_ERRO, SUCU_ID, RPCO_ACTIVA "Activa".
std::vector<data::Field> repcompFields();
// REPLICACION_CONFIGURA: REPC_TIPO "Tipo", REPC_PREF "Prefijo", REPC_COMPANIA "Compañía"
// (all required), REPC_REPLICA "Replica".
std::vector<data::Field> repConfFields();
// TIPO_DOCUMENTO: code, short and long names, module and the eight one-character flags.
std::vector<data::Field> tipodocFields();
void declareFields(data::CachedResultSet& list, const std::vector<data::Field>& fields);

// ---- "Tipo documento" ----------------------------------------------------------------

struct DocumentType {
    int64_t code = 0;       // TIDO_COD
    std::string shortName;  // TIDO_NOMCORTO
};
// The document types in the order read: the drop-down list of "Tipo documento".
std::vector<DocumentType> documentTypes(const data::CachedResultSet& tipodoc);
// Stores `code` into REPC_TIPO of the current row of CRepConf (entering edit from
// browse; insert stays insert). Nothing on an empty or closed list.
void chooseDocumentType(data::CachedResultSet& repConf, int64_t code);

// ---- Grids ------------------------------------------------------------------------------

// Editing grid options: editable cells, titles, row indicator, column and row lines, Tab
// between cells, resizable columns, "Delete record?" before a delete, and a new row
// never changed dropped on leaving the grid.
uint32_t settingsGridOptions();
// Tfrepcompania's grid: "Código" 38, "Compañía" 223, "Servidor" 262, "Activa" 35.
void setUpRepcompGrid(DataGrid& grid, data::CachedResultSet* list);
// Tfrepdocs' grid: "Tipo documento" 301, "Prefijo" 35, "Replica" 43, "Compañía" 55.
void setUpRepdocsGrid(DataGrid& grid, data::CachedResultSet* list,
                      const data::CachedResultSet* tipodoc);

// ---- The lists of each screen -------------------------------------------------------------

// Tfrepcompania's data objects: its own provider over the main window's QRepcomp
// ("SELECT * FROM REPLICA_COMPANIA" on the company database) and the list CRepcomp.
class RepcompaniaLists {
  public:
    explicit RepcompaniaLists(data::Query& QRepcomp);
    data::Provider PRepcomp;
    data::CachedResultSet CRepcomp;
    // Reads every row.
    void open();
    // Drops the rows and any change not applied.
    void close();
};

// Tfrepdocs' data objects: CTipodoc (all of TIPO_DOCUMENTO through PTipodoc over the main
// window's TTipodoc), read once here, and the list CRepConf over QRepdocs
// ("SELECT * FROM REPLICACION_CONFIGURA").
class RepdocsLists {
  public:
    RepdocsLists(data::Query& QRepdocs, data::Query& TTipodoc);
    data::Provider PTipodoc;
    data::CachedResultSet CTipodoc;
    data::Provider PRepConf;
    data::CachedResultSet CRepConf;
    // CTipodoc, then CRepConf.
    void open();
    // CRepConf, then CTipodoc.
    void close();
};

// ---- "Grabar" and "Cancelar" -----------------------------------------------------------

// A change the database refused, with the server's text.
struct RefusedChange {
    data::TUpdateKind kind = data::ukInsert;
    // The list's fields (by field index) as the row stands: new values of an insert or a
    // modify, old values of a delete.
    data::Row values;
    std::string error;
};

// The refused changes still in the list's change log (those carrying an error text).
std::vector<RefusedChange> refusedChanges(const data::CachedResultSet& list);

// "Grabar": posts a row still being edited (a required field left empty throws "Field
// '%s' must have a value" and the row stays in edit), then applies every cached change
// with a tolerance of 0 errors. Returns the changes the database refused; the whole
// application was then rolled back and every change, refused or not, stays cached for
// another try. Empty when everything was written. An error raised while applying (a lost
// connection) is thrown with every change still cached.
std::vector<RefusedChange> saveSettings(data::CachedResultSet& list);
// "Cancelar": abandons the row being edited and discards every cached change.
void discardSettings(data::CachedResultSet& list);

}  // namespace enviozvr::grid
