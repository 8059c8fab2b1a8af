#pragma once

#include "state/app_state.h"
#include "windows/child_window.h"

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QProgressBar;

// The analog levels window: per channel an upright 0..255 meter, the last reading as a number and a box that
// switches monitoring on. The receive tick requests readings for the ticked channels; the interpreter fills
// the meters.
class formAnalogLevels : public ChildWindow
{
    Q_OBJECT

public:
    explicit formAnalogLevels(Workspace &workspace, QWidget *parent = nullptr);

    // The meter and the label as the operator sees them (readings still on their way are applied first).
    QProgressBar *ADCbar(int Index) const;
    QLabel *ADCLabel(int Index) const;
    QCheckBox *CheckADC(int Index) const { return m_channels.at(Index).monitor; }

    // Whether the channel's monitoring box is ticked.
    bool isTicked(int Index) const;

    // Shows a reading: the meter at the nearest end of its range when the reading is outside it, the label
    // with the number read. A board sends thousands a second and a meter or label costs microseconds to set,
    // so readings are taken at once and put on the controls once, after the handler that brought them.
    void showReading(int Index, int value);
    // Empties a channel's meter and label.
    void clearReading(int Index);

private:
    struct ChannelControls {
        QProgressBar *bar = nullptr;
        QLabel *label = nullptr;
        QCheckBox *monitor = nullptr;
        std::optional<int> pending; // the reading to show, or blank; meaningful while `dirty`
        bool dirty = false;
    };

    void schedule(int Index);
    void applyPending() const;

    mutable std::array<ChannelControls, kLastChannel + 1> m_channels{};
    mutable bool m_applyScheduled = false;
};
