#pragma once

#include "cwmiprovider.h"

// Win32_SoundDevice from the live machine.
class CWmiSoundDeviceProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_SoundDevice"); }
    QList<CWmiObject> objects() const override;
};
