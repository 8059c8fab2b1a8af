#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// One open serial port. What the operating system has received is taken in when takeIn() is called (once a
// poll) into a buffer of at most kBufferLimit bytes; whatever does not fit stays in the operating system's
// queue, where the link's flow control or the sender's blocking deals with it. A slow stream costs no wakeups
// between polls. A fast one would overflow the operating system's small queue between two polls, so while a
// poll finds much (kBusyBytes or more), the link also drains the port whenever data arrives in between.
class SerialLink
{
public:
    static constexpr qsizetype kBufferLimit = 2 * 1024 * 1024;
    static constexpr qsizetype kBusyBytes = 12 * 1024;

    struct OpenResult {
        std::unique_ptr<SerialLink> link; // null when the port could not be opened
        QString reason;                   // then why, for the operator
        bool permissionDenied = false;
    };
    // Opens `portName` (a name such as ttyUSB0 or COM7, or a path) at 9600 baud, 8N1, no flow control.
    static OpenResult open(const QString &portName);

    ~SerialLink();
    SerialLink(const SerialLink &) = delete;
    SerialLink &operator=(const SerialLink &) = delete;

    // Takes in what has arrived, up to the buffer limit. The first read or hang-up error marks the port gone and
    // closes it; what was taken in before stays in received().
    void takeIn();
    QByteArray &received() { return m_received; }
    bool isGone() const { return m_gone; }

    // Writes every byte, waiting at most `timeoutMs` for the operating system to take them. False when not all
    // were taken; a port that failed for good is then gone.
    bool write(const char *data, qint64 size, int timeoutMs, qint64 *written);

private:
    struct Native;
    explicit SerialLink(std::unique_ptr<Native> native);
    void markGone();
    void drain();

    std::unique_ptr<Native> m_native;
    QByteArray m_received;
    bool m_gone = false;
};
