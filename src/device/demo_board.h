#pragma once

#include <QByteArray>

#include <array>
#include <utility>

// One simulated board: it speaks the board's command and report protocol, so everything above the driver
// works with it exactly as with hardware.
//
// Commands (blanks separate words, any number of them; a line ends at CR or LF):
//   pin N input|output|set|clear|monitor on|monitor off     N = 1..18
//   adc C                                                   C = 1..8, answered "adc C V", V = 0..255
//   id, led on, led off, reset                              answered by one line each
//   unplug                                                  the board asks to be pulled out (see DemoDriver)
// A monitored pin is reported as "pin N S" when monitoring is switched on and whenever its level changes.
// Input pins follow a pattern of their own (pin N toggles every N x 300 ms); outputs follow the command.
// Reports end with CR LF. Time is given by the caller in milliseconds.
//
// DEMO0002 sits on a loopback fixture, so that checks have something to find: while pin k (1..9) is an output,
// input pin k+9 follows its level; channel 8 reads 200 +/- 3 while pin 9 is an output driven high, otherwise
// 50 +/- 3. Every other serial number is a board with nothing attached.
class DemoBoard
{
public:
    explicit DemoBoard(QByteArray serial);

    const QByteArray &serial() const { return m_serial; }

    // Bytes from the host.
    void receive(const char *data, qsizetype size, qint64 nowMs);
    // Brings the inputs up to `nowMs`, queuing a report for every monitored pin whose level changed.
    void advance(qint64 nowMs);

    qsizetype pendingBytes() const { return m_output.size(); }
    // Takes up to `max` queued report bytes into `buffer`; returns how many.
    qsizetype take(char *buffer, qsizetype max);

    // True once after the board received "unplug".
    bool takeUnplugRequest() { return std::exchange(m_unplugRequested, false); }
    // The board as after power comes back: every pin an input, nothing monitored, nothing queued.
    void powerUp();

    // Level of an analog channel at a given time, 0..255, with nothing attached.
    static int analogLevel(int channel, qint64 nowMs);
    // What this board reads on a channel: the fixture's level where it has one.
    int reading(int channel, qint64 nowMs) const;
    static constexpr const char *kFixtureSerial = "DEMO0002";
    // Level an input pin shows at a given time, 0 or 1.
    static int inputLevel(int pin, qint64 nowMs);

    // The chip's receive buffer holds this much; reports beyond it are lost, as on hardware.
    static constexpr qsizetype kOutputCapacity = 64 * 1024;
    static constexpr qsizetype kCommandCapacity = 256;

private:
    struct Pin {
        bool output = false;
        int outputLevel = 0;
        bool monitored = false;
        int reportedLevel = -1;
    };

    void execute(const QByteArray &line, qint64 nowMs);
    bool executePin(const QList<QByteArray> &words, qint64 nowMs);
    void reset();
    int level(int pin, qint64 nowMs) const;
    void reportPin(int pin, qint64 nowMs);
    void queueLine(const QByteArray &line);

    QByteArray m_serial;
    bool m_fixture = false;
    std::array<Pin, 19> m_pins{};
    QByteArray m_command;
    bool m_commandOverflow = false;
    QByteArray m_output;
    bool m_unplugRequested = false;
};
