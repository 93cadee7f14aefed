#pragma once

#include "cwmiprovider.h"

#include <QDateTime>

// Win32_OperatingSystem from the live machine.
class CWmiOperatingSystemProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_OperatingSystem"); }
    QList<CWmiObject> objects() const override;

    // The moment LastBootUpTime is counted back from; the current time unless set (tests fix it).
    void setNow(const QDateTime &now) { m_now = now; }

private:
    QDateTime m_now;
};
