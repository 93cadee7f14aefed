#include "cnetnsguard.h"

#include <QtTest>

// The guard that keeps every scan test inside the namespace its launcher made.
class TestNetnsGuard : public QObject
{
    Q_OBJECT
private slots:
    void outside_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QStringList>("refused");

        QTest::newRow("loopback and the test range pass")
            << QStringList {"127.0.0.1", "::1", "198.51.100.1"} << "198.51.100.1/24" << QStringList();
        QTest::newRow("any 127/8 address passes") << QStringList {"127.1.2.3"} << "198.51.100.1/24" << QStringList();
        QTest::newRow("a machine address is refused")
            << QStringList {"127.0.0.1", "198.51.100.1", "203.0.113.3"} << "198.51.100.1/24" << QStringList {"203.0.113.3"};
        QTest::newRow("the neighbouring /24 is refused") << QStringList {"198.51.101.1",
            "198.51.99.200"} << "198.51.100.1/24" << QStringList {"198.51.101.1", "198.51.99.200"};
        QTest::newRow("IPv6 is not scanned, so not refused")
            << QStringList {"2001:db8::1", "fe80::1"} << "198.51.100.1/24" << QStringList();
        QTest::newRow("no range: only loopback passes")
            << QStringList {"127.0.0.1", "198.51.100.1"} << "" << QStringList {"198.51.100.1"};
    }

    void outside()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, range);
        QFETCH(QStringList, refused);
        QList<QHostAddress> in;
        for (const QString &a : addresses)
            in.append(QHostAddress(a));
        const CNetnsGuard::Subnet subnet = range.isEmpty() ? CNetnsGuard::Subnet() : QHostAddress::parseSubnet(range);
        QStringList out;
        for (const QHostAddress &a : CNetnsGuard::outside(in, subnet))
            out.append(a.toString());
        QCOMPARE(out, refused);
    }

    // Started by the launcher: the namespace it made passes the guard. Elsewhere the guard would
    // refuse, so the scan tests skip instead.
    void launcherNamespacePasses()
    {
        QString reason;
        if (!CNetnsGuard::inTestNamespace(&reason))
            QSKIP(qPrintable(reason));
        QCOMPARE(CNetnsGuard::check(), QString());
        QCOMPARE(CNetnsGuard::ownAddress(), qEnvironmentVariable("BRAMIX_SCAN_ADDRESS").section('/', 0, 0));
    }

    void wrongRangeFailsLoudly()
    {
        QString reason;
        if (!CNetnsGuard::inTestNamespace(&reason))
            QSKIP(qPrintable(reason));
        // Our own address claimed as another range: it is then an address outside the range.
        const QByteArray saved = qgetenv("BRAMIX_SCAN_ADDRESS");
        qputenv("BRAMIX_SCAN_ADDRESS", "203.0.113.1/24");
        const QString problem = CNetnsGuard::check();
        qputenv("BRAMIX_SCAN_ADDRESS", saved);
        QVERIFY(!problem.isEmpty());
    }

    void withoutLauncherSkips()
    {
        const QByteArray saved = qgetenv("BRAMIX_SCAN_NETNS");
        qunsetenv("BRAMIX_SCAN_NETNS");
        QString reason;
        const bool inside = CNetnsGuard::inTestNamespace(&reason);
        qputenv("BRAMIX_SCAN_NETNS", saved);
        QVERIFY(!inside);
        QVERIFY(reason.contains("never"));
    }
};

QTEST_GUILESS_MAIN(TestNetnsGuard)
#include "tst_netnsguard.moc"
