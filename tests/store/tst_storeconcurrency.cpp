#include "cpcconfig.h"
#include "cset.h"
#include "cstorenoticeload.h"
#include "cstoretestrun.h"
#include "ctestenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <QUuid>
#include <QtTest>

namespace {

QStringList makeClients(int count)
{
    QStringList uuids;
    for (int i = 0; i < count; ++i) {
        const QString uuid = QUuid::createUuid().toString();
        CSet set;
        set.openList();
        set.addPC(uuid, QStringLiteral("client-%1").arg(i), QStringLiteral("10.0.0.%1").arg(i + 1), "2.1", "1");
        CPcConfig cfg(uuid);
        cfg.open();
        cfg.createFromTemplate(
            QStringLiteral("UUID:%1|client(10.0.0.1)|2.1-1^CPU:Name=Base CPU\n^Software:").arg(uuid));
        uuids.append(uuid);
    }
    return uuids;
}

QString helper()
{
    return CStoreTestRun::path(QStringLiteral("store_helper"));
}

// Every text of the elements named tag below the class element, counted.
QMap<QString, int> textsOf(const QDomDocument &doc, const QString &cls, const QString &tag)
{
    QMap<QString, int> out;
    const QDomNodeList all = doc.documentElement().firstChildElement(cls).elementsByTagName(tag);
    for (int i = 0; i < all.count(); ++i)
        out[all.item(i).toElement().text()] += 1;
    return out;
}

} // namespace

class TestStoreConcurrency : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
    }

    void noticesAndListChangesFromTwoProcesses()
    {
        const int clients = 4;
        const int threads = 3;
        const int perThread = 25;
        const int adds = 20;
        const QStringList uuids = makeClients(clients);

        QProcess notices;
        notices.start(
            helper(), {"notices", "P", QString::number(threads), QString::number(perThread), uuids.join(',')});
        QProcess adder;
        adder.start(helper(), {"adder", "PA", QString::number(adds)});
        QVERIFY(notices.waitForStarted(10000));
        QVERIFY(adder.waitForStarted(10000));

        int localNotices = -1;
        int localAdder = -1;
        std::unique_ptr<QThread> n(
            QThread::create([&] { localNotices = CStoreNoticeLoad::runNotices("T", threads, perThread, uuids); }));
        std::unique_ptr<QThread> a(QThread::create([&] { localAdder = CStoreNoticeLoad::runAdder("TA", adds); }));
        n->start();
        a->start();
        QVERIFY(n->wait(240000));
        QVERIFY(a->wait(240000));
        QVERIFY(notices.waitForFinished(240000));
        QVERIFY(adder.waitForFinished(240000));
        QCOMPARE(notices.exitCode(), 0);
        QCOMPARE(adder.exitCode(), 0);
        QCOMPARE(localNotices, 0);
        QCOMPARE(localAdder, 0);

        // Every change is in the files exactly once.
        for (int c = 0; c < clients; ++c) {
            QDomDocument doc;
            QVERIFY(CStoreTestRun::parses(uuids.at(c) + ".xml", &doc));
            const QMap<QString, int> cpu = textsOf(doc, "CPU", "content");
            const QMap<QString, int> cpuRecords = textsOf(doc, "CPU", "record");
            const QMap<QString, int> software = textsOf(doc, "Software", "content");
            int expected = 0;
            for (const QString tag : {"P", "T"}) {
                for (int t = 0; t < threads; ++t) {
                    for (int k = 0; k < perThread; ++k) {
                        if (CStoreNoticeLoad::clientOf(t, k, clients) != c)
                            continue;
                        ++expected;
                        QCOMPARE(cpu.value(CStoreNoticeLoad::cpuRow(tag, t, k)), 1);
                        QCOMPARE(cpuRecords.value(CStoreNoticeLoad::cpuRow(tag, t, k)), 1);
                        QCOMPARE(software.value(CStoreNoticeLoad::softwareRow(tag, t, k)), 1);
                    }
                }
            }
            QCOMPARE(doc.documentElement().firstChildElement("CPU").elementsByTagName("content").count(), expected + 1);
        }

        QDomDocument list;
        QVERIFY(CStoreTestRun::parses("list.xml", &list));
        QMap<QString, int> names;
        QMap<QString, QString> notice;
        const QDomNodeList pcs = list.elementsByTagName("pc");
        for (int i = 0; i < pcs.count(); ++i) {
            const QDomElement e = pcs.item(i).toElement();
            names[e.firstChildElement("name").text()] += 1;
            notice[e.attribute("UUID")] = e.attribute("notice");
        }
        QMap<QString, int> folders;
        const QDomNodeList fs = list.elementsByTagName("folder");
        for (int i = 0; i < fs.count(); ++i)
            folders[fs.item(i).toElement().firstChildElement("name").text()] += 1;
        QCOMPARE(pcs.count(), clients + 2 * adds);
        QCOMPARE(fs.count(), 2 * adds);
        for (int i = 0; i < adds; ++i) {
            for (const QString tag : {"PA", "TA"}) {
                QCOMPARE(names.value(QString("%1-%2").arg(tag).arg(i)), 1);
                QCOMPARE(folders.value(QString("%1-f%2").arg(tag).arg(i)), 1);
            }
        }
        for (const QString &uuid : uuids)
            QCOMPARE(notice.value(uuid), QString("no"));
    }

    void killedWriterLeavesParseableFiles_data()
    {
        QTest::addColumn<int>("progress"); // CPU rows the writer has added before it is killed
        QTest::newRow("early") << 1;
        QTest::newRow("later") << 15;
        QTest::newRow("much later") << 40;
    }

    void killedWriterLeavesParseableFiles()
    {
        QFETCH(int, progress);
        const QString uuid = makeClients(1).first();
        const QString file = uuid + ".xml";
        QProcess writer;
        writer.start(helper(), {"loop", uuid});
        QVERIFY(writer.waitForStarted(10000));
        QVERIFY(writer.waitForReadyRead(30000));
        // Read along while it writes: every version a reader sees is complete.
        int seen = 0;
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                QDomDocument doc;
                if (!CStoreTestRun::parses(file, &doc) || !CStoreTestRun::parses("list.xml"))
                    return true; // ends the wait; the checks below fail
                seen = doc.documentElement().firstChildElement("CPU").elementsByTagName("content").count();
                return seen > progress;
            },
            60000));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses(file, &doc));
        QVERIFY(CStoreTestRun::parses("list.xml"));
        // The lock died with the process: the next writer goes ahead.
        CPcConfig cfg(uuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.applyChange(uuid + "^CPU$add$Name=after\n"), 0);
        CSet set;
        QCOMPARE(set.openList(), 1);
        QCOMPARE(set.addFolder("after", "{a}"), 0);
        QVERIFY(CStoreTestRun::parses(file));
        QVERIFY(CStoreTestRun::parses("list.xml"));
    }
};

BRAMIX_STORE_TEST_MAIN(TestStoreConcurrency, "store_helper")
#include "tst_storeconcurrency.moc"
