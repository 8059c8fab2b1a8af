#pragma once

#include "device/board_limits.h"

#include <array>
#include <bitset>
#include <cstdint>

// What the operator has set up on a board: each pin's direction and output level, the pins whose level reports
// are switched on, the analog channels that are ticked, and whether analog requests go out at all. A plain value:
// the board session owns one and changes it only through its own operations, which also send what the change
// needs; windows, the runner, plans and remote clients read it and ask the session to change it.
struct BoardSetup {
    // 1 = the pin has been made an output, 0 = input. Entry 0 exists but no pin uses it.
    std::array<std::int32_t, kLastPin + 1> pinIsOutput{};
    // Level last commanded for the pin as an output: 1 high, 0 low.
    std::array<std::int32_t, kLastPin + 1> pinOutputLevel{};
    // Pins whose level reports are switched on at the board.
    std::bitset<kLastPin + 1> monitoredPins;
    // Channels requested on each poll while analog requests are on; their readings are shown, not logged.
    std::bitset<kLastChannel + 1> tickedChannels;
    // Analog requests go out on each poll (the analog window is shown through its View item).
    bool analogRequestsOn = false;

    bool isOutput(int pin) const { return pinIsOutput[std::size_t(pin)] != 0; }
    bool outputLevel(int pin) const { return pinOutputLevel[std::size_t(pin)] != 0; }
    bool isMonitored(int pin) const { return monitoredPins.test(std::size_t(pin)); }
    bool isTicked(int channel) const { return tickedChannels.test(std::size_t(channel)); }

    bool operator==(const BoardSetup &) const = default;
};

inline bool isPin(int pin)
{
    return pin >= kFirstPin && pin <= kLastPin;
}

inline bool isChannel(int channel)
{
    return channel >= kFirstChannel && channel <= kLastChannel;
}
