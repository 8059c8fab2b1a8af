#include "windows/analog_levels/form_analog_levels.h"

#include "host/board_host.h"
#include "session/board_session.h"
#include "windows/analog_levels/meter_bar.h"
#include "windows/channels_dialog.h"
#include "windows/control_names.h"
#include "windows/twips.h"
#include "windows/workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace {

constexpr int kMeterMaximum = 255;
constexpr int kColumnWidth = 360;

} // namespace

formAnalogLevels::formAnalogLevels(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formAnalogLevels"));
    setWindowTitle(QStringLiteral("Analog Inputs"));
    setFixedSize(twipsSize(3015, 4920));

    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        const int column = kColumnWidth * (k - 1);
        ChannelControls &channel = m_channels[k];

        channel.bar = new MeterBar(this);
        nameControl(channel.bar, arrayName("ADCbar", k), QStringLiteral("Channel %1 meter").arg(k));
        channel.bar->setOrientation(Qt::Vertical);
        channel.bar->setRange(0, kMeterMaximum);
        channel.bar->setValue(0);
        channel.bar->setTextVisible(false);
        channel.bar->setToolTip(QStringLiteral("Analog input vu-meter"));
        channel.bar->setGeometry(twipsRect(120 + column, 120, 255, 3975));

        // A label showing a value keeps its accessible name empty, so the value itself is read out.
        channel.label = new QLabel(this);
        nameControl(channel.label, arrayName("ADCLabel", k));
        channel.label->setAlignment(Qt::AlignCenter);
        // A value changes ten times a second: an opaque label repaints alone.
        channel.label->setAutoFillBackground(true);
        channel.label->setToolTip(QStringLiteral("ADC value"));
        // A fixed size: a reading with more digits never asks the window to lay itself out again.
        const QRect labelPlace = twipsRect(60 + column, 4140, 375, 255);
        channel.label->move(labelPlace.topLeft());
        channel.label->setFixedSize(labelPlace.size());

        channel.monitor = new QCheckBox(this);
        nameControl(channel.monitor, arrayName("CheckADC", k), QStringLiteral("Monitor channel %1").arg(k));
        channel.monitor->setToolTip(QStringLiteral("Activate/de-activate analog input monitoring"));
        channel.monitor->setGeometry(twipsRect(150 + column, 4440, 255, 255));
        connect(channel.monitor, &QCheckBox::toggled, this,
                [this, k](bool ticked) { this->workspace().session().setChannelTicked(k, ticked); });

        auto *number = new QLabel(u' ' + QString::number(k), this);
        nameControl(number, arrayName("Label2", k));
        number->setGeometry(twipsRect(150 + column, 4680, 135, 255));
    }
    for (int k = kFirstChannel; k < kLastChannel; ++k)
        setTabOrder(m_channels[k].monitor, m_channels[k + 1].monitor);
    // The meters keep their counts; the board's units and alarm rules are one context menu away.
    auto *channels = new QAction(QStringLiteral("C&hannels\u2026"), this);
    connect(channels, &QAction::triggered, this, [this] {
        const QString serial = this->workspace().session().serial();
        if (!serial.isEmpty())
            editChannels(this->workspace().host(), serial, this);
    });
    addAction(channels);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    showTicks();
    using Kind = SessionEvent::Kind;
    m_subscription =
        workspace.session().events().subscribe([this](const SessionEvent &event) { sessionEvent(event); },
                                               eventKinds({Kind::Reading, Kind::AnalogPoll, Kind::SetupChanged}));
}

void formAnalogLevels::sessionEvent(const SessionEvent &event)
{
    switch (event.kind) {
    case SessionEvent::Kind::Reading:
        showReading(event.index, event.value);
        break;
    case SessionEvent::Kind::AnalogPoll: {
        // A reading shows only on a ticked channel.
        const BoardSetup &setup = workspace().session().setup();
        for (int k = kFirstChannel; k <= kLastChannel; ++k) {
            if (!setup.isTicked(k))
                clearReading(k);
        }
        break;
    }
    case SessionEvent::Kind::SetupChanged:
        if (SetupAspect(event.value) == SetupAspect::Tick)
            showTicks();
        break;
    default:
        break;
    }
}

void formAnalogLevels::showTicks()
{
    const BoardSetup &setup = workspace().session().setup();
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        QCheckBox *box = m_channels[std::size_t(k)].monitor;
        if (box->isChecked() != setup.isTicked(k)) {
            const QSignalBlocker quiet(box);
            box->setChecked(setup.isTicked(k));
        }
    }
}

void formAnalogLevels::viewFlagChanged(bool shown)
{
    workspace().session().setAnalogRequestsOn(shown);
}

void formAnalogLevels::closing()
{
    // The boxes go with the window: requests stop, and a new window starts with none ticked.
    m_subscription.reset();
    BoardSession &session = workspace().session();
    session.setAnalogRequestsOn(false);
    session.forgetTickedChannels();
}

QProgressBar *formAnalogLevels::ADCbar(int Index) const
{
    applyPending();
    return m_channels.at(Index).bar;
}

QLabel *formAnalogLevels::ADCLabel(int Index) const
{
    applyPending();
    return m_channels.at(Index).label;
}

void formAnalogLevels::showReading(int Index, int value)
{
    ChannelControls &channel = m_channels.at(Index);
    channel.pending = value;
    schedule(Index);
}

void formAnalogLevels::clearReading(int Index)
{
    ChannelControls &channel = m_channels.at(Index);
    // Every poll blanks every channel not ticked: one already blank needs nothing.
    if (!channel.dirty && channel.blank)
        return;
    channel.pending.reset();
    schedule(Index);
}

void formAnalogLevels::schedule(int Index)
{
    m_channels.at(Index).dirty = true;
    if (m_applyScheduled)
        return;
    m_applyScheduled = true;
    QMetaObject::invokeMethod(this, &formAnalogLevels::applyPending, Qt::QueuedConnection);
}

void formAnalogLevels::applyPending() const
{
    m_applyScheduled = false;
    // The meters keep their counts; the tool tip tells the reading in the channel's unit.
    const HostedBoard *board = workspace().host().findBoard(workspace().session().serial());
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        ChannelControls &channel = m_channels[std::size_t(k)];
        if (!channel.dirty)
            continue;
        channel.dirty = false;
        const int bar = channel.pending ? std::clamp(*channel.pending, 0, kMeterMaximum) : 0;
        if (channel.bar->value() != bar) {
            // QProgressBar repaints at once when its value changes visibly; with updates off it only takes the
            // value, and one paint is queued.
            channel.bar->setUpdatesEnabled(false);
            channel.bar->setValue(bar);
            channel.bar->setUpdatesEnabled(true);
        }
        const QString text = channel.pending ? QString::number(*channel.pending) : QString();
        if (channel.label->text() != text)
            channel.label->setText(text);
        const ChannelCalibration *calibration = board ? &board->alarms.calibration().channel(k) : nullptr;
        const QString tip = channel.pending && calibration && !calibration->isIdentity()
                                ? QStringLiteral("ADC value: %1").arg(calibration->text(*channel.pending))
                                : QStringLiteral("ADC value");
        if (channel.label->toolTip() != tip)
            channel.label->setToolTip(tip);
        channel.blank = !channel.pending;
    }
}
