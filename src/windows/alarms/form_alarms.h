#pragma once

#include "windows/child_window.h"

#include <QTimer>

class QLabel;
class QPushButton;
class QTableWidget;

// The alarms window: the active alarms of every board first (the unacknowledged at the top), with Acknowledge (the
// one selected) and Acknowledge All, then the history of the last 1,000 alarm events with their times, newest first.
// Channels... edits the foreground board's calibration and rules.
class formAlarms : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"alarms"};
    static constexpr int kHistoryRows = 1000;

    enum ActiveColumn { BoardColumn, AlarmColumn, SeverityColumn, StateColumn, SinceColumn, ActiveColumnCount };

    explicit formAlarms(Workspace &workspace, QWidget *parent = nullptr);

    QTableWidget *active() const { return m_active; }
    QTableWidget *history() const { return m_history; }
    void acknowledgeSelected();
    void acknowledgeAll();
    void editChannels();
    QSize sizeHint() const override;

private:
    void buildControls();
    void refresh();
    void fillActive();
    void fillHistory();

    QTableWidget *m_active = nullptr;
    QTableWidget *m_history = nullptr;
    QPushButton *m_acknowledge = nullptr;
    QPushButton *m_acknowledgeAll = nullptr;
    QPushButton *m_channels = nullptr;
    QTimer m_clock; // a condition that goes tells nothing: the states are looked at again each second
};
