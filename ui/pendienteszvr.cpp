#include "ui/pendienteszvr.h"

namespace enviozvr::ui {

Tfpendienteszvr::Tfpendienteszvr(sender::MainData& data, QWidget* parent)
    : EventListViewer(grid::EventViewer::Pending, data, parent) {}

}  // namespace enviozvr::ui
