#pragma once

#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/form_communications.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/scripting/form_scripting.h"

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
    {"viewCom", formCommunications::kView, LayoutField::Shown},
    {"comTop", formCommunications::kView, LayoutField::Top},
    {"comLeft", formCommunications::kView, LayoutField::Left},
    {"viewDig", formDigitalPins::kView, LayoutField::Shown},
    {"digTop", formDigitalPins::kView, LayoutField::Top},
    {"digLeft", formDigitalPins::kView, LayoutField::Left},
    {"viewAna", formAnalogLevels::kView, LayoutField::Shown},
    {"anaTop", formAnalogLevels::kView, LayoutField::Top},
    {"anaLeft", formAnalogLevels::kView, LayoutField::Left},
    {"viewScr", formScripting::kView, LayoutField::Shown},
    {"scrTop", formScripting::kView, LayoutField::Top},
    {"scrLeft", formScripting::kView, LayoutField::Left},
    {"scrWidth", formScripting::kView, LayoutField::Width},
    {"scrHeight", formScripting::kView, LayoutField::Height},
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
