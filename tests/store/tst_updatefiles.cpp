#include "cstoretestrun.h"
#include "ctestenvironment.h"
#include "cupdatelist.h"
#include "cupdatelog.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QStringList childTags(const QDomElement &e)
{
    QStringList out;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        out.append(c.tagName());
    return out;
}

QDomElement rootOf(const QString &name)
{
    QDomDocument doc;
    CStoreTestRun::parses(name, &doc);
    return doc.documentElement();
}

QString thrownBy(const std::function<void()> &f)
{
    try {
        f();
    } catch (const char *text) {
        return QString::fromLatin1(text);
    } catch (...) {
        return QStringLiteral("other exception");
    }
    return QString();
}

} // namespace

class TestUpdateFiles : public QObject
{
    Q_OBJECT
private slots:
    void init() { CStoreTestRun::clear(); }

    // Update list -------------------------------------------------------------------------------

    void shippedList()
    {
        QVERIFY(CStoreTestRun::installShipped("uplist.xml"));
        QCOMPARE(childTags(rootOf("uplist.xml")), QStringList({"windows", "linux"}));
        CUpdateList list;
        QStringList w, l;
        QString version = "x", date = "y";
        QCOMPARE(list.getList(w, l, version, date), 0);
        QVERIFY(w.isEmpty() && l.isEmpty());
        QCOMPARE(version, QString());
        QCOMPARE(date, QString());
    }

    void setAndGet()
    {
        QVERIFY(CStoreTestRun::installShipped("uplist.xml"));
        {
            CUpdateList list;
            QCOMPARE(list.setList({"C:\\up\\BramixClient.exe", "C:\\up\\a.dll"}, {"/srv/bramix"}, "2.1.20090715"), 0);
            QCOMPARE(list.setList({"C:\\up\\new.exe"}, {}, "2.1.20090716"), 0);
        }
        const QByteArray bytes = CStoreTestRun::read("uplist.xml");
        QVERIFY(!bytes.contains('\r'));
        QVERIFY(bytes.contains("\n  <windows>\n    <file>C:\\up\\new.exe</file>\n  </windows>\n"));
        CUpdateList list;
        QStringList w {"first"}, l;
        QString version, date;
        QCOMPARE(list.getList(w, l, version, date), 0);
        QCOMPARE(w, QStringList({"first", "C:\\up\\new.exe"}));
        QVERIFY(l.isEmpty());
        QCOMPARE(version, QString("2.1.20090716"));
        static const QRegularExpression re("^\\d\\d \\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
        QVERIFY2(re.match(date).hasMatch(), qPrintable(date));
        const QDateTime parsed = QDateTime::fromString(date, "MM dd yyyy hh:mm:ss");
        QVERIFY(parsed.isValid());
        QVERIFY(qAbs(parsed.secsTo(QDateTime::currentDateTime())) < 3600);
        QCOMPARE(childTags(rootOf("uplist.xml")), QStringList({"windows", "linux", "version", "setdate"}));
    }

    void setKeepsOtherElements()
    {
        QVERIFY(CStoreTestRun::write("uplist.xml",
            kDecl
                + "<uplist><note>n</note><version>old</version><linux>"
                  "<file>/a</file><sub><file>/deep</file></sub></linux>"
                  "<setdate>d</setdate><windows/><tail/></uplist>\n"));
        CUpdateList list;
        QStringList w, l;
        QString version, date;
        list.getList(w, l, version, date);
        QCOMPARE(l, QStringList({"/a", "/deep"}));
        QCOMPARE(version, QString("old"));
        QCOMPARE(list.setList({}, {"/b"}, QString()), 0);
        const QDomElement root = rootOf("uplist.xml");
        QCOMPARE(childTags(root), QStringList({"note", "linux", "windows", "tail", "version", "setdate"}));
        // Only the direct file children are replaced.
        QCOMPARE(childTags(root.firstChildElement("linux")), QStringList({"sub", "file"}));
        QCOMPARE(root.firstChildElement("version").text(), QString());
        CUpdateList again;
        w.clear();
        l.clear();
        version = "x";
        QCOMPARE(again.getList(w, l, version, date), 0);
        QCOMPARE(version, QString());
        QCOMPARE(l, QStringList({"/deep", "/b"}));
    }

    void missingPlatformElement()
    {
        QVERIFY(CStoreTestRun::write("uplist.xml", kDecl + "<uplist><windows/></uplist>\n"));
        CUpdateList list;
        QCOMPARE(list.setList({"w"}, {"l"}, "v"), 0);
        QStringList w, l {"keep"};
        QString version, date;
        CUpdateList again;
        again.getList(w, l, version, date);
        QCOMPARE(w, QStringList({"w"}));
        QCOMPARE(l, QStringList({"keep"}));
    }

    void badListThrows_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("empty") << true << QByteArray();
        QTest::newRow("not well-formed") << true << QByteArray(kDecl + "<uplist><windows>");
        QTest::newRow("other root") << true << QByteArray(kDecl + "<list><windows/><linux/></list>\n");
    }

    void badListThrows()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        if (exists)
            QVERIFY(CStoreTestRun::write("uplist.xml", content));
        CUpdateList list;
        QStringList w {"keep"}, l;
        QString version = "v", date = "d";
        QCOMPARE(list.getList(w, l, version, date), -1);
        QCOMPARE(w, QStringList({"keep"}));
        QCOMPARE(version, QString("v"));
        QCOMPARE(thrownBy([&] { list.setList({"a"}, {"b"}, "1"); }), QString("Xml file format error"));
        QCOMPARE(CStoreTestRun::read("uplist.xml"), content);
        QVERIFY(QFile::exists(CStoreTestRun::path("uplist.xml")));
        if (!content.contains("<list>")) {
            // Nothing was loaded: saving must not put an empty document in place of the file.
            QCOMPARE(list.save(), -1);
            QCOMPARE(CStoreTestRun::read("uplist.xml"), content);
        }
    }

    void appDir()
    {
        CUpdateList list;
        QCOMPARE(list.getAppDir(), QCoreApplication::applicationDirPath());
        CUpdateLog log;
        QCOMPARE(log.getAppDir(), QCoreApplication::applicationDirPath());
    }

    // Update log --------------------------------------------------------------------------------

    void recordsInOrder()
    {
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
        {
            CUpdateLog log;
            QCOMPARE(log.init(), 1);
            log.addRecord("pc1(10.0.0.1)", "2.1.20090713", "2.1.20090715", {"C:\\a.exe", "C:\\b.dll"}, "auto");
            log.addRecord("pc2(10.0.0.2)", "", "2.1.20090715", {}, "force");
            log.addRecord("pc3(10.0.0.3)", "", "2.1.20090715", {"C:\\only.exe"}, "force");
            QCOMPARE(CStoreTestRun::read("updateLog.xml"),
                CTestEnvironment::readFile(CTestEnvironment::stagedFile("updateLog.xml")));
            QCOMPARE(log.save(), 0);
        }
        const QDomElement record = rootOf("updateLog.xml").firstChildElement("record");
        QCOMPARE(childTags(record), QStringList({"ip", "type", "oldVersion", "newVersion", "time", "files"}));
        QVERIFY(!CStoreTestRun::read("updateLog.xml").contains('\r'));
        CUpdateLog log;
        log.init();
        QList<UpdateRecord> records;
        records.append(UpdateRecord {{"ip", "earlier"}});
        log.getRecords(records);
        QCOMPARE(records.size(), 4);
        QCOMPARE(records.at(0).value("ip"), QString("earlier"));
        const UpdateRecord &r = records.at(1);
        QCOMPARE(r.keys(), QStringList({"files", "ip", "newVersion", "oldVersion", "time", "type"}));
        QCOMPARE(r.value("ip"), QString("pc1(10.0.0.1)"));
        QCOMPARE(r.value("type"), QString("auto"));
        QCOMPARE(r.value("oldVersion"), QString("2.1.20090713"));
        QCOMPARE(r.value("newVersion"), QString("2.1.20090715"));
        QCOMPARE(r.value("files"), QString("C:\\a.exe;C:\\b.dll"));
        static const QRegularExpression re("^[A-Z][a-z]+ \\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$");
        QVERIFY(re.match(r.value("time")).hasMatch());
        QCOMPARE(records.at(2).value("files"), QString());
        QCOMPARE(records.at(2).value("type"), QString("force"));
        QCOMPARE(records.at(3).value("files"), QString("C:\\only.exe"));
    }

    void peerTextsAreFilteredInTheLog()
    {
        // The host label and version of an update check come from the client; one character XML
        // cannot hold would make every later record unreadable.
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
        const QString bad = QString("x") + QChar(0x01) + QChar(0xFFFE) + "y";
        for (int round = 0; round < 2; ++round) {
            CUpdateLog log;
            QCOMPARE(log.init(), 1);
            log.addRecord(bad, bad, bad, {bad}, bad);
            QCOMPARE(log.save(), 0);
        }
        QVERIFY(CStoreTestRun::parses("updateLog.xml"));
        CUpdateLog log;
        QCOMPARE(log.init(), 1);
        QList<UpdateRecord> records;
        log.getRecords(records);
        QCOMPARE(records.size(), 2);
        for (const char *key : {"ip", "type", "oldVersion", "newVersion", "files"})
            QCOMPARE(records.at(1).value(key), QString("xy"));
    }

    void peerTextsAreFilteredInTheList()
    {
        QVERIFY(CStoreTestRun::installShipped("uplist.xml"));
        const QString bad = QString("C:\\a") + QChar(0x1F) + QChar(0xDC00) + ".exe";
        {
            CUpdateList list;
            QCOMPARE(list.setList({bad}, {bad}, QString("2.1") + QChar(0x07)), 0);
        }
        QVERIFY(CStoreTestRun::parses("uplist.xml"));
        CUpdateList list;
        QStringList windows, linuxFiles;
        QString version, setdate;
        QCOMPARE(list.getList(windows, linuxFiles, version, setdate), 0);
        QCOMPARE(windows, QStringList {"C:\\a.exe"});
        QCOMPARE(linuxFiles, QStringList {"C:\\a.exe"});
        QCOMPARE(version, QString("2.1"));
    }

    void recordsOfTwoWritersBothStay()
    {
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
        CUpdateLog console;
        CUpdateLog server;
        console.init();
        server.init();
        server.addRecord("a(1)", "1", "2", {}, "auto");
        console.addRecord("b(2)", "", "2", {}, "force");
        QCOMPARE(server.save(), 0);
        QCOMPARE(console.save(), 0);
        CUpdateLog log;
        log.init();
        QList<UpdateRecord> records;
        log.getRecords(records);
        QCOMPARE(records.size(), 2);
        QCOMPARE(records.at(0).value("ip"), QString("a(1)"));
        QCOMPARE(records.at(1).value("ip"), QString("b(2)"));
    }

    void emptyLogAndOddRoots()
    {
        QVERIFY(CStoreTestRun::write("updateLog.xml", kDecl + "<log/>\n"));
        {
            CUpdateLog log;
            QCOMPARE(log.init(), 1);
            QList<UpdateRecord> records;
            log.getRecords(records);
            QVERIFY(records.isEmpty());
        }
        QVERIFY(CStoreTestRun::write("updateLog.xml", kDecl + "<history/>\n"));
        CUpdateLog log;
        QCOMPARE(log.init(), 1);
        log.addRecord("x(1)", "", "2", {}, "force");
        QCOMPARE(log.save(), 0);
        QCOMPARE(rootOf("updateLog.xml").firstChildElement("record").firstChildElement("ip").text(), QString("x(1)"));
        QList<UpdateRecord> records;
        log.getRecords(records);
        QVERIFY(records.isEmpty());
    }

    void missingOrBrokenLog_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("empty") << true << QByteArray();
        QTest::newRow("not well-formed") << true << QByteArray(kDecl + "<log><record><ip>a</ip>");
    }

    void missingOrBrokenLog()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        if (exists)
            QVERIFY(CStoreTestRun::write("updateLog.xml", content));
        CUpdateLog log;
        QVERIFY(!QFile::exists(CStoreTestRun::path("updateLog.xml")) || exists);
        QCOMPARE(log.init(), 0);
        QVERIFY(QFile::exists(CStoreTestRun::path("updateLog.xml")));
        log.addRecord("x(1)", "", "2", {"f"}, "force");
        log.save();
        // Never replaced by an empty or rebuilt document.
        QCOMPARE(CStoreTestRun::read("updateLog.xml"), content);
        QList<UpdateRecord> records;
        log.getRecords(records);
        QVERIFY(records.isEmpty());
    }

    void logBrokenAfterInitIsNotReplaced()
    {
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
        CUpdateLog log;
        QCOMPARE(log.init(), 1);
        log.addRecord("x(1)", "", "2", {}, "force");
        const QByteArray broken = kDecl + "<log><record>";
        QVERIFY(CStoreTestRun::write("updateLog.xml", broken));
        QCOMPARE(log.save(), -1);
        QCOMPARE(CStoreTestRun::read("updateLog.xml"), broken);
    }
};

BRAMIX_STORE_TEST_MAIN(TestUpdateFiles)
#include "tst_updatefiles.moc"
