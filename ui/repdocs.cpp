#include "ui/repdocs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>

#include "core/unhandled.h"
#include "data/codepage.h"
#include "ui/gridwidget.h"

namespace enviozvr::ui {

// ---- DocumentTypeDelegate ------------------------------------------------------------------

DocumentTypeDelegate::DocumentTypeDelegate(GridWidget& grid, std::vector<grid::DocumentType> types)
    : FieldDelegate(grid, "NomTipo"), types_(std::move(types)) {}

QWidget* DocumentTypeDelegate::createFieldEditor(QWidget* parent, const QStyleOptionViewItem&,
                                                 const QModelIndex&) const {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("NomTipoEditor"));
    for (const grid::DocumentType& type : types_)
        combo->addItem(data::qstringFromWindows1252(type.shortName));
    // A choice is written at once, as the drop-down closes.
    auto* self = const_cast<DocumentTypeDelegate*>(this);
    connect(combo, &QComboBox::activated, self, [self, combo] {
        combo->removeEventFilter(self);  // no second commit when the closed editor loses focus
        emit self->commitData(combo);
        emit self->closeEditor(combo, QAbstractItemDelegate::NoHint);
    });
    return combo;
}

void DocumentTypeDelegate::setFieldEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    combo->setCurrentIndex(combo->findText(index.data(Qt::EditRole).toString()));
}

void DocumentTypeDelegate::setFieldModelData(QWidget* editor, QAbstractItemModel* model,
                                             const QModelIndex& index) const {
    auto* combo = static_cast<QComboBox*>(editor);
    if (combo->currentIndex() < 0) return;
    model->setData(index, combo->currentText(), Qt::EditRole);
}

// ---- Tfrepdocs -----------------------------------------------------------------------------

Tfrepdocs::Tfrepdocs(data::Query& QRepdocs, data::Query& TTipodoc, QWidget* parent)
    : SettingsEditor("frepdocs", QStringLiteral("Configuración documentos"), parent),
      lists(QRepdocs, TTipodoc),
      CTipodoc(lists.CTipodoc),
      CRepConf(lists.CRepConf) {
    core::runGuarded([this] { lists.open(); });
    grid::setUpRepdocsGrid(Grid1->dataGrid(), &CRepConf, &CTipodoc);
    tipoDelegate = new DocumentTypeDelegate(*Grid1, grid::documentTypes(CTipodoc));
    Grid1->setItemDelegate(tipoDelegate);

    // "Tipo documento" takes a short name and stores the code of the first type with it.
    Grid1->gridModel()->writeCell = [this](grid::DataGrid& g, int row, grid::TGridColumn& column,
                                           const QString& text) {
        if (!column.Field().isLookup()) {
            GridModel::writeCellText(g, row, column, text);
            return;
        }
        const std::string name = data::windows1252FromQString(text);
        for (const grid::DocumentType& type : grid::documentTypes(CTipodoc)) {
            if (type.shortName != name) continue;
            if (CRepConf.recNo() != row) CRepConf.moveTo(row);
            grid::chooseDocumentType(CRepConf, type.code);
            return;
        }
    };
    Grid1->addKeyHook([this](QKeyEvent& event) { return documentTypeKey(event); });
    showList();
}

bool Tfrepdocs::documentTypeKey(QKeyEvent& event) {
    const QModelIndex index = Grid1->currentIndex();
    if (!Grid1->editingEnabled() || !index.isValid() || !tipoDelegate->handles(index) ||
        Grid1->indexWidget(index))
        return false;
    const Qt::KeyboardModifiers mods =
        event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool opens =
        (event.key() == Qt::Key_F4 && mods == Qt::NoModifier) ||
        ((event.key() == Qt::Key_Down || event.key() == Qt::Key_Up) && mods == Qt::AltModifier);
    const bool typed = !opens && !(mods & (Qt::ControlModifier | Qt::AltModifier)) &&
                       !event.text().isEmpty() && event.text().at(0).isPrint() &&
                       !event.text().at(0).isSpace();
    if (!opens && !typed) return false;
    static_cast<QAbstractItemView*>(Grid1)->edit(index);
    auto* combo = qobject_cast<QComboBox*>(Grid1->indexWidget(index));
    if (!combo) return true;
    if (opens) {
        combo->showPopup();
    } else {
        // The box searches its names and chooses, which writes the choice at once.
        QKeyEvent key(QEvent::KeyPress, event.key(), event.modifiers(), event.text());
        QCoreApplication::sendEvent(combo, &key);
    }
    return true;
}

Tfrepdocs::~Tfrepdocs() { Grid1->dataGrid().setDataSet(nullptr); }

void Tfrepdocs::closeLists() { lists.close(); }

std::vector<std::string> Tfrepdocs::describingFields() const {
    return {"REPC_TIPO", "REPC_PREF", "REPC_COMPANIA"};
}

}  // namespace enviozvr::ui
