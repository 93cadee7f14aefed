#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "cnetnsguard.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "ctestthreadrefusal.h"
#include "qtm.h"

#include <QtTest>

#include <memory>

// The console's scan when threads cannot be made: of the probes, or of the writer that lists the
// clients and fills their files. Every probe still reports, so the scan ends.
class TestScanThreadFail : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<CFakeAgent>> m_agents;

    static QString uuidOf(int n) { return QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')); }

private slots:
    void initTestCase()
    {
        BRAMIX_SCAN_GUARD();
        CDialogs::setInstance(&CAdminTestRun::dialogs());
    }

    void init()
    {
        QCOMPARE(CNetnsGuard::check(), QString());
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        CAdminTestRun::dialogs().reset();
    }

    void cleanup()
    {
        CTestThreadRefusal::set(CTestThreadRefusal::None);
        m_agents.clear();
    }

    // In this order: the first row is the first to need the writer's threads in this program.
    void scanEndsWhenThreadsFail_data()
    {
        QTest::addColumn<int>("refusal");
        QTest::addColumn<bool>("beforeScan"); // refused from before the probes start, or right after
        QTest::newRow("the writer's threads") << int(CTestThreadRefusal::All) << false;
        QTest::newRow("every probe's thread") << int(CTestThreadRefusal::All) << true;
        QTest::newRow("every other thread") << int(CTestThreadRefusal::EveryOther) << true;
    }
    void scanEndsWhenThreadsFail()
    {
        QFETCH(int, refusal);
        QFETCH(bool, beforeScan);
        const QString net = CNetnsGuard::ownAddress().section('.', 0, 2) + '.';
        QStringList agents;
        for (int host : {7, 8, 9}) {
            CFakeAgent::Config config;
            config.mode = CFakeAgent::Delay; // answers once every probe has started
            config.delayMs = 1000;
            config.uuid = uuidOf(host);
            config.name = "PC" + QString::number(host);
            m_agents.push_back(std::make_unique<CFakeAgent>(config));
            QVERIFY(m_agents.back()->listen(QHostAddress(net + QString::number(host))));
            agents.append(config.uuid);
        }
        CTestThreadRefusal::resetCounts();
        qtm w;
        w.init();
        if (beforeScan)
            CTestThreadRefusal::set(CTestThreadRefusal::Mode(refusal));
        w.ui.action_Open->trigger();
        CTestThreadRefusal::set(CTestThreadRefusal::Mode(refusal));
        QCOMPARE(w.m_scanStarted, 255);
        QTRY_VERIFY2_WITH_TIMEOUT(w.m_scanFinished == w.m_scanStarted,
            qPrintable(QString("%1 of %2 reported, %3 refused")
                           .arg(w.m_scanFinished)
                           .arg(w.m_scanStarted)
                           .arg(CTestThreadRefusal::refused())),
            30000);
        QVERIFY(CTestThreadRefusal::refused() > 0);
        const QStringList clients = CAdminTestRun::listedUuids();
        QCOMPARE(clients.size(), w.m_found);
        for (const QString &uuid : clients)
            QVERIFY2(CStoreTestRun::parses(uuid + ".xml"), qPrintable(uuid));
        if (!beforeScan)
            QCOMPARE(clients, agents);
        if (refusal == CTestThreadRefusal::All && beforeScan)
            QCOMPARE(w.m_found, 0);
        CTestThreadRefusal::set(CTestThreadRefusal::None);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestScanThreadFail)
#include "tst_scanthreadfail.moc"
