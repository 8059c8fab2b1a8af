#pragma once

#include <QStringView>

#include <cstdint>

class Driver;

// The one transmitter: sends `text` to the board behind `handle` in a single driver write, one byte per character
// (see code_page.h). Adds no terminator and reports nothing: the caller builds the whole command, and a write to
// no board (handle 0), to a failed open (-1) or to a board that has gone fails in the driver. Returns the driver's
// verdict on the write, for callers that watch for a board going away; a partial write is not a failure.
bool SendCommand(Driver &driver, std::intptr_t handle, QStringView text);
