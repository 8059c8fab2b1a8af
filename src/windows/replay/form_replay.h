#pragma once

#include "windows/child_window.h"

#include <QTimer>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class ReplayDriver;

// The replay window (--driver=replay): the journal's span played back, with Play/Pause (Space), the speed (1x, 2x,
// 10x, 100x, as fast as possible), a position slider with the date and clock time of the moment played, steps to
// the next or previous command, gap or lost board, the span's start and end, and how many lines of the journal
// were skipped. A seek goes on from the first record at or after the moment; the trend's history starts anew when
// the replay goes back. Without a replay it says there is none.
class formReplay : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"replay"};

    explicit formReplay(Workspace &workspace, QWidget *parent = nullptr);

    // The seeks and steps the controls make, by name.
    void playOrPause();
    void setSpeedIndex(int index);
    void seekTo(qint64 wallMs);
    // To the next (or previous) command, gap or lost board; false when there is none.
    bool step(bool forward);

    QString positionText() const;
    QString spanText() const;
    QString statusText() const;
    QSlider *slider() const { return m_slider; }
    QPushButton *playButton() const { return m_play; }
    QSize sizeHint() const override;

    // The speeds offered, in order.
    static const std::array<double, 5> kSpeeds;

protected:
    void showEvent(QShowEvent *event) override;
    void closing() override;

private:
    void buildControls();
    void refresh();
    void sliderMoved(int value);
    qint64 sliderMoment(int value) const;

    ReplayDriver *m_replay = nullptr;
    QPushButton *m_play = nullptr;
    QComboBox *m_speed = nullptr;
    QSlider *m_slider = nullptr;
    QLabel *m_position = nullptr;
    QLabel *m_span = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_status = nullptr;
    QTimer m_refresh;
    qint64 m_startMs = 0;
    qint64 m_endMs = 0;
};
