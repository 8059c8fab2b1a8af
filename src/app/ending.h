#pragma once

class formMain;
class StopSignals;

// Ending by a signal (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: the console's control events) or by the session
// ending (X11 session management; Windows: WM_QUERYENDSESSION) closes `window` without questions, an unsaved script
// going to its recovery file.
void endWithoutQuestionsWhenAsked(formMain &window, const StopSignals &stop);
