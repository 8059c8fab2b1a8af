#include "windows/digital_pins/form_digital_pins.h"

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
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formDigitalPins"));
    setWindowTitle(QStringLiteral("Digital Pins"));
    setFixedSize(twipsSize(7710, 7080));
    buildControls();
    Form_Load();
    m_subscription = workspace.session().events().subscribe(
        [this](const SessionEvent &event) { sessionEvent(event); },
        eventKinds({SessionEvent::Kind::PinLevel, SessionEvent::Kind::SetupChanged}));
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
        // A window opened again shows the pins as the session has them; at start all are inputs.
        showSetup(pin);
    }
}

void formDigitalPins::showSetup(int pin)
{
    const BoardSetup &setup = workspace().session().setup();
    PinControls &controls = m_pins.at(pin);
    const bool output = setup.isOutput(pin);
    controls.direction->setText(output ? QStringLiteral("O") : QStringLiteral("I"));
    controls.direction->setToolTip(output ? kOutputTip : kInputTip);
    if (output)
        controls.led->setFillColor(setup.outputLevel(pin) ? kOutputHigh : kOutputLow);
    else if (controls.led->fillColor() != kInputHigh)
        controls.led->setFillColor(kInputLow);
    // Set from the session, the box says what is; it asks for nothing.
    const QSignalBlocker quiet(controls.monitor);
    controls.monitor->setChecked(setup.isMonitored(pin));
}

void formDigitalPins::sessionEvent(const SessionEvent &event)
{
    switch (event.kind) {
    case SessionEvent::Kind::PinLevel:
        showInputLevel(event.index, event.value != 0);
        break;
    case SessionEvent::Kind::SetupChanged:
        if (event.index == 0) {
            for (int pin = kFirstPin; pin <= kLastPin; ++pin)
                showSetup(pin);
        } else if (isPin(event.index)) {
            // A pin made an input shows low until the board reports it.
            if (SetupAspect(event.value) == SetupAspect::Direction)
                m_pins[std::size_t(event.index)].led->setFillColor(kInputLow);
            showSetup(event.index);
        }
        break;
    default:
        break;
    }
}

void formDigitalPins::showInputLevel(int pin, bool high)
{
    m_pins.at(pin).led->setFillColor(high ? kInputHigh : kInputLow);
}

void formDigitalPins::pin_dir_Click(int Index)
{
    BoardSession &session = workspace().session();
    if (session.setup().isOutput(Index))
        session.makePinInput(Index);
    else
        session.makePinOutput(Index);
}

void formDigitalPins::pin_led_frame_Click(int Index)
{
    BoardSession &session = workspace().session();
    // An input pin's indicator only shows.
    if (session.setup().pinIsOutput[std::size_t(Index)] != 1)
        return;
    session.setPinLevel(Index, !session.setup().outputLevel(Index));
}

void formDigitalPins::Check1_Click(int Index)
{
    workspace().session().setPinMonitored(Index, m_pins[Index].monitor->isChecked());
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

void formDigitalPins::closing()
{
    // The boxes go with the window: the board keeps reporting, but nothing here records it any more.
    m_subscription.reset();
    workspace().session().forgetMonitoredPins();
}
