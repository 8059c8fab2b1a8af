#include "windows/digital_pins/shapes.h"

#include "windows/digital_pins/pin_colours.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

#include <utility>

ShapeWidget::ShapeWidget(const QColor &colour, bool rounded, QWidget *parent)
    : QWidget(parent)
    , m_colour(colour)
    , m_rounded(rounded)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, m_rounded);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_colour);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_rounded) {
        const qreal radius = std::min(box.width(), box.height()) / 10.0;
        painter.drawRoundedRect(box, radius, radius);
    } else {
        painter.drawRect(box);
    }
}

PinLed::PinLed(QWidget *parent)
    : QWidget(parent)
    , m_fill(kBoardGrey)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // It paints every pixel (the board's grey around the circle), so the frame behind it is not painted again.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PinLed::setFillColor(const QColor &colour)
{
    if (colour == m_fill)
        return;
    m_fill = colour;
    // A pin reported a hundred times between two paints asks for one.
    if (!std::exchange(m_paintAsked, true))
        update();
}

void PinLed::paintEvent(QPaintEvent *)
{
    m_paintAsked = false;
    // An antialiased circle is drawn once per colour and size; a board reporting its pins ten times a second
    // then costs one copy per indicator.
    const qreal ratio = devicePixelRatioF();
    const QString key =
        QStringLiteral("vantrel-led-%1-%2x%3@%4").arg(m_fill.rgba(), 0, 16).arg(width()).arg(height()).arg(ratio);
    QPixmap circle;
    if (!QPixmapCache::find(key, &circle)) {
        circle = QPixmap(size() * ratio);
        circle.setDevicePixelRatio(ratio);
        circle.fill(kBoardGrey);
        QPainter painter(&circle);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(m_fill);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        QPixmapCache::insert(key, circle);
    }
    QPainter(this).drawPixmap(0, 0, circle);
}

PinLedFrame::PinLedFrame(QWidget *parent)
    : QFrame(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBoardGrey);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
}

void PinLedFrame::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void PinLedFrame::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        Q_EMIT clicked();
}
