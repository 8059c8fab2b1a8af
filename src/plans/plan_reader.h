#pragma once

#include "plans/test_plan.h"
#include "plans/plan_error.h"

#include <QByteArray>
#include <QString>

#include <variant>

// Reads a test plan (TOML). Every key is checked: an unknown key, a value of the wrong type or out of range, a
// bad regular expression, limits the wrong way round, keys of two kinds of step in one step, or a step that does
// nothing is an error at the key's position. A plan with an error is never run.
std::variant<TestPlan, PlanError> readPlanText(const QByteArray &text, const QString &file);
std::variant<TestPlan, PlanError> readPlanFile(const QString &path);
