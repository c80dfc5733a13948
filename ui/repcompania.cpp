#include "ui/repcompania.h"

#include "core/unhandled.h"
#include "ui/gridwidget.h"

namespace enviozvr::ui {

Tfrepcompania::Tfrepcompania(data::Query& QRepcomp, QWidget* parent)
    : SettingsEditor("frepcompania", QStringLiteral("Configuración compañías"), parent),
      lists(QRepcomp),
      CRepcomp(lists.CRepcomp) {
    core::runGuarded([this] { lists.open(); });
    grid::setUpRepcompGrid(Grid1->dataGrid(), &CRepcomp);
    activaDelegate = new FlagCheckBoxDelegate(*Grid1, "RPCO_ACTIVA");
    Grid1->setItemDelegate(activaDelegate);
    showList();
}

Tfrepcompania::~Tfrepcompania() { Grid1->dataGrid().setDataSet(nullptr); }

void Tfrepcompania::closeLists() { lists.close(); }

std::vector<std::string> Tfrepcompania::describingFields() const {
    return {"RPCO_COD", "RPCP_NOMBRE"};
}

}  // namespace enviozvr::ui
