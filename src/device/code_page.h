#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Characters <-> bytes for everything that crosses the wire or goes into a script file: one byte per character
// in the system's 8-bit code page (the ANSI code page on Windows, ISO-8859-1 elsewhere, which maps every byte to
// one character and back). A character that has no byte becomes '?'.
QByteArray toCodePage(QStringView text);

// How many characters of `text` have no byte in the code page (a pair of UTF-16 units counts as one character).
qsizetype countOutsideCodePage(QStringView text);

// Appends one character per byte to `out`.
void appendFromCodePage(QString &out, const char *bytes, qsizetype size);

QString fromCodePage(QByteArrayView bytes);
