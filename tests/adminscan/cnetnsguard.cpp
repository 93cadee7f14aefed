#include "cnetnsguard.h"

#include <QNetworkInterface>
#include <QStringList>

namespace {

QString addressSpec()
{
    return qEnvironmentVariable("BRAMIX_SCAN_ADDRESS");
}

} // namespace

QList<QHostAddress> CNetnsGuard::outside(const QList<QHostAddress> &addresses, const Subnet &range)
{
    const Subnet loopback = QHostAddress::parseSubnet(QStringLiteral("127.0.0.0/8"));
    QList<QHostAddress> out;
    for (const QHostAddress &a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv6Protocol)
            continue; // the scan never probes IPv6
        if (a.isInSubnet(loopback))
            continue;
        if (!range.first.isNull() && a.isInSubnet(range))
            continue;
        out.append(a);
    }
    return out;
}

bool CNetnsGuard::inTestNamespace(QString *reason)
{
    const QString mark = qEnvironmentVariable("BRAMIX_SCAN_NETNS");
    if (mark == QLatin1String("1") && !addressSpec().isEmpty())
        return true;
    if (reason) {
        *reason = mark.startsWith(QLatin1String("none:"))
            ? QStringLiteral("no network namespace for the scan (%1); the scan is never run in the machine's own")
                  .arg(mark.mid(5))
            : QStringLiteral("not started by scan-netns.sh; the scan is never run in the machine's own namespace");
    }
    return false;
}

QString CNetnsGuard::ownAddress()
{
    return addressSpec().section(QLatin1Char('/'), 0, 0);
}

CNetnsGuard::Subnet CNetnsGuard::range()
{
    const Subnet subnet = QHostAddress::parseSubnet(addressSpec());
    return subnet.first.isNull() ? Subnet() : subnet;
}

QString CNetnsGuard::check()
{
    const Subnet r = range();
    if (r.first.isNull() || r.second < 24)
        return QStringLiteral("BRAMIX_SCAN_ADDRESS \"%1\" is not a test range of at most a /24").arg(addressSpec());
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    if (!all.contains(QHostAddress(ownAddress())))
        return QStringLiteral("the test address %1 is not on this namespace's lo").arg(ownAddress());
    const QList<QHostAddress> bad = outside(all, r);
    if (bad.isEmpty())
        return QString();
    QStringList texts;
    for (const QHostAddress &a : bad)
        texts.append(a.toString());
    return QStringLiteral("REFUSING TO SCAN: local addresses outside 127.0.0.0/8 and %1: %2")
        .arg(addressSpec(), texts.join(QStringLiteral(", ")));
}
