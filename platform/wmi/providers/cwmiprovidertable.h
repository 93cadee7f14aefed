#pragma once

#include "cwmiprovider.h"

#include <QStringList>

#include <memory>

// The classes the WMI stand-in can answer, by WMI class name (letter case ignored, as WMI does).
class CWmiProviderTable
{
public:
    // Null when no provider serves the class.
    static std::unique_ptr<CWmiProvider> create(const QString &name, const QString &root = QString());
    static QStringList classNames();
};
