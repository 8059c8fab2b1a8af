#pragma once

#include "state/app_state.h"

#include <array>
#include <cstdint>

// The child windows that have a View item.
enum class View { Communications, DigitalPins, AnalogLevels, Scripting, Trend };

// The order in which the load step opens the four original child windows and the layout file lists them.
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
        return state.viewScr;
    case View::Trend:
        break;
    }
    return state.viewTrend;
}
