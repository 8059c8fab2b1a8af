#pragma once

#include "device/board_limits.h"
#include "records/record_writer.h"
#include "session/event_stream.h"
#include "windows/child_window.h"

#include <QTimer>

#include <array>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class TrendHistory;
class TrendPlot;

// The trend window: the analog readings over time (one line per channel), their statistics over the range shown,
// two cursors, per-channel limits, export of what is shown, and recording of every reading and pin level to a CSV
// file. The history it shows is kept by the workspace and grows whether this window exists or not; zooming or
// panning pauses the view (Resume or Fit return to the live end); closing the window stops a recording. When
// readings cannot come, the status line says why and a recording gets one gap row.
class formTrend : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"trend"};

    explicit formTrend(Workspace &workspace, QWidget *parent = nullptr);

    // The spans offered, in milliseconds; 1 minute is the first choice.
    static constexpr std::array<qint64, 4> kSpans{10'000, 60'000, 600'000, 3'600'000};

    // The statistics table's columns, in order.
    enum Column {
        ChannelColumn,
        LastColumn,
        MinColumn,
        MaxColumn,
        MeanColumn,
        CountColumn,
        AtAColumn,
        AtBColumn,
        DeltaColumn,
        LowColumn,
        HighColumn,
        OutsideColumn,
        ColumnCount
    };

    TrendPlot *plot() const { return m_plot; }
    QTableWidget *statistics() const { return m_table; }
    bool isPaused() const { return m_paused; }
    const RecordWriter &recorder() const { return m_recorder; }

    void setSpan(int index);
    void pauseOrResume();
    // Back to the chosen span, live, values 0..255.
    void fit();
    // Asks for a file and writes what is shown: .csv, .png or .svg by its name.
    void exportShown();
    bool exportTo(const QString &path);
    // Why readings cannot come now, or nothing while they can.
    QString gapReason() const;
    QString statusText() const;
    QString cursorDeltaText() const;
    // A channel's limits (nothing: none), as the table and the settings keep them.
    void setLimits(int channel, std::optional<int> low, std::optional<int> high);
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
    void buildTable();
    void updateStatistics();
    void updateStatus();
    void loadLimits();
    void limitEdited(QTableWidgetItem *item);
    void viewMovedByHand();
    void setPaused(bool paused);
    std::vector<int> exportedChannels() const;
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
    QPushButton *m_fit = nullptr;
    QPushButton *m_export = nullptr;
    QLabel *m_recording = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_cursorDelta = nullptr;
    std::array<std::optional<int>, kLastChannel + 1> m_low{};
    std::array<std::optional<int>, kLastChannel + 1> m_high{};
    bool m_fillingTable = false;
    TrendPlot *m_plot = nullptr;
    QTableWidget *m_table = nullptr;
    QTimer m_refresh;
    QTimer m_flush;
    RecordWriter m_recorder;
    QString m_recordingPath;
    EventStream::Subscription m_subscription;
    bool m_paused = false;
};
