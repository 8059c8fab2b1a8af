// The main window as the board session's front end: what the session shows goes to the child windows, which
// are created on first use as the log writer and the interpreter need them.
#include "app/form_main.h"

#include "state/app_state.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/trend/form_trend.h"

void formMain::showPinLevel(int pin, bool high)
{
    digitalPins()->showInputLevel(pin, high);
    if (formTrend *trend = existingTrend())
        trend->recordPinLevel(pin, high);
}

void formMain::showReading(int channel, std::int32_t value)
{
    analogLevels()->showReading(channel, value);
    m_trendHistory.append(channel, m_trendClock.elapsed(), value);
    if (formTrend *trend = existingTrend())
        trend->recordReading(channel, value);
}

void formMain::blankReading(int channel)
{
    analogLevels()->clearReading(channel);
}

bool formMain::analogRequestsOn()
{
    return appState().viewAna == 1;
}

bool formMain::isChannelTicked(int channel)
{
    return analogLevels()->isTicked(channel);
}

bool formMain::isPinMonitored(int pin)
{
    const formDigitalPins *pins = existingDigitalPins();
    return pins && pins->isMonitored(pin);
}
