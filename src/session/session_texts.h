#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

enum class GapReason : std::int32_t;

// Every text the program says of a board in the log, the status line and the records, defined once: the session
// says them as things happen, and the journal's reader says them again from what the journal kept.
namespace texts {

QString deviceSelected(QStringView serial);                         // "Device selected : SERIAL"
QString noDeviceSelected();                                         // "Device selected : -none-"
QString deviceNotOpenedLog(QStringView serial, QStringView reason); // "Device could not be opened : SERIAL - why"
QString deviceNotOpenedStatus(QStringView serial);                  // "Device not opened : SERIAL"
QString deviceLost(QStringView serial);                             // "Device lost : SERIAL"
QString deviceClosed(QStringView serial);                           // "Device closed : SERIAL"
QString received(QStringView line);                                 // "received : LINE"
QString singleByte(unsigned char byte);                             // "byte : N"
QString typed(QStringView command);                                 // ">COMMAND"
QString notSentNoBoard();                                           // "Not sent : no board open"
QString notSentAsTyped(qsizetype characters);
QString notSentRefused(QStringView why);      // "Not sent : WHY"
QString recordedCommand(QStringView command); // "sent : COMMAND\r\n" (line ends shown)
QString journalStopped(QStringView reason);   // "Journal stopped : REASON"

// Why readings stopped, in a few words ("board lost"), for records and the bridge.
QString gapReason(GapReason reason);
// A gap's record text: its reason, and what it says more in parentheses.
QString gapRecord(QStringView reason, QStringView detail);

} // namespace texts
