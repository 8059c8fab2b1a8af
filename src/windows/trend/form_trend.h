#pragma once

#include "alarms/alarm_rule.h"
#include "device/board_limits.h"
#include "records/calibration.h"
#include "records/trend_history.h"
#include "windows/child_window.h"

#include <QSet>
#include <QTimer>

#include <array>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class ReplayDriver;
class BoardRecording;
class BoardSession;
class TrendPlot;

// The trend window: one board's analog readings over time (one line per channel), their statistics over the range
// shown, two cursors, per-channel limits, export of what is shown, and recording of every reading, pin level and gap
// of the board to a CSV file. The board shown is chosen in its board selector (the foreground board until another is
// chosen; the title names it); its history is kept by the host and grows whether this window exists or not. Zooming
// or panning pauses the view (Resume or Fit return to the live end); closing the window stops the recordings it
// started. When readings cannot come, the status line says why.
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
    QComboBox *boardChoice() const { return m_boardChoice; }
    bool isPaused() const { return m_paused; }
    // The board shown (its serial number), empty before any.
    QString board() const { return m_board; }
    // Shows another board's readings, as the operator's choice: it stays, whatever board the other windows work on.
    void chooseBoard(const QString &serial);
    bool isRecording() const;

    void setSpan(int index);
    void pauseOrResume();
    // Back to the chosen span, live, values 0..255.
    void fit();
    // Asks for a file and writes what is shown: .csv, .png or .svg by its name.
    void exportShown();
    // What an exported picture shows: the board, the date and clock times of the span, the channels.
    QString exportCaption() const;
    bool exportTo(const QString &path);
    // Why readings cannot come now, or nothing while they can.
    QString gapReason() const;
    QString statusText() const;
    QString cursorDeltaText() const;
    // A channel's limits in its unit (nothing: none): the thresholds of the shown board's limit rule for it. False
    // when refused (no board shown, a low above the high).
    bool setLimits(int channel, std::optional<double> low, std::optional<double> high);
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
    // Limits kept by an earlier version for every board, taken once as this board's limit rules.
    void adoptLegacyLimits();
    void refuseLimit(const QString &why);
    void showCalibration();
    const BoardCalibration &calibration() const;
    std::vector<AlarmRule> rules() const;
    void limitEdited(QTableWidgetItem *item);
    void viewMovedByHand();
    void setPaused(bool paused);
    std::vector<int> exportedChannels() const;
    void setTimeAxis(int index);
    void updateRecordingLabel();
    void recordingFailed(const QString &path, qint64 rows, const QString &error);
    void boardsChanged();
    void showBoard(const QString &serial);
    void updateTitle();
    const TrendHistory &history() const;
    BoardSession *shownSession() const;
    BoardRecording *shownRecording() const;
    qint64 now() const;
    // What to add to a time of the trend's clock for the wall clock's.
    qint64 wallMinusMono() const;
    ReplayDriver *replayed() const;

    QString m_board;
    bool m_followsForeground = true; // until the operator chooses a board
    TrendHistory m_noHistory;        // shown while there is no board
    QSet<QString> m_recordings;      // the boards this window records
    QComboBox *m_boardChoice = nullptr;
    QComboBox *m_span = nullptr;
    QComboBox *m_timeAxis = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_record = nullptr;
    QPushButton *m_fit = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_channels = nullptr;
    QLabel *m_recording = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_cursorDelta = nullptr;
    std::array<std::optional<double>, kLastChannel + 1> m_low{};
    std::array<std::optional<double>, kLastChannel + 1> m_high{};
    bool m_fillingTable = false;
    QString m_limitMessage; // why the last limit typed was refused
    TrendPlot *m_plot = nullptr;
    QTableWidget *m_table = nullptr;
    QTimer m_refresh;
    bool m_paused = false;
};
