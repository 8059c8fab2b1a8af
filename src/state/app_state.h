#pragma once

#include <cstdint>

// The window program's record, owned by its main window and handed to the windows through their workspace. Every
// member is zero at start. The boards, and what the operator set up on them, belong to the board host.
struct AppState {
    // View flags: 1 while the child window is shown through its View item.
    std::int32_t viewCom = 0;
    std::int32_t viewDig = 0;
    std::int32_t viewAna = 0;
    std::int32_t viewScr = 0;
    // The flags of the windows the layout file does not list.
    std::int32_t viewTrend = 0;
    std::int32_t viewTestPlan = 0;
    std::int32_t viewBoards = 0;
    std::int32_t viewReplay = 0;
    std::int32_t viewAlarms = 0;

    // The script text changed since it was last loaded or saved.
    bool scriptChanged = false;
};
