#pragma once

#include "cwmiprovider.h"

// Win32_Printer from the live machine.
class CWmiPrinterProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_Printer"); }
    QList<CWmiObject> objects() const override;
};
