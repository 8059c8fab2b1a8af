#pragma once

#include "device/driver.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

// One call made to the driver, as recorded.
struct DriverCall {
    enum Kind { Count, Serial, Create, Close, Write, Status, Read };
    explicit DriverCall(Kind k)
        : kind(k)
    {}
    Kind kind;
    std::intptr_t handle = 0;  // Close, Write, Status, Read
    std::int32_t position = 0; // Serial
    QByteArray bytes;          // Create: the serial text; Write: the bytes written
    std::uint32_t size = 0;    // Write, Read: the size asked for
};

// A driver that records every call and serves scripted answers, so tests see the exact bytes the program
// writes and can feed the receive path.
class RecordingDriver : public Driver
{
public:
    // Attached devices, in enumeration order.
    QStringList serials;
    // Serial numbers that cannot be opened (the open gives kInvalidHandle), and the reason the driver then gives.
    QSet<QString> unopenable;
    QString openFailure;
    // The next handle an open returns; each open takes the next number.
    std::intptr_t nextHandle = 100;

    // Failure switches, one per call.
    bool failCount = false;
    QSet<std::int32_t> failPositions;
    bool failClose = false;
    bool failWrite = false;
    bool failStatus = false;
    std::uint32_t statusFailure = FtIoError; // what a failing status call returns
    bool failRead = false;

    // Bytes waiting to be read, one chunk per tick: every status call reports the size of the first chunk,
    // every read takes from it, and an emptied chunk makes way for the next.
    QList<QByteArray> chunks;
    void queue(const QByteArray &bytes) { chunks.append(bytes); }

    // Overrides of what the status call reports (negative: the real size of the first chunk).
    qint64 statusOverride = -1;
    // A read that claims this many bytes whatever it was asked (negative: honest).
    qint64 readClaims = -1;
    // A read that delivers at most this many bytes (negative: all asked).
    qint64 readLimit = -1;

    std::vector<DriverCall> calls;

    // The bytes of every write, in order.
    QList<QByteArray> writes() const;
    // Handles passed to close, in order.
    QList<std::intptr_t> closes() const;
    int count(DriverCall::Kind kind) const;
    void clearCalls() { calls.clear(); }

    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override { return openFailure; }
};
