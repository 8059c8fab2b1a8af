#pragma once

#include "device/driver.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

// A board that has always `queue` waiting: one open handle, the status reports what is queued, reads take from
// it. The benchmark refills it.
class StreamDriver : public Driver
{
public:
    QByteArray queue;
    qsizetype readAt = 0;

    void refill(const QByteArray &bytes)
    {
        queue = bytes;
        readAt = 0;
    }

    std::uint32_t listDeviceCount(std::uint32_t *count) override
    {
        *count = 1;
        return FtOk;
    }
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override
    {
        if (position != 0)
            return FtDeviceNotFound;
        std::memcpy(buffer, "BENCH001", 8);
        return FtOk;
    }
    std::intptr_t createFile(const char *) override { return 1; }
    bool closeHandle(std::intptr_t) override { return true; }
    bool writeFile(std::intptr_t, const char *, std::uint32_t size, std::uint32_t *written) override
    {
        *written = size;
        return true;
    }
    std::uint32_t getStatus(std::intptr_t, std::uint32_t *rx, std::uint32_t *tx, std::uint32_t *events) override
    {
        *rx = std::uint32_t(queue.size() - readAt);
        *tx = 0;
        *events = 0;
        return FtOk;
    }
    bool readFile(std::intptr_t, char *buffer, std::uint32_t size, std::uint32_t *read) override
    {
        const qsizetype n = std::min<qsizetype>(size, queue.size() - readAt);
        std::memcpy(buffer, queue.constData() + readAt, n);
        readAt += n;
        *read = std::uint32_t(n);
        return true;
    }
};
