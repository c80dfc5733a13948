// The navigator bar under a grid: first, prior, next, last and refresh, drawn flat. The
// buttons move the grid's current record (as the keyboard does) and refresh re-reads the
// grid's data set; each click runs inside app::runGuarded. First and prior are disabled
// on the first record, next and last on the last one. GUI thread only.
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
    QToolButton* nbRefresh;

    static constexpr int kButtonWidth = 25;

    // Sets the buttons' enabled states from the grid's current record.
    void updateButtons();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    GridWidget* grid_ = nullptr;
};

}  // namespace enviozvr::ui
