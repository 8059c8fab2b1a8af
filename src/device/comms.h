#pragma once

#include <QStringView>

class Driver;

// The one transmitter: sends `text` to the board held in appState().deviceHandle in a single driver write, one
// byte per character (see code_page.h). Adds no terminator and reports nothing: the caller builds the whole
// command, and a write to no board, or to a board that has gone, fails silently in the driver.
void SendCommand(Driver &driver, QStringView text);
