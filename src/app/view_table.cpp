#include "app/view_table.h"

#include "state/app_state.h"
#include "windows/alarms/form_alarms.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/boards/form_boards.h"
#include "windows/communications/form_communications.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/replay/form_replay.h"
#include "windows/scripting/form_scripting.h"
#include "windows/test_plan/form_test_plan.h"
#include "windows/trend/form_trend.h"

namespace {

template<typename Form>
ChildWindow *make(Workspace &workspace)
{
    return new Form(workspace);
}

} // namespace

const std::vector<ViewSpec> &viewTable()
{
    using Kind = SessionEvent::Kind;
    static const std::vector<ViewSpec> table{
        {formCommunications::kView, "&Communications", QKeySequence(Qt::CTRL | Qt::Key_K), &AppState::viewCom, true,
         true, Kind::LogLine, make<formCommunications>},
        {formDigitalPins::kView, "&Digital Pins", QKeySequence(Qt::CTRL | Qt::Key_P), &AppState::viewDig, true, true,
         Kind::PinLevel, make<formDigitalPins>},
        {formAnalogLevels::kView, "&Analog Levels", QKeySequence(Qt::CTRL | Qt::Key_L), &AppState::viewAna, true, true,
         Kind::Reading, make<formAnalogLevels>},
        {formScripting::kView, "&Scripting", QKeySequence(), &AppState::viewScr, true, false, std::nullopt,
         make<formScripting>},
        {formTrend::kView, "&Trend", QKeySequence(Qt::CTRL | Qt::Key_T), &AppState::viewTrend, false, false,
         std::nullopt, make<formTrend>},
        {formTestPlan::kView, "Test &Plan", QKeySequence(), &AppState::viewTestPlan, false, false, std::nullopt,
         make<formTestPlan>},
        {formBoards::kView, "&Boards", QKeySequence(Qt::CTRL | Qt::Key_B), &AppState::viewBoards, false, false,
         std::nullopt, make<formBoards>},
        {formReplay::kView, "&Replay", QKeySequence(), &AppState::viewReplay, false, false, std::nullopt,
         make<formReplay>, true},
        {formAlarms::kView, "A&larms", QKeySequence(), &AppState::viewAlarms, false, false, std::nullopt,
         make<formAlarms>, true},
    };
    return table;
}
