#pragma once

#include "state/app_state.h"

#include <QWidget>

#include <array>

class PinLed;
class PinLedFrame;
class QCheckBox;
class QLabel;
class QPushButton;
class Workspace;

// The digital pins window: for each of the 18 pins a direction button, a level indicator (clicking it toggles
// an output's level) and a monitoring box. Every change becomes one or two commands to the board; direction
// and level commands are logged first. The direction and level of each pin live in the application state.
class formDigitalPins : public QWidget
{
    Q_OBJECT

public:
    explicit formDigitalPins(Workspace &workspace, QWidget *parent = nullptr);

    PinLed *pin_led(int Index) const { return m_pins.at(Index).led; }
    PinLedFrame *pin_led_frame(int Index) const { return m_pins.at(Index).frame; }
    QPushButton *pin_dir(int Index) const { return m_pins.at(Index).direction; }
    QCheckBox *Check1(int Index) const { return m_pins.at(Index).monitor; }

    bool isClosing() const { return m_closing; }

    void Form_Load();
    void pin_dir_Click(int Index);
    void pin_led_frame_Click(int Index);
    void Check1_Click(int Index);
    void MonitorAll_Click();
    void MonitorNone_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

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
    void sendPinCommand(int pin, QStringView suffix);

    Workspace &m_workspace;
    std::array<PinControls, kLastPin + 1> m_pins{};
    bool m_closing = false;
};
