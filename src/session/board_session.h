#pragma once

#include "device/board_commands.h"
#include "session/board_setup.h"
#include "session/event_stream.h"
#include "session/session_event.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Driver;
class PlayedFeed;
class PollLease;
class Poller;

// The system's monotonic clock in milliseconds, the same for every session and every process: their events can
// be put in one time order.
qint64 monotonicClockMs();

// The board session: the one owner of a board. It chooses and closes the board, sends every command, runs the
// receive poll (analog requests, the queue status, the read, line assembly and the report interpreter), keeps
// what the operator has set up (BoardSetup), and tells what happens as one stream of time-stamped events. It
// knows nothing of windows and reaches no global: several sessions, each on its own driver handle, run side by
// side in one process, on one thread.
//
// The handle (`deviceHandle`) is 0 before any selection, -1 after a failed open, and closed only while greater
// than 0.
//
// A board that goes away while open (a failing write, read, or a status that says the device is gone) is marked
// lost once: "Device lost : SERIAL" is logged and shown. While it is lost, the session looks for its serial
// number at most once a second; when it is listed again it is opened as a selection opens it and put back as it
// was told since it was selected (directions, levels and monitoring, in the order they were sent). A new
// selection ends the waiting.
//
// On a recording played back (a driver with a PlayedFeed, the replay), the session interprets the recorded bytes
// as it interprets any board's, and stamps every event with the recorded moment played. Nothing is written to
// the board: an operator's action that would send says "Not sent : a replay takes no commands" once, in the log
// and the status line. The recording's losses, returns and gaps are played as such; the session makes no gap of
// its own from what the recording already says (a board lost, requests off, a poll stalled), only from what the
// operator does here (another board chosen, polling stopped).
class BoardSession
{
public:
    using Clock = std::function<qint64()>; // milliseconds

    // Without clocks the session uses the system's monotonic clock and its wall clock.
    explicit BoardSession(Driver &driver, Clock monotonicClock = {}, Clock wallClock = {});
    ~BoardSession();
    BoardSession(const BoardSession &) = delete;
    BoardSession &operator=(const BoardSession &) = delete;

    Driver &driver() { return m_driver; }
    std::intptr_t handle() const { return m_deviceHandle; }
    const BoardSetup &setup() const { return m_setup; }
    // The set-up as the board held was told it since its selection: each pin's direction, level and monitoring as
    // last sent to it (untold: input, low, not monitored), with the channels requested of it now. The set-up itself
    // may still hold what an earlier board was told.
    BoardSetup toldSinceSelection() const;
    EventStream &events() { return m_events; }
    // The clock that times this session's poll: it polls while any lease from wantPolling() lives.
    Poller &poller() { return *m_poller; }
    // Polling at least every `interval` while the lease lives; `why` names the client ("plan run"). The session
    // polls at the shortest interval any living lease asks for, and stops when the last lease goes.
    [[nodiscard]] PollLease wantPolling(std::chrono::milliseconds interval, const QString &why);
    // The session's monotonic clock, in milliseconds: the time events are stamped with.
    qint64 now() const { return m_monotonic(); }
    // The session's clocks read now, for an event told by someone else on this session's stream (an alarm).
    EventStamp stamp() const { return {m_monotonic(), m_wall()}; }

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

    // Hands the board held (open, or lost and looked for) to `to`, which holds none: its handle, serial number,
    // what it was told since it was selected, and the set-up, with analog requests on for the ticked channels.
    // This session then holds none, its own set-up unchanged. Nothing is opened, closed, sent or said: the board
    // simply goes on in the other session.
    void handOver(BoardSession &to);
    // Takes the board `from` holds, as a selection of it would but without a second open: the board held here is
    // closed first, then the choice is logged and shown, and the set-up becomes the board's (analog requests stay
    // as they are here), told as SetupChanged events for every pin and channel. `from` then holds none.
    void adopt(BoardSession &from);

    // The serial number of the board chosen last, empty before any selection.
    QString selectedSerial() const { return m_serial; }
    const QString &serial() const { return m_serial; }
    // True from the moment the open board was found gone until it is back or another board is chosen.
    bool isLost() const { return m_lost; }
    // Whether a board is held here: open, or lost and looked for.
    bool holdsBoard() const { return !m_closed && (m_deviceHandle > 0 || m_lost); }
    // Whether a lost board is looked for and reopened (on by default).
    void setReconnect(bool on) { m_reconnect = on; }
    // How long a lost board is waited for between two looks.
    static constexpr qint64 kLookIntervalMs = 1000;

    // Sends a command exactly as given (terminator included) to the board held now; nothing is logged. With no
    // board open (none chosen, a failed open, a lost board) the status line says "Not sent : no board open".
    // Characters with no byte in the code page go as '?', and the log says how many, once.
    void send(const QString &command);
    // A typed command: sent with CR LF, then logged as ">" and the text.
    void sendTyped(QStringView text);
    // Bytes from a remote holder of the board, written as they came (told as a command sent, not logged). A
    // failing write marks the board lost. The write's verdict.
    bool writeRaw(const QByteArray &bytes);
    // Called with every chunk read from the board, before its lines are interpreted (none: nothing is called).
    using ReceiveTap = std::function<void(const char *bytes, std::uint32_t size)>;
    void setReceiveTap(ReceiveTap tap) { m_receiveTap = std::move(tap); }

    // The operator's set-up. Each change sends what it needs, logs what the pins window logs, and is told as a
    // SetupChanged event so every view shows it.
    //
    // Makes the pin an output: its level command first (set or clear, as last commanded), then "output".
    void makePinOutput(int pin);
    // Makes the pin an output driving `high`: its level command first, then "output", whatever it was before.
    void makePinOutputAt(int pin, bool high);
    // Makes the pin an input ("input").
    void makePinInput(int pin);
    // Drives an output high or low (nothing for an input).
    void setPinLevel(int pin, bool high);
    // Switches a pin's level reports on or off at the board; nothing is sent when it is so already.
    void setPinMonitored(int pin, bool on);
    // Forgets every monitored pin without telling the board (the boxes that held them are gone).
    void forgetMonitoredPins();
    // Ticks or unticks a channel; takes effect at the next poll.
    void setChannelTicked(int channel, bool on);
    // Forgets every ticked channel.
    void forgetTickedChannels();
    void setAnalogRequestsOn(bool on);

    // Asks a monitored pin for a fresh level report (its monitoring switched on once more); nothing otherwise.
    void requestPinReport(int pin);
    // Requests one reading of a channel now, as a poll requests the ticked ones (not logged).
    void requestReading(int channel);

    // A line for the communications log, and the status line, from whoever drives the session.
    void logLine(const QString &text);
    void showStatus(const QString &text);

    // One poll: analog requests for the ticked channels while they are wanted, then everything queued at the
    // board (at most readCap() bytes) read, assembled into lines and interpreted. Nothing at all while
    // no board has been chosen.
    void poll();

    // Handles the report line in pendingLine, then empties it.
    void interpretLine();

    // Every byte read from boards so far.
    qint64 bytesReceived() const { return m_bytesReceived; }

    // Why readings cannot come now; nothing while they can. Where they stop for one of these reasons, a Gap event
    // says so once, stamped where it happened.
    std::optional<GapReason> readingsGap() const;
    // A poll this much later than the interval asked for is a gap (the process stood still).
    static constexpr qint64 kStallMs = 1000;

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
    friend class Poller;
    // The poller started or stopped; `why` names the last lease that went.
    void pollingChanged(const QString &why);
    // Says a gap when readings stopped flowing now; `detail` says more of why.
    void followReadings(const QString &detail = QString());
    void publishGap(GapReason reason, int channel, const QString &detail);
    // What one read brought, with what decides how its lines are taken.
    void publishBytes(QByteArrayView bytes);
    // A poll that came much later than asked marks a gap in readings that were coming.
    void noteStall();
    void stampNow();
    SessionEvent event(SessionEvent::Kind kind) const;
    // The transmitter's write, told as an event; a failing write marks an open board lost. The write's verdict.
    // A poll's requests say so (its period and channels), so records can summarise them.
    bool transmit(const QString &command, int pollPeriodMs = 0, std::int32_t pollChannels = 0);
    // An operator's command: written, with "Not sent" in the status line when no board is open. Returns how many
    // of its characters have no byte to go as.
    qsizetype sendSaying(const QString &command);
    void sayUnsendable(qsizetype characters);
    void publish(SessionEvent::Kind kind, const QString &text);
    void publish(SessionEvent::Kind kind, int index = 0, std::int32_t value = 0);
    void publishSetup(int index, SetupAspect aspect);
    void sendPinCommand(int pin, PinAction action);
    void requestAnalogReadings();
    void receive();
    void adaptReadCap(std::uint32_t bytes, qint64 nanoseconds);
    void showSelected();
    // Leaves the board held, without a word: what handOver() and adopt() move.
    void releaseBoard();
    void markLost();
    void lookForLostBoard();
    void restoreBoard();

    // An operator's action (a send, a pin changed): on a replay its refusal is said once, however many commands it
    // would send.
    class Action
    {
    public:
        explicit Action(BoardSession &session);
        ~Action();
        Action(const Action &) = delete;
        Action &operator=(const Action &) = delete;

    private:
        BoardSession &m_session;
    };
    void sayRefusal();
    // Plays what the recording says happened between reads (gaps, polls, commands); false when there is nothing.
    bool playHappening(std::intptr_t handle);
    // Reads what is queued, once; a replay's read is one recorded read. The bytes read, or -1 when nothing was.
    qint64 receiveOnce(std::uint32_t cap);

    struct SentPinCommand {
        int pin = 0;
        PinAction action = PinAction::Input;
    };

    Driver &m_driver;
    Clock m_monotonic;
    Clock m_wall;
    EventStream m_events;
    std::unique_ptr<Poller> m_poller;
    BoardSetup m_setup;
    std::vector<SentPinCommand> m_sentSinceSelection; // each pin's direction, level, monitoring: the last told

    std::intptr_t m_deviceHandle = 0;
    EventStamp m_stamp;
    QByteArray m_receiveBuffer; // kept between polls so a full queue costs no allocation
    QString m_serial;
    bool m_lost = false;
    bool m_reconnect = true;
    bool m_closed = false;
    bool m_readingsFlow = false; // readings can come: told as a Gap when that ends
    qint64 m_lastPollMs = -1;    // while polling
    qint64 m_nextLookMs = 0;
    qint64 m_bytesReceived = 0;
    std::uint32_t m_readCap = kFirstReadCap;
    ReceiveTap m_receiveTap;
    PlayedFeed *m_played = nullptr; // the driver's, when it plays a recording back
    int m_actionDepth = 0;
    bool m_refusalSaid = false;
};
