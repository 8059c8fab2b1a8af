#pragma once

#include <QStringView>

#include <cstdint>

class Driver;

// The one transmitter: sends `text` to the board behind `handle` in a single driver write, one byte per character
// (see code_page.h). Adds no terminator and reports nothing: the caller builds the whole command, and a write to
// no board (handle 0), to a failed open (-1) or to a board that has gone fails in the driver. Returns whether the
// driver took every byte, for callers that watch for a board going away.
bool SendCommand(Driver &driver, std::intptr_t handle, QStringView text);
