// Tfrepcompania, "Configuración compañías": edits REPLICA_COMPANIA of the company
// database (destination companies, their servers and whether each is active) through its
// list CRepcomp over the main window's QRepcomp. Opened modally by the main window's
// "Compañías". GUI thread only.
#pragma once

#include "grid/settingseditors.h"
#include "ui/settingseditor.h"

namespace enviozvr::ui {

class Tfrepcompania : public SettingsEditor {
    Q_OBJECT
  public:
    // Reads the list at once; a failure to read it is reported through the unhandled-error
    // handler and the screen opens with an empty grid.
    explicit Tfrepcompania(data::Query& QRepcomp, QWidget* parent = nullptr);
    ~Tfrepcompania() override;

    grid::RepcompaniaLists lists;
    data::CachedResultSet& CRepcomp;
    FlagCheckBoxDelegate* activaDelegate;

    data::CachedResultSet& editedList() override { return CRepcomp; }

  protected:
    void closeLists() override;
    std::vector<std::string> describingFields() const override;
};

}  // namespace enviozvr::ui
