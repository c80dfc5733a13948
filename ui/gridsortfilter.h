// Title sorting and the filter row of a viewer's grid widget.
//
// GridSortFilter attaches to a GridWidget (which must outlive it) and keeps the grid's
// sort markers and filter texts (grid::GridSortState, grid::GridFilterState):
// - a title click moves the clicked column's marker; without Ctrl the sort is applied at
//   once, with Ctrl it is applied once, when Ctrl is released or the grid loses the focus;
//   the markers are drawn in the titles;
// - while the widget's filter row is visible, a band under the titles holds one filter
//   cell per column (in a row widget of the grid's parent laid over the band, so that a
//   screen reader finds each cell, named "Filtro" and its column's title, as a text of
//   its own): clicking one edits its text, with a drop-down button; leaving the
//   cell stores and parses the text, Enter stores, parses and applies the filters;
// - the drop-down offers the sort and filter items of grid::filterDropDownItems(), among
//   them "(Custom...)", which opens CustomFilterDialog.
// Applying the filters re-reads the list through `reread` (by default: close and open the
// data set) with the conditions as the data set's row filter, then reloads the widget.
// Every action runs inside core::runGuarded: a rejected filter text is reported there,
// its cell shows the previously stored text again (whose condition stays in force) and
// nothing is re-read. GUI thread only.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <functional>
#include <vector>

#include "grid/gridfilter.h"
#include "grid/gridsort.h"

class QButtonGroup;
class QComboBox;
class QMenu;
class QRadioButton;

namespace enviozvr::ui {

class GridWidget;

// The editor of one filter cell: the stored text, and a drop-down button while focused.
class FilterCell : public QLineEdit {
    Q_OBJECT
  public:
    FilterCell(int column, QWidget* parent);
    int column() const { return column_; }
    QAction* dropDownAction() const { return dropDown_; }

  signals:
    void left(int column);
    void entered(int column);
    void dropDownRequested(int column);

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int column_;
    QAction* dropDown_;
};

class GridSortFilter : public QObject {
    Q_OBJECT
  public:
    explicit GridSortFilter(GridWidget& widget);
    ~GridSortFilter() override;

    grid::GridSortState& sortState() { return sort_; }
    grid::GridFilterState& filterState() { return filters_; }

    // Re-reads the list for the filters (the viewer's close, query text and open).
    std::function<void()> reread;

    // Apply sorting and apply filter, each inside the guard.
    void applySort();
    void applyFilters();
    // True while Ctrl-clicked markers wait to be applied.
    bool sortPending() const { return sortPending_; }

    // The filter cell of a grid column (null when the filter row was never shown).
    FilterCell* cell(int column) const;
    // Runs one drop-down item on a column, as choosing it in the list does.
    void runDropDownItem(int column, grid::FilterDropDownItem item);
    // The list of a column's drop-down (built when it is shown; for tests).
    QMenu* dropDownMenu(int column);

    // The dialog of "(Custom...)" for a column; Accepted stores its text in the column.
    std::function<int(QDialog& dialog)> execDialog = [](QDialog& d) { return d.exec(); };

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void titleClicked(int column, Qt::KeyboardModifiers modifiers);
    void updateMarkers();
    void showFilterRow(bool visible);
    void layoutCells();
    void ensureCells();
    void refreshCellTexts();
    // Stores a cell's text when it differs from the stored one (or always); throws on a
    // bad text after showing the stored text again.
    void storeCell(int column, bool always = false);
    void storeText(int column, const std::string& text);
    void storeOpenEditor();
    void cellLeft(int column);
    void cellEntered(int column);
    void showDropDown(int column);
    void openCustomFilter(int column);
    std::string fieldOf(int column) const;

    GridWidget& widget_;
    grid::GridSortState sort_;
    grid::GridFilterState filters_;
    bool sortPending_ = false;
    bool storing_ = false;
    std::vector<QPointer<FilterCell>> cells_;
    QPointer<QWidget> row_;  // the cells' parent
};

// "Custom filter": two operator lists with value boxes, And/Or between them.
class CustomFilterDialog : public QDialog {
    Q_OBJECT
  public:
    CustomFilterDialog(grid::FilterOperandType type, const grid::CustomFilterRows& rows,
                       QWidget* parent = nullptr);

    grid::CustomFilterRow firstRow() const;
    grid::CustomFilterRow secondRow() const;
    bool orRelation() const;
    // The filter text the dialog builds.
    std::string filterText() const;

    QComboBox* operatorBox(int row) const { return row == 0 ? op1_ : op2_; }
    QLineEdit* valueBox(int row) const { return row == 0 ? value1_ : value2_; }
    QRadioButton* andButton() const { return and_; }
    QRadioButton* orButton() const { return or_; }

  private:
    grid::FilterOperandType type_;
    std::vector<grid::CustomFilterEntry> entries_;
    QComboBox* op1_;
    QComboBox* op2_;
    QLineEdit* value1_;
    QLineEdit* value2_;
    QRadioButton* and_;
    QRadioButton* or_;
};

}  // namespace enviozvr::ui
