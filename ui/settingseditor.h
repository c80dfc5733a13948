// The window both settings editors are built on (Tfrepcompania, Tfrepdocs): the grid Grid1
// filling the window with editing on, the navigator DBNavigator1 (18 pixels, ten buttons)
// under it, and the bottom bar (57 pixels) with the flat buttons "Grabar" (SpeedButton1)
// and "Cancelar" (SpeedButton2). The grid's find dialog opens with Ctrl+F; titles do not
// sort and there is no filter row.
//
// "Grabar" (Alt+G) and "Cancelar" (Alt+C) are reached by Tab too. "Deshacer cambio"
// (Ctrl+Z, the grid's context menu, the navigator's cancel) undoes the current row's
// cached change and "Recuperar fila borrada" (Ctrl+Shift+Z) brings back the row deleted
// last, so that one refused change need not cost all the others.
//
// "Grabar" applies the edited list with a tolerance of 0 errors and closes when everything
// was written; rows the database refused are listed with the server's text and the screen
// stays open with every change still cached. "Cancelar" discards every change and closes;
// closing in any way closes the lists, dropping what was not applied. Esc (when the grid
// has no row change of its own to cancel) closes as "Cancelar" does, asking first when
// changes are cached.
//
// GUI thread only. Handlers run from the event loop inside core::runGuarded; the handler
// methods themselves throw and are public for tests.
#pragma once

#include <QDialog>
#include <QStyledItemDelegate>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "grid/settingseditors.h"

class QAction;
class QToolButton;

namespace enviozvr::ui {

class GridNavigator;
class GridWidget;

class SettingsEditor : public QDialog {
    Q_OBJECT
  public:
    ~SettingsEditor() override;

    GridWidget* Grid1;
    GridNavigator* DBNavigator1;
    QWidget* Panel1;  // bottom bar
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QAction* undoChange;      // "Deshacer cambio"
    QAction* restoreDeleted;  // "Recuperar fila borrada"

    // "Grabar": writes an open cell editor's text, posts a changed row still in edit and
    // applies every cached change. Closes the screen when the database took them all;
    // otherwise shows which rows it refused and why, and stays open. An error while
    // applying is thrown with every change still cached.
    void SpeedButton1Click();
    // "Cancelar": abandons the row being edited, discards every cached change, closes.
    void SpeedButton2Click();
    // Esc: "Cancelar", after the question of discardQuestionText when changes are cached
    // ("No" keeps the screen and the changes).
    void escapePressed();
    static QString discardQuestionText();

    // The edited list (CRepcomp, CRepConf).
    virtual data::CachedResultSet& editedList() = 0;

    // The message for refused changes (Windows-1252): what was refused, each row described
    // by the values of `fields` (with their display labels) and the server's text.
    static std::string refusedChangesText(const data::CachedResultSet& list,
                                          const std::vector<grid::RefusedChange>& refused,
                                          const std::vector<std::string>& fields);

    static constexpr int kNavigatorHeight = 18;
    static constexpr int kBottomBarHeight = 57;

  protected:
    SettingsEditor(const char* objectName, const QString& caption, QWidget* parent);
    // Called once the subclass has opened its lists and set up Grid1's columns.
    void showList();
    // Closes the screen's lists (on closing, in whatever way).
    virtual void closeLists() = 0;
    // The fields that describe a row in the message of refused changes.
    virtual std::vector<std::string> describingFields() const = 0;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool listsClosed_ = false;
};

// A delegate for the column of one field, installed over the grid's own delegate, which
// it leaves every other column to (the grid's columns can be moved, so a delegate cannot
// be tied to a column position).
class FieldDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    FieldDelegate(GridWidget& grid, std::string fieldName);
    // Whether the cell belongs to this delegate's field.
    bool handles(const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    // The same for this delegate's own cells.
    virtual void paintField(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const;
    virtual QWidget* createFieldEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const;
    virtual void setFieldEditorData(QWidget* editor, const QModelIndex& index) const;
    virtual void setFieldModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const;
    virtual bool fieldEditorEvent(QEvent* event, const QStyleOptionViewItem& option,
                                  const QModelIndex& index);

    GridWidget& grid_;
    std::string fieldName_;
    QAbstractItemDelegate* base_;
};

// Draws a one-character flag column as a check box (checked 'S', unchecked 'N', greyed
// otherwise); a click on the box or the space bar in the cell stores the value of
// grid::flagAfterClick. There is no text editor in the cell.
class FlagCheckBoxDelegate : public FieldDelegate {
    Q_OBJECT
  public:
    FlagCheckBoxDelegate(GridWidget& grid, std::string fieldName);
    // The click on the cell of `row`: the grid moves there, then the flag changes.
    void toggle(int row, int column);
    // The check box's square inside a cell.
    static QRect boxRect(const QRect& cell);

  protected:
    void paintField(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index) const override;
    QWidget* createFieldEditor(QWidget* parent, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const override;
    bool fieldEditorEvent(QEvent* event, const QStyleOptionViewItem& option,
                          const QModelIndex& index) override;
};

}  // namespace enviozvr::ui
