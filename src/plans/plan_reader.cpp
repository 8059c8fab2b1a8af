#include "plans/plan_reader.h"

#include "device/board_limits.h"
#include "plans/toml_fields.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string_view>

namespace {

enum class KeyKind { Common, Line, Pin, Analog, Wait };

struct KeyRule {
    std::string_view name;
    KeyKind kind;
};

constexpr KeyRule kStepKeys[] = {
    {"name", KeyKind::Common},     {"timeout_ms", KeyKind::Common}, {"send", KeyKind::Line},
    {"expect", KeyKind::Line},     {"set_pin", KeyKind::Pin},       {"level", KeyKind::Pin},
    {"expect_pin", KeyKind::Pin},  {"expect_level", KeyKind::Pin},  {"adc", KeyKind::Analog},
    {"min", KeyKind::Analog},      {"max", KeyKind::Analog},        {"samples", KeyKind::Analog},
    {"mean_min", KeyKind::Analog}, {"mean_max", KeyKind::Analog},   {"wait_ms", KeyKind::Wait},
    {"unit", KeyKind::Analog},
};

const KeyRule *stepKeyRule(std::string_view name)
{
    for (const KeyRule &rule : kStepKeys) {
        if (rule.name == name)
            return &rule;
    }
    return nullptr;
}

PlanStep::Kind stepKind(KeyKind kind)
{
    switch (kind) {
    case KeyKind::Line:
        return PlanStep::Kind::Line;
    case KeyKind::Pin:
        return PlanStep::Kind::Pin;
    case KeyKind::Analog:
        return PlanStep::Kind::Analog;
    case KeyKind::Common:
    case KeyKind::Wait:
        break;
    }
    return PlanStep::Kind::Wait;
}

// Reads one plan file's tables, failing at the first fault with its position.
class Reader : public TomlFields
{
public:
    using TomlFields::TomlFields;

    TestPlan plan(const toml::table &root)
    {
        TestPlan plan;
        const toml::array *steps = nullptr;
        for (const auto &[keyPointer, nodePointer] : inFileOrder(root)) {
            const toml::key &key = *keyPointer;
            const toml::node &node = *nodePointer;
            if (key.str() == "name")
                plan.name = string(key, node);
            else if (key.str() == "board")
                plan.board = string(key, node).trimmed();
            else if (key.str() == "step") {
                steps = node.as_array();
                if (!steps || !steps->is_array_of_tables())
                    fail(key.source(), QStringLiteral("\"step\" must be written as [[step]] tables"));
            } else {
                fail(key.source(),
                     QStringLiteral("unknown key \"%1\" (a plan has name, board and [[step]])").arg(qtText(key.str())));
            }
        }
        if (!steps || steps->empty())
            fail(root.source(), QStringLiteral("the plan has no [[step]]"));
        plan.steps.reserve(steps->size());
        for (const toml::node &node : *steps)
            plan.steps.push_back(step(*node.as_table(), int(plan.steps.size()) + 1));
        return plan;
    }

private:
    PlanStep step(const toml::table &table, int number)
    {
        m_prefix = QStringLiteral("step %1: ").arg(number);
        PlanStep step;
        step.line = int(table.source().begin.line);
        step.name = QStringLiteral("Step %1").arg(number);
        std::optional<KeyKind> kind;
        std::string_view kindKey;
        std::set<std::string_view> given;
        bool timeoutGiven = false;
        // Limits in a unit are numbers of any kind, wherever the unit stands in the step.
        m_inUnits = table.contains("unit");
        if (m_inUnits) {
            step.minValue = -std::numeric_limits<double>::infinity();
            step.maxValue = std::numeric_limits<double>::infinity();
        }
        // Where a key stands; a key not given is placed at its step.
        const auto where = [&](std::string_view name) -> toml::source_region {
            const auto found = table.find(name);
            return found != table.end() ? found->first.source() : table.source();
        };
        for (const auto &[keyPointer, nodePointer] : inFileOrder(table)) {
            const toml::key &key = *keyPointer;
            const toml::node &node = *nodePointer;
            const KeyRule *rule = stepKeyRule(key.str());
            if (!rule)
                fail(key.source(), QStringLiteral("step %1: unknown key \"%2\"").arg(number).arg(qtText(key.str())));
            if (rule->kind != KeyKind::Common) {
                if (kind && *kind != rule->kind)
                    fail(key.source(), QStringLiteral("step %1: \"%2\" cannot be combined with \"%3\" in one step")
                                           .arg(number)
                                           .arg(qtText(key.str()), qtText(kindKey)));
                kind = rule->kind;
                kindKey = rule->name;
            }
            given.insert(rule->name);
            read(step, key, node, number, timeoutGiven);
        }
        if (!kind)
            fail(table.source(), QStringLiteral("step %1: the step does nothing (give send, expect, set_pin, "
                                                "expect_pin, adc or wait_ms)")
                                     .arg(number));
        step.kind = stepKind(*kind);
        const auto needs = [&](std::string_view key, std::string_view other) {
            if (given.contains(key) && !given.contains(other))
                fail(where(key),
                     QStringLiteral("step %1: \"%2\" needs \"%3\"").arg(number).arg(qtText(key), qtText(other)));
        };
        needs("level", "set_pin");
        needs("set_pin", "level");
        needs("expect_level", "expect_pin");
        needs("expect_pin", "expect_level");
        for (const std::string_view key : {"min", "max", "samples", "mean_min", "mean_max", "unit"})
            needs(key, "adc");
        if (step.kind == PlanStep::Kind::Wait && timeoutGiven)
            fail(where("timeout_ms"),
                 QStringLiteral("step %1: \"timeout_ms\" does not go with \"wait_ms\"").arg(number));
        if (m_inUnits && step.minValue > step.maxValue)
            fail(where(given.contains("max") ? "max" : "min"),
                 QStringLiteral("step %1: \"min\" (%2) is greater than \"max\" (%3)")
                     .arg(number)
                     .arg(step.minValue)
                     .arg(step.maxValue));
        if (step.min > step.max)
            fail(where(given.contains("max") ? "max" : "min"),
                 QStringLiteral("step %1: \"min\" (%2) is greater than \"max\" (%3)")
                     .arg(number)
                     .arg(step.min)
                     .arg(step.max));
        if (step.meanMin && step.meanMax && *step.meanMin > *step.meanMax)
            fail(where("mean_max"), QStringLiteral("step %1: \"mean_min\" (%2) is greater than \"mean_max\" (%3)")
                                        .arg(number)
                                        .arg(*step.meanMin)
                                        .arg(*step.meanMax));
        // Readings come one a poll: an analog step's own default leaves time for each of them.
        if (step.kind == PlanStep::Kind::Analog && !timeoutGiven)
            step.timeoutMs = PlanStep::kDefaultTimeoutMs + 100 * step.samples;
        return step;
    }

    void read(PlanStep &step, const toml::key &key, const toml::node &node, int number, bool &timeoutGiven)
    {
        const std::string_view name = key.str();
        constexpr qint64 kHour = 3600 * 1000;
        if (name == "name") {
            step.name = string(key, node);
        } else if (name == "timeout_ms") {
            step.timeoutMs = int(integer(key, node, 1, kHour));
            timeoutGiven = true;
        } else if (name == "send") {
            step.send = string(key, node);
        } else if (name == "expect") {
            const QString text = string(key, node);
            // Plans repeat their patterns: each is compiled once.
            QRegularExpression &pattern = m_patterns[text];
            if (pattern.pattern() != text)
                pattern.setPattern(text);
            if (!pattern.isValid())
                fail(key.source(), QStringLiteral("step %1: \"expect\" is not a regular expression: %2 at offset %3")
                                       .arg(number)
                                       .arg(pattern.errorString())
                                       .arg(pattern.patternErrorOffset()));
            step.expect = pattern;
        } else if (name == "set_pin") {
            step.setPin = int(integer(key, node, kFirstPin, kLastPin));
        } else if (name == "level") {
            step.level = level(key, node);
        } else if (name == "expect_pin") {
            step.expectPin = int(integer(key, node, kFirstPin, kLastPin));
        } else if (name == "expect_level") {
            step.expectLevel = level(key, node);
        } else if (name == "adc") {
            step.channel = int(integer(key, node, kFirstChannel, kLastChannel));
        } else if (name == "min" && m_inUnits) {
            step.minValue = decimal(key, node);
        } else if (name == "max" && m_inUnits) {
            step.maxValue = decimal(key, node);
        } else if (name == "min") {
            step.min = int(integer(key, node, -1000000, 1000000));
        } else if (name == "max") {
            step.max = int(integer(key, node, -1000000, 1000000));
        } else if (name == "unit") {
            step.unit = string(key, node).trimmed();
            if (step.unit.isEmpty() || step.unit.size() > 16)
                fail(key.source(), QStringLiteral("step %1: \"unit\" must be 1 to 16 characters").arg(number));
        } else if (name == "samples") {
            step.samples = int(integer(key, node, 1, 100000));
        } else if (name == "mean_min") {
            step.meanMin = decimal(key, node);
        } else if (name == "mean_max") {
            step.meanMax = decimal(key, node);
        } else if (name == "wait_ms") {
            step.waitMs = int(integer(key, node, 0, kHour));
        }
    }

    QHash<QString, QRegularExpression> m_patterns;
    bool m_inUnits = false; // the step being read states its limits in a unit
};

} // namespace

std::variant<TestPlan, PlanError> readPlanText(const QByteArray &text, const QString &file)
{
    Reader reader(file);
    try {
        const std::string path = file.toStdString();
        const toml::table root = toml::parse(std::string_view(text.constData(), std::size_t(text.size())), path);
        TestPlan plan = reader.plan(root);
        plan.file = file;
        plan.sha256 = QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
        if (plan.name.isEmpty())
            plan.name = QFileInfo(file).completeBaseName();
        return plan;
    } catch (const toml::parse_error &error) {
        return PlanError{file, int(error.source().begin.line), int(error.source().begin.column),
                         qtText(error.description())};
    } catch (const TomlFailure &failure) {
        return failure.error;
    }
}

std::variant<TestPlan, PlanError> readPlanFile(const QString &path)
{
    QByteArray text;
    if (PlanError error; !readTomlBytes(path, &text, &error))
        return error;
    return readPlanText(text, path);
}
