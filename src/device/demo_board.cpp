#include "device/demo_board.h"

#include <QList>

#include <cmath>
#include <numbers>

namespace {

QList<QByteArray> splitWords(const QByteArray &line)
{
    QList<QByteArray> words;
    for (const QByteArray &word : line.split(' ')) {
        if (!word.isEmpty())
            words.append(word);
    }
    return words;
}

// A number word of a command: decimal digits only, within [low, high]; 0 when it is anything else.
int numberIn(const QByteArray &word, int low, int high)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    return ok && value >= low && value <= high ? value : 0;
}

// The board's language, as the README's "Talking to the board" lists it.
const char *const kHelp[] = {
    "help: commands end with CR, LF or both; numbers may have blanks before them",
    "help: id                       answered by one identity line",
    "help: led on, led off          answered \"ok led on\", \"ok led off\"",
    "help: reset                    every pin an input, nothing monitored; answered \"ok reset\"",
    "help: pin N input|output       pin N (1..18) becomes an input or an output",
    "help: pin N set|clear          the level pin N drives as an output: high or low",
    "help: pin N monitor on|off     report pin N as \"pin N S\" (S 0 or 1) now and whenever it changes",
    "help: adc C                    answered \"adc C V\", the reading of channel C (1..8), V 0..255",
    "help: anything else            answered \"error ...\"",
};

const char *const kFixtureHelp[] = {
    "help: fixture: while pin k (1..9) is an output, input pin k+9 follows its level",
    "help: fixture: channel 8 reads 200 +/- 3 while pin 9 is an output driven high, otherwise 50 +/- 3",
};

} // namespace

DemoBoard::DemoBoard(QByteArray serial)
    : m_serial(std::move(serial))
    , m_fixture(m_serial == kFixtureSerial)
{}

void DemoBoard::receive(const char *data, qsizetype size, qint64 nowMs)
{
    advance(nowMs);
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (m_commandOverflow)
                queueLine("error command too long");
            else if (!m_command.isEmpty())
                execute(m_command, nowMs);
            m_command.clear();
            m_commandOverflow = false;
        } else if (m_command.size() < kCommandCapacity) {
            m_command.append(c);
        } else {
            m_commandOverflow = true;
        }
    }
}

void DemoBoard::advance(qint64 nowMs)
{
    for (int pin = 1; pin <= 18; ++pin) {
        Pin &p = m_pins[pin];
        if (p.monitored && level(pin, nowMs) != p.reportedLevel)
            reportPin(pin, nowMs);
    }
}

qsizetype DemoBoard::take(char *buffer, qsizetype max)
{
    const qsizetype n = std::min(max, m_output.size());
    std::copy_n(m_output.constData(), n, buffer);
    m_output.remove(0, n);
    return n;
}

int DemoBoard::analogLevel(int channel, qint64 nowMs)
{
    // Each channel swings smoothly through the whole range with a period and phase of its own.
    const double period = 1500.0 + 500.0 * channel;
    const double angle = 2.0 * std::numbers::pi * double(nowMs % 3600000) / period + channel;
    return std::clamp(int(std::lround(127.5 + 127.5 * std::sin(angle))), 0, 255);
}

int DemoBoard::reading(int channel, qint64 nowMs) const
{
    if (!m_fixture || channel != 8)
        return analogLevel(channel, nowMs);
    // A little noise, as a real supply has.
    const int noise = int(std::lround(3.0 * std::sin(double(nowMs % 100000) / 37.0)));
    const Pin &driver = m_pins[9];
    return (driver.output && driver.outputLevel == 1 ? 200 : 50) + noise;
}

int DemoBoard::inputLevel(int pin, qint64 nowMs)
{
    return int((nowMs / (pin * 300)) % 2);
}

int DemoBoard::level(int pin, qint64 nowMs) const
{
    const Pin &p = m_pins[pin];
    if (p.output)
        return p.outputLevel;
    if (m_fixture && pin >= 10 && m_pins[pin - 9].output)
        return m_pins[pin - 9].outputLevel;
    return inputLevel(pin, nowMs);
}

void DemoBoard::reportPin(int pin, qint64 nowMs)
{
    Pin &p = m_pins[pin];
    p.reportedLevel = level(pin, nowMs);
    queueLine("pin " + QByteArray::number(pin) + ' ' + QByteArray::number(p.reportedLevel));
}

void DemoBoard::execute(const QByteArray &line, qint64 nowMs)
{
    const QList<QByteArray> words = splitWords(line);
    if (words.isEmpty())
        return;
    const QByteArray &keyword = words[0];
    if (keyword == "pin") {
        if (!executePin(words, nowMs))
            queueLine("error bad pin command: " + line);
    } else if (keyword == "adc") {
        const int channel = words.size() == 2 ? numberIn(words[1], 1, 8) : 0;
        if (channel == 0)
            queueLine("error bad adc command: " + line);
        else
            queueLine("adc " + QByteArray::number(channel) + ' ' + QByteArray::number(reading(channel, nowMs)));
    } else if (words == QList<QByteArray>{"id"}) {
        queueLine("Vantrel USB I/O board " + m_serial + " (simulated) firmware 3.0");
    } else if (words == QList<QByteArray>{"led", "on"} || words == QList<QByteArray>{"led", "off"}) {
        queueLine("ok " + words.join(' '));
    } else if (words == QList<QByteArray>{"help"}) {
        for (const char *line : kHelp)
            queueLine(line);
        if (m_fixture) {
            for (const char *line : kFixtureHelp)
                queueLine(line);
        }
    } else if (words == QList<QByteArray>{"unplug"}) {
        m_unplugRequested = true;
    } else if (words == QList<QByteArray>{"reset"}) {
        reset();
        queueLine("ok reset");
    } else {
        queueLine("error unknown command: " + line);
    }
}

bool DemoBoard::executePin(const QList<QByteArray> &words, qint64 nowMs)
{
    if (words.size() < 3)
        return false;
    const int pin = numberIn(words[1], 1, 18);
    if (pin == 0)
        return false;
    Pin &p = m_pins[pin];
    const QByteArray &action = words[2];
    if (words.size() == 3 && action == "input") {
        p.output = false;
    } else if (words.size() == 3 && action == "output") {
        p.output = true;
    } else if (words.size() == 3 && (action == "set" || action == "clear")) {
        p.outputLevel = action == "set" ? 1 : 0;
    } else if (words.size() == 4 && action == "monitor" && (words[3] == "on" || words[3] == "off")) {
        p.monitored = words[3] == "on";
        if (p.monitored)
            reportPin(pin, nowMs);
        return true;
    } else {
        return false;
    }
    // On the fixture a pin's follower may change with it.
    advance(nowMs);
    return true;
}

void DemoBoard::reset()
{
    m_pins = {};
}

void DemoBoard::powerUp()
{
    reset();
    m_command.clear();
    m_commandOverflow = false;
    m_output.clear();
}

void DemoBoard::queueLine(const QByteArray &line)
{
    const QByteArray bytes = line + "\r\n";
    if (m_output.size() + bytes.size() <= kOutputCapacity)
        m_output.append(bytes);
}
