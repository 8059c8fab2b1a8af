#pragma once

#include <QProgressBar>

// The analog meter: a QProgressBar (its value, range and accessibility as such) painted as a plain upright bar.
// The style's own progress bar is drawn with gradients and rounded frames; eight of them repainted ten times a
// second were most of what the program spent on a slow stream.
class MeterBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit MeterBar(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
