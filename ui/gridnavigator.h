// The navigator bar under a grid: first, prior, next, last and refresh, drawn flat; with
// the edit buttons shown, insert, delete, edit, post and cancel between last and refresh.
// The buttons move the grid's current record (as the keyboard does), run the grid's
// editing operations, and refresh re-reads the grid's data set; each click runs inside
// core::runGuarded. First and prior are disabled on the first record, next and last on
// the last one; post only while a row is inserted or edited (however the edit began: a
// key, a typed cell, a click); cancel then too, and on a row whose change is cached (it
// undoes that change). GUI thread only.
#pragma once

#include <QWidget>

class QToolButton;

namespace enviozvr::ui {

class GridWidget;

class GridNavigator : public QWidget {
    Q_OBJECT
  public:
    explicit GridNavigator(QWidget* parent = nullptr);

    // Attaches the navigator to a grid (which must outlive it).
    void setGrid(GridWidget* grid);
    GridWidget* grid() const { return grid_; }

    QToolButton* nbFirst;
    QToolButton* nbPrior;
    QToolButton* nbNext;
    QToolButton* nbLast;
    QToolButton* nbInsert;
    QToolButton* nbDelete;
    QToolButton* nbEdit;
    QToolButton* nbPost;
    QToolButton* nbCancel;
    QToolButton* nbRefresh;

    // Shows or hides insert, delete, edit, post and cancel (hidden at first).
    void setEditButtonsVisible(bool visible);

    // The narrowest a button gets; the buttons share a wider bar evenly.
    static constexpr int kButtonWidth = 25;

    // Sets the buttons' enabled states from the grid's current record.
    void updateButtons();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void layoutButtons();

    GridWidget* grid_ = nullptr;
    bool editButtons_ = false;
};

}  // namespace enviozvr::ui
