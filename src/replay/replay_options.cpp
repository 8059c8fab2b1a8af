#include "replay/replay_options.h"

#include "records/journal_reader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

std::optional<ReplayOptions> readReplayOptions(const QString &folder, const QStringList &boards, const QString &since,
                                               const QString &until, const QString &speed, QString *error)
{
    ReplayOptions options;
    if (folder.isEmpty()) {
        *error = QStringLiteral("--driver=replay needs --journal DIR, the journal to play back");
        return std::nullopt;
    }
    if (!QFileInfo(folder).isDir()) {
        *error = QStringLiteral("--journal: %1 is not a folder").arg(QDir::toNativeSeparators(folder));
        return std::nullopt;
    }
    options.folder = folder;
    options.boards = boards;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const auto &[name, text, into] :
         {std::tuple{"since", since, &options.sinceMs}, std::tuple{"until", until, &options.untilMs}}) {
        if (text.isEmpty())
            continue;
        *into = journalTime(text, now);
        if (!*into) {
            *error = QStringLiteral("--%1: \"%2\" is not a time (ISO 8601, or -30s, -10m, -2h, -1d)")
                         .arg(QLatin1String(name), text);
            return std::nullopt;
        }
    }
    if (options.sinceMs && options.untilMs && *options.untilMs < *options.sinceMs) {
        *error = QStringLiteral("--until is before --since");
        return std::nullopt;
    }
    if (!speed.isEmpty()) {
        const std::optional<double> chosen = parseReplaySpeed(speed);
        if (!chosen) {
            *error = QStringLiteral("--speed: \"%1\" is not 1, 2, 10, 100 or max").arg(speed);
            return std::nullopt;
        }
        options.speed = *chosen;
    }
    return options;
}

DriverChoice makeReplayDriver(const ReplayOptions &options)
{
    DriverChoice choice;
    auto driver = std::make_unique<ReplayDriver>(options);
    choice.notice = driver->problem();
    choice.driver = std::move(driver);
    return choice;
}
