#pragma once

#include "device/code_page.h"

#include <QString>

// Longest run of received characters without a line end that is kept; at this length the run is handed on as a
// line of its own, so a board that never ends a line cannot make memory grow without bound.
inline constexpr qsizetype kMaxPendingLine = 65536;

// Appends received bytes to `pendingLine`, one character per byte through the code page. Every CR and every LF
// calls `lineEnd` (line ends are not paired: CR LF calls it twice, the second time with nothing pending), and
// so does a pending line reaching kMaxPendingLine characters. `lineEnd` is expected to take the pending line
// and empty it. The terminators never reach `pendingLine`.
template<typename LineEnd>
void assembleLines(QString &pendingLine, const char *bytes, qsizetype size, LineEnd &&lineEnd)
{
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = start;
        const qsizetype room = kMaxPendingLine - pendingLine.size();
        while (end < size && end - start < room && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        appendFromCodePage(pendingLine, bytes + start, end - start);
        if (end < size && (bytes[end] == '\r' || bytes[end] == '\n')) {
            lineEnd();
            start = end + 1;
        } else {
            if (pendingLine.size() >= kMaxPendingLine) {
                lineEnd();
                // A consumer that kept the line would stop the loop from moving on.
                if (pendingLine.size() >= kMaxPendingLine)
                    pendingLine.clear();
            }
            start = end;
        }
    }
}
