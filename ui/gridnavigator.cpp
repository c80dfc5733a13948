#include "ui/gridnavigator.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "core/unhandled.h"
#include "ui/gridwidget.h"

namespace enviozvr::ui {

namespace {

enum class Glyph { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

// The button pictures, drawn in code: bars and triangles, and a circular arrow.
QIcon glyph(Glyph kind) {
    QIcon icon;
    for (const bool enabled : {true, false}) {
        QPixmap pixmap(12, 12);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing, kind == Glyph::Refresh);
        const QColor ink = enabled ? QColor(Qt::black) : QColor(128, 128, 128);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        const auto left = [&](int x) {
            p.drawPolygon(QPolygon({QPoint(x + 4, 2), QPoint(x + 4, 10), QPoint(x, 6)}));
        };
        const auto right = [&](int x) {
            p.drawPolygon(QPolygon({QPoint(x, 2), QPoint(x, 10), QPoint(x + 4, 6)}));
        };
        switch (kind) {
            case Glyph::First:
                p.drawRect(3, 2, 1, 9);
                left(5);
                break;
            case Glyph::Prior:
                left(4);
                break;
            case Glyph::Next:
                right(4);
                break;
            case Glyph::Last:
                right(3);
                p.drawRect(8, 2, 1, 9);
                break;
            case Glyph::Insert:
                p.drawRect(2, 5, 8, 2);
                p.drawRect(5, 2, 2, 8);
                break;
            case Glyph::Delete:
                p.drawRect(2, 5, 8, 2);
                break;
            case Glyph::Edit:
                p.drawPolygon(QPolygon({QPoint(2, 9), QPoint(10, 9), QPoint(6, 3)}));
                break;
            case Glyph::Post:
                p.drawPolygon(QPolygon({QPoint(1, 6), QPoint(3, 4), QPoint(5, 6), QPoint(9, 1),
                                        QPoint(11, 3), QPoint(5, 10)}));
                break;
            case Glyph::Cancel:
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(ink, 2));
                p.drawLine(3, 3, 9, 9);
                p.drawLine(9, 3, 3, 9);
                break;
            case Glyph::Refresh: {
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(ink, 1.6));
                p.drawArc(QRectF(2, 2, 8, 8), 100 * 16, 280 * 16);
                p.setPen(Qt::NoPen);
                p.setBrush(ink);
                p.drawPolygon(QPolygonF({QPointF(5.5, 0.2), QPointF(5.5, 4.6), QPointF(8.6, 2.4)}));
                break;
            }
        }
        p.end();
        icon.addPixmap(pixmap, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

QToolButton* navButton(QWidget* parent, const char* name, Glyph kind, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setIcon(glyph(kind));
    b->setIconSize(QSize(12, 12));
    b->setToolTip(hint);
    // The button shows a picture only: a screen reader reads its hint as its name.
    b->setAccessibleName(hint);
    return b;
}

}  // namespace

GridNavigator::GridNavigator(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DBNavigator1"));
    nbFirst = navButton(this, "nbFirst", Glyph::First, QStringLiteral("Primero"));
    nbPrior = navButton(this, "nbPrior", Glyph::Prior, QStringLiteral("Anterior"));
    nbNext = navButton(this, "nbNext", Glyph::Next, QStringLiteral("Siguiente"));
    nbLast = navButton(this, "nbLast", Glyph::Last, QStringLiteral("Último"));
    nbInsert = navButton(this, "nbInsert", Glyph::Insert, QStringLiteral("Insertar"));
    nbDelete = navButton(this, "nbDelete", Glyph::Delete, QStringLiteral("Borrar"));
    nbEdit = navButton(this, "nbEdit", Glyph::Edit, QStringLiteral("Editar"));
    nbPost = navButton(this, "nbPost", Glyph::Post, QStringLiteral("Grabar registro"));
    nbCancel = navButton(this, "nbCancel", Glyph::Cancel, QStringLiteral("Cancelar edici\u00f3n"));
    nbRefresh = navButton(this, "nbRefresh", Glyph::Refresh, QStringLiteral("Actualizar"));
    for (QToolButton* b : {nbInsert, nbDelete, nbEdit, nbPost, nbCancel}) b->hide();
    const auto onClick = [this](QToolButton* button, void (GridWidget::*move)()) {
        connect(button, &QToolButton::clicked, this, [this, move] {
            if (!grid_) return;
            core::runGuarded([&] { (grid_->*move)(); });
            updateButtons();
        });
    };
    onClick(nbFirst, &GridWidget::first);
    onClick(nbPrior, &GridWidget::prior);
    onClick(nbNext, &GridWidget::next);
    onClick(nbLast, &GridWidget::last);
    onClick(nbInsert, &GridWidget::insertRecord);
    onClick(nbDelete, &GridWidget::deleteRecord);
    onClick(nbEdit, &GridWidget::editRecord);
    onClick(nbPost, &GridWidget::postRecord);
    onClick(nbCancel, &GridWidget::cancelRecord);
    onClick(nbRefresh, &GridWidget::refresh);
    updateButtons();
}

void GridNavigator::setGrid(GridWidget* grid) {
    if (grid_) disconnect(grid_, nullptr, this, nullptr);
    grid_ = grid;
    if (grid_) {
        connect(grid_, &GridWidget::currentRecordChanged, this, [this] { updateButtons(); });
        connect(grid_, &GridWidget::reloaded, this, [this] { updateButtons(); });
        connect(grid_, &GridWidget::recordStateChanged, this, [this] { updateButtons(); });
    }
    updateButtons();
}

void GridNavigator::updateButtons() {
    const int rows = grid_ ? grid_->gridModel()->rowCount() : 0;
    const int row = grid_ ? grid_->currentRecord() : -1;
    const bool open = grid_ && grid_->dataGrid().dataSet() && grid_->dataGrid().dataSet()->active();
    nbFirst->setEnabled(open && row > 0);
    nbPrior->setEnabled(open && row > 0);
    nbNext->setEnabled(open && row >= 0 && row < rows - 1);
    nbLast->setEnabled(open && row >= 0 && row < rows - 1);
    // A screen that reads its list itself (refreshHandler) may try again after a read
    // that failed and left nothing open.
    nbRefresh->setEnabled(open || (grid_ && grid_->refreshHandler));
    const data::CachedResultSet* set = open ? grid_->dataGrid().dataSet() : nullptr;
    const bool changing = set && (set->state() == data::DataSetState::Insert ||
                                  set->state() == data::DataSetState::Edit);
    const bool editing = open && grid_->editingEnabled();
    nbInsert->setEnabled(editing);
    nbDelete->setEnabled(editing && rows > 0);
    nbEdit->setEnabled(editing && !changing && rows > 0);
    nbPost->setEnabled(editing && changing);
    nbCancel->setEnabled(editing && grid_->canCancelRecord());
}

void GridNavigator::setEditButtonsVisible(bool visible) {
    editButtons_ = visible;
    for (QToolButton* b : {nbInsert, nbDelete, nbEdit, nbPost, nbCancel}) b->setVisible(visible);
    layoutButtons();
}

void GridNavigator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutButtons();
}

void GridNavigator::layoutButtons() {
    // The visible buttons share the bar's width evenly, the last one taking what is left.
    const std::vector<QToolButton*> all = {nbFirst,  nbPrior, nbNext, nbLast,   nbInsert,
                                           nbDelete, nbEdit,  nbPost, nbCancel, nbRefresh};
    std::vector<QToolButton*> shown;
    for (QToolButton* b : all)
        if (editButtons_ ||
            (b != nbInsert && b != nbDelete && b != nbEdit && b != nbPost && b != nbCancel))
            shown.push_back(b);
    const int count = static_cast<int>(shown.size());
    const int each = std::max(kButtonWidth, width() / count);
    int x = 0;
    for (int i = 0; i < count; ++i) {
        const int w = i == count - 1 ? std::max(kButtonWidth, width() - x) : each;
        shown[i]->setGeometry(x, 0, w, height());
        x += w;
    }
}

}  // namespace enviozvr::ui
