#include "app/glyphs.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace termload {
namespace {

QPixmap BlankGlyph() {
    QPixmap pixmap(kGlyphSize, kGlyphSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A green triangle pointing right: "go".
QIcon StartGlyph() {
    QPixmap pixmap = BlankGlyph();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x1b, 0x5e, 0x20), 1));
    painter.setBrush(QColor(0x43, 0xa0, 0x47));
    painter.drawPolygon(QPolygonF({QPointF(5, 3), QPointF(17, 10), QPointF(5, 17)}));
    return QIcon(pixmap);
}

// A red square: "stop".
QIcon StopGlyph() {
    QPixmap pixmap = BlankGlyph();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x8e, 0x1b, 0x1b), 1));
    painter.setBrush(QColor(0xe5, 0x39, 0x35));
    painter.drawRoundedRect(QRectF(4.5, 4.5, 11, 11), 1.5, 1.5);
    return QIcon(pixmap);
}

}  // namespace

QIcon ButtonGlyph(int index) {
    switch (index) {
        case kGlyphStart:
            return StartGlyph();
        case kGlyphStop:
            return StopGlyph();
        default:
            return QIcon();
    }
}

}  // namespace termload
