#include "device/d2xx_driver.h"

#include <QtGlobal>

#include <array>
#include <cstring>

// The vendor's calling convention and file name on each system.
#if defined(Q_OS_WIN)
#define D2XX_API __stdcall
#define D2XX_LIBRARY "FTD2XX.DLL"
#elif defined(Q_OS_MACOS)
#define D2XX_API
#define D2XX_LIBRARY "libftd2xx.dylib"
#else
#define D2XX_API
#define D2XX_LIBRARY "libftd2xx.so"
#endif

namespace {

// DWORD arguments go by value as unsigned long: 32 bits on Windows, and zero-extended on 64-bit systems whose
// library build may use either width. Results are read as 32-bit values. Every DWORD out-parameter is an
// 8-byte slot set to zero, of which the low 32 bits are read, so a library writing 4 or 8 bytes is safe.
using Dword = unsigned long;
using DwordSlot = std::uint64_t;

using ListDevicesFn = std::uint32_t(D2XX_API *)(void *arg1, void *arg2, Dword flags);
using CreateFileFn = void *(D2XX_API *)(const char *name, Dword access, Dword shareMode, void *security, Dword creation,
                                        Dword attributesAndFlags, void *templateFile);
using CloseHandleFn = std::int32_t(D2XX_API *)(void *handle);
using WriteFileFn = std::int32_t(D2XX_API *)(void *handle, void *buffer, Dword size, DwordSlot *written,
                                             void *overlapped);
using GetStatusFn = std::uint32_t(D2XX_API *)(void *handle, DwordSlot *rxQueue, DwordSlot *txQueue, DwordSlot *events);
using ReadFileFn = std::int32_t(D2XX_API *)(void *handle, void *buffer, Dword size, DwordSlot *read, void *overlapped);

constexpr Dword kGenericReadWrite = 0xC0000000;
constexpr Dword kOpenExisting = 3;
constexpr Dword kAttributeNormalBySerial = 0x81;

// Some library builds write more than 17 bytes for a long serial number; they get room to do so.
constexpr int kLibrarySerialScratch = 64;

std::uint32_t low32(DwordSlot slot)
{
    return static_cast<std::uint32_t>(slot & 0xFFFFFFFFu);
}

void *toHandle(std::intptr_t handle)
{
    return reinterpret_cast<void *>(handle);
}

} // namespace

struct D2xxDriver::Api {
    ListDevicesFn listDevices = nullptr;
    CreateFileFn createFile = nullptr;
    CloseHandleFn closeHandle = nullptr;
    WriteFileFn writeFile = nullptr;
    GetStatusFn getStatus = nullptr;
    ReadFileFn readFile = nullptr;
};

QString D2xxDriver::defaultLibraryPath()
{
    const QString fromEnvironment = qEnvironmentVariable("VANTREL_D2XX_LIBRARY");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral(D2XX_LIBRARY);
}

D2xxDriver::D2xxDriver(const QString &libraryPath)
    : m_library(libraryPath.isEmpty() ? defaultLibraryPath() : libraryPath)
{
    const QString file = m_library.fileName();
    if (!m_library.load()) {
        m_loadError = QStringLiteral("D2XX library %1 could not be loaded: %2").arg(file, m_library.errorString());
        return;
    }

    Api api;
    struct Entry {
        const char *name;
        QFunctionPointer *slot;
    };
    const std::array<Entry, 6> entries{{
        {"FT_ListDevices", reinterpret_cast<QFunctionPointer *>(&api.listDevices)},
        {"FT_W32_CreateFile", reinterpret_cast<QFunctionPointer *>(&api.createFile)},
        {"FT_W32_CloseHandle", reinterpret_cast<QFunctionPointer *>(&api.closeHandle)},
        {"FT_W32_WriteFile", reinterpret_cast<QFunctionPointer *>(&api.writeFile)},
        {"FT_GetStatus", reinterpret_cast<QFunctionPointer *>(&api.getStatus)},
        {"FT_W32_ReadFile", reinterpret_cast<QFunctionPointer *>(&api.readFile)},
    }};
    QStringList missing;
    for (const Entry &entry : entries) {
        *entry.slot = m_library.resolve(entry.name);
        if (!*entry.slot)
            missing.append(QString::fromLatin1(entry.name));
    }
    if (!missing.isEmpty()) {
        m_loadError = QStringLiteral("D2XX library %1 lacks %2").arg(file, missing.join(QStringLiteral(", ")));
        m_library.unload();
        return;
    }
    m_api = std::make_unique<Api>(api);
    m_loaded = true;
}

// The library stays mapped: a vendor library may run threads of its own that outlive a close.
D2xxDriver::~D2xxDriver() = default;

std::uint32_t D2xxDriver::listDeviceCount(std::uint32_t *count)
{
    if (!m_loaded)
        return FtDeviceNotFound;
    DwordSlot slot = 0;
    const std::uint32_t status = m_api->listDevices(&slot, nullptr, FtListNumberOnly);
    *count = low32(slot);
    return status;
}

std::uint32_t D2xxDriver::listDeviceSerial(std::int32_t position, char *buffer)
{
    if (!m_loaded)
        return FtDeviceNotFound;
    std::array<char, kLibrarySerialScratch> scratch{};
    // The position itself is the value of the first argument.
    void *positionArgument = reinterpret_cast<void *>(static_cast<std::intptr_t>(position));
    const std::uint32_t status =
        m_api->listDevices(positionArgument, scratch.data(), FtListByIndex | FtOpenBySerialNumber);
    std::memcpy(buffer, scratch.data(), kSerialBufferSize);
    return status;
}

std::intptr_t D2xxDriver::createFile(const char *serial)
{
    if (!m_loaded)
        return kInvalidHandle;
    void *handle =
        m_api->createFile(serial, kGenericReadWrite, 0, nullptr, kOpenExisting, kAttributeNormalBySerial, nullptr);
    return reinterpret_cast<std::intptr_t>(handle);
}

QString D2xxDriver::openFailureReason() const
{
    return m_loaded ? QString() : m_loadError;
}

bool D2xxDriver::closeHandle(std::intptr_t handle)
{
    if (!m_loaded)
        return false;
    return m_api->closeHandle(toHandle(handle)) != 0;
}

bool D2xxDriver::writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written)
{
    *written = 0;
    if (!m_loaded)
        return false;
    DwordSlot slot = 0;
    const bool ok = m_api->writeFile(toHandle(handle), const_cast<char *>(data), size, &slot, nullptr) != 0;
    *written = low32(slot);
    return ok;
}

std::uint32_t D2xxDriver::getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                                    std::uint32_t *events)
{
    if (!m_loaded)
        return FtInvalidHandle;
    DwordSlot rx = 0;
    DwordSlot tx = 0;
    DwordSlot ev = 0;
    const std::uint32_t status = m_api->getStatus(toHandle(handle), &rx, &tx, &ev);
    *rxQueue = low32(rx);
    *txQueue = low32(tx);
    *events = low32(ev);
    return status;
}

bool D2xxDriver::readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read)
{
    *read = 0;
    if (!m_loaded)
        return false;
    DwordSlot slot = 0;
    const bool ok = m_api->readFile(toHandle(handle), buffer, size, &slot, nullptr) != 0;
    *read = low32(slot);
    return ok;
}
