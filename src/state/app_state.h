#pragma once

#include <array>
#include <cstdint>

// Pins are numbered 1 to 18; entry 0 of the pin tables exists but no pin uses it.
inline constexpr int kFirstPin = 1;
inline constexpr int kLastPin = 18;
inline constexpr int kFirstChannel = 1;
inline constexpr int kLastChannel = 8;

// The one process-wide record shared by every window. Every member is zero at start.
struct AppState {
    // Handle of the board opened last: 0 before any selection, -1 after a failed open.
    // Never reset; closed only while it is greater than 0.
    std::intptr_t deviceHandle = 0;

    // 1 = the pin has been made an output from the digital pins window, 0 = input.
    std::array<std::int32_t, kLastPin + 1> pinIsOutput{};
    // Level last commanded for the pin as an output: 1 high, 0 low.
    std::array<std::int32_t, kLastPin + 1> pinOutputLevel{};

    // View flags: 1 while the child window is shown through its View item.
    std::int32_t viewCom = 0;
    std::int32_t viewDig = 0;
    std::int32_t viewAna = 0;
    std::int32_t viewScr = 0;
    // The trend window's flag; it is not part of the layout file.
    std::int32_t viewTrend = 0;

    // The script text changed since it was last loaded or saved.
    bool scriptChanged = false;
};

AppState &appState();

// Puts every member back to zero; for tests that start a fresh program run.
void resetAppState();
