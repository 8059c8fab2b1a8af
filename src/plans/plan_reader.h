#pragma once

#include "plans/test_plan.h"

#include <QByteArray>
#include <QString>

#include <variant>

// What is wrong with a plan file, and where: `file:line:column: message`, the message naming the key.
struct PlanError {
    QString file;
    int line = 0;
    int column = 0;
    QString message;

    QString text() const;
};

// Reads a test plan (TOML). Every key is checked: an unknown key, a value of the wrong type or out of range, a
// bad regular expression, limits the wrong way round, keys of two kinds of step in one step, or a step that does
// nothing is an error at the key's position. A plan with an error is never run.
std::variant<TestPlan, PlanError> readPlanText(const QByteArray &text, const QString &file);
std::variant<TestPlan, PlanError> readPlanFile(const QString &path);

// Plans larger than this are refused unread.
inline constexpr qint64 kMaxPlanBytes = 16 * 1024 * 1024;
