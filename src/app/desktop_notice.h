#pragma once

#include <QString>

// Tells the operator's desktop something that needs them (an alarm raised), through the freedesktop notification
// service on the session bus. Nothing happens where there is no such bus or no service on it (Windows, a bare
// session); the call never waits for the desktop.
void notifyDesktop(const QString &summary, const QString &body, bool urgent);
