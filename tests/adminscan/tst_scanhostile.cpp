#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "chostileanswers.h"
#include "cnetnsguard.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "ctestmemory.h"
#include "qtm.h"

#include <QProcess>
#include <QtTest>

namespace {

// Set in the child that plays the agents: "<first address> <count>".
const char kAgentsVariable[] = "BRAMIX_TEST_HOSTILE_AGENTS";

QString uuidOf(quint32 address)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(address, 8, 16, QLatin1Char('0'));
}

// The agents, in a process of their own so that their answers do not count as the console's memory:
// all but the last answer with a real inventory of just under 16 MiB, the last with one block of
// millions of "$". They serve until standard input closes.
int serveAgents(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList spec = qEnvironmentVariable(kAgentsVariable).split(QLatin1Char(' '));
    const quint32 first = QHostAddress(spec.value(0)).toIPv4Address();
    const int count = spec.value(1).toInt();
    for (int i = 0; i < count; ++i) {
        const QHostAddress address(first + quint32(i));
        CFakeAgent::Config config;
        config.uuid = uuidOf(first + quint32(i));
        const QString label = QStringLiteral("AGENT%1(%2)").arg(i).arg(address.toString());
        config.answer = i + 1 < count ? CHostileAnswers::realRows(config.uuid, label)
                                      : CHostileAnswers::dollars(config.uuid, label);
        auto *agent = new CFakeAgent(config, &app);
        if (!agent->listen(address))
            return 1;
    }
    CFakeAgent::serveUntilInputCloses(count);
    return 0;
}

} // namespace

// The console's scan against agents whose answers are as large as a probe takes, all at once.
class TestScanHostile : public QObject
{
    Q_OBJECT
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
    }

    // 24 real answers of 16 MiB and one of 8.4 million "$": the scan ends, every client is listed
    // with a file that parses, and the console stays well within 512 MiB (it took 2 GiB for the 24
    // real ones alone, and the "$" one grew it without bound).
    void largestAnswersAtOnce()
    {
        const QString net = CNetnsGuard::ownAddress().section('.', 0, 2) + '.';
        const int count = 25;
        QProcess agents;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kAgentsVariable, net + "20 " + QString::number(count));
        agents.setProcessEnvironment(env);
        agents.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agents.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(agents.waitForStarted());
        while (!agents.canReadLine() && agents.state() == QProcess::Running)
            agents.waitForReadyRead(1000);
        QCOMPARE(agents.readLine().trimmed(), QByteArray("listening ") + QByteArray::number(count));

        const bool measured = CTestMemory::resetPeak();
        const qint64 before = CTestMemory::statusKiB("VmRSS");
        {
            qtm w;
            w.init();
            w.ui.action_Open->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(w.m_scanStarted > 0 && w.m_scanFinished == w.m_scanStarted, 240000);
            QCOMPARE(w.m_found, count);
        }
        const qint64 peak = CTestMemory::statusKiB("VmHWM");
        qInfo("console peak %lld KiB (%lld KiB before the scan)", peak, before);
        agents.closeWriteChannel();
        QVERIFY(agents.waitForFinished(30000));

        std::list<PCEntry> clients;
        {
            CSet list;
            list.openList();
            list.getPCList(clients);
        }
        QCOMPARE(int(clients.size()), count);
        const quint32 first = QHostAddress(net + "20").toIPv4Address();
        for (int i = 0; i < count; ++i) {
            const QString file = uuidOf(first + quint32(i)) + ".xml";
            QDomDocument doc;
            QVERIFY2(CStoreTestRun::parses(file, &doc), qPrintable(file));
            const int rows = doc.documentElement().firstChildElement("Software").elementsByTagName("content").count();
            if (i + 1 < count)
                QVERIFY2(rows > 60000, qPrintable(QString::number(rows)));
            else
                QCOMPARE(rows, 0);
        }
        if (CTestMemory::figuresMean && measured)
            QVERIFY2(peak < 512 * 1024, qPrintable(QString::number(peak)));
        QVERIFY(CAdminTestRun::dialogs().messages.isEmpty());
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kAgentsVariable))
        return serveAgents(argc, argv);
    if (!CStoreTestRun::isRelocated())
        return CStoreTestRun::relocate(argc, argv, QStringList());
    CAdminTestRun::prepare();
    QApplication app(argc, argv);
    CAdminTestRun::setUp(app);
    TestScanHostile tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_scanhostile.moc"
