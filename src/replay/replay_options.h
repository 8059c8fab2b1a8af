#pragma once

#include "device/driver_factory.h"
#include "replay/replay_driver.h"

#include <QString>
#include <QStringList>

#include <optional>

// The replay's options as both programs take them: --driver=replay --journal DIR [--board SERIAL ...]
// [--since TIME] [--until TIME] [--speed 1|2|10|100|max]. Times in the forms `vantrel-cli journal` reads (ISO 8601,
// or -30s, -10m, -2h, -1d before now). Nothing, with `*error` naming the option, when one is wrong.
std::optional<ReplayOptions> readReplayOptions(const QString &folder, const QStringList &boards, const QString &since,
                                               const QString &until, const QString &speed, QString *error);

// The replay driver on those options; the notice says why nothing can be played (no journal in the folder).
DriverChoice makeReplayDriver(const ReplayOptions &options);
