#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "cnetnsguard.h"
#include "cscanthread.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "ctestenvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

// One probe against one fake agent, in the test namespace: what it reports and what it writes.
class TestScanProbe : public QObject
{
    Q_OBJECT
private:
    struct Outcome
    {
        QList<QStringList> found;
        int failed = 0;
    };

    // Runs one probe of target (our address from the launcher) to its end.
    static Outcome probe(const QString &target, int timeoutMs = 20000)
    {
        Outcome out;
        auto *thread = new CScanThread(nullptr, nullptr, target, CNetnsGuard::ownAddress());
        QPointer<CScanThread> alive(thread);
        QObject::connect(thread, &CScanThread::foundPC, qApp, [&out](QString name, QString uuid, QString flag) {
            out.found.append({name, uuid, flag});
        });
        QObject::connect(thread, &CScanThread::ScanFailed, qApp, [&out] { ++out.failed; });
        thread->start();
        CTestEnvironment::waitFor([&] { return !alive; }, timeoutMs);
        return out;
    }

    static QStringList listed()
    {
        CSet list;
        list.openList();
        std::list<PCEntry> entries;
        list.getPCList(entries);
        QStringList out;
        for (const PCEntry &e : entries)
            out.append(QString::fromStdString(
                e.at("UUID") + " " + e.at("name") + " " + e.at("ip") + " " + e.at("version") + " " + e.at("os")));
        return out;
    }

private slots:
    void initTestCase() { BRAMIX_SCAN_GUARD(); }

    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
    }

    void answers_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<QString>("versionPart");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("listedAs"); // empty: a failure, nothing listed

        const QString u = "{3f2504e0-4f89-11d3-9a0c-0305e82c3301}";
        const QString v = "2.1.20090713-1";
        QTest::newRow("short frame") << int(CFakeAgent::Short) << u << v << ""
                                     << "PC7 198.51.100.7 2.1.20090713 1";
        QTest::newRow("extended frame") << int(CFakeAgent::Extended) << u << v << ""
                                        << "PC7 198.51.100.7 2.1.20090713 1";
        QTest::newRow("dripped") << int(CFakeAgent::Drip) << u << v << ""
                                 << "PC7 198.51.100.7 2.1.20090713 1";
        QTest::newRow("delayed") << int(CFakeAgent::Delay) << u << v << ""
                                 << "PC7 198.51.100.7 2.1.20090713 1";
        QTest::newRow("Linux client") << int(CFakeAgent::Short) << u << "2.1.20090713-2"
                                      << ""
                                      << "PC7 198.51.100.7 2.1.20090713 2";
        QTest::newRow("version without -") << int(CFakeAgent::Short) << u << "2.1.20090713"
                                           << ""
                                           << "PC7 198.51.100.7 unknown 5";
        QTest::newRow("version with two -") << int(CFakeAgent::Short) << u << "2.1-2009-1"
                                            << ""
                                            << "PC7 198.51.100.7 unknown 5";
        QTest::newRow("another service") << int(CFakeAgent::WrongPrefix) << u << v << ""
                                         << "";
        QTest::newRow("prefix in the wrong case")
            << int(CFakeAgent::Short) << u << v << "uuid:" + u + "|PC7(198.51.100.7)|" + v << "";
        QTest::newRow("closed without answer") << int(CFakeAgent::Close) << u << v << ""
                                               << "";
        QTest::newRow("answer beyond 16 MiB announced") << int(CFakeAgent::Oversize) << u << v << ""
                                                        << "";
        QTest::newRow("two identity fields") << int(CFakeAgent::Short) << u << v << "UUID:" + u + "|PC7(198.51.100.7)"
                                             << "";
        QTest::newRow("UUID alone") << int(CFakeAgent::Short) << u << v << "UUID"
                                    << "";
        QTest::newRow("UUID without braces")
            << int(CFakeAgent::Short) << "3f2504e0-4f89-11d3-9a0c-0305e82c3301" << v << ""
            << "";
        QTest::newRow("UUID one digit short")
            << int(CFakeAgent::Short) << "{3f2504e0-4f89-11d3-9a0c-0305e82c330}" << v << ""
            << "";
        QTest::newRow("UUID naming a path") << int(CFakeAgent::Short) << "{../../../tmp/x}" << v << ""
                                            << "";
        QTest::newRow("UUID empty") << int(CFakeAgent::Short) << "" << v << ""
                                    << "";
        QTest::newRow("UUID with a non-hex digit")
            << int(CFakeAgent::Short) << "{3f2504e0-4f89-11d3-9a0c-0305e82c330g}" << v << ""
            << "";
    }

    void answers()
    {
        QFETCH(int, mode);
        QFETCH(QString, uuid);
        QFETCH(QString, versionPart);
        QFETCH(QString, answer);
        QFETCH(QString, listedAs);

        CFakeAgent::Config config;
        config.mode = CFakeAgent::Mode(mode);
        config.uuid = uuid;
        config.versionPart = versionPart;
        config.answer = answer;
        config.delayMs = 300;
        config.dripMs = 2;
        CFakeAgent agent(config);
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        const QByteArray before = CStoreTestRun::read("list.xml");
        const QStringList filesBefore = QDir(CStoreTestRun::appDir()).entryList(QDir::Files);

        QElapsedTimer timer;
        timer.start();
        const Outcome out = probe("198.51.100.7");
        // Refusals come at once, not after the 30000 ms read wait.
        QVERIFY2(timer.elapsed() < 15000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(agent.identityRequests(), 1);
        if (listedAs.isEmpty()) {
            QCOMPARE(out.failed, 1);
            QCOMPARE(out.found.size(), 0);
            QCOMPARE(CStoreTestRun::read("list.xml"), before);
            QCOMPARE(QDir(CStoreTestRun::appDir()).entryList(QDir::Files), filesBefore);
            return;
        }
        QCOMPARE(out.failed, 0);
        QCOMPARE(out.found.size(), 1);
        QCOMPARE(out.found.at(0), QStringList({"PC7(198.51.100.7)", uuid, listedAs.section(' ', 3, 3)}));
        QCOMPARE(listed(), QStringList {uuid + " " + listedAs});
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses(uuid + ".xml", &doc));
        const QDomElement cpu = doc.documentElement().firstChildElement("CPU").firstChildElement("content");
        QCOMPARE(cpu.attribute("digest"), QString("Fake CPU 3.0GHz"));
        if (mode == CFakeAgent::Extended) {
            QCOMPARE(doc.documentElement().firstChildElement("Software").elementsByTagName("content").count(), 600);
            QVERIFY(agent.answerText().size() > 32765);
        }
    }

    void requestBytes()
    {
        CFakeAgent agent({});
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        probe("198.51.100.7");
        QTRY_COMPARE(agent.requestBytes().size(), 1);
        const QByteArray header = "getUUID:" + CNetnsGuard::ownAddress().toLatin1();
        QByteArray expected;
        expected.append(char(0)).append(char(0)).append(char(0)).append(char(header.size() + 2));
        expected.append(char(0)).append(char(header.size()));
        expected.append(header);
        QCOMPARE(agent.requestBytes().at(0), expected);
    }

    void knownClientWritesNothing()
    {
        CFakeAgent agent({});
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        QCOMPARE(probe("198.51.100.7").found.size(), 1);
        const QByteArray list = CStoreTestRun::read("list.xml");
        const QByteArray file = CStoreTestRun::read(CFakeAgent::Config().uuid + ".xml");
        const Outcome again = probe("198.51.100.7");
        QCOMPARE(again.found, QList<QStringList>({{"", "", "0"}}));
        QCOMPARE(CStoreTestRun::read("list.xml"), list);
        QCOMPARE(CStoreTestRun::read(CFakeAgent::Config().uuid + ".xml"), file);
    }

    // A listed client whose inventory file was never filled (the template was missing, or the
    // console ended between listing and filling) gets it at the next scan, still counted as known.
    void knownClientWithoutInventoryIsFilled_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("missing file") << "missing";
        QTest::newRow("broken template, then a good one") << "template";
    }
    void knownClientWithoutInventoryIsFilled()
    {
        QFETCH(QString, damage);
        const QString file = CFakeAgent::Config().uuid + ".xml";
        const QByteArray templ = CStoreTestRun::read("configtempl.xml");
        if (damage == "template")
            QVERIFY(CStoreTestRun::write("configtempl.xml", "<pcconfig><CPU></pcconfig>"));
        CFakeAgent agent({});
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        QCOMPARE(probe("198.51.100.7").found.size(), 1);
        if (damage == "empty") {
            QVERIFY(CStoreTestRun::write(file, QByteArray()));
        } else if (damage == "missing") {
            QVERIFY(QFile::remove(CStoreTestRun::path(file)));
        } else {
            QCOMPARE(CStoreTestRun::read(file), QByteArray());
            QVERIFY(CStoreTestRun::write("configtempl.xml", templ));
        }
        const QByteArray list = CStoreTestRun::read("list.xml");
        QCOMPARE(probe("198.51.100.7").found, QList<QStringList>({{"", "", "0"}}));
        QCOMPARE(CStoreTestRun::read("list.xml"), list);
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses(file, &doc));
        QCOMPARE(doc.documentElement().firstChildElement("CPU").firstChildElement("content").attribute("digest"),
            QString("Fake CPU 3.0GHz"));
        // Filled once: the next scan leaves the file as it is, though the agent (on another address
        // now) answers with another CPU.
        const QByteArray filled = CStoreTestRun::read(file);
        CFakeAgent::Config moved;
        moved.answer = "UUID:" + moved.uuid + "|PC7(198.51.100.8)|2.1.20090713-1^CPU:Name=Other CPU 4.0GHz\n";
        CFakeAgent other(moved);
        QVERIFY(other.listen(QHostAddress("198.51.100.8")));
        QCOMPARE(probe("198.51.100.8").found, QList<QStringList>({{"", "", "0"}}));
        QCOMPARE(other.identityRequests(), 1);
        QCOMPARE(CStoreTestRun::read(file), filled);
    }

    void listWithOtherRootCountsKnown()
    {
        QVERIFY(CStoreTestRun::write("list.xml", "<?xml version=\"1.0\"?>\n<clients/>\n"));
        CFakeAgent agent({});
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        QCOMPARE(probe("198.51.100.7").found, QList<QStringList>({{"", "", "0"}}));
        QCOMPARE(CStoreTestRun::read("list.xml"), QByteArray("<?xml version=\"1.0\"?>\n<clients/>\n"));
    }

    void noAgentFails()
    {
        const Outcome out = probe("198.51.100.9");
        QCOMPARE(out.failed, 1);
    }

    // Many probes reaching one agent at once (its two addresses, a second scan): listed once.
    void concurrentProbesListOnce()
    {
        CFakeAgent a({});
        CFakeAgent b({});
        QVERIFY(a.listen(QHostAddress("198.51.100.7")));
        QVERIFY(b.listen(QHostAddress("198.51.100.8")));
        QList<QPointer<CScanThread>> threads;
        int found = 0;
        int known = 0;
        for (int i = 0; i < 20; ++i) {
            auto *t
                = new CScanThread(nullptr, nullptr, i % 2 ? "198.51.100.7" : "198.51.100.8", CNetnsGuard::ownAddress());
            connect(t, &CScanThread::foundPC, this, [&](QString name) { ++(name.isEmpty() ? known : found); });
            threads.append(t);
        }
        for (CScanThread *t : std::as_const(threads))
            t->start();
        QTRY_COMPARE_WITH_TIMEOUT(found + known, 20, 20000);
        QCOMPARE(found, 1);
        QCOMPARE(listed().size(), 1);
        QTRY_VERIFY(std::all_of(threads.cbegin(), threads.cend(), [](const QPointer<CScanThread> &t) { return !t; }));
    }

    // A peer that drips a byte now and then must not hold the probe beyond its read waits: an
    // interruption ends it at once.
    void interruptionEndsProbePromptly()
    {
        CFakeAgent::Config config;
        config.mode = CFakeAgent::Silent;
        CFakeAgent agent(config);
        QVERIFY(agent.listen(QHostAddress("198.51.100.7")));
        auto *thread = new CScanThread(nullptr, nullptr, "198.51.100.7", CNetnsGuard::ownAddress());
        QPointer<CScanThread> alive(thread);
        thread->start();
        QTRY_COMPARE(agent.identityRequests(), 1);
        QElapsedTimer timer;
        timer.start();
        thread->requestInterruption();
        QVERIFY(thread->wait(5000));
        QVERIFY2(timer.elapsed() < 2000, "the probe did not stop within its wait slices");
        QTRY_VERIFY(!alive);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestScanProbe)

#include "tst_scanprobe.moc"
