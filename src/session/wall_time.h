#pragma once

#include <QString>
#include <QtGlobal>

// An event's wall-clock stamp as people and other programs read it: local time with milliseconds and the offset
// from UTC, "2026-12-07T10:15:02.125+01:00" (never "Z", so every time has the same shape).
QString wallTimeText(qint64 wallMs);
