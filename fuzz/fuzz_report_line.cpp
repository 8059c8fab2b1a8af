// Word splitting, report parsing and the interpreter on any line: never crashes, the parse stays in bounds,
// the reading of bytes agrees with the full one wherever it reads a line, and the interpreter always empties the
// pending line.
#include "device/report.h"
#include "fuzz_session.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString line = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    line.remove(u'\r');
    line.remove(u'\n');

    const ReportWords words = splitReportWords(line);
    for (int i = 0; i < words.count; ++i) {
        if (words[i].contains(u' '))
            std::abort();
    }
    const Report report = parseReport(line);
    if (report.applicable && report.kind == Report::Kind::Pin && (report.pin < 1 || report.pin > 18))
        std::abort();
    if (report.applicable && report.kind == Report::Kind::Analog && (report.channel < 1 || report.channel > 8))
        std::abort();
    const QByteArray bytes = line.toLatin1();
    if (const std::optional<Report> plain = parseReportBytes(bytes)) {
        if (plain->kind != report.kind || plain->applicable != report.applicable || plain->pin != report.pin ||
            plain->state != report.state || plain->channel != report.channel || plain->value != report.value)
            std::abort();
    }

    BoardSession &session = fuzzSession().session;
    session.pendingLine = line;
    session.interpretLine();
    if (!session.pendingLine.isEmpty())
        std::abort();
    return 0;
}
