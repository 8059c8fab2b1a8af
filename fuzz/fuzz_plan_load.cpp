// Any plan file text: read and checked, never run. A plan that is accepted keeps every promise the engine relies
// on; one that is refused says where.
#include "device/board_limits.h"
#include "plans/plan_reader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto read = readPlanText(text, QStringLiteral("fuzz.toml"));
    if (const auto *error = std::get_if<PlanError>(&read)) {
        if (error->message.isEmpty() || error->line < 1)
            std::abort();
        return 0;
    }
    const TestPlan &plan = std::get<TestPlan>(read);
    if (plan.steps.empty())
        std::abort();
    for (const PlanStep &step : plan.steps) {
        const auto pinOk = [](int pin) {
            return pin == 0 || (pin >= kFirstPin && pin <= kLastPin);
        };
        const bool pinsOk = pinOk(step.setPin) && pinOk(step.expectPin);
        const bool analogOk =
            step.kind != PlanStep::Kind::Analog || (step.channel >= kFirstChannel && step.channel <= kLastChannel &&
                                                    step.min <= step.max && step.samples >= 1);
        const bool lineOk = !step.expect || step.expect->isValid();
        if (!pinsOk || !analogOk || !lineOk || step.timeoutMs < 1 || step.waitMs < 0)
            std::abort();
    }
    return 0;
}
