#pragma once

#include <QString>

#include <cstdint>

class Driver;

// Device discovery on top of the driver's list and open calls. Closing has no wrapper: callers call
// Driver::closeHandle() with the handle themselves.

// Number of attached devices; 0 when the driver reports a failure.
std::int32_t DeviceCount(Driver &driver);

// Serial number of the device at `position` (0 for the first), at most 16 characters; the empty text when the
// driver reports a failure.
QString DeviceSerial(Driver &driver, std::int32_t position);

// Opens the device with that serial number and returns the handle exactly as the driver gave it
// (kInvalidHandle, -1, when it could not be opened). Nothing is tested or reported here.
std::intptr_t OpenDevice(Driver &driver, const QString &serial);
