#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "chostileanswers.h"
#include "cnetnsguard.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "ctestenvironment.h"
#include "ctestmemory.h"
#include "ctestprocess.h"
#include "qtm.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
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
private:
    static QString net() { return CNetnsGuard::ownAddress().section('.', 0, 2) + '.'; }

    // The agents' process, serving count agents from host 20 on once this returns true.
    static bool startAgents(QProcess &agents, int count)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kAgentsVariable, net() + "20 " + QString::number(count));
        agents.setProcessEnvironment(env);
        agents.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        agents.start(QCoreApplication::applicationFilePath(), {});
        if (!agents.waitForStarted())
            return false;
        while (!agents.canReadLine() && agents.state() == QProcess::Running)
            agents.waitForReadyRead(1000);
        return agents.readLine().trimmed() == QByteArray("listening ") + QByteArray::number(count);
    }

    // The Software rows of a client file, read as a stream; -1 when it does not parse.
    static int softwareRows(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
            return -1;
        QXmlStreamReader reader(&file);
        int rows = 0;
        bool inSoftware = false;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement() && reader.name() == QLatin1String("Software"))
                inSoftware = true;
            else if (reader.isEndElement() && reader.name() == QLatin1String("Software"))
                inSoftware = false;
            else if (inSoftware && reader.isStartElement() && reader.name() == QLatin1String("content"))
                ++rows;
        }
        return reader.hasError() ? -1 : rows;
    }

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
    // with a file that parses, and the console stays within 256 MiB (it took 2 GiB for the 24 real
    // ones alone, and the "$" one grew it without bound).
    void largestAnswersAtOnce()
    {
        const int count = 25;
        QProcess agents;
        QVERIFY(startAgents(agents, count));

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
        const quint32 first = QHostAddress(net() + "20").toIPv4Address();
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
            QVERIFY2(peak < 256 * 1024, qPrintable(QString::number(peak)));
        QVERIFY(CAdminTestRun::dialogs().messages.isEmpty());
    }

    // The same agents scanned by the console as installed: its own program in a directory of its own,
    // started there, on every core and on two (the C library's heaps follow the core count). The
    // whole process stays within 256 MiB.
    void installedConsoleStaysSmall_data()
    {
        QTest::addColumn<int>("cores"); // 0: every core
        QTest::newRow("every core") << 0;
        QTest::newRow("two cores") << 2;
    }
    void installedConsoleStaysSmall()
    {
        if (!CTestMemory::figuresMean)
            QSKIP("the sanitizer's memory figures are not the console's");
        QFETCH(int, cores);
        const int count = 25;
        QProcess agents;
        QVERIFY(startAgents(agents, count));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(QProcess::execute("bash",
                     {CTestEnvironment::sourceDir() + "/scripts/install.sh", "admin", dir.path(),
                         CTestEnvironment::stageDir()}),
            0);
        const QString program = dir.filePath("bramix-consolescan");
        QVERIFY(QFile::copy(BRAMIX_CONSOLESCAN, program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(BRAMIX_CONSOLESCAN)));

        QProcess console;
        console.setWorkingDirectory(dir.path());
        console.setProgram(program);
        if (cores > 0)
            console.setChildProcessModifier([cores] { CTestProcess::keepToCores(cores); });
        console.start();
        QVERIFY(console.waitForFinished(240000));
        const QString err = QString::fromLocal8Bit(console.readAllStandardError());
        QCOMPARE(console.exitCode(), 0);
        QVERIFY2(err.contains("scaned,found " + QString::number(count)), qPrintable(err));
        const QRegularExpressionMatch peak = QRegularExpression("peak resident (\\d+) KiB").match(err);
        QVERIFY2(peak.hasMatch(), qPrintable(err));
        qInfo("installed console peak %s KiB", qPrintable(peak.captured(1)));
        agents.closeWriteChannel();
        QVERIFY(agents.waitForFinished(30000));

        const quint32 first = QHostAddress(net() + "20").toIPv4Address();
        for (int i = 0; i < count; ++i) {
            const int rows = softwareRows(dir.filePath(uuidOf(first + quint32(i)) + ".xml"));
            QVERIFY2(i + 1 < count ? rows > 60000 : rows == 0, qPrintable(QString::number(rows)));
        }
        QVERIFY2(peak.captured(1).toLongLong() < 256 * 1024, qPrintable(peak.captured(1)));
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
