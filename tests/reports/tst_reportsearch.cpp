// The report window's inventory search over clients made through the store: the four filters in
// their order, the readers of the digest texts, the columns, and a sorted table filled row by row.
#include "cadmintestrun.h"
#include "cpcconfig.h"
#include "creport.h"
#include "creportfixture.h"
#include "csetting.h"
#include "cstoretestrun.h"

#include <QSet>
#include <QtTest>

namespace {

QSet<QString> names(const QTableWidget *t)
{
    QSet<QString> out;
    for (int r = 0; r < t->rowCount(); ++r)
        out << t->item(r, 0)->text().section(QLatin1Char('('), 0, 0);
    return out;
}

QMap<QString, QString> summary(const QString &key, const QString &value)
{
    return {{key, value}};
}

} // namespace

class TestReportSearch : public QObject
{
    Q_OBJECT

private:
    CReport *m_report = nullptr;

    void search() { QMetaObject::invokeMethod(m_report, "on_search_clicked"); }
    void setFilter(QComboBox *combo, int code, QLineEdit *edit = nullptr, const QString &text = QString())
    {
        combo->setCurrentIndex(combo->findData(code));
        if (edit)
            edit->setText(text);
    }

private slots:
    void initTestCase() { QVERIFY(CReportFixture::build(CReportFixture::searchClients())); }
    void init() { m_report = new CReport(nullptr, {}); }
    void cleanup()
    {
        delete m_report;
        m_report = nullptr;
    }

    void toolText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("mnemonic and dots") << "&Print..."
                                           << "Print";
        QTest::newRow("inner mnemonic") << "Page &Set..."
                                        << "Page Set";
        QTest::newRow("plain") << "column setting"
                               << "column setting";
        QTest::newRow("translated mnemonic")
            << QString::fromUtf8("\xe6\x89\x93\xe5\x8d\xb0(&P)...") << QString::fromUtf8("\xe6\x89\x93\xe5\x8d\xb0");
        QTest::newRow("full-width parentheses")
            << QString::fromUtf8("\xe5\x8d\xb0\xe5\x88\xb7\xef\xbc\x88&P\xef\xbc\x89")
            << QString::fromUtf8("\xe5\x8d\xb0\xe5\x88\xb7");
        QTest::newRow("escaped ampersand") << "Save && Print"
                                           << "Save & Print";
        QTest::newRow("parenthesised ampersand kept") << "Rock (&&) Roll"
                                                      << "Rock (&) Roll";
    }

    void toolText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(CReport::toolText(text), shown);
    }

    void filters_data()
    {
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("cpuCode");
        QTest::addColumn<QString>("cpuText");
        QTest::addColumn<int>("memCode");
        QTest::addColumn<QString>("memText");
        QTest::addColumn<int>("diskCode");
        QTest::addColumn<QString>("diskText");
        QTest::addColumn<QStringList>("hits");
        const QString fox = QString::fromUtf8("\xe7\xa0\x94\xe7\xa9\xb6-foxtrot");
        const QStringList all = {"alpha", "bravo", "charlie", "delta", "echo", fox};
        QTest::newRow("all off") << 0 << 0 << "" << 0 << "" << 0 << "" << all;
        QTest::newRow("off ignores text") << 0 << 0 << "5" << 0 << "x" << 0 << "1" << all;
        QTest::newRow("Intel") << 1 << 0 << "" << 0 << "" << 0 << "" << QStringList {"alpha", "delta"};
        QTest::newRow("Amd") << 2 << 0 << "" << 0 << "" << 0 << "" << QStringList {"bravo", fox};
        QTest::newRow("other, no file included")
            << 3 << 0 << "" << 0 << "" << 0 << "" << QStringList {"charlie", "echo"};
        QTest::newRow("= empty box") << 0 << 1 << "" << 0 << "" << 0 << "" << QStringList {"charlie", "echo"};
        QTest::newRow("= not a number") << 0 << 1 << "abc" << 0 << "" << 0 << "" << QStringList {"charlie", "echo"};
        QTest::newRow("< empty box") << 0 << 3 << "" << 0 << "" << 0 << "" << QStringList {};
        QTest::newRow("> empty box") << 0 << 2 << "" << 0 << "" << 0 << ""
                                     << QStringList {"alpha", "bravo", "delta", fox};
        QTest::newRow("= 2400 MHz") << 0 << 1 << "2400" << 0 << "" << 0 << "" << QStringList {"alpha"};
        QTest::newRow("= 2000, decimal first") << 0 << 1 << "2000" << 0 << "" << 0 << "" << QStringList {"delta"};
        QTest::newRow("= 2130, lower-case unit") << 0 << 1 << "2130" << 0 << "" << 0 << "" << QStringList {fox};
        QTest::newRow("< 1000 MHz") << 0 << 3 << "1000" << 0 << "" << 0 << ""
                                    << QStringList {"bravo", "charlie", "echo"};
        QTest::newRow("memory = 1024, first module") << 0 << 0 << "" << 1 << "1024" << 0 << "" << QStringList {"alpha"};
        QTest::newRow("memory = 1536, no sum") << 0 << 0 << "" << 1 << "1536" << 0 << "" << QStringList {};
        QTest::newRow("memory = 4096M kept") << 0 << 0 << "" << 1 << "4096" << 0 << "" << QStringList {"delta"};
        QTest::newRow("memory < 1024") << 0 << 0 << "" << 3 << "1024" << 0 << "" << QStringList {"bravo", "echo", fox};
        QTest::newRow("disk > 100") << 0 << 0 << "" << 0 << "" << 2 << "100" << QStringList {"alpha", "delta", fox};
        QTest::newRow("disk = 0, no size") << 0 << 0 << "" << 0 << "" << 1 << "0" << QStringList {"charlie", "echo"};
        QTest::newRow("disk = 80.0") << 0 << 0 << "" << 0 << "" << 1 << "80.0" << QStringList {"bravo"};
        QTest::newRow("Intel and memory > 2000") << 1 << 0 << "" << 2 << "2000" << 0 << "" << QStringList {"delta"};
        QTest::newRow("Amd, > 1000 MHz, disk > 500") << 2 << 2 << "1000" << 0 << "" << 2 << "500" << QStringList {fox};
    }

    void filters()
    {
        QFETCH(int, vendor);
        QFETCH(int, cpuCode);
        QFETCH(QString, cpuText);
        QFETCH(int, memCode);
        QFETCH(QString, memText);
        QFETCH(int, diskCode);
        QFETCH(QString, diskText);
        QFETCH(QStringList, hits);
        setFilter(m_report->ui.cpuType, vendor);
        setFilter(m_report->ui.cpuScope, cpuCode, m_report->ui.cpuFreq, cpuText);
        setFilter(m_report->ui.memScope, memCode, m_report->ui.memCap, memText);
        setFilter(m_report->ui.diskScope, diskCode, m_report->ui.diskCap, diskText);
        search();
        QCOMPARE(names(m_report->ui.tableWidget), QSet<QString>(hits.begin(), hits.end()));
        QCOMPARE(m_report->ui.tableWidget->rowCount(), hits.size());
    }

    void cpuFreq_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("mhz");
        QTest::newRow("GHz decimal") << "Intel(R) Xeon(R) CPU 2.13GHz\n" << 2130.0;
        QTest::newRow("MHz") << "AMD 800MHz\n" << 800.0;
        QTest::newRow("integer GHz") << "Something 3GHz\n" << 3000.0;
        QTest::newRow("blank before unit") << "VIA 2.0 GHz\n" << 0.0;
        QTest::newRow("decimal anywhere first") << "800MHz\nsecond 2.0GHz\n" << 2000.0;
        QTest::newRow("first integer match") << "600MHz then 3GHz\n" << 600.0;
        QTest::newRow("upper case") << "1.5GHZ\n" << 1500.0;
        QTest::newRow("lower case mhz") << "433mhz\n" << 433.0;
        QTest::newRow("leading point") << ".5GHz\n" << 500.0;
        QTest::newRow("none") << "Intel Pentium\n" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }

    void cpuFreq()
    {
        QFETCH(QString, text);
        QFETCH(double, mhz);
        QCOMPARE(CReport::getCpuFreq(summary("CPU", text)), mhz);
    }

    void cpuType_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("vendor");
        QTest::newRow("intel") << "Intel(R) Core(TM)2" << 1;
        QTest::newRow("INTEL before amd") << "AMD or INTEL" << 1;
        QTest::newRow("amd") << "amd Athlon" << 2;
        QTest::newRow("other") << "VIA Nehemiah" << 3;
        QTest::newRow("empty") << "" << 3;
    }

    void cpuType()
    {
        QFETCH(QString, text);
        QFETCH(int, vendor);
        QCOMPARE(CReport::getCpuType(summary("CPU", text)), vendor);
    }

    void sizes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("memory first") << "MemoryDevice"
                                      << "1024 M\n512 M\n"
                                      << 1024.0;
        QTest::newRow("memory kept text") << "MemoryDevice"
                                          << "4096M\n"
                                          << 4096.0;
        QTest::newRow("memory lower case") << "MemoryDevice"
                                           << "256 m\n"
                                           << 256.0;
        QTest::newRow("memory none") << "MemoryDevice"
                                     << "" << 0.0;
        QTest::newRow("disk first") << "DiskDrive"
                                    << "ST3250 250 GB\nST80 80 GB\n"
                                    << 250.0;
        QTest::newRow("disk digits of the caption first") << "DiskDrive"
                                                          << "WD 80GB\n"
                                                          << 80.0;
        QTest::newRow("disk without size") << "DiskDrive"
                                           << "Virtual Disk\n"
                                           << 0.0;
    }

    void sizes()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(double, value);
        const QMap<QString, QString> s = summary(key, text);
        QCOMPARE(key == "MemoryDevice" ? CReport::getMemCap(s) : CReport::getDiskCap(s), value);
    }

    void defaultColumnsShowTheSummary()
    {
        search();
        QTableWidget *t = m_report->ui.tableWidget;
        QCOMPARE(t->columnCount(), 15);
        const QStringList header
            = {"pc name", "lastupdate", "BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive",
                "MemoryDevice", "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"};
        for (int c = 0; c < 15; ++c)
            QCOMPARE(t->horizontalHeaderItem(c)->text(), header.at(c));
        for (int r = 0; r < t->rowCount(); ++r) {
            const QString label = t->item(r, 0)->text();
            if (label == "alpha(198.51.100.1)") {
                QCOMPARE(t->item(r, 5)->text(), QString("Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n"));
                QCOMPARE(t->item(r, 8)->text(), QString("1024 M\n512 M\n"));
                QCOMPARE(t->item(r, 7)->text(), QString("ST3250410AS 250 GB\n"));
                QVERIFY(!t->item(r, 1)->text().isEmpty());
                QCOMPARE(t->item(r, 12)->text(), QString()); // a class without rows
            } else if (label == "echo(198.51.100.5)") {
                for (int c = 1; c < 15; ++c)
                    QCOMPARE(t->item(r, c)->text(), QString());
            }
        }
        QVERIFY(names(t).contains(QString::fromUtf8("\xe7\xa0\x94\xe7\xa9\xb6-foxtrot")));
        // The search leaves the store's open behind it: the listed client without a file has one now.
        QVERIFY(QFile::exists(CStoreTestRun::path(CReportFixture::uuidOf(4) + ".xml")));
    }

    void emptyColumnListGivesOnlyPcName()
    {
        m_report->m_columns.clear();
        search();
        QCOMPARE(m_report->ui.tableWidget->columnCount(), 1);
        QCOMPARE(m_report->ui.tableWidget->horizontalHeaderItem(0)->text(), QString("pc name"));
        QCOMPARE(m_report->ui.tableWidget->rowCount(), 6);
    }

    void unknownColumnGivesEmptyCells()
    {
        m_report->m_columns = QStringList {"Battery", "CPU"};
        search();
        QTableWidget *t = m_report->ui.tableWidget;
        for (int r = 0; r < t->rowCount(); ++r)
            QCOMPARE(t->item(r, 1)->text(), QString());
    }

    void noHitAfterHitsLeavesHeaderOnly()
    {
        search();
        QCOMPARE(m_report->ui.tableWidget->rowCount(), 6);
        setFilter(m_report->ui.cpuScope, 3, m_report->ui.cpuFreq, QString());
        search();
        QCOMPARE(m_report->ui.tableWidget->rowCount(), 0);
        QCOMPARE(m_report->ui.tableWidget->horizontalHeaderItem(0)->text(), QString("pc name"));
    }

    void sortedTableKeepsEachRowOneClient()
    {
        // Column 2 (memory) sorted before the search: every row must still hold one client's cells.
        m_report->m_columns = QStringList {"CPU", "MemoryDevice", "DiskDrive"};
        QTableWidget *t = m_report->ui.tableWidget;
        search();
        t->horizontalHeader()->setSortIndicator(2, Qt::AscendingOrder);
        t->sortByColumn(2, Qt::AscendingOrder);
        search();
        QMap<QString, QStringList> expected;
        expected["alpha"] = {"Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n", "1024 M\n512 M\n", "ST3250410AS 250 GB\n"};
        expected["bravo"] = {"AMD Athlon 800MHz\n", "512 M\n", "WDC WD800 80 GB\n"};
        expected["charlie"] = {"VIA Nehemiah 1.2 GHz\n", "2048 M\n", "Virtual Disk\n"};
        expected["delta"] = {"Intel Pentium 800MHz FSB 2.0GHz\n", "4096M\n", "ST3500 500 GB\n"};
        expected["echo"] = {"", "", ""};
        expected[QString::fromUtf8("\xe7\xa0\x94\xe7\xa9\xb6-foxtrot")]
            = {"AMD Sempron 2.13ghz\n", "256 M\n", "ST1000 1000 GB\n"};
        QCOMPARE(t->rowCount(), 6);
        QStringList memoryColumn;
        for (int r = 0; r < t->rowCount(); ++r) {
            const QString name = t->item(r, 0)->text().section(QLatin1Char('('), 0, 0);
            QVERIFY2(expected.contains(name), qPrintable(name));
            for (int c = 1; c <= 3; ++c)
                QCOMPARE(t->item(r, c)->text(), expected.value(name).at(c - 1));
            memoryColumn << t->item(r, 2)->text();
        }
        QStringList sorted = memoryColumn;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(memoryColumn, sorted);
    }

    void tableFontFromSettings()
    {
        QVERIFY(CStoreTestRun::write(
            "setting.xml", "<setting><pageset><font>DejaVu Serif,14,-1,5,50,0,0,0,0,0</font></pageset></setting>"));
        search();
        QCOMPARE(m_report->ui.tableWidget->font().family(), QString("DejaVu Serif"));
        QCOMPARE(m_report->ui.tableWidget->font().pointSize(), 14);
        // A malformed font keeps the table's font.
        QVERIFY(CStoreTestRun::write("setting.xml", "<setting><pageset><font>broken</font></pageset></setting>"));
        search();
        QCOMPARE(m_report->ui.tableWidget->font().pointSize(), 14);
        QFile::remove(CStoreTestRun::path("setting.xml"));
    }

    void repeatedSearchSeesChangedFile()
    {
        // A client file replaced by the store between two searches is read afresh.
        search();
        {
            CPcConfig config(CReportFixture::uuidOf(0));
            QVERIFY(config.open());
            QCOMPARE(config.applyChange(CReportFixture::uuidOf(0)
                         + "^CPU$remove$Name=Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n^CPU$add$Name=AMD Phenom 3.0GHz\n"),
                0);
        }
        setFilter(m_report->ui.cpuScope, 1, m_report->ui.cpuFreq, "3000");
        search();
        QCOMPARE(names(m_report->ui.tableWidget), QSet<QString> {"alpha"});
        QVERIFY(CReportFixture::build(CReportFixture::searchClients()));
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestReportSearch)
#include "tst_reportsearch.moc"
