#pragma once

#include <cstdint>

// The one process-wide record of the window program. Every member is zero at start. The board's handle and
// what the operator set up on it (pin directions and levels) belong to the board session, which the main window
// owns for the whole run.
struct AppState {
    // View flags: 1 while the child window is shown through its View item.
    std::int32_t viewCom = 0;
    std::int32_t viewDig = 0;
    std::int32_t viewAna = 0;
    std::int32_t viewScr = 0;
    // The trend window's flag; it is not part of the layout file.
    std::int32_t viewTrend = 0;
    // The test plan window's flag; not part of the layout file either.
    std::int32_t viewTestPlan = 0;

    // The script text changed since it was last loaded or saved.
    bool scriptChanged = false;
};

AppState &appState();

// Puts every member back to zero; for tests that start a fresh program run.
void resetAppState();
