// The row indicator column of the grid widget: raised cells and a mark on the current
// row. GUI thread only.
#pragma once

#include <QHeaderView>

namespace enviozvr::ui {

// The row indicator column: raised cells, a marker on the current row: a triangle while
// browsing, an I-beam while the row is edited, an asterisk while it is inserted.
class GridIndicator : public QHeaderView {
    Q_OBJECT
  public:
    explicit GridIndicator(QWidget* parent = nullptr);
    static constexpr int kWidth = 12;
    enum class Mark { Browse, Edit, Insert };
    void setCurrentRow(int row);
    void setCurrentMark(Mark mark);
    int currentRow() const { return currentRow_; }
    Mark currentMark() const { return mark_; }
    QSize sizeHint() const override;

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

  private:
    int currentRow_ = -1;
    Mark mark_ = Mark::Browse;
};

}  // namespace enviozvr::ui
