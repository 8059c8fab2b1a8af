#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

// The first words of a report line, split at every blank: two blanks in a row give an empty word between them,
// a leading blank an empty word 0. Only the words the report protocol reads are kept; the views point into the
// line, nothing is allocated.
struct ReportWords {
    static constexpr int kKept = 5;
    std::array<QStringView, kKept> words{};
    int count = 0; // words kept, at most kKept

    QStringView operator[](int index) const { return index < count ? words[index] : QStringView(); }
};

ReportWords splitReportWords(QStringView line);

// What a report line from the board says.
struct Report {
    enum class Kind {
        Empty,    // nothing to do, nothing to log
        Pin,      // "pin n s": pin n's level is s (0 low, anything else high)
        Analog,   // "adc c v": channel c reads v
        Debounce, // "debounce x count reset k": a count k
        Other,    // anything else: only logged
    };

    Kind kind = Kind::Empty;
    // The line has every word its kind needs, its numbers fit 32 bits, and its pin (1..18) or channel (1..8)
    // exists. A line that is not applicable changes nothing and is logged.
    bool applicable = false;
    std::int32_t pin = 0;
    std::int32_t state = 0;
    std::int32_t channel = 0;
    std::int32_t value = 0;
    std::int32_t count = 0;
};

Report parseReport(QStringView line);

// The report of a line given as its bytes, where it can be told without the full rule: "pin P L" (P 1..18, L 0 or 1)
// and "adc C V" (C 1..8, V of at most 9 digits) with every number plain (no sign, no leading zero), and any line
// whose first word names no report. What parseReport makes of the same line; nothing for any other line, which then
// needs parseReport. Most of what a busy board says is read so without making a string of it.
std::optional<Report> parseReportBytes(QByteArrayView line);
