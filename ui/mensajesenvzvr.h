// Tfmensajesenvzvr, the error viewer, opened by "Mensajes error": the events whose last
// send attempt stored an error text. The shared event list design (ui/eventlistviewer.h)
// with this list's query, eleven columns (the error text last) and save file name.
#pragma once

#include "ui/eventlistviewer.h"

namespace enviozvr::ui {

class Tfmensajesenvzvr : public EventListViewer {
    Q_OBJECT
  public:
    explicit Tfmensajesenvzvr(sender::MainData& data, QWidget* parent = nullptr);
};

}  // namespace enviozvr::ui
