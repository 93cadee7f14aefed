#pragma once

#include "cwmiprovider.h"

// Win32_Processor from the live machine.
class CWmiProcessorProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_Processor"); }
    QList<CWmiObject> objects() const override;
};
