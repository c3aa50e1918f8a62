#include "params/param_bitmaps.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace vcx {

namespace {

// A slide switch 64 x 24: a rounded track, the knob at the on or off end.
QPixmap drawSwitch(bool on, bool enabled) {
    QPixmap pm(64, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor track = !enabled ? QColor(0xC8, 0xC8, 0xC8) : on ? QColor(0x2E, 0x9D, 0x4B) : QColor(0x8A, 0x8A, 0x8A);
    p.setPen(Qt::NoPen);
    p.setBrush(track);
    p.drawRoundedRect(QRectF(1, 1, 62, 22), 11, 11);
    p.setBrush(enabled ? Qt::white : QColor(0xE8, 0xE8, 0xE8));
    p.drawEllipse(QRectF(on ? 42 : 3, 3, 18, 18));
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(enabled ? Qt::white : QColor(0x9A, 0x9A, 0x9A));
    if (!enabled) p.drawText(QRectF(0, 0, 64, 24), Qt::AlignCenter, QStringLiteral("N/A"));
    else p.drawText(on ? QRectF(6, 0, 34, 24) : QRectF(24, 0, 36, 24), Qt::AlignCenter,
                    on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    return pm;
}

// A panel (grey rectangle) with a palm (an outlined hand shape) on it.
QPixmap drawPalm(bool nearEdge) {
    QPixmap pm(120, 90);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 2));
    p.setBrush(QColor(0xDD, 0xE6, 0xEE));
    p.drawRect(QRectF(4, 4, 112, 82));
    const qreal x = nearEdge ? 4 : 38;
    QPainterPath hand;
    hand.addEllipse(QRectF(x, 36, 40, 34));  // the palm
    for (int k = 0; k < 4; ++k) hand.addRoundedRect(QRectF(x + 3 + 9 * k, 12 + (k == 0 || k == 3 ? 8 : 0), 7, 30), 3, 3);
    hand.addRoundedRect(QRectF(x + 36, 40, 18, 7), 3, 3);  // the thumb
    p.setBrush(QColor(0xF2, 0xC6, 0xA0, 200));
    p.setPen(QPen(QColor(0x9A, 0x60, 0x3A), 1.5));
    p.drawPath(hand.simplified());
    p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(x - 6, 30, 52, 46));  // the disabled range around it
    return pm;
}

// A water-mode choice 96 x 64: a panel with drops; mode 0 crossed out, mode 1
// a stop sign over the drops (touch off while wet), mode 2 a finger touching
// between them. The chosen one is framed and coloured, the others grey.
QPixmap drawWaterMode(int mode, bool selected) {
    QPixmap pm(96, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor frame = selected ? QColor(0x1E, 0x6F, 0xD9) : QColor(0xB0, 0xB0, 0xB0);
    p.setPen(QPen(frame, selected ? 3 : 1));
    p.setBrush(selected ? QColor(0xE6, 0xF0, 0xFB) : QColor(0xF2, 0xF2, 0xF2));
    p.drawRoundedRect(QRectF(2, 2, 92, 60), 6, 6);
    const QColor drop = selected ? QColor(0x2A, 0x8C, 0xE8) : QColor(0xA8, 0xA8, 0xA8);
    p.setPen(Qt::NoPen);
    p.setBrush(drop);
    for (const QPointF& c : {QPointF(26, 30), QPointF(46, 40), QPointF(66, 26)}) {
        QPainterPath d;
        d.moveTo(c.x(), c.y() - 10);
        d.quadTo(c.x() + 8, c.y() + 2, c.x(), c.y() + 6);
        d.quadTo(c.x() - 8, c.y() + 2, c.x(), c.y() - 10);
        p.drawPath(d);
    }
    if (mode == 0) {
        p.setPen(QPen(selected ? QColor(0xC0, 0x20, 0x20) : QColor(0x90, 0x90, 0x90), 3));
        p.drawLine(QPointF(14, 52), QPointF(82, 12));
    } else if (mode == 1) {
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(selected ? QColor(0xD0, 0x30, 0x30) : QColor(0x90, 0x90, 0x90));
        p.drawEllipse(QRectF(62, 36, 22, 22));
        p.drawLine(QPointF(67, 47), QPointF(79, 47));
    } else {
        p.setPen(QPen(selected ? QColor(0x9A, 0x60, 0x3A) : QColor(0x80, 0x80, 0x80), 1.5));
        p.setBrush(selected ? QColor(0xF2, 0xC6, 0xA0) : QColor(0xD8, 0xD8, 0xD8));
        p.drawRoundedRect(QRectF(74, 18, 12, 34), 6, 6);
    }
    return pm;
}

// The panel seen from the front, 96 x 72, with its flexible tail leaving at the
// bottom (0), right (1), top (2) or left (3) edge.
QPixmap drawTail(int side) {
    QPixmap pm(96, 72);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF panel(16, 12, 64, 48);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 2));
    p.setBrush(QColor(0xDD, 0xE6, 0xEE));
    p.drawRect(panel);
    QRectF tail;
    switch (side) {
    case 0: tail = QRectF(40, 60, 16, 10); break;
    case 1: tail = QRectF(80, 28, 14, 16); break;
    case 2: tail = QRectF(40, 2, 16, 10); break;
    default: tail = QRectF(2, 28, 14, 16); break;
    }
    p.setPen(QPen(QColor(0x8A, 0x5A, 0x00), 1.5));
    p.setBrush(QColor(0xE8, 0xA8, 0x30));
    p.drawRect(tail);
    return pm;
}

} // namespace

QPixmap ParameterBitmap(int id) {
    if (id >= 206 && id <= 211) return drawWaterMode((id - 206) / 2, (id - 206) % 2 == 0);
    if (id >= kBitmapTailBottom && id <= kBitmapTailBottom + 3) return drawTail(id - kBitmapTailBottom);
    switch (id) {
    case 204: return drawSwitch(true, true);
    case 205: return drawSwitch(false, true);
    case 213: return drawSwitch(false, false);
    case 214: return drawPalm(false);
    case 215: return drawPalm(true);
    default: return {};
    }
}

void SetBitmap(QLabel* label, int id) {
    if (!label) return;
    label->setPixmap(ParameterBitmap(id));
    label->setProperty("bitmapId", id);
}

int BitmapOf(const QLabel* label) { return label ? label->property("bitmapId").toInt() : 0; }

} // namespace vcx
