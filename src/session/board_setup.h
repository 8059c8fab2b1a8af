#pragma once

#include "device/board_limits.h"
#include "device/report.h"

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

    // The output pins and the ticked channels, a bit each: what decides how a report line is taken (meaningOf),
    // and a setup made of them again.
    std::uint32_t outputPins() const
    {
        std::uint32_t pins = 0;
        for (int pin = kFirstPin; pin <= kLastPin; ++pin)
            pins |= std::uint32_t(isOutput(pin)) << pin;
        return pins;
    }
    std::uint32_t tickedMask() const { return std::uint32_t(tickedChannels.to_ulong()); }
    static BoardSetup fromMasks(std::uint32_t outputPins, std::uint32_t tickedChannels)
    {
        BoardSetup setup;
        for (int pin = kFirstPin; pin <= kLastPin; ++pin)
            setup.pinIsOutput[std::size_t(pin)] = std::int32_t((outputPins >> pin) & 1u);
        setup.tickedChannels = decltype(setup.tickedChannels)(tickedChannels);
        return setup;
    }

    bool operator==(const BoardSetup &) const = default;
};

// What a report line makes happen on a board set up so: the level of an input pin, or a reading; a ticked
// channel's reading is shown as the reading only, its line is consumed.
struct LineMeaning {
    bool level = false;
    bool reading = false;
    bool consumed = false;
};

inline LineMeaning meaningOf(const Report &report, const BoardSetup &setup)
{
    LineMeaning meaning;
    if (!report.applicable)
        return meaning;
    if (report.kind == Report::Kind::Pin) {
        // An output keeps the colour the digital pins window gave it.
        meaning.level = !setup.isOutput(report.pin);
    } else if (report.kind == Report::Kind::Analog) {
        meaning.reading = true;
        meaning.consumed = setup.isTicked(report.channel);
    }
    return meaning;
}

inline bool isPin(int pin)
{
    return pin >= kFirstPin && pin <= kLastPin;
}

inline bool isChannel(int channel)
{
    return channel >= kFirstChannel && channel <= kLastChannel;
}
