#pragma once

#include "state/app_state.h"
#include "windows/child_window.h"

#include <array>

class PinLed;
class PinLedFrame;
class QCheckBox;
class QLabel;
class QPushButton;

// The digital pins window: for each of the 18 pins a direction button, a level indicator (clicking it toggles
// an output's level) and a monitoring box. Every change becomes one or two commands to the board; direction
// and level commands are logged first. The direction and level of each pin live in the application state.
class formDigitalPins : public ChildWindow
{
    Q_OBJECT

public:
    explicit formDigitalPins(Workspace &workspace, QWidget *parent = nullptr);

    PinLed *pin_led(int Index) const { return m_pins.at(Index).led; }
    PinLedFrame *pin_led_frame(int Index) const { return m_pins.at(Index).frame; }
    QPushButton *pin_dir(int Index) const { return m_pins.at(Index).direction; }
    QCheckBox *Check1(int Index) const { return m_pins.at(Index).monitor; }

    // An input pin's level as the board reported it: bright green when high, dark green when low.
    void showInputLevel(int pin, bool high);
    // Whether the pin's monitoring box is ticked.
    bool isMonitored(int pin) const;

    void Form_Load();
    void pin_dir_Click(int Index);
    void pin_led_frame_Click(int Index);
    void Check1_Click(int Index);
    void MonitorAll_Click();
    void MonitorNone_Click();

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
    void showAsInput(int pin);
    void showAsOutput(int pin);
    void sendLogged(const QString &command);

    std::array<PinControls, kLastPin + 1> m_pins{};
};
