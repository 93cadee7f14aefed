// Every change the store makes is on disk when the operation returns, the new name included: a
// client acknowledged after it, or an administrator who saw it, never finds the old file back after
// a power loss.
#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "csyncrecorder.h"
#include "cupdatelist.h"
#include "cupdatelog.h"

#include <QCoreApplication>
#include <QtTest>

#include <functional>

namespace {

const QString kUuid = QStringLiteral("{5e0b1c2d-3f4a-4b5c-8d9e-0f1a2b3c4d5e}");
const QString kFile = kUuid + QStringLiteral(".xml");

QString identity()
{
    return QStringLiteral("UUID:") + kUuid + QStringLiteral("|pc1(192.0.2.7)|2.1.20090713-1");
}

// A file or template with a comment, which the tree leaves to the DOM.
QByteArray forTheDom(const QByteArray &xml)
{
    QByteArray out = xml;
    return out.replace("<CPU/>", "<!-- left to the DOM --><CPU/>");
}

int fill()
{
    CPcConfig cfg(kUuid);
    cfg.open();
    return cfg.createFromTemplate(identity() + QStringLiteral("^CPU:Name=A\n$Name=B\n^Software:Caption=S\n"));
}

int notice()
{
    CPcConfig cfg(kUuid);
    cfg.open();
    return cfg.applyChange(kUuid + QStringLiteral("^CPU$add$Name=C\n^CPU$remove$Name=A\n"));
}

} // namespace

class TestStoreDurability : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("uplist.xml"));
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
        CSet list;
        list.openList();
        QCOMPARE(list.addPC(kUuid, "pc1", "192.0.2.7", "2.1.20090713", "1"), 0);
    }

    void everyReplacementIsDurable_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("replaced");
        QTest::newRow("fill") << "fill" << QStringList {kFile};
        QTest::newRow("fill from a template left to the DOM") << "fill dom" << QStringList {kFile};
        QTest::newRow("change notice") << "notice" << QStringList {kFile, "list.xml"};
        QTest::newRow("change notice to a file left to the DOM") << "notice dom" << QStringList {kFile, "list.xml"};
        QTest::newRow("client added") << "add client" << QStringList {"list.xml"};
        QTest::newRow("update log record") << "update log" << QStringList {"updateLog.xml"};
        QTest::newRow("update list") << "update list" << QStringList {"uplist.xml"};
    }

    void everyReplacementIsDurable()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, replaced);
        if (operation == "fill dom")
            QVERIFY(CStoreTestRun::write("configtempl.xml", forTheDom(CStoreTestRun::read("configtempl.xml"))));
        if (operation.startsWith("notice")) {
            QCOMPARE(fill(), 0);
            if (operation == "notice dom")
                QVERIFY(CStoreTestRun::write(kFile, forTheDom(CStoreTestRun::read(kFile))));
        }
        const QByteArray before = CStoreTestRun::read(replaced.first());
        const std::function<int()> run = [&] {
            if (operation.startsWith("fill"))
                return fill();
            if (operation.startsWith("notice"))
                return notice();
            if (operation == "add client") {
                CSet list;
                list.openList();
                return list.addPC("{00000000-1111-2222-3333-444444444444}", "pc2", "192.0.2.8", "2.1", "1");
            }
            if (operation == "update log") {
                CUpdateLog log;
                log.init();
                log.addRecord("192.0.2.7", "2.1", "2.2", {"BramixClient.exe"}, "windows");
                return log.save();
            }
            CUpdateList list;
            return list.setList({"C:/updates/BramixClient.exe"}, {"BramixClient"}, "2.2");
        };
        CSyncRecorder::start(CStoreTestRun::appDir());
        const int rc = run();
        const QList<CSyncRecorder::Event> events = CSyncRecorder::stop();
        QCOMPARE(rc, 0);
        QVERIFY(CStoreTestRun::read(replaced.first()) != before);
        int renames = 0;
        const QString fault = CSyncRecorder::durabilityFault(events, CStoreTestRun::appDir(), &renames);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QStringList targets;
        for (const CSyncRecorder::Event &e : events) {
            if (e.kind == CSyncRecorder::Event::Rename)
                targets.append(QFileInfo(e.to).fileName());
        }
        QCOMPARE(targets, replaced);
        QCOMPARE(renames, replaced.size());
    }
};

BRAMIX_STORE_TEST_MAIN(TestStoreDurability)
#include "tst_storedurability.moc"
