#pragma once

#include "windows/child_window.h"
#include "windows/trend/trend_recorder.h"

#include <QTimer>

#include <array>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TrendHistory;
class TrendPlot;

// The trend window: the analog readings over time (one line per channel), their statistics over the span shown,
// and recording of every reading and pin level to a CSV file. The history it shows is kept by the main window
// and grows whether this window exists or not; closing the window stops a recording.
class formTrend : public ChildWindow
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // the history's clock, milliseconds

    formTrend(Workspace &workspace, TrendHistory &history, Clock clock, QWidget *parent = nullptr);

    // A reading or a pin level the operator was shown; recorded while recording.
    void recordReading(int channel, std::int32_t value);
    void recordPinLevel(int pin, bool high);

    // The spans offered, in milliseconds; 1 minute is the first choice.
    static constexpr std::array<qint64, 4> kSpans{10'000, 60'000, 600'000, 3'600'000};

    TrendPlot *plot() const { return m_plot; }
    QTableWidget *statistics() const { return m_table; }
    bool isPaused() const { return m_paused; }
    const TrendRecorder &recorder() const { return m_recorder; }

    void setSpan(int index);
    void pauseOrResume();
    // Forgets every reading kept so far.
    void clear();
    // Asks for a file and starts recording, or stops the recording under way.
    void recordOrStop();
    // Brings the plot and the statistics up to now (unless paused).
    void refresh();

protected:
    void closing() override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void updateStatistics();
    void updateRecordingLabel();
    void flushRecording();
    void stopRecording();

    TrendHistory &m_history;
    Clock m_clock;
    QComboBox *m_span = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_record = nullptr;
    QLabel *m_recording = nullptr;
    TrendPlot *m_plot = nullptr;
    QTableWidget *m_table = nullptr;
    QTimer m_refresh;
    QTimer m_flush;
    TrendRecorder m_recorder;
    bool m_paused = false;
    bool m_placed = false;
};

