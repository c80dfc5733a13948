// TGridFindDlg (form GridFindDlg), the "Find text" dialog of the grids: the text to find
// with its history, the column or "<All>", the matching, the direction and two options;
// "&Find next" runs the grid's locate routine.
//
// One instance for the whole program, created the first time ShowFindDialog needs it and
// kept (owned by the application, deleted when it ends), so the choices and the history
// last for the run. GUI thread only. The search runs guarded: a data-layer error goes to
// the unhandled-error handler and the dialog stays open.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace enviozvr::grid {
class DataGrid;
}

namespace enviozvr::ui {

// What the find dialog needs of the grid it searches. The grid widget implements it; a
// grid that goes away while the dialog may still hold it calls forgetFindTarget.
class GridFindTarget {
  public:
    virtual ~GridFindTarget() = default;
    // The grid model: its visible columns with their titles, focused column and data set.
    virtual const grid::DataGrid& findGrid() const = 0;
    // Runs LocateCellText on the grid and shows the outcome (current record, focused
    // column); true when found.
    virtual bool locateText(const std::string& fieldName, int treeRange, int matching,
                            int direction, unsigned options, const std::string& text) = 0;
    // Tree-shaped data sets only; none in this program.
    virtual bool treeShaped() const { return false; }
};

class TGridFindDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TGridFindDlg(QWidget* parent = nullptr);
    ~TGridFindDlg() override;

    QLabel* Label1;
    QComboBox* cbText;  // editable; its list is the history of searched texts
    QLabel* Label2;
    QComboBox* cbFindIn;  // visible columns' titles, then "<All>"
    QLabel* cbMatchType;
    QComboBox* cbMatchinType;
    QLabel* Label3;
    QComboBox* cbFindDirection;
    QCheckBox* cbCharCase;
    QCheckBox* cbUseFormat;
    QLabel* Label4;
    QComboBox* dbcTreeFindRange;
    QPushButton* bFind;
    QPushButton* bCancel;

    // Opening: fills the dialog for `target` and shows it, modal (returns when it closes)
    // or staying on top.
    void showFor(GridFindTarget& target, const QString& initialText, bool modal);
    // "&Find next" (also Enter): Ctrl held down reverses the direction.
    void bFindClick();

    GridFindTarget* target() const { return target_; }
    void forgetTarget(GridFindTarget* target);
    bool firstTry() const { return firstTry_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void findNext(bool reversed);

    GridFindTarget* target_ = nullptr;
    bool firstTry_ = true;
};

// The program's find dialog: null until first needed.
TGridFindDlg* GridFindDlg();

// Creates the dialog when needed, fills it for the grid and shows it (the grids always ask
// for modal with an empty initial text).
void ShowFindDialog(GridFindTarget& target, const QString& initialText, bool modal);

// A grid that goes away: the dialog forgets it when it holds it.
void forgetFindTarget(GridFindTarget* target);

}  // namespace enviozvr::ui
