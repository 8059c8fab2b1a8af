#pragma once

#include "device/demo_board.h"
#include "device/driver.h"

#include <QElapsedTimer>

#include <functional>
#include <vector>

// Two simulated boards, DEMO0001 and DEMO0002, behind the driver interface: listed, opened by serial number,
// written to and read from exactly as hardware would be. Handles are small positive integers.
//
// A board sent the command "unplug" is pulled out for kUnplugMs: it is not listed, and its handle is dead for good
// (status and read fail with an I/O error, writes fail), as with real hardware. It comes back powered up afresh.
class DemoDriver : public Driver
{
public:
    using Clock = std::function<qint64()>; // milliseconds since an arbitrary start

    // Without a clock the boards run on the wall clock.
    explicit DemoDriver(Clock clock = {});

    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override { return m_openFailure; }

    static constexpr qint64 kUnplugMs = 5000;

private:
    struct Slot {
        DemoBoard board;
        std::intptr_t handle = 0; // 0 while closed
        qint64 backAt = -1;       // while pulled out: when it comes back
    };

    Slot *slotFor(std::intptr_t handle);
    // The boards plugged in now, in listing order; brings back those whose time out is over.
    std::vector<Slot *> present();
    void pullOut(Slot &slot);
    qint64 now() const;

    Clock m_clock;
    QElapsedTimer m_wallClock;
    std::vector<Slot> m_slots;
    std::vector<std::intptr_t> m_deadHandles;
    std::intptr_t m_nextHandle = 1;
    QString m_openFailure;
};
