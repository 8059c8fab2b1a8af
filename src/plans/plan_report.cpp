#include "plans/plan_report.h"

#include "files/file_saving.h"
#include "plans/plan_run.h"
#include "session/wall_time.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>
#include <QXmlStreamWriter>

#include <algorithm>
#include <numeric>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

QString failureMessage(const StepResult &result)
{
    return QStringLiteral("measured %1; expected %2").arg(result.measured, result.expected);
}

} // namespace

ReportContext thisProcessContext()
{
    return {QSysInfo::machineHostName(), QCoreApplication::applicationVersion()};
}

QByteArray junitReport(const PlanRun &run, const ReportContext &context)
{
    const TestPlan &plan = run.plan();
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), plan.name);
    xml.writeAttribute(QStringLiteral("tests"), QString::number(plan.steps.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(run.count(StepResult::Outcome::Failed)));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(run.count(StepResult::Outcome::Error)));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(run.count(StepResult::Outcome::Skipped)));
    xml.writeAttribute(QStringLiteral("time"), seconds(run.elapsedMs()));
    xml.writeAttribute(QStringLiteral("timestamp"), run.startedAt().toString(Qt::ISODate));
    xml.writeAttribute(QStringLiteral("hostname"), context.hostname);

    xml.writeStartElement(QStringLiteral("properties"));
    const std::pair<const char *, QString> properties[] = {
        {"board", run.board()},
        {"plan", plan.file},
        {"plan_sha256", QString::fromLatin1(plan.sha256)},
        {"version", context.version},
    };
    for (const auto &[name, value] : properties) {
        xml.writeStartElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), QLatin1String(name));
        xml.writeAttribute(QStringLiteral("value"), value);
        xml.writeEndElement();
    }
    xml.writeEndElement();

    const QString className = QFileInfo(plan.file).completeBaseName();
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const StepResult &result = run.results()[i];
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("name"), plan.steps[i].name);
        xml.writeAttribute(QStringLiteral("classname"), className);
        xml.writeAttribute(QStringLiteral("time"), seconds(result.elapsedMs));
        switch (result.outcome) {
        case StepResult::Outcome::Failed:
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), failureMessage(result));
            xml.writeEndElement();
            break;
        case StepResult::Outcome::Error:
            xml.writeStartElement(QStringLiteral("error"));
            xml.writeAttribute(QStringLiteral("message"), result.measured);
            xml.writeEndElement();
            break;
        case StepResult::Outcome::Skipped:
        case StepResult::Outcome::Pending:
        case StepResult::Outcome::Running:
            xml.writeEmptyElement(QStringLiteral("skipped"));
            break;
        case StepResult::Outcome::Passed:
            break;
        }
        xml.writeTextElement(QStringLiteral("system-out"),
                             QStringLiteral("measured: %1\nexpected: %2").arg(result.measured, result.expected));
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return bytes;
}

QByteArray htmlReport(const PlanRun &run, const ReportContext &context)
{
    const TestPlan &plan = run.plan();
    const auto e = [](const QString &text) {
        return text.toHtmlEscaped();
    };
    const bool passed = run.passed();
    QString html;
    html += QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n")
                .arg(e(plan.name));
    html += QStringLiteral(
        "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
        "td,th{border:1px solid #999;padding:.3em .6em;text-align:left;vertical-align:top}"
        ".PASS{color:#fff;background:#2e7d32}.FAIL,.ERROR{color:#fff;background:#c62828}.SKIP{background:#ddd}"
        ".verdict{font-size:2em;font-weight:bold;padding:.2em .6em;display:inline-block}"
        "dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}dd{margin:0}</style>\n</head>\n<body>\n");
    html += QStringLiteral("<h1>%1</h1>\n").arg(e(plan.name));
    html += QStringLiteral("<p class=\"verdict %1\">%2</p>\n")
                .arg(passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"), e(run.verdictLine()));
    html += QStringLiteral("<dl>\n");
    const std::pair<QString, QString> facts[] = {
        {QStringLiteral("Board"), run.board()},
        {QStringLiteral("Plan file"), plan.file},
        {QStringLiteral("Plan SHA-256"), QString::fromLatin1(plan.sha256)},
        {QStringLiteral("Started"), wallTimeText(run.startedAt().toMSecsSinceEpoch())},
        {QStringLiteral("Time"), seconds(run.elapsedMs()) + QStringLiteral(" s")},
        {QStringLiteral("Host"), context.hostname},
        {QStringLiteral("Program version"), context.version},
    };
    for (const auto &[name, value] : facts)
        html += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n").arg(name, e(value));
    html += QStringLiteral("</dl>\n<table>\n<tr><th>#</th><th>Step</th><th>Expected</th><th>Measured</th>"
                           "<th>Result</th><th>Time (s)</th></tr>\n");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const StepResult &result = run.results()[i];
        const QString outcome = outcomeText(result.outcome);
        html +=
            QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td class=\"%5\">%5</td><td>%6</td></tr>\n")
                .arg(i + 1)
                .arg(e(plan.steps[i].name), e(result.expected), e(result.measured), outcome, seconds(result.elapsedMs));
    }
    html += QStringLiteral("</table>\n");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const std::vector<int> &samples = run.results()[i].samples;
        if (samples.empty())
            continue;
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
        html += QStringLiteral("<h2>%1: readings of channel %2</h2>\n<p>min %3, mean %4, max %5</p>\n<p>")
                    .arg(e(plan.steps[i].name), QString::number(plan.steps[i].channel), QString::number(*low),
                         QString::number(mean, 'f', 2), QString::number(*high));
        for (std::size_t k = 0; k < samples.size(); ++k)
            html += (k ? QStringLiteral(", ") : QString()) + QString::number(samples[k]);
        html += QStringLiteral("</p>\n");
    }
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

std::optional<QString> saveReport(const QString &path, const PlanRun &run, const ReportContext &context)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool html = suffix == u"html" || suffix == u"htm";
    return saveFileAtomically(path, html ? htmlReport(run, context) : junitReport(run, context));
}
