#pragma once

#include "cwmiprovider.h"

// Win32_CDROMDrive from the live machine.
class CWmiCdromDriveProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_CDROMDrive"); }
    QList<CWmiObject> objects() const override;
};
