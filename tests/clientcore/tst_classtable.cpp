#include "cglobal.h"

#include <QtTest>

#include <vector>

class TestClassTable : public QObject
{
    Q_OBJECT

private slots:
    void walkIsInByteOrder()
    {
        CGlobal table;
        QCOMPARE(table.init(), 0);
        std::vector<std::string> keys;
        for (const auto &entry : table.m_classMap)
            keys.push_back(entry.first);
        const std::vector<std::string> expected {"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor",
            "DiskDrive", "MemoryDevice", "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice",
            "VideoController"};
        QCOMPARE(keys, expected);
    }

    void wqlTexts_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("wql");
        QTest::newRow("CPU") << QByteArray("CPU") << QByteArray("select * from Win32_Processor");
        QTest::newRow("MemoryDevice") << QByteArray("MemoryDevice") << QByteArray("select * from Win32_PhysicalMemory");
        QTest::newRow("Software") << QByteArray("Software") << QByteArray("select * from Win32_Product");
        QTest::newRow("OS") << QByteArray("OS") << QByteArray("select * from Win32_OperatingSystem");
        QTest::newRow("BIOS") << QByteArray("BIOS") << QByteArray("select * from Win32_BIOS");
        QTest::newRow("VideoController") << QByteArray("VideoController")
                                         << QByteArray("select * from Win32_VideoController");
    }
    void wqlTexts()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, wql);
        CGlobal table;
        table.init();
        QCOMPARE(QByteArray(table.m_classMap.at(key.toStdString()).c_str()), wql);
    }

    void everyTextReadsAWin32Class()
    {
        CGlobal table;
        table.init();
        for (const auto &entry : table.m_classMap)
            QVERIFY2(entry.second.rfind("select * from Win32_", 0) == 0, entry.first.c_str());
    }

    void subscriptOfUnknownKeyAddsEmptyEntryToThisObjectOnly()
    {
        {
            CGlobal table;
            table.init();
            QCOMPARE(table.m_classMap["cpu"], std::string()); // keys are case-sensitive
            QCOMPARE(table.m_classMap.size(), size_t(14));
        }
        CGlobal next;
        next.init();
        QCOMPARE(next.m_classMap.size(), size_t(13));
        QCOMPARE(next.m_classMap.count("cpu"), size_t(0));
    }

    void initTwiceKeepsThirteen()
    {
        CGlobal table(this);
        table.init();
        table.m_classMap["CPU"] = "changed";
        table.init();
        QCOMPARE(table.m_classMap.size(), size_t(13));
        QCOMPARE(table.m_classMap["CPU"], std::string("changed")); // insertion never replaces
    }
};

QTEST_MAIN(TestClassTable)
#include "tst_classtable.moc"
