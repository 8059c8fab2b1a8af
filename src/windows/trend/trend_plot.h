#pragma once

#include <QWidget>

class TrendHistory;

// The trend plot: one line per channel over a span of time ending at a given moment, a value axis 0..255, a time
// axis and a legend "ADC 1" ... "ADC 8". Each channel is reduced to one lowest and highest value per pixel
// column before it is drawn, so a repaint costs the same however long the history is.
class TrendPlot : public QWidget
{
    Q_OBJECT

public:
    explicit TrendPlot(const TrendHistory &history, QWidget *parent = nullptr);

    // What is shown: the readings within [endMs - spanMs, endMs].
    void setWindow(qint64 endMs, qint64 spanMs);
    qint64 endMs() const { return m_endMs; }
    qint64 spanMs() const { return m_spanMs; }

    static QColor channelColour(int channel);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect plotArea() const;
    void drawAxes(QPainter &painter, const QRect &area) const;
    void drawChannel(QPainter &painter, const QRect &area, int channel) const;
    void drawLegend(QPainter &painter, const QRect &area) const;

    const TrendHistory &m_history;
    qint64 m_endMs = 0;
    qint64 m_spanMs = 60'000;
};

// A time axis label: seconds or minutes before the end ("-30 s", "-5 min"), "now" at the end.
QString trendTimeLabel(qint64 msBeforeEnd);
