#include "session/wall_time.h"

#include <QDateTime>

#include <cstdlib>

QString wallTimeText(qint64 wallMs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(wallMs);
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
