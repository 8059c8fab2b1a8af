#pragma once

#include "device/board_limits.h"
#include "session/event_stream.h"
#include "windows/child_window.h"

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QProgressBar;

// The analog levels window: per channel an upright 0..255 meter, the last reading as a number and a box that
// ticks the channel in the session's set-up. While the window is shown through its View item the session
// requests the ticked channels on each poll; the window shows the readings and blanks the channels that are not
// ticked. Its boxes show the session's ticks, whoever set them.
class formAnalogLevels : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"analogLevels"};

    explicit formAnalogLevels(Workspace &workspace, QWidget *parent = nullptr);

    // The meter and the label as the operator sees them (readings still on their way are applied first).
    QProgressBar *ADCbar(int Index) const;
    QLabel *ADCLabel(int Index) const;
    QCheckBox *CheckADC(int Index) const { return m_channels.at(Index).monitor; }

    // Shows a reading: the meter at the nearest end of its range when the reading is outside it, the label
    // with the number read. A board sends thousands a second and a meter or label costs microseconds to set,
    // so readings are taken at once and put on the controls once, after the handler that brought them.
    void showReading(int Index, int value);
    // Empties a channel's meter and label.
    void clearReading(int Index);

    // Analog requests go out while the window is shown through its View item.
    void viewFlagChanged(bool shown) override;

protected:
    void closing() override;

private:
    struct ChannelControls {
        QProgressBar *bar = nullptr;
        QLabel *label = nullptr;
        QCheckBox *monitor = nullptr;
        std::optional<int> pending; // the reading to show, or blank; meaningful while `dirty`
        bool dirty = false;
        bool blank = true; // the meter at 0 and the label empty, as last applied
    };

    void schedule(int Index);
    void applyPending() const;
    void sessionEvent(const SessionEvent &event);
    void showTicks();

    mutable std::array<ChannelControls, kLastChannel + 1> m_channels{};
    mutable bool m_applyScheduled = false;
    EventStream::Subscription m_subscription;
};
