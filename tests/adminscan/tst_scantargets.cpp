#include "cscantargets.h"

#include <QtTest>

// Which hosts one scan probes, from the local addresses alone.
class TestScanTargets : public QObject
{
    Q_OBJECT
private slots:
    void targets_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("first"); // "<target> <own>" of the first probes
        QTest::addColumn<QString>("last");

        QTest::newRow("host .20: own address, then 254 others")
            << QStringList {"203.0.113.20"} << 255
            << QStringList {"203.0.113.20 203.0.113.20", "203.0.113.1 203.0.113.20"} << "203.0.113.255 203.0.113.20";
        QTest::newRow("address .0: hosts 1 to 255 besides it")
            << QStringList {"198.51.100.0"} << 256 << QStringList {"198.51.100.0 198.51.100.0", "198.51.100.1 198.51.100.0"}
            << "198.51.100.255 198.51.100.0";
        QTest::newRow("IPv6 and 127.0.0.1 give nothing")
            << QStringList {"::1", "127.0.0.1", "fe80::1"} << 0 << QStringList() << "";
        QTest::newRow("other loopback addresses are probed")
            << QStringList {"127.0.0.2"} << 255 << QStringList {"127.0.0.2 127.0.0.2", "127.0.0.1 127.0.0.2"}
            << "127.0.0.255 127.0.0.2";
        QTest::newRow("two addresses: 510, in list order")
            << QStringList {"198.51.100.1", "::1", "203.0.113.9"} << 510
            << QStringList {"198.51.100.1 198.51.100.1", "198.51.100.2 198.51.100.1"} << "203.0.113.255 203.0.113.9";
        QTest::newRow("host .255 skips only itself")
            << QStringList {"198.51.100.255"} << 255 << QStringList {"198.51.100.255 198.51.100.255"}
            << "198.51.100.254 198.51.100.255";
    }

    void targets()
    {
        QFETCH(QStringList, addresses);
        QFETCH(int, count);
        QFETCH(QStringList, first);
        QFETCH(QString, last);

        QList<QHostAddress> in;
        for (const QString &a : addresses)
            in.append(QHostAddress(a));
        const QList<CScanTargets::Target> out = CScanTargets::targets(in);
        QCOMPARE(out.size(), count);
        QStringList texts;
        for (const CScanTargets::Target &t : out)
            texts.append(t.ip + ' ' + t.localIp);
        for (int i = 0; i < first.size(); ++i)
            QCOMPARE(texts.at(i), first.at(i));
        if (!last.isEmpty())
            QCOMPARE(texts.last(), last);
        // Every target appears once.
        QCOMPARE(QSet<QString>(texts.cbegin(), texts.cend()).size(), texts.size());
    }
};

QTEST_APPLESS_MAIN(TestScanTargets)
#include "tst_scantargets.moc"
