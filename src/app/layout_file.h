#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>

// The layout file, "database.ini": 18 lines of key, one space and a decimal value, each ended by CR LF. It keeps
// the main window's geometry, which child windows were shown, and where (positions and sizes in twips).

inline constexpr std::array<const char *, 18> kLayoutKeys{
    "mainTop", "mainLeft", "mainWidth", "mainHeight", "viewCom", "comTop", "comLeft", "viewDig",  "digTop",
    "digLeft", "viewAna",  "anaTop",    "anaLeft",    "viewScr", "scrTop", "scrLeft", "scrWidth", "scrHeight"};

inline constexpr char kLayoutFileName[] = "database.ini";

// Files larger than this are not layout files; only their beginning is read.
inline constexpr qint64 kMaxLayoutFileSize = 1024 * 1024;

struct LayoutEntry {
    QByteArray key;
    double value = 0;
};

// The lines of a layout file in file order. A line ends at CR LF, a CR alone or a LF alone; it is split at every
// single space; the first token is the key and the second, read by layoutNumber(), the value. Lines that cannot
// be split into a key and a value (blank lines, lines without a space) are left out; keys are not checked here.
QList<LayoutEntry> readLayoutEntries(QByteArrayView bytes);

// The longest leading decimal number of a token (optional sign, digits, optional point and fraction); 0 when
// the token does not begin with one.
double layoutNumber(QByteArrayView token);

// The whole file for these values, given in the order of kLayoutKeys.
QByteArray layoutFileBytes(const std::array<qint64, kLayoutKeys.size()> &values);
