#pragma once

#include "windows/views.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <optional>

// The layout file, "database.ini": 18 lines of key, one space and a decimal value, each ended by CR LF. It keeps
// the main window's geometry, which child windows were shown, and where (positions and sizes in twips).

enum class LayoutField { Top, Left, Width, Height, Shown };

struct LayoutKey {
    const char *name;
    std::optional<View> window; // nothing for the main window
    LayoutField field;
};

// The keys in the order they are written. Each view line comes before the position lines of its window, which
// take effect only when that view line raised the flag.
inline constexpr std::array<LayoutKey, 18> kLayoutKeys{{
    {"mainTop", std::nullopt, LayoutField::Top},
    {"mainLeft", std::nullopt, LayoutField::Left},
    {"mainWidth", std::nullopt, LayoutField::Width},
    {"mainHeight", std::nullopt, LayoutField::Height},
    {"viewCom", View::Communications, LayoutField::Shown},
    {"comTop", View::Communications, LayoutField::Top},
    {"comLeft", View::Communications, LayoutField::Left},
    {"viewDig", View::DigitalPins, LayoutField::Shown},
    {"digTop", View::DigitalPins, LayoutField::Top},
    {"digLeft", View::DigitalPins, LayoutField::Left},
    {"viewAna", View::AnalogLevels, LayoutField::Shown},
    {"anaTop", View::AnalogLevels, LayoutField::Top},
    {"anaLeft", View::AnalogLevels, LayoutField::Left},
    {"viewScr", View::Scripting, LayoutField::Shown},
    {"scrTop", View::Scripting, LayoutField::Top},
    {"scrLeft", View::Scripting, LayoutField::Left},
    {"scrWidth", View::Scripting, LayoutField::Width},
    {"scrHeight", View::Scripting, LayoutField::Height},
}};

// The key of that name (exact, case included), or null.
const LayoutKey *findLayoutKey(QByteArrayView name);

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
