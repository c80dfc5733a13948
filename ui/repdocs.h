// Tfrepdocs, "Configuración documentos": edits REPLICACION_CONFIGURA of the company
// database (per document type and prefix, whether it is replicated and for which
// company) through its list CRepConf over the main window's QRepdocs, with "Tipo
// documento" chosen from the document types CTipodoc read once when the screen opens.
// Opened modally by the main window's "Conf. Documentos". "Tipo documento" is chosen
// with the mouse (the editor's arrow) or the keyboard (Alt+Down, F4, typing), on a new
// row too. GUI thread only.
#pragma once

#include <QStyledItemDelegate>

class QKeyEvent;

#include "grid/settingseditors.h"
#include "ui/settingseditor.h"

namespace enviozvr::ui {

// The drop-down of "Tipo documento": the document types' short names in the order read;
// choosing one writes the name, which the screen's cell writer turns into REPC_TIPO.
class DocumentTypeDelegate : public FieldDelegate {
    Q_OBJECT
  public:
    DocumentTypeDelegate(GridWidget& grid, std::vector<grid::DocumentType> types);

  protected:
    QWidget* createFieldEditor(QWidget* parent, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const override;
    void setFieldEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setFieldModelData(QWidget* editor, QAbstractItemModel* model,
                           const QModelIndex& index) const override;

  private:
    std::vector<grid::DocumentType> types_;
};

class Tfrepdocs : public SettingsEditor {
    Q_OBJECT
  public:
    // Reads CTipodoc, then CRepConf; a failure is reported through the unhandled-error
    // handler and the screen opens with what could be read.
    Tfrepdocs(data::Query& QRepdocs, data::Query& TTipodoc, QWidget* parent = nullptr);
    ~Tfrepdocs() override;

    grid::RepdocsLists lists;
    data::CachedResultSet& CTipodoc;
    data::CachedResultSet& CRepConf;
    DocumentTypeDelegate* tipoDelegate;

    data::CachedResultSet& editedList() override { return CRepConf; }

  protected:
    void closeLists() override;
    std::vector<std::string> describingFields() const override;

  private:
    // A key on a "Tipo documento" cell without its editor: Alt+Down, Alt+Up and F4 open
    // the editor with its list down; a typed character opens it and chooses the first
    // type whose name starts so. True when the key was taken.
    bool documentTypeKey(QKeyEvent& event);
};

}  // namespace enviozvr::ui
