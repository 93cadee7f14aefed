#include "cadmintestrun.h"
#include "canswerbudget.h"
#include "cfakeagent.h"
#include "cnetnsguard.h"
#include "cscanthread.h"
#include "cset.h"
#include "cshortframe.h"
#include "cstoretestrun.h"
#include "ctestenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

// The bytes of answers that the scan's probes hold at once: the budget alone, then probes against
// fake agents in the test namespace.
class TestScanBudget : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<CFakeAgent>> m_agents;
    QStringList m_reports; // "<target> found|known|failed", in the order they came
    QList<QPointer<CScanThread>> m_probes;

    static QString net() { return CNetnsGuard::ownAddress().section('.', 0, 2) + '.'; }
    static QString uuidOf(int n) { return QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')); }

    // An agent on host n of the test /24 answering with the identity followed by tail.
    CFakeAgent *agent(int n, const QString &tail, CFakeAgent::Mode mode = CFakeAgent::Short, int dripMs = 0)
    {
        CFakeAgent::Config config;
        config.mode = mode;
        config.dripMs = dripMs;
        config.uuid = uuidOf(n);
        config.name = "PC" + QString::number(n);
        const QString address = net() + QString::number(n);
        config.answer = CFakeAgent::identityAnswer(config, address, false) + tail;
        m_agents.push_back(std::make_unique<CFakeAgent>(config));
        if (!m_agents.back()->listen(QHostAddress(address)))
            return nullptr;
        return m_agents.back().get();
    }

    // The bytes of the frame that carries text.
    static qint64 frameBytes(const QString &text)
    {
        return (text.size() > CShortFrame::MaxShortUnits ? 6 : 2) + 4 + 2 * text.size();
    }

    void startProbe(int n)
    {
        const QString target = net() + QString::number(n);
        auto *thread = new CScanThread(nullptr, nullptr, target, CNetnsGuard::ownAddress());
        connect(thread, &CScanThread::foundPC, qApp,
            [this, target](QString name) { m_reports.append(target + (name.isEmpty() ? " known" : " found")); });
        connect(thread, &CScanThread::ScanFailed, qApp, [this, target] { m_reports.append(target + " failed"); });
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

    static QString rows(int count, int width)
    {
        QStringList out;
        for (int i = 0; i < count; ++i)
            out.append(QString("Caption=Package %1 ").arg(i) + QString(width, 'w') + "\nVendor=V\n");
        return "^Software:" + out.join('$');
    }

private slots:
    void initTestCase() { BRAMIX_SCAN_GUARD(); }

    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        m_reports.clear();
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
        CAnswerBudget::scan().setCapacity(qint64(64) * 1024 * 1024);
        CScanThread::setReadWait(CScanThread::ReadMs);
    }

    // Callers go in the order they asked, as long as what they take fits beside what is held; the
    // first in line goes alone when it is larger than the whole.
    void budgetOrder_data()
    {
        QTest::addColumn<QList<int>>("asks"); // bytes each caller asks for, in this order
        QTest::addColumn<QList<int>>("first"); // the callers let through at once (capacity 100)
        QTest::newRow("all fit") << QList<int>({30, 30, 40}) << QList<int>({0, 1, 2});
        QTest::newRow("a small one waits behind a large one") << QList<int>({60, 60, 10}) << QList<int>({0});
        QTest::newRow("larger than the whole, alone") << QList<int>({150, 1}) << QList<int>({0});
        QTest::newRow("fits exactly") << QList<int>({50, 50, 1}) << QList<int>({0, 1});
    }
    void budgetOrder()
    {
        QFETCH(QList<int>, asks);
        QFETCH(QList<int>, first);
        CAnswerBudget budget(100);
        QMutex lock;
        QList<int> order;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < asks.size(); ++i) {
            threads.emplace_back(QThread::create([&, i] {
                budget.acquire(asks.at(i), nullptr);
                QMutexLocker locker(&lock);
                order.append(i);
            }));
            threads.back()->start();
            // Each asks after the one before it.
            QTRY_VERIFY([&] {
                QMutexLocker locker(&lock);
                return budget.waiting() + order.size() == i + 1;
            }());
        }
        QTest::qWait(200);
        // Those let through together append in any order.
        const auto through = [&] {
            QMutexLocker locker(&lock);
            QList<int> sorted = order;
            std::sort(sorted.begin(), sorted.end());
            return sorted;
        };
        QCOMPARE(through(), first);
        // Each release lets the rest go in order.
        QList<int> all;
        for (int i = 0; i < asks.size(); ++i)
            all.append(i);
        for (int i = 0; i < asks.size(); ++i) {
            QTRY_VERIFY([&] {
                QMutexLocker locker(&lock);
                return order.size() > i;
            }());
            // Never one before another that asked earlier.
            const QList<int> now = through();
            QCOMPARE(now, all.mid(0, now.size()));
            budget.release(asks.at(i));
        }
        for (auto &t : threads)
            QVERIFY(t->wait(5000));
        QCOMPARE(through(), all);
        QCOMPARE(budget.held(), 0);
        QVERIFY(budget.peak() <= qMax(100, asks.first()));
    }

    // A caller that gives up while waiting leaves the line: the one behind it gets its turn.
    void budgetStopLeavesTheLine()
    {
        CAnswerBudget budget(100);
        QVERIFY(budget.acquire(80, nullptr));
        std::atomic<bool> stop {false};
        std::atomic<int> result {-1};
        std::unique_ptr<QThread> quitter(
            QThread::create([&] { result = budget.acquire(50, [&] { return bool(stop); }); }));
        quitter->start();
        QTRY_COMPARE(budget.waiting(), 1);
        std::atomic<bool> small {false};
        std::unique_ptr<QThread> behind(QThread::create([&] { small = budget.acquire(20, nullptr); }));
        behind->start();
        QTRY_COMPARE(budget.waiting(), 2);
        stop = true;
        QVERIFY(quitter->wait(5000));
        QCOMPARE(result.load(), 0);
        QVERIFY(behind->wait(5000));
        QVERIFY(small);
        QCOMPARE(budget.held(), 100);
    }

    // Probes wait for their turn before reading, in the order their answers came, and a turn that
    // comes later than the read wait is no failure.
    void probesWaitTheirTurn()
    {
        CScanThread::setReadWait(1000);
        const QString tail = "^Printer:Caption=" + QString(200, 'p') + "\n";
        // Each answer takes most of the capacity: one at a time. The first drips for about 3 s.
        CFakeAgent *dripping = agent(7, tail, CFakeAgent::Drip, 3);
        QVERIFY(dripping);
        QVERIFY(agent(8, tail));
        QVERIFY(agent(9, tail));
        const qint64 bytes = frameBytes(dripping->answerText());
        QVERIFY(bytes > 512 && bytes < 1024);
        CAnswerBudget::scan().setCapacity(1024);
        CAnswerBudget::scan().resetPeak();
        QElapsedTimer timer;
        timer.start();
        startProbe(7);
        QTRY_VERIFY(CAnswerBudget::scan().held() > 0);
        startProbe(8);
        QTRY_COMPARE(CAnswerBudget::scan().waiting(), 1);
        startProbe(9);
        QTRY_COMPARE(CAnswerBudget::scan().waiting(), 2);
        QVERIFY(probesDone(30000));
        QVERIFY2(timer.elapsed() > 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(m_reports, QStringList({net() + "7 found", net() + "8 found", net() + "9 found"}));
        QVERIFY(CAnswerBudget::scan().peak() <= 1024);
        QCOMPARE(CAnswerBudget::scan().held(), 0);
    }

    // Many large answers at once: every client listed with its file, never more held than the
    // capacity (or one answer, when it alone is larger).
    void answersHeldStayWithinCapacity_data()
    {
        QTest::addColumn<int>("capacityKiB");
        QTest::addColumn<int>("agents");
        QTest::newRow("room for two") << 256 << 12;
        QTest::newRow("each beyond the capacity") << 16 << 4;
    }
    void answersHeldStayWithinCapacity()
    {
        QFETCH(int, capacityKiB);
        QFETCH(int, agents);
        const QString tail = rows(800, 60); // about 120 KiB on the wire
        qint64 largest = 0;
        for (int n = 10; n < 10 + agents; ++n) {
            CFakeAgent *a = agent(n, tail);
            QVERIFY(a);
            largest = qMax(largest, frameBytes(a->answerText()));
        }
        CAnswerBudget::scan().setCapacity(qint64(capacityKiB) * 1024);
        CAnswerBudget::scan().resetPeak();
        for (int n = 10; n < 10 + agents; ++n)
            startProbe(n);
        QVERIFY(probesDone(60000));
        QCOMPARE(m_reports.size(), agents);
        QCOMPARE(m_reports.filter(" found").size(), agents);
        for (int n = 10; n < 10 + agents; ++n)
            QCOMPARE(softwareRows(n), 800);
        QVERIFY2(CAnswerBudget::scan().peak() <= qMax(qint64(capacityKiB) * 1024, largest),
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
