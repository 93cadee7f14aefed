#include "ccimdatetime.h"

#include <cstdio>
#include <ctime>

namespace {

QString offsetText(long offsetSeconds)
{
    const long minutes = offsetSeconds / 60;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%03ld", minutes < 0 ? '-' : '+', minutes < 0 ? -minutes : minutes);
    return QString::fromLatin1(buffer);
}

// Broken-down local time; false when the moment cannot be represented.
bool localTime(qint64 secs, std::tm *tm)
{
    const std::time_t t = std::time_t(secs);
    tzset(); // pick up a changed TZ, as QDateTime does
    return localtime_r(&t, tm) != nullptr;
}

} // namespace

QString CCimDateTime::toText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(".000000")
        + offsetText(time.offsetFromUtc());
}

// The package list formats one date per package; going through the C library keeps that cheap.
QString CCimDateTime::fromSecsSinceEpoch(qint64 secs)
{
    std::tm tm {};
    if (!localTime(secs, &tm))
        return toText(QDateTime::fromSecsSinceEpoch(secs));
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%02d%02d%02d.000000", tm.tm_year + 1900, tm.tm_mon + 1,
        tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return QString::fromLatin1(buffer) + offsetText(tm.tm_gmtoff);
}

QString CCimDateTime::dateFromSecsSinceEpoch(qint64 secs)
{
    std::tm tm {};
    if (!localTime(secs, &tm))
        return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyyMMdd"));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return QString::fromLatin1(buffer);
}
