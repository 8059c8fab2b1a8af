#pragma once

#include "state/app_state.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>

class Driver;
class SessionFrontEnd;

// The board session: everything between a front end and the driver. It chooses and closes the board, sends
// commands, and runs the receive poll: analog requests, the queue status, the read, line assembly and the report
// interpreter. It knows nothing of windows; what it has to show goes to its SessionFrontEnd, in order.
//
// The handle lives in the application state (`deviceHandle`): 0 before any selection, -1 after a failed open,
// closed only while greater than 0. The pin tables it reads live there too.
//
// A board that goes away while open (a failing write, read, or a status that says the device is gone) is marked
// lost once: "Device lost : SERIAL" is logged and shown. While it is lost, the session looks for its serial
// number at most once a second; when it is listed again it is opened as a selection opens it and put back as
// the operator left it (outputs driven again, monitoring switched on again). A new selection ends the waiting.
class BoardSession
{
public:
    using Clock = std::function<qint64()>; // milliseconds, monotonic

    // Without a clock the session uses the system's monotonic clock.
    BoardSession(Driver &driver, SessionFrontEnd &frontEnd, AppState &state = appState(), Clock clock = {});

    Driver &driver() { return m_driver; }
    AppState &state() { return m_state; }
    std::intptr_t handle() const { return m_state.deviceHandle; }

    // The serial numbers of the attached boards in the driver's order; empty when the driver finds none (or
    // fails to count). An entry is empty when the driver fails for that position. Opens and closes nothing.
    QStringList scanDevices();

    // Chooses the board at `position` of the last scan: the open board is closed, the driver is asked again for
    // the serial number at that position (the boards may have changed since the scan), that board is opened
    // and its handle stored whatever it is, and the choice is logged and shown. A board that could not be opened
    // is then logged and shown as such, with the driver's reason when it knows one. Returns the serial number.
    QString selectDevice(std::int32_t position);

    // Closes the open board (at exit). The handle keeps its value, so nothing is polled afterwards.
    void closeDevice();

    // The serial number of the board chosen last, empty before any selection.
    QString selectedSerial() const { return m_serial; }
    // True from the moment the open board was found gone until it is back or another board is chosen.
    bool isLost() const { return m_lost; }
    // Whether a lost board is looked for and reopened (on by default).
    void setReconnect(bool on) { m_reconnect = on; }
    // How long a lost board is waited for between two looks.
    static constexpr qint64 kLookIntervalMs = 1000;

    // Sends a command exactly as given (terminator included) to the board held now.
    void send(QStringView text);
    // Logs a command, then sends it with CR LF: the pin direction and level commands.
    void sendLogged(const QString &command);

    // One poll: analog requests for the ticked channels while they are wanted, then everything queued at the
    // board (at most readCap() bytes) read, assembled into lines and interpreted. Nothing at all while
    // no board has been chosen.
    void poll();

    // Handles the report line in pendingLine, then empties it.
    void interpretLine();

    // Every byte read from boards so far.
    qint64 bytesReceived() const { return m_bytesReceived; }

    // The characters received since the last line end.
    QString pendingLine;

    // Most bytes one poll reads; a longer queue is read on the following polls. It starts at kFirstReadCap and
    // follows what handling a byte has cost, so that one poll's handling takes about kPollBudgetMs however fast
    // the board sends, within [kMinReadCap, kMaxReadCap].
    std::uint32_t readCap() const { return m_readCap; }
    static constexpr std::uint32_t kFirstReadCap = 256 * 1024;
    static constexpr std::uint32_t kMinReadCap = 64 * 1024;
    static constexpr std::uint32_t kMaxReadCap = 8 * 1024 * 1024;
    static constexpr qint64 kPollBudgetMs = 20;

private:
    void requestAnalogReadings();
    void receive();
    void adaptReadCap(std::uint32_t bytes, qint64 nanoseconds);
    void showSelected();
    void markLost();
    void lookForLostBoard();
    void restoreBoard();

    Driver &m_driver;
    SessionFrontEnd &m_frontEnd;
    AppState &m_state;
    Clock m_clock;
    QByteArray m_receiveBuffer; // kept between polls so a full queue costs no allocation
    QString m_serial;
    bool m_lost = false;
    bool m_reconnect = true;
    bool m_closed = false;
    qint64 m_nextLookMs = 0;
    qint64 m_bytesReceived = 0;
    std::uint32_t m_readCap = kFirstReadCap;
};
