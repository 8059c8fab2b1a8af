#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// One command a network client sent to a served board.
struct BridgeControl {
    enum class Kind { Send, PinSet, PinMonitor, Led };
    Kind kind = Kind::Send;
    QString serial;
    int pin = 0;
    bool on = false; // PinSet: the level; PinMonitor, Led: on or off
    QString text;    // Send: the command, without its line end
};

// Reads a control message: PREFIX/SERIAL/send (a command of at most kMaxCommand characters, no line breaks),
// PREFIX/SERIAL/pin/N/set (1 or 0), PREFIX/SERIAL/pin/N/monitor (on or off), PREFIX/SERIAL/led/set (on or off).
// Anything else is nothing, with the reason in `why`.
std::optional<BridgeControl> parseBridgeControl(QStringView prefix, QStringView topic, const QByteArray &payload,
                                                QString *why);

inline constexpr qsizetype kMaxCommand = 1024;
