#include "cscantargets.h"

#include <QStringList>

QList<CScanTargets::Target> CScanTargets::targets(const QList<QHostAddress> &addresses)
{
    QList<Target> out;
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol)
            continue;
        const QString own = address.toString();
        if (own == QLatin1String("127.0.0.1"))
            continue;
        const QStringList parts = own.split(QLatin1Char('.'));
        if (parts.size() != 4)
            continue; // not a dotted IPv4 text: there is no /24 to walk
        out.append({own, own});
        const QString prefix
            = parts.at(0) + QLatin1Char('.') + parts.at(1) + QLatin1Char('.') + parts.at(2) + QLatin1Char('.');
        for (int j = 1; j <= 255; ++j) {
            const QString host = QString::number(j);
            if (host == parts.at(3))
                continue;
            out.append({prefix + host, own});
        }
    }
    return out;
}
