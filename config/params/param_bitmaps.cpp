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

} // namespace

QPixmap ParameterBitmap(int id) {
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
