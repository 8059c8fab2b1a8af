#pragma once

#include "state/app_state.h"
#include "windows/workspace.h"

#include <array>
#include <cstdint>

// The fixed order of the child windows: the load step opens them in it, the layout file lists them in it.
inline constexpr std::array<View, 4> kViewOrder{View::Communications, View::DigitalPins, View::AnalogLevels,
                                                View::Scripting};

// The view flag of the application state that belongs to a child window.
inline std::int32_t &viewFlag(View view)
{
    AppState &state = appState();
    switch (view) {
    case View::Communications:
        return state.viewCom;
    case View::DigitalPins:
        return state.viewDig;
    case View::AnalogLevels:
        return state.viewAna;
    case View::Scripting:
        break;
    }
    return state.viewScr;
}
