#include "windows/digital_pins/form_digital_pins.h"

#include "device/command_text.h"
#include "session/board_session.h"
#include "windows/control_names.h"
#include "windows/digital_pins/pin_colours.h"
#include "windows/digital_pins/shapes.h"
#include "windows/twips.h"
#include "windows/workspace.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

const QString kInputTip = QStringLiteral("Pin is an Input, click to select as Output");
const QString kOutputTip = QStringLiteral("Pin is an Output, click to select as Input");
const QString kLedTip = QStringLiteral("Dark = low state, Bright = high state");

void paintGrey(QWidget *widget)
{
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, kBoardGrey);
    widget->setPalette(pal);
}

} // namespace

formDigitalPins::formDigitalPins(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, View::DigitalPins, parent)
{
    setObjectName(QStringLiteral("formDigitalPins"));
    setWindowTitle(QStringLiteral("Digital Pins"));
    setFixedSize(twipsSize(7710, 7080));
    buildControls();
    Form_Load();
}

void formDigitalPins::buildControls()
{
    auto *board = new QGroupBox(QStringLiteral("Direction and State"), this);
    nameControl(board, QStringLiteral("Frame1"));
    board->setGeometry(twipsRect(120, 0, 7455, 5535));

    auto *outline = new ShapeWidget(kBoardGrey, true, board);
    nameControl(outline, QStringLiteral("Shape1"));
    outline->setGeometry(twipsRect(720, 720, 6135, 4215));
    auto *lightTab = new ShapeWidget(QColor(224, 224, 224), false, board);
    nameControl(lightTab, QStringLiteral("Shape2"));
    lightTab->setGeometry(twipsRect(480, 1440, 255, 1095));
    auto *darkTab = new ShapeWidget(QColor(64, 64, 64), false, board);
    nameControl(darkTab, QStringLiteral("Shape3"));
    darkTab->setGeometry(twipsRect(480, 3840, 255, 615));

    auto *monitoring = new QGroupBox(QStringLiteral("Monitoring"), this);
    nameControl(monitoring, QStringLiteral("Frame2"));
    monitoring->setGeometry(twipsRect(120, 5640, 7455, 1335));

    // Laid out like the board: pins 18 down to 9 along the top, 1 up to 8 along the bottom.
    for (int k = 0; k <= 9; ++k) {
        buildPin(board, monitoring, 18 - k, {1800 + 480 * k, 960}, {1920 + 480 * k, 1680}, {1920 + 480 * k, 2040},
                 {360 + 720 * k, 360});
    }
    for (int k = 0; k <= 7; ++k) {
        buildPin(board, monitoring, k + 1, {2760 + 480 * k, 3960}, {2880 + 480 * k, 3720}, {2880 + 480 * k, 3360},
                 {1800 + 720 * k, 840});
    }

    auto *all = new QPushButton(QStringLiteral("all"), monitoring);
    nameControl(all, QStringLiteral("MonitorAll"), QStringLiteral("Monitor all pins"));
    all->setGeometry(twipsRect(240, 720, 615, 375));
    all->setAutoDefault(false);
    connect(all, &QPushButton::clicked, this, &formDigitalPins::MonitorAll_Click);
    auto *none = new QPushButton(QStringLiteral("none"), monitoring);
    nameControl(none, QStringLiteral("MonitorNone"), QStringLiteral("Monitor no pin"));
    none->setGeometry(twipsRect(960, 720, 615, 375));
    none->setAutoDefault(false);
    connect(none, &QPushButton::clicked, this, &formDigitalPins::MonitorNone_Click);
}

void formDigitalPins::buildPin(QWidget *board, QWidget *monitoring, int pin, QPoint frameAt, QPoint directionAt,
                               QPoint labelAt, QPoint checkAt)
{
    PinControls &controls = m_pins[pin];
    const QString number = QString::number(pin);

    controls.frame = new PinLedFrame(board);
    nameControl(controls.frame, arrayName("pin_led_frame", pin), QStringLiteral("Pin %1 indicator").arg(pin));
    controls.frame->setGeometry(twipsRect(frameAt.x(), frameAt.y(), 495, 615));
    connect(controls.frame, &PinLedFrame::clicked, this, [this, pin] { pin_led_frame_Click(pin); });

    controls.led = new PinLed(controls.frame);
    nameControl(controls.led, arrayName("pin_led", pin), QStringLiteral("Pin %1 level").arg(pin));
    controls.led->setGeometry(twipsRect(120, 240, 255, 255));

    controls.direction = new QPushButton(QStringLiteral("I"), board);
    nameControl(controls.direction, arrayName("pin_dir", pin), QStringLiteral("Pin %1 direction").arg(pin));
    controls.direction->setGeometry(twipsRect(directionAt.x(), directionAt.y(), 255, 255));
    controls.direction->setAutoDefault(false);
    controls.direction->setStyleSheet(QStringLiteral("padding: 0px;"));
    connect(controls.direction, &QPushButton::clicked, this, [this, pin] { pin_dir_Click(pin); });

    controls.label = new QLabel(pin < 10 ? u' ' + number : number, board);
    nameControl(controls.label, arrayName("pin_label", pin));
    controls.label->setGeometry(twipsRect(labelAt.x(), labelAt.y(), 255, 255));
    paintGrey(controls.label);

    controls.monitor = new QCheckBox(number, monitoring);
    nameControl(controls.monitor, arrayName("Check1", pin), QStringLiteral("Monitor pin %1").arg(pin));
    controls.monitor->setGeometry(twipsRect(checkAt.x(), checkAt.y(), 495, 195));
    // Changed by the operator or by "all"/"none"; a box set to the value it has does not fire.
    connect(controls.monitor, &QCheckBox::toggled, this, [this, pin] { Check1_Click(pin); });
}

void formDigitalPins::Form_Load()
{
    for (int pin = kFirstPin; pin <= kLastPin; ++pin) {
        m_pins[pin].frame->setFrameShape(QFrame::NoFrame);
        m_pins[pin].frame->setToolTip(kLedTip);
        // A window opened again shows the pins as the application state has them; at start all are inputs.
        if (appState().pinIsOutput[pin] != 0)
            showAsOutput(pin);
        else
            showAsInput(pin);
    }
}

void formDigitalPins::showAsInput(int pin)
{
    m_pins[pin].direction->setText(QStringLiteral("I"));
    m_pins[pin].direction->setToolTip(kInputTip);
    m_pins[pin].led->setFillColor(kInputLow);
}

void formDigitalPins::showAsOutput(int pin)
{
    m_pins[pin].direction->setText(QStringLiteral("O"));
    m_pins[pin].direction->setToolTip(kOutputTip);
    m_pins[pin].led->setFillColor(appState().pinOutputLevel[pin] != 0 ? kOutputHigh : kOutputLow);
}

void formDigitalPins::sendLogged(const QString &command)
{
    workspace().session().sendLogged(command);
}

void formDigitalPins::showInputLevel(int pin, bool high)
{
    m_pins.at(pin).led->setFillColor(high ? kInputHigh : kInputLow);
}

bool formDigitalPins::isMonitored(int pin) const
{
    return m_pins.at(pin).monitor->isChecked();
}

void formDigitalPins::pin_dir_Click(int Index)
{
    AppState &state = appState();
    if (state.pinIsOutput[Index] != 0) {
        state.pinIsOutput[Index] = 0;
        m_pins[Index].direction->setText(QStringLiteral("I"));
        m_pins[Index].direction->setToolTip(kInputTip);
        sendLogged(pinCommand(Index, u" input"));
        m_pins[Index].led->setFillColor(kInputLow);
        return;
    }
    // The level goes out before the direction, so the pin never drives a level it was not told.
    if (state.pinOutputLevel[Index] != 0) {
        sendLogged(pinCommand(Index, u" set"));
        m_pins[Index].led->setFillColor(kOutputHigh);
    } else {
        sendLogged(pinCommand(Index, u" clear"));
        m_pins[Index].led->setFillColor(kOutputLow);
    }
    state.pinIsOutput[Index] = 1;
    m_pins[Index].direction->setText(QStringLiteral("O"));
    m_pins[Index].direction->setToolTip(kOutputTip);
    sendLogged(pinCommand(Index, u" output"));
}

void formDigitalPins::pin_led_frame_Click(int Index)
{
    AppState &state = appState();
    if (state.pinIsOutput[Index] != 1)
        return;
    const bool high = state.pinOutputLevel[Index] == 0;
    state.pinOutputLevel[Index] = high ? 1 : 0;
    sendLogged(pinCommand(Index, high ? u" set" : u" clear"));
    m_pins[Index].led->setFillColor(high ? kOutputHigh : kOutputLow);
}

void formDigitalPins::Check1_Click(int Index)
{
    const bool on = m_pins[Index].monitor->isChecked();
    workspace().session().send(pinCommand(Index, on ? u" monitor on" : u" monitor off").append(kLf));
}

void formDigitalPins::MonitorAll_Click()
{
    for (int pin = kFirstPin; pin <= kLastPin; ++pin)
        m_pins[pin].monitor->setChecked(true);
}

void formDigitalPins::MonitorNone_Click()
{
    for (int pin = kFirstPin; pin <= kLastPin; ++pin)
        m_pins[pin].monitor->setChecked(false);
}
