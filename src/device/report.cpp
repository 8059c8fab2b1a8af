#include "device/report.h"

#include "device/board_limits.h"
#include "device/number_rule.h"

ReportWords splitReportWords(QStringView line)
{
    ReportWords result;
    qsizetype start = 0;
    while (result.count < ReportWords::kKept) {
        const qsizetype blank = line.indexOf(u' ', start);
        if (blank < 0) {
            result.words[result.count++] = line.sliced(start);
            break;
        }
        result.words[result.count++] = line.sliced(start, blank - start);
        start = blank + 1;
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
