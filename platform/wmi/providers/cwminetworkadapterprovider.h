#pragma once

#include "cwmiprovider.h"

// Win32_NetworkAdapter from the live machine.
class CWmiNetworkAdapterProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_NetworkAdapter"); }
    QList<CWmiObject> objects() const override;
};
