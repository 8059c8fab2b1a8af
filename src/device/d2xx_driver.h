#pragma once

#include "device/driver.h"

#include <QLibrary>
#include <QString>

#include <memory>

// The vendor's D2XX library, loaded at run time. Every call passes the arguments and flags of the vendor's
// published interface. When the library is missing, or lacks one of the six entry points, the backend is
// "not loaded": it reports no devices, opens nothing and every other call fails.
class D2xxDriver : public Driver
{
public:
    // Loads `libraryPath`, or defaultLibraryPath() when it is empty.
    explicit D2xxDriver(const QString &libraryPath = {});
    ~D2xxDriver() override;

    // The file named by VANTREL_D2XX_LIBRARY, else the platform's usual name of the library.
    static QString defaultLibraryPath();

    bool isLoaded() const { return m_loaded; }
    // Why the library is not loaded, naming the file tried; empty when it is.
    QString loadError() const { return m_loadError; }

    std::uint32_t listDeviceCount(std::uint32_t *count) override;
    std::uint32_t listDeviceSerial(std::int32_t position, char *buffer) override;
    std::intptr_t createFile(const char *serial) override;
    bool closeHandle(std::intptr_t handle) override;
    bool writeFile(std::intptr_t handle, const char *data, std::uint32_t size, std::uint32_t *written) override;
    std::uint32_t getStatus(std::intptr_t handle, std::uint32_t *rxQueue, std::uint32_t *txQueue,
                            std::uint32_t *events) override;
    bool readFile(std::intptr_t handle, char *buffer, std::uint32_t size, std::uint32_t *read) override;
    QString openFailureReason() const override;

    struct Api;

private:
    QLibrary m_library;
    std::unique_ptr<Api> m_api;
    bool m_loaded = false;
    QString m_loadError;
};
