#pragma once

#include <QString>
#include <QStringView>

// The texts of the board's commands. Terminators are chosen by each sender and are part of the text handed to
// SendCommand(): most commands end with CR LF, "led on", "led off", the analog requests and the monitoring
// commands with LF alone.
inline constexpr QStringView kCrLf = u"\r\n";
inline constexpr QStringView kLf = u"\n";

// A number as the board's commands write it: a blank in place of the sign of a non-negative number, so that
// "pin " followed by 7 reads "pin  7".
QString numberField(int value);

// "pin", two blanks, the pin number and the suffix (" input", " output", " set", " clear", " monitor on",
// " monitor off"), without terminator.
QString pinCommand(int pin, QStringView suffix);

// One analog read request: "adc", two blanks, the channel and LF.
QString analogRequest(int channel);
