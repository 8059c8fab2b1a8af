#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <optional>
#include <vector>

// One step of a test plan. What it does follows from the keys it was given: a line step sends a typed command
// and/or waits for a received line matching `expect`; a pin step drives a pin and/or waits for a monitored pin's
// level; an analog step requests readings of a channel and checks them against limits; a wait step waits.
struct PlanStep {
    enum class Kind { Line, Pin, Analog, Wait };

    Kind kind = Kind::Wait;
    QString name;
    int line = 0; // where the step starts in the plan file, 1-based

    // Line
    std::optional<QString> send;
    std::optional<QRegularExpression> expect;

    // Pin
    int setPin = 0; // 0: none
    bool level = false;
    int expectPin = 0; // 0: none
    bool expectLevel = false;

    // Analog
    int channel = 0;
    int min = 0;
    int max = 255;
    int samples = 5;
    std::optional<double> meanMin;
    std::optional<double> meanMax;
    // Limits in a unit ("V"): min and max stand in minValue and maxValue (and the mean limits are in it too), and
    // the readings are judged in the channel's calibrated unit, which must be this one. Empty: counts.
    QString unit;
    double minValue = 0;
    double maxValue = 0;

    // Wait
    int waitMs = 0;

    int timeoutMs = kDefaultTimeoutMs;
    static constexpr int kDefaultTimeoutMs = 2000;
    static constexpr int kDefaultSamples = 5;
};

// A test plan as read from its file.
struct TestPlan {
    QString name;
    QString board; // the board it is meant for; empty: any
    QString file;
    QByteArray sha256; // of the file's bytes, hex
    std::vector<PlanStep> steps;
};
