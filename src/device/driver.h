#pragma once

#include <QString>

class PlayedFeed;

#include <cstdint>

// Status codes returned by the list and status calls; FtOk is success.
inline constexpr std::uint32_t FtOk = 0;
inline constexpr std::uint32_t FtInvalidHandle = 1;
inline constexpr std::uint32_t FtDeviceNotFound = 2;
inline constexpr std::uint32_t FtDeviceNotOpened = 3;
inline constexpr std::uint32_t FtIoError = 4;
inline constexpr std::uint32_t FtInvalidParameter = 6;

// Flags of the list call.
inline constexpr std::uint32_t FtListNumberOnly = 0x80000000;
inline constexpr std::uint32_t FtListByIndex = 0x40000000;
inline constexpr std::uint32_t FtOpenBySerialNumber = 0x00000001;

// Whether a status code says the device itself is gone or broken (as after an unplug), rather than a call that
// was merely refused.
inline constexpr bool isDeviceFailure(std::uint32_t status)
{
    return status == FtDeviceNotFound || status == FtDeviceNotOpened || status == FtIoError;
}

// The handle value a failed open returns.
inline constexpr std::intptr_t kInvalidHandle = -1;

// Size of the serial-number buffer handed to listDeviceSerial(): 16 characters and a terminating zero.
inline constexpr int kSerialBufferSize = 17;

// The six entry points of the USB converter's driver that the program uses, with the meaning of the vendor's
// published interface. Every backend (vendor library, operating system serial driver, simulated board) offers
// exactly these; nothing above this layer knows which backend it talks to.
//
// All calls are made from the GUI thread, one at a time, and must return promptly: reads and status queries
// never wait for data, writes wait only until the bytes are taken.
class Driver
{
public:
    virtual ~Driver() = default;

    // List call, count form. On FtOk *count holds the number of attached devices.
    virtual std::uint32_t listDeviceCount(std::uint32_t *count) = 0;

    // List call, by-position form. On FtOk `buffer` (kSerialBufferSize bytes, zeroed by the caller) holds the
    // zero-terminated serial number of the device at `position` (0 for the first).
    virtual std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) = 0;

    // Opens the device whose serial number is the zero-terminated 8-bit text `serial`.
    // Returns its handle, or kInvalidHandle when no such device can be opened.
    virtual std::intptr_t createFile(const char *serial) = 0;

    // Closes a handle returned by createFile(). Returns false on failure.
    virtual bool closeHandle(std::intptr_t handle) = 0;

    // Writes `size` bytes. Returns false on failure; *written receives the number of bytes taken.
    virtual bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) = 0;

    // Queue status: bytes received and not yet read, bytes waiting to be sent, event flags.
    virtual std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                    std::uint32_t *events) = 0;

    // Reads up to `size` bytes of what is queued. Returns false on failure; *read receives the number read.
    virtual bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) = 0;

    // Why the last createFile() gave kInvalidHandle, in a few words for the operator ("no permission to open
    // /dev/ttyUSB0"); empty when the backend does not know. Not one of the driver's entry points.
    virtual QString openFailureReason() const { return {}; }

    // Who holds the board from another program (a holder on the network), in a few words; empty when nobody does
    // or the backend cannot know. Not one of the driver's entry points.
    virtual QString heldElsewhereBy(const QString &serial) const
    {
        Q_UNUSED(serial);
        return {};
    }

    // A recording played back (the replay driver): what it tells besides the bytes; null for a live board. Not one
    // of the driver's entry points.
    virtual PlayedFeed *playedFeed() { return nullptr; }
};
