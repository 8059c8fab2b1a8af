#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWidget>

class DeviceList;
class LogView;
class QGroupBox;
class QLineEdit;
class QPushButton;
class Workspace;

// The communications window: the device list and device selection, the fixed command buttons, the typed
// command line and the log. It also carries the receive machinery: the poll timer TimerBackgound, the partial
// received line and the report interpreter, which run as long as the window exists, shown or hidden.
class formCommunications : public QWidget
{
    Q_OBJECT

public:
    // Most bytes one tick reads; a longer queue is read on the following ticks.
    static constexpr std::uint32_t kMaxReadPerTick = 256 * 1024;

    explicit formCommunications(Workspace &workspace, QWidget *parent = nullptr);
    ~formCommunications() override;

    LogView *Logbox() const { return m_logbox; }
    DeviceList *DevicesList() const { return m_devicesList; }
    QLineEdit *command() const { return m_command; }
    QTimer *TimerBackgound() { return &m_timer; }

    // True once the window has accepted its close; it is then on its way out and no longer used.
    bool isClosing() const { return m_closing; }

    // Rebuilds the device list from the driver; opens and closes nothing.
    void ScanDevices();
    // Closes the open board, opens the one chosen in the list, logs and shows the choice.
    void DevicesList_Click();
    // Sends the typed command with CR LF and logs it when KeyCode is 13 (Enter).
    void command_KeyDown(int KeyCode);

    // Asks for a file and writes the log to it.
    void saveLog();

    void rescanDevices_Click();
    void IdRequest_Click();
    void LedOn_Click();
    void LedOff_Click();
    void Reset_Click();

    // One tick of the receive poll.
    void TimerBackgound_Timer();
    // Handles the report line in pendingLine, then empties it.
    void interpretLine();

    // The characters received since the last line end.
    QString pendingLine;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void send(QStringView text);
    void requestAnalogReadings();
    void assemble(const char *bytes, qsizetype size);

    Workspace &m_workspace;
    QGroupBox *m_deviceSelectionFrame = nullptr;
    DeviceList *m_devicesList = nullptr;
    QGroupBox *m_loggingFrame = nullptr;
    LogView *m_logbox = nullptr;
    QGroupBox *m_commandFrame = nullptr;
    QLineEdit *m_command = nullptr;
    QTimer m_timer;
    QByteArray m_receiveBuffer; // kept between ticks so a full queue costs no allocation
    bool m_closing = false;
};
