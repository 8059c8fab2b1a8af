#include "device/report.h"

#include "device/board_limits.h"
#include "device/number_rule.h"

#include <cstring>

ReportWords splitReportWords(QStringView line)
{
    // A plain scan: report lines are short, and a library search per word costs more than the words.
    ReportWords result;
    const QChar *characters = line.data();
    const qsizetype size = line.size();
    qsizetype start = 0;
    for (qsizetype i = 0;; ++i) {
        if (i == size) {
            result.words[result.count++] = line.sliced(start);
            break;
        }
        if (characters[i] == u' ') {
            result.words[result.count++] = line.sliced(start, i - start);
            start = i + 1;
            if (result.count == ReportWords::kKept)
                break;
        }
    }
    return result;
}

namespace {

void parsePin(const ReportWords &words, Report &report)
{
    if (words.count < 3)
        return;
    const auto pin = reportNumber(words[1]);
    const auto state = reportNumber(words[2]);
    if (!pin || !state || *pin < kFirstPin || *pin > kLastPin)
        return;
    report.pin = *pin;
    report.state = *state;
    report.applicable = true;
}

void parseAnalog(const ReportWords &words, Report &report)
{
    if (words.count < 3)
        return;
    const auto channel = reportNumber(words[1]);
    const auto value = reportNumber(words[2]);
    if (!channel || !value || *channel < kFirstChannel || *channel > kLastChannel)
        return;
    report.channel = *channel;
    report.value = *value;
    report.applicable = true;
}

void parseDebounce(const ReportWords &words, Report &report)
{
    if (words.count < 5 || words[2] != u"count" || words[3] != u"reset")
        return;
    const auto count = reportNumber(words[4]);
    if (!count)
        return;
    report.count = *count;
    report.applicable = true;
}

} // namespace

Report parseReport(QStringView line)
{
    Report report;
    if (line.isEmpty())
        return report;
    const ReportWords words = splitReportWords(line);
    const QStringView keyword = words[0];
    if (keyword == u"pin") {
        report.kind = Report::Kind::Pin;
        parsePin(words, report);
    } else if (keyword == u"debounce") {
        report.kind = Report::Kind::Debounce;
        parseDebounce(words, report);
    } else if (keyword == u"adc" && line != u"adc") {
        report.kind = Report::Kind::Analog;
        parseAnalog(words, report);
    } else {
        report.kind = Report::Kind::Other;
    }
    return report;
}

namespace {

// Plain digits from `at` up to the first character that is not one: no leading zero but a lone 0, at most `most`.
std::optional<std::int32_t> plainNumber(const char *&at, const char *end, int most)
{
    const char *start = at;
    std::int32_t value = 0;
    for (; at < end && *at >= '0' && *at <= '9'; ++at) {
        if (at - start == most)
            return std::nullopt;
        value = value * 10 + (*at - '0');
    }
    if (at == start || (*start == '0' && at - start > 1))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<Report> parseReportBytes(QByteArrayView line)
{
    const char *at = line.data();
    const char *end = at + line.size();
    const qsizetype size = line.size();
    // Whether the first word, as splitReportWords would cut it, is this one.
    const auto firstWordIs = [&](const char(&word)[4]) {
        return size >= 3 && at[0] == word[0] && at[1] == word[1] && at[2] == word[2] && (size == 3 || at[3] == ' ');
    };
    const bool pin = firstWordIs("pin");
    if (!pin && !firstWordIs("adc")) {
        if (size == 0 || (size >= 8 && std::memcmp(at, "debounce", 8) == 0 && (size == 8 || at[8] == ' ')))
            return std::nullopt;
        Report report;
        report.kind = Report::Kind::Other;
        return report;
    }
    if (size < 7)
        return std::nullopt;
    at += 4;
    const std::optional<std::int32_t> first = plainNumber(at, end, 2);
    if (!first || at == end || *at++ != ' ')
        return std::nullopt;
    // Nine digits at most: what the number rule reads plainly.
    const std::optional<std::int32_t> second = plainNumber(at, end, 9);
    if (!second || at != end)
        return std::nullopt;
    Report report;
    report.applicable = true;
    if (pin) {
        if (*first < kFirstPin || *first > kLastPin || *second > 1)
            return std::nullopt;
        report.kind = Report::Kind::Pin;
        report.pin = *first;
        report.state = *second;
    } else {
        if (*first < kFirstChannel || *first > kLastChannel)
            return std::nullopt;
        report.kind = Report::Kind::Analog;
        report.channel = *first;
        report.value = *second;
    }
    return report;
}
