#pragma once

#include "cwmiobject.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class CWmiProvider;

// Small pieces the hardware providers share.
class CWmiHardwareHelper
{
public:
    typedef QList<QPair<QString, QVariant>> PropertyList;

    // An object whose properties stand in alphabetical order of their names, as WMI lists them.
    static CWmiObject sortedObject(const QString &className, const PropertyList &properties);
    // A sysfs attribute with surrounding whitespace removed; null when it cannot be read.
    static QString attribute(const CWmiProvider &provider, const QString &machinePath);
    // Decimal (or "0x" hexadecimal) integer attribute; ok is false when missing or not a number.
    static qint64 number(const CWmiProvider &provider, const QString &machinePath, bool *ok);
    // The machine path a sysfs link leads to (following every link), or a null QString.
    static QString resolvedPath(const CWmiProvider &provider, const QString &machinePath);
    // Names of the entries of a machine directory, in natural order ("sda" < "sdb" < "sdaa").
    static QStringList entries(const CWmiProvider &provider, const QString &machineDir);
    static bool naturalLess(const QString &a, const QString &b);
};
