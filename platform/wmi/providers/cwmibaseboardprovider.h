#pragma once

#include "cwmiprovider.h"

// Win32_BaseBoard from the live machine.
class CWmiBaseBoardProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_BaseBoard"); }
    QList<CWmiObject> objects() const override;
};
