// A small pending-events list read the way the pending viewer reads it: an embedded company
// database with seven pending invoice events (and two that the list leaves out), the list
// CErroresenv opened with the viewer's query, the document types CTipodoc and a viewer's
// grid over them. Header-only: suites that include it link the grid library.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"
#include "data/dataset.h"
#include "grid/eventviewers.h"
#include "grid/grid.h"
#include "support/testdb.h"

namespace enviozvr::testing {

class PendingEventList {
  public:
    // Visible columns of the pending viewer, by position.
    enum Col { TipoDoc, Pref, Numero, Codigo, Servidor, Fecha, Hora, Op, Prefd, PtVt };

    PendingEventList() : db(dir.file("nivora.fdb")) {
        db.createCompanySchema();
        db.exec({
            "insert into TIPO_DOCUMENTO (TIDO_COD, TIDO_NOMCORTO, TIDO_NOMLARGO) values (236, "
            "'FACT', 'Factura')",
            "insert into REPLICA_EVENTOS values (1, 'B01', 236, 10, 'FV', '000120', 'Arce-1', "
            "'2026-03-01', '08:00:00', null, null, 'A', null, 1, null)",
            "insert into REPLICA_EVENTOS values (2, 'B02', 236, 11, 'FV', '000121', 'zorro', "
            "'2026-03-02', '09:15:00', null, null, 'A', 'AB', 2, null)",
            "insert into REPLICA_EVENTOS values (3, 'B01', 236, 12, 'NC', '000122', 'ABC-3', "
            "'2026-03-03', '10:30:00', null, null, 'D', null, 7, null)",
            "insert into REPLICA_EVENTOS values (4, 'B03', 236, 13, 'FV', '000123', 'abedul', "
            "'2026-03-04', '11:45:00', null, null, 'A', null, null, null)",
            "insert into REPLICA_EVENTOS values (5, 'B02', 236, 14, 'nc', '000124', 'Cabra', "
            "'2026-03-05', '12:00:00', null, null, 'A', null, 12, null)",
            "insert into REPLICA_EVENTOS values (6, 'B01', 236, 15, 'FV', '000125', "
            "'\xF1"
            "and\xFA', '2026-03-06', '13:00:00', null, null, 'A', null, 3, null)",
            "insert into REPLICA_EVENTOS values (7, 'B03', 236, 16, 'FV', '000126', 'Abeto', "
            "'2026-03-07', '14:00:00', null, null, 'A', null, 4, null)",
            // Sent, and pending with an error: not in the pending list.
            "insert into REPLICA_EVENTOS values (8, 'B01', 236, 17, 'FV', '000127', 'abc-8', "
            "'2026-03-08', '15:00:00', '2026-03-08', '15:01:00', 'A', null, null, null)",
            "insert into REPLICA_EVENTOS values (9, 'B01', 236, 18, 'FV', '000128', 'abc-9', "
            "'2026-03-09', '16:00:00', null, null, 'A', null, null, 'sin conexi\xF3n')",
        });
        grid::declareEventListFields(list);
        list.setCommandText(grid::eventViewerQuery(grid::EventViewer::Pending));
        list.open();
        tipodoc.open();
        grid::setUpEventGrid(dataGrid, grid::EventViewer::Pending, &list, &tipodoc);
    }

    // RPEV_ID of the current record.
    int currentId() const { return static_cast<int>(list.value("RPEV_ID").asInteger()); }

    static std::unique_ptr<data::Connection> companyConnection(const TestDatabase& db) {
        auto c = data::Connection::company("DbCia");
        c->setDatabase(db.location());
        c->setParam("User_Name", "SYSDBA");
        c->setParam("password", "");
        c->setParam("RoleName", "");
        return c;
    }

    TempDir dir;
    TestDatabase db;
    std::unique_ptr<data::Connection> connection = companyConnection(db);
    data::Query QErroresenv{*connection, {}};
    data::Query TTipodoc = data::Query::table(*connection, "TIPO_DOCUMENTO");
    data::Provider listProvider{"PErroresenv", QErroresenv, true};
    data::Provider typeProvider{"PTipodoc", TTipodoc, false};
    data::CachedResultSet list{"CErroresenv", listProvider};
    data::CachedResultSet tipodoc{"CTipodoc", typeProvider};
    grid::DataGrid dataGrid{"Grid1"};
};

}  // namespace enviozvr::testing
