#pragma once

#include "session/event_stream.h"
#include "session/poller.h"
#include "windows/child_window.h"

#include <QString>

class CommandBoxHistory;
class DeviceList;
class LogView;
class QGroupBox;
class QLineEdit;

// The communications window: the device list and device selection, the fixed command buttons, the typed
// command line and the log, which shows the session's log lines. It also keeps the receive poll going: it holds a
// poll lease on the session from its creation until it closes, so the board is polled as long as the window exists,
// shown or hidden (and as long as anyone else holds a lease). TimerBackgound is the session's poller.
class formCommunications : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"communications"};

    explicit formCommunications(Workspace &workspace, QWidget *parent = nullptr);
    ~formCommunications() override;

    LogView *Logbox() const { return m_logbox; }
    DeviceList *DevicesList() const { return m_devicesList; }
    QLineEdit *command() const { return m_command; }
    // Up, Down, Escape and Ctrl+R in the command box.
    CommandBoxHistory *commandHistory() const { return m_commandHistory; }
    Poller *TimerBackgound() const;

    // Rebuilds the device list from the driver; opens and closes nothing.
    void ScanDevices();
    // Closes the open board, opens the one at the chosen position (asking the driver again), logs and shows the
    // choice. The entry "No devices found." chooses position 0.
    void DevicesList_Click();
    // Sends the typed command with CR LF and logs it when KeyCode is 13 (Enter); it goes into the history too.
    void command_KeyDown(int KeyCode);

    // Asks for a file (and whether each line is to carry its time) and writes the log to it.
    void saveLog();
    // Shows the journal's folder (the selected board's) in the desktop's file manager.
    void openJournalFolder();

    void rescanDevices_Click();
    void IdRequest_Click();
    void LedOn_Click();
    void LedOff_Click();
    void Reset_Click();

    // One tick of the receive poll.
    void TimerBackgound_Timer();

protected:
    void closing() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void send(const QString &command);

    QGroupBox *m_deviceSelectionFrame = nullptr;
    DeviceList *m_devicesList = nullptr;
    QGroupBox *m_loggingFrame = nullptr;
    LogView *m_logbox = nullptr;
    QGroupBox *m_commandFrame = nullptr;
    QLineEdit *m_command = nullptr;
    CommandBoxHistory *m_commandHistory = nullptr;
    EventStream::Subscription m_logLines;
    PollLease m_polling;
};
