#include "device/ftdi.h"

#include "device/code_page.h"
#include "device/driver.h"

#include <array>

std::int32_t DeviceCount(Driver &driver)
{
    std::uint32_t count = 0;
    if (driver.listDeviceCount(&count) != FtOk)
        return 0;
    return static_cast<std::int32_t>(count);
}

QString DeviceSerial(Driver &driver, std::int32_t position)
{
    std::array<char, kSerialBufferSize> buffer{};
    if (driver.listDeviceSerial(position, buffer.data()) != FtOk)
        return {};
    // Only the first 16 bytes are examined: a serial number without a terminating zero gives 16 characters.
    qsizetype length = 0;
    while (length < kSerialBufferSize - 1 && buffer[length] != 0)
        ++length;
    return fromCodePage(QByteArrayView(buffer.data(), length));
}

std::intptr_t OpenDevice(Driver &driver, const QString &serial)
{
    const QByteArray name = toCodePage(serial);
    return driver.createFile(name.constData());
}
