#pragma once

#include "records/record_writer.h"
#include "session/event_stream.h"
#include "windows/child_window.h"

#include <QTimer>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class TrendHistory;
class TrendPlot;

// The trend window: the analog readings over time (one line per channel), their statistics over the span shown,
// and recording of every reading and pin level to a CSV file. The history it shows is kept by the workspace
// and grows whether this window exists or not; closing the window stops a recording.
class formTrend : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"trend"};

    explicit formTrend(Workspace &workspace, QWidget *parent = nullptr);

    // The spans offered, in milliseconds; 1 minute is the first choice.
    static constexpr std::array<qint64, 4> kSpans{10'000, 60'000, 600'000, 3'600'000};

    TrendPlot *plot() const { return m_plot; }
    QTableWidget *statistics() const { return m_table; }
    bool isPaused() const { return m_paused; }
    const RecordWriter &recorder() const { return m_recorder; }

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
    void sessionEvent(const SessionEvent &event);
    qint64 now() const;

    TrendHistory &m_history;
    QComboBox *m_span = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_record = nullptr;
    QLabel *m_recording = nullptr;
    TrendPlot *m_plot = nullptr;
    QTableWidget *m_table = nullptr;
    QTimer m_refresh;
    QTimer m_flush;
    RecordWriter m_recorder;
    QString m_recordingPath;
    EventStream::Subscription m_subscription;
    bool m_paused = false;
};
