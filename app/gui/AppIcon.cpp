#include "app/gui/AppIcon.h"

#include "app/gui/DesignFonts.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace orvant::gui {

QIcon ApplicationIcon()
{
    // A sheet of paper with a folded corner and "XML" on it, drawn rather than
    // shipped, so the program needs no resource files.
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF sheet({{5, 1}, {21, 1}, {28, 8}, {28, 31}, {5, 31}});
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(Qt::white);
    p.drawPolygon(sheet);
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(QPolygonF({{21, 1}, {21, 8}, {28, 8}}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 122, 61)); // a green band for the label
    p.drawRect(QRectF(2, 14, 28, 11));
    p.setPen(Qt::white);
    p.setFont(DesignFont(TDesignFace::dfRoboto, 10, true));
    p.drawText(QRectF(2, 14, 28, 11), Qt::AlignCenter, "XML");
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

} // namespace orvant::gui
