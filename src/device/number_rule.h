#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

// The number in a word of a report line. Tab characters are skipped; then the longest leading part that reads
// as a number gives the value: an optional sign, decimal digits with at most one point, an optional exponent
// (E or D, optional sign, digits); or &H followed by hexadecimal digits, or &O followed by octal digits (a value
// that fits 16 bits is a signed 16-bit quantity, so &HFFFF is -1; one that fits 32 bits a signed 32-bit one).
// Anything after the number is ignored; a word that does not begin with a number, and the empty word, give 0.
// The value is rounded to the nearest integer, an exact half to the even neighbour.
//
// Returns nothing when the value does not fit a signed 32-bit integer.
std::optional<std::int32_t> reportNumber(QStringView word);
