// Drop-down boxes of the main window. Widgets of the GUI thread; nothing here throws.
//
// LookupBox: a pick-only box over a two-column list (key, name). It shows the name of the
// chosen row, its value is the row's key, and its tip the chosen name whole (the box may
// cut it; so may the drop-down's name column, whose cells have the same tips). Its
// drop-down is a resizable table with column titles and grid lines; typing opens it at
// once and searches the names.
// TypeOpensComboBox: a pick-only list whose drop-down opens as soon as the user types.
#pragma once

#include <QComboBox>
#include <QSize>
#include <QString>
#include <utility>
#include <vector>

class QFrame;
class QStandardItemModel;
class QTableView;

namespace enviozvr::ui {

class LookupBox : public QComboBox {
    Q_OBJECT
  public:
    explicit LookupBox(QWidget* parent = nullptr);

    struct Row {
        QString key;
        QString name;
    };
    // Replaces the list; nothing is chosen afterwards.
    void setRows(const std::vector<Row>& rows);

    // The key of the chosen row; empty when nothing is chosen.
    QString keyValue() const;
    // Chooses the row whose key equals `key` (trailing blanks of either side ignored);
    // with no such row nothing is chosen. Emits textChanged when the shown text changes.
    void setKeyValue(const QString& key);
    // The same without textChanged: for callers that run the change themselves.
    void setKeyValueSilently(const QString& key);
    // Chooses a row by its position in the list, as a click in the drop-down does.
    void chooseRow(int row);

    // The drop-down table and its frame (created on first use).
    QTableView* dropDown();
    QFrame* dropDownFrame();
    bool dropDownVisible() const;

    void showPopup() override;
    void hidePopup() override;

    static constexpr int kDropDownWidth = 200;
    static constexpr int kDropDownRows = 7;

  signals:
    // The shown text changed (the user or setKeyValue chose a row with another name).
    void textChanged(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ensureDropDown();
    void syncText();
    void clampSection(int section, int newSize);

    QStandardItemModel* model_;
    QFrame* frame_ = nullptr;
    QTableView* table_ = nullptr;
    QSize userSize_;
    QString lastText_;
    bool filling_ = false;
    bool silent_ = false;
};

class TypeOpensComboBox : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace enviozvr::ui
