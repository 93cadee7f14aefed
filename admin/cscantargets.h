#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The probes of one network scan, worked out from the local addresses alone:
// for every address that is not IPv6 and not "127.0.0.1", the address itself,
// then hosts 1 to 255 of its /24 but its own. The subnet is taken as /24
// whatever the interface's mask, and host 255 is probed too.
class CScanTargets
{
public:
    struct Target
    {
        QString ip; // whom to probe
        QString localIp; // our address in that subnet, sent in the identity request
    };

    static QList<Target> targets(const QList<QHostAddress> &addresses);
};
