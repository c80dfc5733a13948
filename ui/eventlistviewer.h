// The design shared by the two event list viewers, Tfmensajesenvzvr (events whose last
// send stored an error) and Tfpendienteszvr (events not sent yet): the "Activar filtros"
// bar, the grid Grid1 over the cached list CErroresenv with the looked-up "Tipo doc", the
// navigator bar, "Cerrar", the context menu (copy, select all, save the selection) and
// the save dialog SaveDialog1, which keeps its filter index for the life of the screen.
//
// The list is read (closed, given the screen's query, opened) when the screen is first
// shown and each time it becomes the active window again after another window of the
// program closed over it, and by the navigator's refresh. After a read the grid stands
// on the event (by RPEV_ID) it stood on before, when that event is still listed, else on
// the first row; the sort and the filter texts stay. Under the grid the screen tells how
// many rows it shows and whether a filter is applied. A read that fails (a lost link)
// keeps the rows of the last good read on view, says under the grid that the list could
// not be read, and leaves refresh usable: the next read connects again. A save onto an existing
// file asks first ("No" goes back to the dialog). After a save the same line names the
// file written and its rows, and the selection stays.
//
// "Hora" is as wide as the workstation's long time needs ("3:03:39 p. m."); in the error
// list the last column, the error text, takes the width the others leave.
//
// Esc never closes the screen (it ends an incremental search or acts in the grid, and a
// stray Esc would lose the sort, the filters and the position): it closes through
// "Cerrar" and the window frame. A message shown by a failed read does not start another read
// when it closes, so a list that cannot be read costs one message, not an endless row of
// them.
//
// GUI thread only. The screen reads through the main data's QErroresenv and TTipodoc,
// which must outlive it. Every handler the event loop calls runs inside core::runGuarded;
// the handler methods themselves throw and are public for tests.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "data/dataset.h"
#include "grid/eventviewers.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QLabel;
class QMenu;
class QToolButton;

namespace enviozvr::sender {
class MainData;
}

namespace enviozvr::ui {

class GridNavigator;
class GridSortFilter;
class GridWidget;

// The name the save flow writes to: `name` with "." and the extension appended unless it
// already ends in "." and the extension (compared in any case).
QString withExtension(const QString& name, const QString& extension);

class EventListViewer : public QDialog {
    Q_OBJECT
  public:
    EventListViewer(grid::EventViewer viewer, sender::MainData& data, QWidget* parent = nullptr);
    ~EventListViewer() override;

    grid::EventViewer viewer() const { return viewer_; }

    // ---- Controls, named as on the screen ---------------------------------------
    QWidget* PanelFiltro;  // the bar holding ckfiltro
    QCheckBox* ckfiltro;
    GridWidget* Grid1;
    // Title sorting and the filter row of Grid1; applying the filters reads the list as
    // an activation does.
    GridSortFilter* sortFilter;
    GridNavigator* DBNavigator1;
    QWidget* PanelBotones;  // the bottom bar
    // At the left of the bottom bar: how many rows the grid shows, and whether a filter
    // holds some back (also while the filter row is hidden).
    QLabel* lbFilas;
    QToolButton* PngSpeedButton1;
    QMenu* PopupMenu1;
    QAction* ppmCopy;
    QAction* ppmSelectAll;
    QAction* N1;
    QAction* ppmSaveSelection;
    QFileDialog* SaveDialog1;

    // ---- Data objects -------------------------------------------------------------
    data::Provider PErroresenv;
    data::CachedResultSet CErroresenv;
    data::Provider PTipodoc;
    data::CachedResultSet CTipodoc;

    // ---- Handlers (throwing; the event loop reaches them guarded) -----------------
    // Reads the list afresh with the screen's query (and the document types the first
    // time); the grid shows whatever the list then holds, also after a failure.
    void FormActivate();
    void ckfiltroClick();
    void ppmCopyClick();
    void ppmSelectAllClick();
    void ppmSaveSelectionClick();
    void PngSpeedButton1Click();

    // How many activations have read the list (first show included), failed ones too.
    int listReads() const { return listReads_; }
    // The save dialog's filter index (1-based), as the save flow reads it.
    int saveFilterIndex() const;
    // The text of lbFilas for `rows` rows shown, with or without a filter applied.
    static QString rowCountText(int rows, bool filtered);
    // The text of lbFilas after a failed read, `rows` rows of the last good read shown.
    static QString unreadListText(int rows);
    // The text of lbFilas after the selection was saved to `fileName`.
    static QString savedFileText(const QString& fileName, int64_t rows);
    // The question asked before the selection is saved over an existing file.
    static QString replaceQuestionText(const QString& fileName);
    // True while the rows on view are those of an earlier read (the last read failed).
    bool listUnread() const { return listUnread_; }

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildControls();
    void activate();
    // Puts the list on the event with this RPEV_ID, or on its first row when the event is
    // not listed (or there is none).
    void returnToEvent(std::optional<int64_t> id);
    void showRowCount();
    // Asks whether `fileName`, which exists, is to be replaced; true for "Yes".
    bool confirmReplace(const QString& fileName);
    // Widens "Hora" to the longest time the workstation's long time format writes.
    void fitTimeColumn();

    grid::EventViewer viewer_;
    bool shownOnce_ = false;
    bool covered_ = false;
    bool activating_ = false;
    bool listUnread_ = false;
    bool ownDialog_ = false;  // the save dialog is up: it does not cover the screen
    int listReads_ = 0;
};

}  // namespace enviozvr::ui
