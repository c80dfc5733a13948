#include "ui/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace enviozvr::ui::pictures {

namespace {

// Draws on a transparent square of `size` pixels in a 32 x 32 coordinate system.
QPixmap drawn(int size, const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p);
    return pixmap;
}

QIcon icon(const std::function<void(QPainter&)>& draw) {
    QIcon result;
    for (int size : {16, 24, 32}) result.addPixmap(drawn(size, draw));
    return result;
}

const QColor kOutline(40, 40, 40);

}  // namespace

QIcon send() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(250, 240, 200));
        p.drawRect(QRectF(2, 7, 22, 16));
        p.drawPolyline(QPolygonF({{2, 7}, {13, 16}, {24, 7}}));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 150, 40));
        p.drawPolygon(
            QPolygonF({{16, 19}, {24, 19}, {24, 14}, {31, 22}, {24, 30}, {24, 25}, {16, 25}}));
    });
}

QIcon cancel() {
    return icon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 30, 30));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
    });
}

QIcon enter() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(230, 180, 40));
        p.drawEllipse(QRectF(2, 9, 14, 14));
        p.drawRect(QRectF(15, 14, 15, 4));
        p.drawRect(QRectF(24, 18, 3, 5));
        p.drawRect(QRectF(19, 18, 3, 4));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6, 13, 5, 6));
    });
}

QIcon errors() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(245, 200, 30));
        p.drawPolygon(QPolygonF({{16, 2}, {30, 28}, {2, 28}}));
        p.setPen(QPen(kOutline, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 11), QPointF(16, 19));
        p.drawPoint(QPointF(16, 24));
    });
}

QIcon companies() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(90, 130, 200));
        p.drawRect(QRectF(3, 8, 12, 22));
        p.setBrush(QColor(130, 170, 230));
        p.drawRect(QRectF(17, 3, 12, 27));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (int y = 11; y < 27; y += 5) {
            p.drawRect(QRectF(6, y, 2, 3));
            p.drawRect(QRectF(10, y, 2, 3));
        }
        for (int y = 6; y < 27; y += 5) {
            p.drawRect(QRectF(20, y, 2, 3));
            p.drawRect(QRectF(24, y, 2, 3));
        }
    });
}

QIcon documents() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({{6, 2}, {21, 2}, {27, 8}, {27, 30}, {6, 30}}));
        p.setPen(QPen(QColor(60, 90, 160), 1.5));
        for (int y = 11; y <= 25; y += 4) p.drawLine(QPointF(10, y), QPointF(23, y));
    });
}

QIcon save() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(50, 80, 150));
        p.drawPolygon(QPolygonF({{4, 4}, {25, 4}, {28, 7}, {28, 28}, {4, 28}}));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 4, 15, 9));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(8, 18, 16, 10));
    });
}

QIcon pending() {
    return icon([](QPainter& p) {
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(240, 240, 255));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setPen(QPen(QColor(30, 60, 150), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 16), QPointF(16, 8));
        p.drawLine(QPointF(16, 16), QPointF(22, 19));
    });
}

QPixmap server(int size) {
    return drawn(size, [](QPainter& p) {
        p.setPen(QPen(kOutline, 1));
        for (int i = 2; i >= 0; --i) {
            const double y = 6 + i * 7;
            p.setBrush(QColor(120, 150, 200));
            p.drawRect(QRectF(5, y, 22, 8));
            p.drawEllipse(QRectF(5, y + 4, 22, 8));
            p.setPen(Qt::NoPen);
            p.drawRect(QRectF(5.5, y + 2, 21, 6));
            p.setPen(QPen(kOutline, 1));
            p.setBrush(QColor(170, 195, 235));
            p.drawEllipse(QRectF(5, y - 4, 22, 8));
        }
    });
}

QPixmap padlock(int size) {
    return drawn(size, [](QPainter& p) {
        p.setPen(QPen(QColor(120, 120, 120), 3.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 3, 14, 18), 0, 180 * 16);
        p.drawLine(QPointF(9, 12), QPointF(9, 15));
        p.drawLine(QPointF(23, 12), QPointF(23, 15));
        p.setPen(QPen(kOutline, 1.5));
        p.setBrush(QColor(230, 180, 40));
        p.drawRoundedRect(QRectF(5, 14, 22, 16), 2, 2);
        p.setBrush(kOutline);
        p.drawEllipse(QRectF(14, 19, 4, 4));
        p.drawRect(QRectF(15.2, 22, 1.6, 4));
    });
}

}  // namespace enviozvr::ui::pictures
