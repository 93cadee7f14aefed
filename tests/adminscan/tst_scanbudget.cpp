#include "cadmintestrun.h"
#include "canswerbudget.h"
#include "cfakeagent.h"
#include "chostileanswers.h"
#include "cnetnsguard.h"
#include "cscanthread.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "ctestenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QtTest>

#include <memory>
#include <vector>

// What the scan's probes hold while answers arrive, against fake agents in the test namespace: slow
// peers hold no other probe, and the answers held in memory stay within the budget.
class TestScanBudget : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<CFakeAgent>> m_agents;
    QStringList m_reports; // "<target> found|known|failed", in the order they came
    QHash<QString, qint64> m_reportMs; // ms from its start to each target's report
    QList<QPointer<CScanThread>> m_probes;

    static QString net() { return CNetnsGuard::ownAddress().section('.', 0, 2) + '.'; }
    static QString uuidOf(int n) { return QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')); }

    // An agent on host n of the test /24 answering with the identity followed by tail, or with the
    // whole answer given; one connection at a time, as a real agent.
    CFakeAgent *agent(int n, const QString &tail, CFakeAgent::Mode mode = CFakeAgent::Short, int dripMs = 0,
        qint64 sendAtOnce = 0, const QString &answer = QString())
    {
        CFakeAgent::Config config;
        config.mode = mode;
        config.dripMs = dripMs;
        config.sendAtOnce = sendAtOnce;
        config.oneConnection = true;
        config.uuid = uuidOf(n);
        config.name = "PC" + QString::number(n);
        const QString address = net() + QString::number(n);
        config.answer = answer.isEmpty() ? CFakeAgent::identityAnswer(config, address, false) + tail : answer;
        m_agents.push_back(std::make_unique<CFakeAgent>(config));
        if (!m_agents.back()->listen(QHostAddress(address)))
            return nullptr;
        return m_agents.back().get();
    }

    void startProbe(int n)
    {
        const QString target = net() + QString::number(n);
        auto *thread = new CScanThread(nullptr, nullptr, target, CNetnsGuard::ownAddress());
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        connect(thread, &CScanThread::foundPC, qApp, [this, target, timer](QString name) {
            m_reportMs.insert(target, timer->elapsed());
            m_reports.append(target + (name.isEmpty() ? " known" : " found"));
        });
        connect(thread, &CScanThread::ScanFailed, qApp, [this, target, timer] {
            m_reportMs.insert(target, timer->elapsed());
            m_reports.append(target + " failed");
        });
        m_probes.append(thread);
        thread->start();
    }

    bool probesDone(int timeoutMs)
    {
        return CTestEnvironment::waitFor(
            [this] { return std::none_of(m_probes.cbegin(), m_probes.cend(), [](const auto &p) { return bool(p); }); },
            timeoutMs);
    }

    static int softwareRows(int n)
    {
        QDomDocument doc;
        if (!CStoreTestRun::parses(uuidOf(n) + ".xml", &doc))
            return -1;
        return doc.documentElement().firstChildElement("Software").elementsByTagName("content").count();
    }

    // The texts of the Software rows in the file of host n.
    static QStringList softwareTexts(int n)
    {
        QDomDocument doc;
        QStringList out;
        if (!CStoreTestRun::parses(uuidOf(n) + ".xml", &doc))
            return out;
        const QDomNodeList all = doc.documentElement().firstChildElement("Software").elementsByTagName("content");
        for (int i = 0; i < all.count(); ++i)
            out.append(all.item(i).toElement().text());
        return out;
    }

    static QStringList rowList(int count, int width)
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out.append(QString("Caption=Package %1 ").arg(i) + QString(width, 'w') + "\nVendor=V\n");
        return out;
    }

    static QString rows(int count, int width) { return "^Software:" + rowList(count, width).join('$'); }

private slots:
    void initTestCase() { BRAMIX_SCAN_GUARD(); }

    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        m_reports.clear();
        m_reportMs.clear();
        m_probes.clear();
    }

    void cleanup()
    {
        for (const QPointer<CScanThread> &p : std::as_const(m_probes)) {
            if (p)
                p->requestInterruption();
        }
        probesDone(10000);
        m_agents.clear();
        CAnswerBudget::scan().setCapacity(qint64(16) * 1024 * 1024);
        CScanThread::setReadWait(CScanThread::ReadMs);
        CScanThread::setDeadline(CScanThread::DeadlineMs);
    }

    // Peers that announce the largest answer and then send a byte now and then, before honest peers
    // with large and small answers: every honest probe reports while the slow ones still wait, the
    // slow ones hold none of the memory budget, and each ends by its own deadline, not later.
    void slowPeersHoldNoHonestProbe_data()
    {
        QTest::addColumn<qint64>("atOnce"); // bytes of each slow frame sent at once, before the drip
        QTest::newRow("announced, then dripped") << qint64(6 + 4 + 2);
        QTest::newRow("15 MiB at once, then dripped") << qint64(15 * 1024 * 1024);
    }
    void slowPeersHoldNoHonestProbe()
    {
        QFETCH(qint64, atOnce);
        // The agents answer from this test's own thread: on a loaded machine it can fall seconds behind,
        // so the waits leave room for that. The slow peers send a byte every 250 ms, and only their
        // deadline ends them.
        const int deadlineMs = 20000;
        CScanThread::setDeadline(deadlineMs);
        CScanThread::setReadWait(10000);
        // Four of them took the whole budget when it was reserved as announced.
        const QList<int> slow {30, 31, 32, 33};
        const QList<int> honest {40, 41, 42, 43, 50, 51, 52, 53};
        const QString largest = CHostileAnswers::realRows(uuidOf(30), "SLOW(" + net() + "30)");
        for (int n : slow)
            QVERIFY(agent(n, QString(), CFakeAgent::Drip, 250, atOnce, largest));
        for (int n : honest)
            QVERIFY(agent(n, n < 50 ? rows(6000, 60) : QString()));
        for (int n : slow)
            startProbe(n);
        QTRY_VERIFY(std::all_of(m_agents.cbegin(), m_agents.cbegin() + slow.size(),
            [](const std::unique_ptr<CFakeAgent> &a) { return a->identityRequests() == 1; }));
        QTest::qWait(1000); // the slow frames' counts and first bytes are in
        for (int n : honest)
            startProbe(n);

        const auto reported = [this](const QList<int> &hosts) {
            return int(std::count_if(hosts.cbegin(), hosts.cend(),
                [this](int n) { return m_reportMs.contains(net() + QString::number(n)); }));
        };
        QTRY_VERIFY_WITH_TIMEOUT(reported(honest) == honest.size() || reported(slow) > 0, 60000);
        qint64 slowestHonest = -1;
        for (int n : honest)
            slowestHonest = qMax(slowestHonest, m_reportMs.value(net() + QString::number(n), -1));
        qInfo("the slowest honest probe reported after %lld ms", slowestHonest);
        QCOMPARE(reported(slow), 0);
        QCOMPARE(m_reports.filter(" found").size(), honest.size());
        QTRY_COMPARE(CAnswerBudget::scan().held(), 0);
        for (int n : honest)
            QCOMPARE(softwareRows(n), n < 50 ? 6000 : 0);

        QTRY_VERIFY_WITH_TIMEOUT(reported(slow) == slow.size(), 3 * deadlineMs);
        for (int n : slow) {
            const QString target = net() + QString::number(n);
            QVERIFY(m_reports.contains(target + " failed"));
            QVERIFY2(
                m_reportMs.value(target) < deadlineMs * 3 / 2, qPrintable(QString::number(m_reportMs.value(target))));
        }
        QStringList expected;
        for (int n : honest)
            expected.append(uuidOf(n));
        expected.sort();
        QCOMPARE(CAdminTestRun::listedUuids(), expected);
    }

    // Answers that fit in memory, many at once: each is charged as it arrives and goes on in a file
    // once the budget is full, so no more is held than the capacity, and every file holds every row.
    void answersHeldStayWithinCapacity_data()
    {
        QTest::addColumn<int>("capacityKiB");
        QTest::newRow("room for all") << 16 * 1024;
        QTest::newRow("room for two") << 100;
        QTest::newRow("no room") << 0;
    }
    void answersHeldStayWithinCapacity()
    {
        QFETCH(int, capacityKiB);
        const int agents = 12;
        const QStringList expected = rowList(250, 60); // about 45 KiB on the wire
        for (int n = 10; n < 10 + agents; ++n)
            QVERIFY(agent(n, "^Software:" + expected.join('$')));
        CAnswerBudget::scan().setCapacity(qint64(capacityKiB) * 1024);
        CAnswerBudget::scan().resetPeak();
        for (int n = 10; n < 10 + agents; ++n)
            startProbe(n);
        QVERIFY(probesDone(60000));
        QCOMPARE(m_reports.size(), agents);
        QCOMPARE(m_reports.filter(" found").size(), agents);
        for (int n = 10; n < 10 + agents; ++n)
            QCOMPARE(softwareTexts(n), expected);
        QVERIFY2(CAnswerBudget::scan().peak() <= qint64(capacityKiB) * 1024,
            qPrintable(QString::number(CAnswerBudget::scan().peak())));
        QCOMPARE(CAnswerBudget::scan().held(), 0);
    }

    // Answers made of nothing but separators, beside real ones: each client gets a file that parses,
    // without a content element for the empty rows.
    void separatorAnswersGiveGoodFiles()
    {
        const int units = 1024 * 1024;
        QVERIFY(agent(20, "^Software:" + QString(units, '$')));
        QVERIFY(agent(21, QString(units, '^')));
        QVERIFY(agent(22, rows(800, 60)));
        for (int n : {20, 21, 22})
            startProbe(n);
        QVERIFY(probesDone(60000));
        QCOMPARE(m_reports.filter(" found").size(), 3);
        QCOMPARE(softwareRows(20), 0);
        QCOMPARE(softwareRows(21), 0);
        QCOMPARE(softwareRows(22), 800);
        QCOMPARE(CAnswerBudget::scan().held(), 0);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestScanBudget)
#include "tst_scanbudget.moc"
