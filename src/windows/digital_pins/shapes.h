#pragma once

#include <QColor>
#include <QFrame>
#include <QWidget>

// A filled rectangle, rounded or not: the drawing of the board.
class ShapeWidget : public QWidget
{
public:
    ShapeWidget(const QColor &colour, bool rounded, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
    bool m_rounded;
};

// The round level indicator of one pin. Mouse clicks go through it to the frame that holds it.
class PinLed : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)

public:
    explicit PinLed(QWidget *parent = nullptr);

    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    bool m_paintAsked = false; // since the last paint
};

// The clickable grey frame around an indicator.
class PinLedFrame : public QFrame
{
    Q_OBJECT

public:
    explicit PinLedFrame(QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
