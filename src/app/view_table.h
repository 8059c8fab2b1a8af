#pragma once

#include "session/session_event.h"
#include "windows/views.h"

#include <QKeySequence>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class ChildWindow;
class Workspace;
struct AppState;

// One child window with a View item: everything the main window needs to know of it. Adding a view is its folder
// under windows/ and one entry in viewTable().
struct ViewSpec {
    View view;
    const char *caption;   // of the View item, with its access key
    QKeySequence shortcut; // of the View item; none when empty
    // Its view flag in the program's record.
    std::int32_t AppState::*flag = nullptr;
    // Listed in the layout file, opened by the load step (in table order) and placed from the file; the others
    // keep their place in the program's settings.
    bool inLayoutFile = false;
    // A fixed-size frame without minimise or maximise buttons.
    bool fixedFrame = false;
    // An event that creates the window when it does not exist (as the log writer and the interpreter do);
    // the window then shows it, its View item and flag untouched.
    std::optional<SessionEvent::Kind> createdBy;
    std::function<ChildWindow *(Workspace &)> create;
    // Its item comes at the end of the View menu, after the items that were there before it.
    bool atMenuEnd = false;
};

// The views in the order of the View menu; those in the layout file come first.
const std::vector<ViewSpec> &viewTable();
