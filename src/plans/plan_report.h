#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class PlanRun;

// What a report says besides the run itself.
struct ReportContext {
    QString hostname;
    QString version; // the program's
};

// JUnit XML as CI servers read it: one testsuite (name, tests, failures, errors, skipped, time, timestamp,
// hostname) with the board, the plan file and its SHA-256 and the program's version as properties, and one
// testcase per step; a failed step has a failure whose message says what was measured against what was expected.
QByteArray junitReport(const PlanRun &run, const ReportContext &context);

// The same facts as one self-contained HTML page (no external files); analog steps list every reading.
QByteArray htmlReport(const PlanRun &run, const ReportContext &context);

// Writes the report chosen by the file's name: .html or .htm for HTML, anything else JUnit XML. The system's
// reason when it could not be written.
std::optional<QString> saveReport(const QString &path, const PlanRun &run, const ReportContext &context);

// The host name and the program's version, for reports written by this process.
ReportContext thisProcessContext();
