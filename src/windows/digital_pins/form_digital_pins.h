#pragma once

#include "device/board_limits.h"
#include "session/event_stream.h"
#include "windows/child_window.h"

#include <array>

class PinLed;
class PinLedFrame;
class QCheckBox;
class QLabel;
class QPushButton;

// The digital pins window: for each of the 18 pins a direction button, a level indicator (clicking it toggles
// an output's level) and a monitoring box. Every change is asked of the board session, which sends the commands
// (direction and level commands logged first) and keeps the pins' set-up; the window shows that set-up, whoever
// changed it, and the levels the board reports for inputs.
class formDigitalPins : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"digitalPins"};

    explicit formDigitalPins(Workspace &workspace, QWidget *parent = nullptr);

    PinLed *pin_led(int Index) const { return m_pins.at(Index).led; }
    PinLedFrame *pin_led_frame(int Index) const { return m_pins.at(Index).frame; }
    QPushButton *pin_dir(int Index) const { return m_pins.at(Index).direction; }
    QCheckBox *Check1(int Index) const { return m_pins.at(Index).monitor; }

    // An input pin's level as the board reported it: bright green when high, dark green when low.
    void showInputLevel(int pin, bool high);

    void Form_Load();
    void pin_dir_Click(int Index);
    void pin_led_frame_Click(int Index);
    void Check1_Click(int Index);
    void MonitorAll_Click();
    void MonitorNone_Click();

protected:
    void closing() override;

private:
    struct PinControls {
        PinLedFrame *frame = nullptr;
        PinLed *led = nullptr;
        QPushButton *direction = nullptr;
        QLabel *label = nullptr;
        QCheckBox *monitor = nullptr;
    };

    void buildControls();
    void buildPin(QWidget *board, QWidget *monitoring, int pin, QPoint frameAt, QPoint directionAt, QPoint labelAt,
                  QPoint checkAt);
    void sessionEvent(const SessionEvent &event);
    // Shows a pin's direction, output level and monitoring box as the session's set-up has them.
    void showSetup(int pin);

    std::array<PinControls, kLastPin + 1> m_pins{};
    EventStream::Subscription m_subscription;
};
