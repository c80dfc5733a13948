// The event viewers' queries and grid columns, with the looked-up "Tipo doc".
#include "grid/eventviewers.h"

#include "gridfixture.h"

using namespace enviozvr::grid;
using namespace enviozvr::grid::testing;
using enviozvr::data::Value;

TEST(EventViewers, Queries) {
    EXPECT_EQ(eventViewerQuery(EventViewer::Errors),
              "select * from replica_eventos r WHERE R.rpev_fecrep IS NULL and r.rpev_error is "
              "not null and rpev_tipo = 236");
    EXPECT_EQ(eventViewerQuery(EventViewer::Pending),
              "select * from replica_eventos r WHERE R.rpev_fecrep IS NULL and r.rpev_error is "
              "null and rpev_tipo = 236 order by r.rpev_id");
    EXPECT_EQ(eventViewerFileName(EventViewer::Errors), "Erroresreplica");
    EXPECT_EQ(eventViewerFileName(EventViewer::Pending), "Pendientesreplica");
}

TEST(EventViewers, ColumnsTitlesWidthsAndLookedUpType) {
    // The eleven columns of the error viewer; the pending viewer shows the first ten.
    const char* const fields[] = {"NomTipo",       "RPEV_PREF",   "RPEV_NUMERO",  "RPEV_CODIGO",
                                  "RPEV_COMPANIA", "RPEV_FECREG", "RPEV_HORAREG", "RPEV_OPER",
                                  "RPEV_PREFDEST", "RPEV_PTVT",   "RPEV_ERROR"};
    const char* const titles[] = {"Tipo doc",        "Pref", "N\xFAmero", "C\363digo", "Servidor",
                                  "Fecha",           "Hora", "Op",        "Prefd",     "PtVt",
                                  "Mensaje de error"};
    const int widths[] = {65, 35, 73, 86, 218, 76, 50, 18, 38, 26, 64};
    for (EventViewer viewer : {EventViewer::Errors, EventViewer::Pending}) {
        const int count = viewer == EventViewer::Errors ? 11 : 10;
        const auto table = eventViewerColumns(viewer);
        ASSERT_EQ(table.size(), static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            EXPECT_STREQ(table[i].field, fields[i]);
            EXPECT_STREQ(table[i].title, titles[i]);
            EXPECT_EQ(table[i].width, widths[i]);
        }

        GridFixture f;
        enviozvr::data::CachedResultSet tipodoc{"CTipodoc", f.provider};
        tipodoc.loadRows({field("TIDO_COD", enviozvr::data::FieldType::Integer, 4),
                          field("TIDO_NOMCORTO", enviozvr::data::FieldType::String, 8)},
                         {{num(236), txt("FACT")}});
        std::vector<enviozvr::data::Row> rows(2, enviozvr::data::Row(15));
        rows[0][2] = num(236);
        rows[0][4] = txt("FV");
        rows[1][2] = num(99);  // a type missing from TIPO_DOCUMENTO
        rows[1][4] = txt("XX");
        f.set.loadRows(eventListFields(), std::move(rows));
        setUpEventGrid(f.grid, viewer, &f.set, &tipodoc);

        ASSERT_EQ(f.grid.columnCount(), count);
        for (int i = 0; i < count; ++i) {
            const TGridColumn& c = f.grid.column(i);
            EXPECT_EQ(c.FieldName(), fields[i]);
            EXPECT_EQ(c.Title.Caption, titles[i]);
            EXPECT_EQ(c.Width, widths[i]);
            EXPECT_TRUE(c.Field().exists()) << c.FieldName();
        }
        EXPECT_EQ(f.grid.Name, "Grid1");
        EXPECT_EQ(f.grid.EditActions, geaCopy | geaSelectAll);
        const std::string tail =
            viewer == EventViewer::Errors ? "\t\t\t\t\t\t\t\t\t" : "\t\t\t\t\t\t\t\t";
        EXPECT_EQ(
            f.run<TGridExportAsText>(true).substr(f.run<TGridExportAsText>(true).find("\r\n")),
            "\r\nFACT\tFV" + tail + "\r\n\tXX" + tail);
    }
}
