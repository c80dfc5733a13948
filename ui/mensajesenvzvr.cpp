#include "ui/mensajesenvzvr.h"

namespace enviozvr::ui {

Tfmensajesenvzvr::Tfmensajesenvzvr(sender::MainData& data, QWidget* parent)
    : EventListViewer(grid::EventViewer::Errors, data, parent) {}

}  // namespace enviozvr::ui
