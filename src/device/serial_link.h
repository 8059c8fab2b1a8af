#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// One open serial port. What the operating system has received is taken in when takeIn() is called (once a
// poll) into a buffer of at most kBufferLimit bytes; whatever does not fit stays in the operating system's
// queue, where the link's flow control or the sender's blocking deals with it. A slow stream costs no wakeups
// between polls. A fast one would overflow the operating system's small queue between two polls, so while a
// poll finds much (kBusyBytes or more), the link also drains the port whenever data arrives in between.
//
// Writes never wait for a slow link: what the operating system does not take at once is kept, in order, and
// handed on from the event loop as the port takes it, however long that takes; the window goes on painting and
// the poll goes on reading meanwhile. Only a port that is gone or a real input/output error fails a write.
// Closing the link first hands on what is kept, waiting as long as the port keeps taking bytes.
class SerialLink
{
public:
    static constexpr qsizetype kBufferLimit = 2 * 1024 * 1024;
    static constexpr qsizetype kBusyBytes = 12 * 1024;
    // Most bytes kept for sending; a write beyond it waits until there is room (four scripts of the largest size).
    static constexpr qsizetype kOutgoingLimit = 16 * 1024 * 1024;
    // At close, how long the port may take no byte at all before what is kept is given up (and said).
    static constexpr int kCloseStallMs = 30'000;

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

    // Takes every byte for sending, in order after what is kept already. False only when the port is gone (it
    // failed now or before).
    bool write(const char *data, qint64 size);
    // Bytes kept that the operating system has not taken yet.
    qint64 bytesToWrite() const;
    // Waits until every kept byte is taken, as long as the port keeps taking some within `stallMs`; false when
    // bytes are left.
    bool flushOut(int stallMs);

private:
    struct Native;
    explicit SerialLink(std::unique_ptr<Native> native);
    void markGone();
    void drain();
    void pushOut();

    std::unique_ptr<Native> m_native;
    QByteArray m_received;
    bool m_gone = false;
};
