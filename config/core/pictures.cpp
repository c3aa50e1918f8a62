#include "core/pictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace vcx {

namespace {

struct Look {
    int id;
    const char* text;
    QRgb fill;
    int width, height;
};

// Status pictures of the scan view are small; the silent result's are larger.
constexpr Look kLooks[] = {
    {2000, "START", 0xFF2F6FD0, 120, 48},  {2001, "CANCEL", 0xFF808080, 120, 48},
    {2002, "PASS", 0xFF1E9E3A, 120, 48},   {2003, "FAIL", 0xFFD02020, 120, 48},
    {219, "PASS", 0xFF1E9E3A, 240, 120},   {220, "FAIL", 0xFFD02020, 240, 120},
    {2004, "GREAT", 0xFF1E9E3A, 240, 120}, {2005, "GOOD", 0xFF5FAE2E, 240, 120},
    {2006, "OK", 0xFFC8A000, 240, 120},    {2007, "POOR", 0xFFE07000, 240, 120},
    {2008, "BAD", 0xFFD02020, 240, 120},
    // The Field Update page's result: 203 success, 202 failure.
    {203, "SUCCESS", 0xFF1E9E3A, 200, 64}, {202, "FAIL", 0xFFD02020, 200, 64},
    // The production-line page's process result: 222 pass, 223 fail.
    {222, "PASS", 0xFF1E9E3A, 200, 80},    {223, "FAIL", 0xFFD02020, 200, 80},
};

QPixmap draw(const Look& look) {
    QPixmap pixmap(look.width, look.height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath box;
    box.addRoundedRect(QRectF(1, 1, look.width - 2, look.height - 2), look.height / 6.0, look.height / 6.0);
    p.fillPath(box, QColor::fromRgba(look.fill));
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.drawPath(box);
    QFont font;
    font.setBold(true);
    font.setPixelSize(look.height * 5 / 10);
    p.setFont(font);
    p.drawText(QRect(0, 0, look.width, look.height), Qt::AlignCenter, QString::fromLatin1(look.text));
    return pixmap;
}

}  // namespace

QPixmap programPicture(int id) {
    // The noise view's test patterns, tiled over the screen: 2010 white,
    // 2011 black, 2012 a checkerboard of 32-pixel squares.
    if (id >= 2010 && id <= 2012) {
        QPixmap tile(64, 64);
        tile.fill(id == 2011 ? Qt::black : Qt::white);
        if (id == 2012) {
            QPainter p(&tile);
            p.fillRect(0, 0, 32, 32, Qt::black);
            p.fillRect(32, 32, 32, 32, Qt::black);
        }
        return tile;
    }
    for (const Look& look : kLooks)
        if (look.id == id) return draw(look);
    return {};
}

}  // namespace vcx
