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
    struct Column {
        const char* field;
        const char* title;
        int width;
    };
    const Column expected[] = {
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
    for (EventViewer viewer : {EventViewer::Errors, EventViewer::Pending}) {
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

        const int count = viewer == EventViewer::Errors ? 11 : 10;
        ASSERT_EQ(f.grid.columnCount(), count);
        for (int i = 0; i < count; ++i) {
            const TGridColumn& c = f.grid.column(i);
            EXPECT_EQ(c.FieldName(), expected[i].field);
            EXPECT_EQ(c.Title.Caption, expected[i].title);
            EXPECT_EQ(c.Width, expected[i].width);
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
