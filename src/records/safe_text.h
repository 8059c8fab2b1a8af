#pragma once

#include <QString>
#include <QStringView>

// Text from outside (the network, files, the board) made safe to put where it could do harm: a file or topic name,
// a terminal, a log.

// The safe set of names: ASCII letters and digits, '.', '_' and '-'.
inline constexpr qsizetype kMaxSafeName = 64;
// Whether `name` is 1 to kMaxSafeName characters of the safe set (and not "." or "..").
bool isSafeName(QStringView name);
// A name mapped onto the safe set: every other character becomes '_'; an empty name, "." and ".." get a '_' in
// front. One file-name or topic level per name ("/dev/ttyACM0" -> "_dev_ttyACM0"); not shortened.
QString safeNameOf(const QString &name);

// Control characters as their escapes (\r, \n, \t, \x1b): a text never moves a terminal's cursor, changes its
// colours or starts a line of its own.
QString escapedControls(const QString &text);
// The same, in double quotes with '"' and '\' escaped too, at most `maxChars` characters of the text ("..." marks a
// cut): a payload said as it came, which cannot pass for the words around it.
QString quotedText(const QString &text, qsizetype maxChars = 200);
