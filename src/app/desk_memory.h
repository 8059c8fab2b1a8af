#pragma once

#include "session/board_setup.h"

#include <QList>
#include <QString>

// What the operator's desk held at the last exit, kept in the program's settings, so the next start can begin
// where it ended: the board selected, its ticked channels and monitored pins, the pins it had made outputs (to be
// named, never driven), and the script file open in the editor.
struct DeskMemory {
    QString board;             // empty when none was selected
    QList<int> tickedChannels; // in ascending order
    QList<int> monitoredPins;  // in ascending order
    QList<int> outputPins;     // in ascending order
    QList<bool> outputLevels;  // of outputPins, true for high
    QString script;            // absolute path; empty for none

    void takeSetup(const BoardSetup &setup);
    bool operator==(const DeskMemory &) const = default;
};

DeskMemory readDeskMemory();
void keepDeskMemory(const DeskMemory &memory);

// "Restore at start" (on unless chosen off).
bool restoreAtStart();
void setRestoreAtStart(bool on);

// What the status line says of the outputs of last time that were not driven; empty when there were none.
QString outputsNotRestoredText(const DeskMemory &memory);
