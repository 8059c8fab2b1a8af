#include "recording_driver.h"

#include <algorithm>
#include <cstring>

QList<QByteArray> RecordingDriver::writes() const
{
    QList<QByteArray> result;
    for (const DriverCall &call : calls) {
        if (call.kind == DriverCall::Write)
            result.append(call.bytes);
    }
    return result;
}

QList<std::intptr_t> RecordingDriver::closes() const
{
    QList<std::intptr_t> result;
    for (const DriverCall &call : calls) {
        if (call.kind == DriverCall::Close)
            result.append(call.handle);
    }
    return result;
}

int RecordingDriver::count(DriverCall::Kind kind) const
{
    return int(std::count_if(calls.begin(), calls.end(), [kind](const DriverCall &c) { return c.kind == kind; }));
}

std::uint32_t RecordingDriver::listDeviceCount(std::uint32_t *count)
{
    calls.emplace_back(DriverCall::Count);
    if (failCount)
        return FtIoError;
    *count = static_cast<std::uint32_t>(serials.size());
    return FtOk;
}

std::uint32_t RecordingDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    DriverCall call(DriverCall::Serial);
    call.position = position;
    calls.push_back(call);
    if (failPositions.contains(position) || position < 0 || position >= serials.size())
        return FtDeviceNotFound;
    const QByteArray text = serials[position].toLatin1();
    std::memcpy(buffer, text.constData(), std::min<qsizetype>(text.size(), kSerialBufferSize));
    return FtOk;
}

std::intptr_t RecordingDriver::createFile(const char *serial)
{
    DriverCall call(DriverCall::Create);
    call.bytes = serial;
    calls.push_back(call);
    const QString name = QString::fromLatin1(serial);
    if (!serials.contains(name) || unopenable.contains(name))
        return kInvalidHandle;
    return nextHandle++;
}

bool RecordingDriver::closeHandle(std::intptr_t handle)
{
    DriverCall call(DriverCall::Close);
    call.handle = handle;
    calls.push_back(call);
    return !failClose;
}

bool RecordingDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    DriverCall call(DriverCall::Write);
    call.handle = handle;
    call.bytes = QByteArray(data, size);
    call.size = size;
    calls.push_back(call);
    *written = failWrite ? 0 : size;
    return !failWrite;
}

std::uint32_t RecordingDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                         std::uint32_t *events)
{
    DriverCall call(DriverCall::Status);
    call.handle = handle;
    calls.push_back(call);
    *txQueue = 0;
    *events = 0;
    if (failStatus)
        return statusFailure;
    if (statusOverride >= 0)
        *rxQueue = static_cast<std::uint32_t>(statusOverride);
    else
        *rxQueue = chunks.isEmpty() ? 0 : static_cast<std::uint32_t>(chunks.first().size());
    return FtOk;
}

bool RecordingDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    DriverCall call(DriverCall::Read);
    call.handle = handle;
    call.size = size;
    calls.push_back(call);
    *read = 0;
    if (failRead)
        return false;
    qsizetype n = 0;
    if (!chunks.isEmpty()) {
        QByteArray &chunk = chunks.first();
        n = std::min<qsizetype>(size, chunk.size());
        if (readLimit >= 0)
            n = std::min<qsizetype>(n, readLimit);
        std::memcpy(buffer, chunk.constData(), n);
        chunk.remove(0, n);
        if (chunk.isEmpty())
            chunks.removeFirst();
    }
    *read = readClaims >= 0 ? static_cast<std::uint32_t>(readClaims) : static_cast<std::uint32_t>(n);
    return true;
}
