#pragma once

#include <QDateTime>
#include <QString>

// The CIM date-time text WMI uses for dates: "yyyymmddHHMMSS.mmmmmmsUUU", the time as the given
// QDateTime shows it and its offset from UTC in minutes (sign and three digits).
class CCimDateTime
{
public:
    static QString toText(const QDateTime &time);
    // Local time of a moment in seconds since the epoch.
    static QString fromSecsSinceEpoch(qint64 secs);
    // "yyyymmdd" of the same local time.
    static QString dateFromSecsSinceEpoch(qint64 secs);
};
