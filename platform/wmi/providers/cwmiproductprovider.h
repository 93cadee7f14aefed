#pragma once

#include "cwmiprovider.h"

// Win32_Product from the live machine.
class CWmiProductProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_Product"); }
    QList<CWmiObject> objects() const override;
};
