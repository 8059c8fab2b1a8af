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
    painter.fillRect(frame, colours.base());
    const qint64 span = qint64(maximum()) - minimum();
    const QRect inside = frame.adjusted(1, 1, -1, -1);
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
    // The one-pixel border as four fills: a stroked rectangle costs several times the whole meter.
    const QColor border = colours.color(QPalette::Mid);
    painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), 1), border);
    painter.fillRect(QRect(frame.left(), frame.bottom(), frame.width(), 1), border);
    painter.fillRect(QRect(frame.left(), frame.top(), 1, frame.height()), border);
    painter.fillRect(QRect(frame.right(), frame.top(), 1, frame.height()), border);
}
