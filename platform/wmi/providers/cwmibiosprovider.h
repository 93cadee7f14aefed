#pragma once

#include "cwmiprovider.h"

// Win32_BIOS from the live machine.
class CWmiBiosProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_BIOS"); }
    QList<CWmiObject> objects() const override;
};
