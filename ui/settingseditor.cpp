#include "ui/settingseditor.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "ui/gridnavigator.h"
#include "ui/gridwidget.h"
#include "ui/messageboxes.h"
#include "ui/pictures.h"
#include "ui/screenlook.h"

namespace enviozvr::ui {

// ---- SettingsEditor ------------------------------------------------------------------------

SettingsEditor::SettingsEditor(const char* objectName, const QString& caption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(caption);
    setModal(true);
    setFont(msSansSerif8());
    resize(clientSizeForOuter(QSize(592, 227)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Grid1 = new GridWidget(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    Grid1->setEditingEnabled(true);
    Grid1->GridOptions = gopDialogFind;  // Ctrl+F: "Find text"
    DBNavigator1 = new GridNavigator(this);
    DBNavigator1->setFixedHeight(kNavigatorHeight);
    DBNavigator1->setEditButtonsVisible(true);
    DBNavigator1->setGrid(Grid1);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(kBottomBarHeight);
    layout->addWidget(Grid1, 1);
    layout->addWidget(DBNavigator1);
    layout->addWidget(Panel1);

    SpeedButton1 = pictureButton(Panel1, QStringLiteral("SpeedButton1"), QStringLiteral("&Grabar"),
                                 pictures::save(), QSize(32, 32), ButtonLook::Flat);
    SpeedButton1->setGeometry(88, 1, 65, 55);
    SpeedButton2 =
        pictureButton(Panel1, QStringLiteral("SpeedButton2"), QStringLiteral("&Cancelar"),
                      pictures::cancel(), QSize(32, 32), ButtonLook::Flat);
    SpeedButton2->setGeometry(440, 1, 65, 55);
    // Tab leaves the grid past its last cell (Ctrl+Tab from anywhere in it) for the buttons.
    for (QToolButton* b : {SpeedButton1, SpeedButton2}) b->setFocusPolicy(Qt::TabFocus);
    setTabOrder(Grid1, SpeedButton1);
    setTabOrder(SpeedButton1, SpeedButton2);

    // A cell editor keeps Ctrl+Z for its own text.
    const auto gridAction = [this](const char* name, const QString& text, const QKeySequence& keys,
                                   void (GridWidget::*operation)()) {
        auto* action = new QAction(text, Grid1);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        Grid1->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, operation] { core::runGuarded([&] { (Grid1->*operation)(); }); });
        return action;
    };
    undoChange = gridAction("undoChange", QStringLiteral("Deshacer cambio"),
                            QKeySequence(Qt::CTRL | Qt::Key_Z), &GridWidget::cancelRecord);
    restoreDeleted = gridAction("restoreDeleted", QStringLiteral("Recuperar fila borrada"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                &GridWidget::restoreDeletedRecord);
    Grid1->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto updateUndo = [this] {
        undoChange->setEnabled(Grid1->canCancelRecord());
        restoreDeleted->setEnabled(Grid1->canRestoreDeletedRecord());
    };
    connect(Grid1, &GridWidget::recordStateChanged, this, updateUndo);
    connect(Grid1, &GridWidget::currentRecordChanged, this, updateUndo);
    connect(Grid1, &GridWidget::reloaded, this, updateUndo);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { core::runGuarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this,
            [this] { core::runGuarded([this] { SpeedButton2Click(); }); });
}

SettingsEditor::~SettingsEditor() = default;

void SettingsEditor::showList() {
    Grid1->reload();
    Grid1->setFocus();
}

void SettingsEditor::SpeedButton1Click() {
    Grid1->closeCellEditor(true);
    std::vector<grid::RefusedChange> refused;
    try {
        refused = grid::saveSettings(editedList());
    } catch (...) {
        Grid1->reload();
        throw;
    }
    Grid1->reload();
    if (refused.empty()) {
        accept();
        return;
    }
    showMessageBox(data::qstringFromWindows1252(
        refusedChangesText(editedList(), refused, describingFields())));
}

void SettingsEditor::SpeedButton2Click() {
    Grid1->closeCellEditor(false);
    grid::discardSettings(editedList());
    Grid1->reload();
    reject();
}

void SettingsEditor::done(int result) {
    if (!listsClosed_) {
        listsClosed_ = true;
        // The grid lets go of the rows before they are dropped.
        Grid1->closeCellEditor(false);
        closeLists();
        Grid1->reload();
    }
    QDialog::done(result);
}

void SettingsEditor::keyPressEvent(QKeyEvent* event) {
    // Esc that the grid left alone (it cancels the row being changed itself) leaves the
    // screen as "Cancelar" does, after a question when cached changes would be lost.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        if (event->modifiers() == Qt::NoModifier) core::runGuarded([this] { escapePressed(); });
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsEditor::escapePressed() {
    const data::CachedResultSet& list = editedList();
    const bool pending = list.active() && (list.changeCount() > 0 || list.modified() ||
                                           list.state() != data::DataSetState::Browse);
    if (pending) {
        QMessageBox box(QMessageBox::Question, windowTitle(), discardQuestionText(),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        box.exec();
        if (box.clickedButton() != box.button(QMessageBox::Yes)) return;
    }
    SpeedButton2Click();
}

QString SettingsEditor::discardQuestionText() {
    return QStringLiteral("Hay cambios sin grabar.\n¿Desea descartarlos y cerrar?");
}

std::string SettingsEditor::refusedChangesText(const data::CachedResultSet& list,
                                               const std::vector<grid::RefusedChange>& refused,
                                               const std::vector<std::string>& fields) {
    std::string text = "La base de datos rechaz\xF3 ";
    text += refused.size() == 1 ? "este cambio" : "estos cambios";
    text += "; no se grab\xF3 ning\xFAn cambio:\r\n";
    for (const grid::RefusedChange& r : refused) {
        text += "\r\n";
        switch (r.kind) {
            case data::ukInsert:
                text += "Nuevo";
                break;
            case data::ukModify:
                text += "Modificado";
                break;
            case data::ukDelete:
                text += "Borrado";
                break;
        }
        std::string described;
        for (const std::string& name : fields) {
            const int f = list.fieldIndex(name);
            if (f < 0 || f >= static_cast<int>(r.values.size())) continue;
            if (!described.empty()) described += ", ";
            described += list.field(f).label() + " " + r.values[f].toText();
        }
        if (!described.empty()) text += " (" + described + ")";
        text += ":\r\n" + r.error + "\r\n";
    }
    text +=
        "\r\nLos cambios siguen pendientes: corr\xEDjalos o desh\xE1galos (Ctrl+Z: "
        "\"Deshacer cambio\" de la fila; Ctrl+May\xFAs+Z: \"Recuperar fila borrada\") y "
        "grabe de nuevo, o cancele.";
    return text;
}

// ---- FieldDelegate -------------------------------------------------------------------------

FieldDelegate::FieldDelegate(GridWidget& grid, std::string fieldName)
    : QStyledItemDelegate(&grid),
      grid_(grid),
      fieldName_(std::move(fieldName)),
      base_(grid.itemDelegate()) {
    connect(base_, &QAbstractItemDelegate::commitData, this, &QAbstractItemDelegate::commitData);
    connect(base_, &QAbstractItemDelegate::closeEditor, this, &QAbstractItemDelegate::closeEditor);
    connect(base_, &QAbstractItemDelegate::sizeHintChanged, this,
            &QAbstractItemDelegate::sizeHintChanged);
}

bool FieldDelegate::handles(const QModelIndex& index) const {
    const grid::DataGrid& g = grid_.dataGrid();
    if (!index.isValid() || index.column() >= g.columnCount()) return false;
    const std::string& name = g.column(index.column()).FieldName();
    return name.size() == fieldName_.size() &&
           std::equal(name.begin(), name.end(), fieldName_.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

void FieldDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    if (handles(index))
        paintField(painter, option, index);
    else
        base_->paint(painter, option, index);
}

QSize FieldDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return base_->sizeHint(option, index);
}

QWidget* FieldDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    return handles(index) ? createFieldEditor(parent, option, index)
                          : base_->createEditor(parent, option, index);
}

void FieldDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (handles(index))
        setFieldEditorData(editor, index);
    else
        base_->setEditorData(editor, index);
}

void FieldDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
    if (handles(index))
        setFieldModelData(editor, model, index);
    else
        base_->setModelData(editor, model, index);
}

bool FieldDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (handles(index)) return fieldEditorEvent(event, option, index);
    return base_->editorEvent(event, model, option, index);
}

void FieldDelegate::paintField(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    base_->paint(painter, option, index);
}

QWidget* FieldDelegate::createFieldEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    return base_->createEditor(parent, option, index);
}

void FieldDelegate::setFieldEditorData(QWidget* editor, const QModelIndex& index) const {
    base_->setEditorData(editor, index);
}

void FieldDelegate::setFieldModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    base_->setModelData(editor, model, index);
}

bool FieldDelegate::fieldEditorEvent(QEvent*, const QStyleOptionViewItem&, const QModelIndex&) {
    return false;
}

// ---- FlagCheckBoxDelegate ------------------------------------------------------------------

FlagCheckBoxDelegate::FlagCheckBoxDelegate(GridWidget& grid, std::string fieldName)
    : FieldDelegate(grid, std::move(fieldName)) {}

QRect FlagCheckBoxDelegate::boxRect(const QRect& cell) {
    const int side = std::max(1, std::min({13, cell.width() - 2, cell.height() - 2}));
    return QRect(cell.center().x() - side / 2, cell.center().y() - side / 2, side, side);
}

void FlagCheckBoxDelegate::paintField(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
    const grid::DataGrid& g = grid_.dataGrid();
    const data::Value value = g.fieldValueAt(g.column(index.column()).Field(), index.row());
    const bool focused = grid_.hasFocus() && index == grid_.currentIndex();
    painter->fillRect(option.rect, focused ? option.palette.color(QPalette::Highlight)
                                           : option.palette.color(QPalette::Base));
    QStyleOptionButton box;
    box.rect = boxRect(option.rect);
    box.palette = option.palette;
    box.state = QStyle::State_Enabled | QStyle::State_Active;
    switch (grid::flagCheckState(value)) {
        case grid::FlagCheckState::Checked:
            box.state |= QStyle::State_On;
            break;
        case grid::FlagCheckState::Unchecked:
            box.state |= QStyle::State_Off;
            break;
        case grid::FlagCheckState::Grayed:
            box.state |= QStyle::State_NoChange;
            break;
    }
    QStyle* style = grid_.style();
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, &grid_);
}

QWidget* FlagCheckBoxDelegate::createFieldEditor(QWidget*, const QStyleOptionViewItem&,
                                                 const QModelIndex&) const {
    return nullptr;
}

bool FlagCheckBoxDelegate::fieldEditorEvent(QEvent* event, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) {
    switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton ||
                !boxRect(option.rect).contains(mouse->position().toPoint()))
                return false;
            toggle(index.row(), index.column());
            return true;
        }
        case QEvent::MouseButtonDblClick:
            return true;  // no text editor here
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
            toggle(index.row(), index.column());
            return true;
        }
        default:
            return false;
    }
}

void FlagCheckBoxDelegate::toggle(int row, int column) {
    core::runGuarded([&] {
        grid_.moveToCell(row, column);
        data::CachedResultSet* set = grid_.dataGrid().dataSet();
        if (!set || !set->active()) return;
        grid::clickFlag(*set, fieldName_);
        grid_.gridModel()->textsChanged();
        emit grid_.recordStateChanged();
    });
}

}  // namespace enviozvr::ui
