#pragma once

#include <QString>
#include <QStringView>

#include <bitset>

// Every text the program sends to the board, with its terminator. The rest of the program asks for a command by
// what it means ("monitor pin 5 on"); only this file spells the bytes. Most commands end with CR LF; "led on",
// "led off", the analog requests and the monitoring commands with LF alone, as the board's firmware expects.
//
// A number is written with a blank in place of the sign of a non-negative number, so "pin" and "adc" are followed
// by two blanks before the digits ("pin  7 output").

// The fixed commands of the communications window's buttons.
QString identityCommand();   // "id" CR LF
QString ledCommand(bool on); // "led on" / "led off", LF
QString resetCommand();      // "reset" CR LF

// A command typed by the operator (or sent for them by the runner, a plan or a remote client): the text as
// typed, then CR LF.
QString typedCommand(QStringView text);

// What Send Script hands on: the script's lines, already joined with CR LF, and one CR LF after the last.
QString scriptCommand(QStringView linesWithCrLf);

enum class PinAction { Input, Output, Set, Clear, MonitorOn, MonitorOff };

// "pin  N input", "pin  N output", "pin  N set", "pin  N clear", "pin  N monitor on", "pin  N monitor off":
// the command without its terminator, as the log shows the logged ones.
QString pinCommandText(int pin, PinAction action);
// The same with its terminator: CR LF for direction and level, LF for monitoring.
QString pinCommand(int pin, PinAction action);
// Whether the log shows the command before it is sent (direction and level commands).
bool isLoggedPinAction(PinAction action);
// The level command for an output's level: Set when high, Clear when low.
inline PinAction levelAction(bool high)
{
    return high ? PinAction::Set : PinAction::Clear;
}

// One poll's analog requests: "adc  C" and LF for each channel set in `channels` (1..8), ascending, in one text;
// empty when none is set.
QString analogRequests(const std::bitset<9> &channels);
