#pragma once

#include "cwmiprovider.h"

// Win32_VideoController from the live machine.
class CWmiVideoControllerProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_VideoController"); }
    QList<CWmiObject> objects() const override;
};
