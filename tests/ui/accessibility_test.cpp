// What a screen reader finds, read through Qt's accessibility interfaces: every control of
// the main window and of a viewer has a name (or a label tied to it), and the viewer's
// filter row is in the tree as editable texts, one per column, that report the focus.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include "sender/maindata.h"
#include "support/recordederrors.h"
#include "ui/eventlistviewer.h"
#include "ui/gridnavigator.h"
#include "ui/gridsortfilter.h"
#include "ui/gridwidget.h"
#include "ui/lookupbox.h"
#include "ui/mensajesenvzvr.h"
#include "ui/pendienteszvr.h"
#include "ui/principalzvr.h"
#include "uitest.h"

namespace enviozvr::uitest {
namespace {

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString nameOf(QObject* object) { return accessible(object)->text(QAccessible::Name); }

// The texts of the labels a screen reader reads for `field` (its Label relations).
QStringList labelsOf(QWidget* field) {
    QStringList out;
    for (const auto& [label, relation] : accessible(field)->relations(QAccessible::Label))
        out << label->text(QAccessible::Name);
    return out;
}

// Every interface of the tree under `root`, the root first.
void walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit) {
    if (!root) return;
    visit(root);
    for (int i = 0; i < root->childCount(); ++i) walk(root->child(i), visit);
}

TEST(ScreenReader, EveryControlOfTheMainWindowIsNamed) {
    testing::InstallDir install;
    ui::Tfprincipalzvr w({});  // not shown: no login screen

    // The seven inputs: each tied to the label beside it (the origin's server text, which
    // has no label of its own, named directly).
    struct Field {
        QWidget* field;
        const char* label;
    };
    const Field fields[] = {
        {w.LCiaOri, "Compañía Origen:"},        {w.CboAgencia, "Agencia:"},
        {w.EUltenvio, "Ultima actualización:"}, {w.Pref, "Prefijo a enviar:"},
        {w.NroOp, "Operaciones a enviar:"},     {w.Minut, "Frecuencia actualización:"},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.field->objectName().toStdString());
        EXPECT_EQ(labelsOf(f.field), QStringList{QString::fromUtf8(f.label)});
        if (qobject_cast<QLineEdit*>(f.field)) {
            EXPECT_EQ(nameOf(f.field), QString::fromUtf8(f.label));
        }
    }
    EXPECT_EQ(nameOf(w.SerOri1), QStringLiteral("Servidor origen"));
    EXPECT_EQ(nameOf(w.ProgressBar1), QStringLiteral("Progreso del envío"));

    // Every control, whatever its kind, has a name a screen reader can read.
    for (QWidget* control : w.findChildren<QWidget*>()) {
        const bool isControl =
            qobject_cast<QLineEdit*>(control) || qobject_cast<QToolButton*>(control) ||
            qobject_cast<QCheckBox*>(control) || qobject_cast<QProgressBar*>(control);
        if (!isControl || control->parentWidget() == w.CboAgencia ||
            control->parentWidget() == w.LCiaOri)
            continue;
        EXPECT_FALSE(nameOf(control).trimmed().isEmpty()) << control->objectName().toStdString();
    }
}

// The error viewer over a small list: its navigator's buttons are named, and with the
// filter row shown every filter cell is in the accessible tree as an editable text named
// after its column; typing in one reports the focus there, not on a grid cell.
TEST(ScreenReader, TheViewersNavigatorAndFilterRowAreInTheTree) {
    testing::RecordedErrors errors;
    UiWorld world;
    sender::MainData data;
    data.loginAutomatic(world.server, world.user, world.password);
    data.selectCompany("001");
    world.origin().exec(
        "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, "
        "RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_ERROR) VALUES "
        "(1, '002', 236, 'FV', '1', 'C1', '2026-03-15', '08:30:00', 'I', 'rechazado')");
    ui::Tfmensajesenvzvr v(data);
    v.show();
    for (int i = 0; i < 3 && v.listReads() == 0; ++i) QCoreApplication::processEvents();
    ASSERT_EQ(v.Grid1->model()->rowCount(), 1);

    ui::GridNavigator* n = v.DBNavigator1;
    for (QToolButton* b : {n->nbFirst, n->nbPrior, n->nbNext, n->nbLast, n->nbRefresh})
        EXPECT_FALSE(nameOf(b).isEmpty()) << b->objectName().toStdString();
    EXPECT_EQ(nameOf(n->nbRefresh), QStringLiteral("Actualizar"));

    QTest::mouseClick(v.ckfiltro, Qt::LeftButton);
    ASSERT_TRUE(v.Grid1->filterRowVisible());
    QStringList cells;
    walk(accessible(&v), [&](QAccessibleInterface* i) {
        if (i->role() == QAccessible::EditableText && !i->state().invisible)
            cells << i->text(QAccessible::Name);
    });
    EXPECT_TRUE(cells.contains(QStringLiteral("Filtro Pref"))) << cells.join('|').toStdString();
    EXPECT_TRUE(cells.contains(QStringLiteral("Filtro Servidor"))) << cells.join('|').toStdString();

    ui::FilterCell* pref = v.sortFilter->cell(1);
    ASSERT_NE(pref, nullptr);
    v.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
    QTest::mouseClick(pref, Qt::LeftButton);
    QTest::keyClicks(pref, QStringLiteral("F"));
    // The focus as a screen reader follows it from the window down.
    QAccessibleInterface* focus = accessible(&v);
    for (int depth = 0; depth < 20; ++depth) {
        QAccessibleInterface* child = focus->focusChild();
        if (!child || child == focus) break;
        focus = child;
    }
    EXPECT_EQ(focus->object(), pref);
    EXPECT_EQ(focus->role(), QAccessible::EditableText);
    EXPECT_EQ(focus->text(QAccessible::Name), nameOf(pref));
    EXPECT_TRUE(errors.shown.empty());
}

// The four side buttons of the main window show their mnemonic letter underlined: the
// caption drawn with its '&' differs from the same caption without one.
TEST(Mnemonics, TheSideButtonsShowTheirUnderlinedLetter) {
    testing::InstallDir install;
    ui::Tfprincipalzvr w({});
    for (QToolButton* b : {w.PngSpeedButton1, w.PngSpeedButton2, w.PngSpeedButton4,
                           w.PngSpeedButton3, w.SpeedButton1, w.SpeedButton2}) {
        SCOPED_TRACE(b->objectName().toStdString());
        const QString caption = b->text();
        ASSERT_TRUE(caption.contains(QLatin1Char('&')));
        const QImage underlined = b->grab().toImage();
        b->setText(QString(caption).remove(QLatin1Char('&')));
        const QImage plain = b->grab().toImage();
        b->setText(caption);
        EXPECT_NE(underlined, plain);
    }
}

// No viewer opens larger than the screen's available area (here the offscreen platform's
// screen): "Cerrar" and the navigator's "Actualizar" lie inside the window.
TEST(SmallScreens, TheViewersOpenInsideTheScreen) {
    testing::RecordedErrors errors;
    testing::InstallDir install;
    sender::MainData data;
    for (const bool errorList : {true, false}) {
        std::unique_ptr<ui::EventListViewer> v;
        if (errorList)
            v = std::make_unique<ui::Tfmensajesenvzvr>(data);
        else
            v = std::make_unique<ui::Tfpendienteszvr>(data);
        SCOPED_TRACE(v->objectName().toStdString());
        v->show();
        QCoreApplication::processEvents();
        const QRect area = v->screen()->availableGeometry();
        // The window with a standard frame (4 pixels a side, a 19-pixel caption).
        EXPECT_LE(v->width() + 8, area.width());
        EXPECT_LE(v->height() + 27, area.height());
        for (QWidget* inside : {static_cast<QWidget*>(v->PngSpeedButton1),
                                static_cast<QWidget*>(v->DBNavigator1->nbRefresh)}) {
            const QRect r(inside->mapTo(v.get(), QPoint()), inside->size());
            EXPECT_TRUE(v->rect().contains(r)) << inside->objectName().toStdString();
        }
    }
}

}  // namespace
}  // namespace enviozvr::uitest
