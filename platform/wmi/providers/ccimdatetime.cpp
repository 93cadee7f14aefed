#include "ccimdatetime.h"

QString CCimDateTime::toText(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return time.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".000000")
        + QLatin1Char(offsetMinutes < 0 ? '-' : '+') + QStringLiteral("%1").arg(magnitude, 3, 10, QLatin1Char('0'));
}

QString CCimDateTime::fromSecsSinceEpoch(qint64 secs)
{
    return toText(QDateTime::fromSecsSinceEpoch(secs));
}

QString CCimDateTime::dateFromSecsSinceEpoch(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyyMMdd"));
}
