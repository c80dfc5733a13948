// The cells of the grid widget: the grid model's selection and the focused cell drawn
// highlighted, what others paint over a cell, the cell editors, and a tip with the whole
// text of a cell too narrow for it. GUI thread only.
#pragma once

#include <QStyledItemDelegate>
#include <functional>

#include "grid/grid.h"

class QAbstractItemView;
class QLineEdit;

namespace enviozvr::ui {

class GridDelegate : public QStyledItemDelegate {
  public:
    GridDelegate(QAbstractItemView& view, const grid::DataGrid& grid);

    // Runs after a cell is drawn, over it.
    std::function<void(QPainter& painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index)>
        paintOver;
    // Sets up the text editor of a cell of a grid column.
    std::function<void(QLineEdit& editor, int column)> prepareEditor;

    // Whether the cell shows only part of its text (the rest cut at its edge).
    bool textCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The tip of a cut cell: its whole text, wrapped.
    static QString cutTextTip(const QString& text);

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

  private:
    QAbstractItemView& view_;
    const grid::DataGrid& grid_;
};

}  // namespace enviozvr::ui
