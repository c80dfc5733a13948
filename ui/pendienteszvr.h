// Tfpendienteszvr, the pending viewer, opened by "Pendientes": the events that carry no
// error and are not sent yet, oldest first. The shared event list design
// (ui/eventlistviewer.h) with this list's query, ten columns and save file name.
#pragma once

#include "ui/eventlistviewer.h"

namespace enviozvr::ui {

class Tfpendienteszvr : public EventListViewer {
    Q_OBJECT
  public:
    explicit Tfpendienteszvr(sender::MainData& data, QWidget* parent = nullptr);
};

}  // namespace enviozvr::ui
