#pragma once

#include <QColor>

// Indicator colours of the digital pins: green for inputs, red for outputs; dark = low, bright = high.
inline const QColor kInputLow(0, 128, 0);
inline const QColor kInputHigh(0, 255, 0);
inline const QColor kOutputLow(128, 0, 0);
inline const QColor kOutputHigh(255, 0, 0);
inline const QColor kBoardGrey(128, 128, 128);
