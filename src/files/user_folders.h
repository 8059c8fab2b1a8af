#pragma once

// Puts the program's settings where the platform's user data lives. Linux: Qt's own place, ~/.config (XDG). Windows:
// an INI file under %LOCALAPPDATA% instead of the registry, beside the journal and the recovered scripts, and in
// the test location when QStandardPaths' test mode is on. Call it after the application's names are set.
void useUserFolders();
