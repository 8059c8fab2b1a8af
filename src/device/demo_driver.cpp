#include "device/demo_driver.h"

#include <algorithm>
#include <cstring>

DemoDriver::DemoDriver(Clock clock)
    : m_clock(std::move(clock))
{
    m_wallClock.start();
    m_slots.push_back({DemoBoard("DEMO0001"), 0});
    m_slots.push_back({DemoBoard("DEMO0002"), 0});
}

qint64 DemoDriver::now() const
{
    return m_clock ? m_clock() : m_wallClock.elapsed();
}

DemoDriver::Slot *DemoDriver::slotFor(std::intptr_t handle)
{
    if (handle <= 0)
        return nullptr;
    for (Slot &slot : m_slots) {
        if (slot.handle == handle)
            return &slot;
    }
    return nullptr;
}

std::vector<DemoDriver::Slot *> DemoDriver::present()
{
    std::vector<Slot *> slots;
    const qint64 time = now();
    for (Slot &slot : m_slots) {
        if (slot.backAt >= 0 && time >= slot.backAt) {
            slot.backAt = -1;
            slot.board.powerUp();
        }
        if (slot.backAt < 0)
            slots.push_back(&slot);
    }
    return slots;
}

void DemoDriver::pullOut(Slot &slot)
{
    if (slot.handle != 0)
        m_deadHandles.push_back(slot.handle);
    slot.handle = 0;
    slot.backAt = now() + kUnplugMs;
}

std::uint32_t DemoDriver::listDeviceCount(std::uint32_t *count)
{
    *count = static_cast<std::uint32_t>(present().size());
    return FtOk;
}

std::uint32_t DemoDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    const std::vector<Slot *> slots = present();
    if (position < 0 || position >= static_cast<std::int32_t>(slots.size()))
        return FtDeviceNotFound;
    const QByteArray &serial = slots[position]->board.serial();
    std::memcpy(buffer, serial.constData(), std::min<qsizetype>(serial.size(), kSerialBufferSize - 1));
    return FtOk;
}

std::intptr_t DemoDriver::createFile(const char *serial)
{
    m_openFailure.clear();
    for (Slot *slot : present()) {
        if (slot->board.serial() == serial) {
            // Like the chip, a board can be open only once.
            if (slot->handle != 0) {
                m_openFailure = QStringLiteral("already open");
                return kInvalidHandle;
            }
            slot->handle = m_nextHandle++;
            return slot->handle;
        }
    }
    m_openFailure = QStringLiteral("no such board");
    return kInvalidHandle;
}

bool DemoDriver::closeHandle(std::intptr_t handle)
{
    const auto dead = std::find(m_deadHandles.begin(), m_deadHandles.end(), handle);
    if (dead != m_deadHandles.end()) {
        m_deadHandles.erase(dead);
        return true;
    }
    Slot *slot = slotFor(handle);
    if (!slot)
        return false;
    slot->handle = 0;
    return true;
}

bool DemoDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    *written = 0;
    Slot *slot = slotFor(handle);
    if (!slot)
        return false;
    slot->board.receive(data, size, now());
    *written = size;
    if (slot->board.takeUnplugRequest())
        pullOut(*slot);
    return true;
}

std::uint32_t DemoDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                    std::uint32_t *events)
{
    Slot *slot = slotFor(handle);
    if (!slot) {
        const bool dead = std::find(m_deadHandles.begin(), m_deadHandles.end(), handle) != m_deadHandles.end();
        return dead ? FtIoError : FtInvalidHandle;
    }
    slot->board.advance(now());
    *rxQueue = static_cast<std::uint32_t>(slot->board.pendingBytes());
    *txQueue = 0;
    *events = 0;
    return FtOk;
}

bool DemoDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    Slot *slot = slotFor(handle);
    if (!slot)
        return false;
    *read = static_cast<std::uint32_t>(slot->board.take(buffer, size));
    return true;
}
