#include "windows/analog_levels/meter_bar.h"

#include <QPainter>

MeterBar::MeterBar(QWidget *parent)
    : QProgressBar(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MeterBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &colours = palette();
    const QRect frame = rect();
    // The one-pixel border is what the inside does not cover: three fills in all, ten times a second for each meter.
    painter.fillRect(frame, colours.color(QPalette::Mid));
    const QRect inside = frame.adjusted(1, 1, -1, -1);
    painter.fillRect(inside, colours.base());
    const qint64 span = qint64(maximum()) - minimum();
    if (span > 0 && value() > minimum()) {
        const qint64 filled = (qint64(value()) - minimum()) * inside.height() / span;
        if (orientation() == Qt::Vertical) {
            painter.fillRect(QRect(inside.left(), inside.bottom() - int(filled) + 1, inside.width(), int(filled)),
                             colours.highlight());
        } else {
            const qint64 width = (qint64(value()) - minimum()) * inside.width() / span;
            painter.fillRect(QRect(inside.left(), inside.top(), int(width), inside.height()), colours.highlight());
        }
    }
}
