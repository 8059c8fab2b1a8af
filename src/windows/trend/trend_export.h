#pragma once

#include "records/calibration.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class TrendHistory;
class TrendPlot;

// The readings of `channels` within [fromMs, toMs] as CSV: the header "time,ADC 1,..." (one column per channel
// asked for, ascending), then one row per moment at which any of them was read, oldest first, a column left empty
// where that channel has no reading at that moment. `time` is the local time with milliseconds and the UTC offset;
// a reading's wall-clock time is its monotonic time plus `wallMinusMonoMs`. After the counts, a column in units for
// each calibrated channel ("ADC 8 Supply (V)"): the columns before stay as they are.
QByteArray trendCsv(const TrendHistory &history, const std::vector<int> &channels, qint64 fromMs, qint64 toMs,
                    qint64 wallMinusMonoMs, const BoardCalibration &calibration = {});

// The plot as drawn, with its axes, legend, limits and cursors.
// The plot as shown, below a caption line saying what it shows.
QByteArray trendPng(const TrendPlot &plot, const QString &caption = QString());
QByteArray trendSvg(const TrendPlot &plot, const QString &caption = QString());

// What an export writes is chosen by the file name: .csv, .png or .svg.
enum class TrendExportKind { Csv, Png, Svg };
std::optional<TrendExportKind> trendExportKind(const QString &path);
