#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "ctestmemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

const QString kUuid = QStringLiteral("{6f1c2a3b-0d4e-4f50-9a8b-7c6d5e4f3a21}");
const QString kFile = kUuid + QStringLiteral(".xml");

const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QString identity()
{
    return QStringLiteral("UUID:") + kUuid + QStringLiteral("|pc1(10.0.0.7)|2.1.20090713-1");
}

QStringList classes(const QDomDocument &doc)
{
    QStringList out;
    for (QDomElement e = doc.documentElement().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        out.append(e.tagName());
    return out;
}

QStringList childTags(const QDomElement &e)
{
    QStringList out;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        out.append(c.tagName());
    return out;
}

QDomDocument load(const QString &name = kFile)
{
    QDomDocument doc;
    CStoreTestRun::parses(name, &doc);
    return doc;
}

bool isTimeStamp(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("^(January|February|March|April|May|June|July|August|September|October|November|December) "
                       "\\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    return re.match(text).hasMatch();
}

// A client file as the fill leaves it, with the rows given per class.
void fill(const QString &answerTail)
{
    CPcConfig cfg(kUuid);
    QCOMPARE(cfg.open(), 1);
    QCOMPARE(cfg.createFromTemplate(identity() + answerTail), 0);
}

QStringList contents(const QString &cls)
{
    CPcConfig cfg(kUuid);
    cfg.openReadOnly();
    QStringList rows;
    cfg.getContents(cls, rows);
    return rows;
}

} // namespace

class TestPcConfig : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
    }

    void shippedTemplate()
    {
        const QDomDocument doc = load("configtempl.xml");
        QStringList keys = classes(doc);
        QCOMPARE(keys.size(), 13);
        keys.sort();
        QCOMPARE(keys,
            QStringList({"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive", "MemoryDevice",
                "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"}));
        QVERIFY(CStoreTestRun::read("configtempl.xml").startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    }

    void openMissingFile()
    {
        {
            CPcConfig ro(kUuid);
            QCOMPARE(ro.openReadOnly(), 0);
            QVERIFY(!QFile::exists(CStoreTestRun::path(kFile)));
            QStringList a, b;
            QCOMPARE(ro.getSummary(a, b), 0);
            QVERIFY(a.isEmpty() && b.isEmpty());
            QStringList rows;
            QCOMPARE(ro.getContents("CPU", rows), -1);
            QString row;
            QCOMPARE(ro.getContent("CPU", row), -1);
            QMap<QString, QString> digests;
            QCOMPARE(ro.getDigests(digests), 0);
            QCOMPARE(digests.keys(), QStringList({"lastupdate"}));
            QCOMPARE(digests.value("lastupdate"), QString());
            QMap<QString, QStringList> log;
            QCOMPARE(ro.getChangeLog(log), 0);
            QVERIFY(log.isEmpty());
        }
        CPcConfig rw(kUuid);
        QCOMPARE(rw.open(), 1);
        QVERIFY(QFile::exists(CStoreTestRun::path(kFile)));
        QCOMPARE(CStoreTestRun::read(kFile), QByteArray());
    }

    void unsafeUuidNeverReachesFiles_data()
    {
        QTest::addColumn<QString>("uuid");
        QTest::newRow("empty") << "";
        QTest::newRow("parent") << "../list";
        QTest::newRow("dots") << "..";
        QTest::newRow("slash") << "{a}/b";
        QTest::newRow("backslash") << "a\\b";
        QTest::newRow("absolute") << "/tmp/x";
        QTest::newRow("extension") << "abc.xml";
        QTest::newRow("blank") << "{ab cd}";
    }

    void unsafeUuidNeverReachesFiles()
    {
        QFETCH(QString, uuid);
        const QStringList xml {QStringLiteral("*.xml")};
        const QStringList before = QDir(CStoreTestRun::appDir()).entryList(xml, QDir::Files);
        const QByteArray list = CStoreTestRun::read("list.xml");
        {
            CPcConfig cfg(uuid);
            QCOMPARE(cfg.openReadOnly(), 0);
            QCOMPARE(cfg.open(), 0);
            QCOMPARE(cfg.createFromTemplate(identity() + "^CPU:Name=x\n"), -1);
            QCOMPARE(cfg.applyChange(uuid + "^CPU$add$Name=x\n"), 0);
        }
        CSet set;
        QCOMPARE(set.createPCFile(uuid, identity()), -1);
        QCOMPARE(QDir(CStoreTestRun::appDir()).entryList(xml, QDir::Files), before);
        QCOMPARE(CStoreTestRun::read("list.xml"), list);
    }

    void getValue_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "Caption=Disk\nName=N1\n"
                               << "Name"
                               << "N1";
        QTest::newRow("first line wins") << "Name=A\nName=B\n"
                                         << "Name"
                                         << "A";
        QTest::newRow("longer property name matches") << "NameFormat=F\nName=N\n"
                                                      << "Name"
                                                      << "ormat=F";
        QTest::newRow("missing keeps value") << "Caption=x\n"
                                             << "Name"
                                             << "kept";
        QTest::newRow("value with equals") << "Name=a=b\n"
                                           << "Name"
                                           << "a=b";
        QTest::newRow("case-sensitive") << "name=x\n"
                                        << "Name"
                                        << "kept";
    }

    void getValue()
    {
        QFETCH(QString, row);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QString out = "kept";
        QCOMPARE(CPcConfig::getValue(row, key, out), 0);
        QCOMPARE(out, value);
    }

    void digest_data()
    {
        QTest::addColumn<QString>("cls");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("digest");
        QTest::newRow("CPU") << "CPU"
                             << "Manufacturer=GenuineIntel\nName=Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n"
                             << "Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz";
        QTest::newRow("CPU without Name") << "CPU"
                                          << "Caption=x\n"
                                          << "";
        QTest::newRow("CPU Name prefix") << "CPU"
                                         << "NameX=first\nName=second\n"
                                         << "=first";
        QTest::newRow("VideoController") << "VideoController"
                                         << "Name=VGA\n"
                                         << "VGA";
        QTest::newRow("NetworkAdapter") << "NetworkAdapter"
                                        << "Name=eth0\n"
                                        << "eth0";
        QTest::newRow("BIOS") << "BIOS"
                              << "Name=BIOS v1\n"
                              << "BIOS v1";
        QTest::newRow("BaseBoard") << "BaseBoard"
                                   << "Manufacturer=ACME\nName=B\n"
                                   << "ACME";
        QTest::newRow("DiskDrive 80 GB") << "DiskDrive"
                                         << "Caption=ST380011A\nSize=80023749120\n"
                                         << "ST380011A 80 GB";
        QTest::newRow("DiskDrive below 1 GB") << "DiskDrive"
                                              << "Caption=Small\nSize=999999999\n"
                                              << "Small 0 GB";
        QTest::newRow("DiskDrive without Size") << "DiskDrive"
                                                << "Caption=Disk\n"
                                                << "Disk";
        QTest::newRow("DiskDrive without Caption") << "DiskDrive"
                                                   << "Size=2000000000\n"
                                                   << " 2 GB";
        QTest::newRow("DiskDrive 4 TB") << "DiskDrive"
                                        << "Caption=Big\nSize=4000787030016\n"
                                        << "Big 4000 GB";
        QTest::newRow("DiskDrive not a number") << "DiskDrive"
                                                << "Caption=D\nSize=n/a\n"
                                                << "D 0 GB";
        QTest::newRow("MemoryDevice 512") << "MemoryDevice"
                                          << "Capacity=536870912\n"
                                          << "512 M";
        QTest::newRow("MemoryDevice 2048") << "MemoryDevice"
                                           << "Capacity=2147483648\n"
                                           << "2048 M";
        QTest::newRow("MemoryDevice 4096") << "MemoryDevice"
                                           << "Capacity=4294967296\n"
                                           << "4096 M";
        QTest::newRow("MemoryDevice 64 GB") << "MemoryDevice"
                                            << "Capacity=68719476736\n"
                                            << "65536 M";
        QTest::newRow("MemoryDevice M text") << "MemoryDevice"
                                             << "Capacity=1024 MB\n"
                                             << "1024 MB";
        QTest::newRow("MemoryDevice lower-case m") << "MemoryDevice"
                                                   << "Capacity=1024m\n"
                                                   << "0 M";
        QTest::newRow("MemoryDevice without Capacity") << "MemoryDevice"
                                                       << "Name=x\n"
                                                       << "0 M";
        for (const char *cls : {"CDROMDrive", "DesktopMonitor", "Printer", "SoundDevice", "Software", "OS"})
            QTest::newRow(cls) << cls << "Caption=C1\nName=N\n"
                               << "C1";
        QTest::newRow("unknown class") << "Keyboard"
                                       << "Caption=C\nName=N\n"
                                       << "";
        QTest::newRow("class key exact") << "cpu"
                                         << "Name=N\n"
                                         << "";
    }

    void digest()
    {
        QFETCH(QString, cls);
        QFETCH(QString, row);
        QFETCH(QString, digest);
        QString out;
        QCOMPARE(CPcConfig::getDigest(row, cls, out), 0);
        QCOMPARE(out, digest);
    }

    void getDir()
    {
        QCOMPARE(CPcConfig::getDir("/a/b/c.exe"), QString("/a/b"));
        QCOMPARE(CPcConfig::getDir("C:\\x\\y.exe"), QString("C:\\x"));
        QCOMPARE(CPcConfig::getDir("a\\b/c"), QString("a\\b"));
        QCOMPARE(CPcConfig::getDir("plain"), QString("plain"));
    }

    void fillFromTemplate()
    {
        fill("^CPU:Name=Cpu A\n$Name=Cpu B\n^DiskDrive:Caption=D1\nSize=80023749120\n^Software:^Keyboard:Caption=K\n"
             "^MemoryDevice:Capacity=536870912\n^CPU:Name=Cpu C\n");
        const QByteArray bytes = CStoreTestRun::read(kFile);
        QVERIFY(!bytes.contains('\r'));
        QVERIFY(bytes.startsWith("<?xml version='1.0' encoding='UTF-8'?>\n") || bytes.startsWith(kDecl));
        const QDomDocument doc = load();
        const QDomElement root = doc.documentElement();
        QCOMPARE(root.tagName(), load("configtempl.xml").documentElement().tagName());
        QVERIFY(isTimeStamp(root.attribute("lastupdate")));
        QCOMPARE(classes(doc), classes(load("configtempl.xml")));
        QCOMPARE(contents("CPU"), QStringList({"Name=Cpu A\n", "Name=Cpu B\n", "Name=Cpu C\n"}));
        const QDomElement disk = root.firstChildElement("DiskDrive").firstChildElement("content");
        QCOMPARE(disk.attribute("digest"), QString("D1 80 GB"));
        QCOMPARE(
            root.firstChildElement("MemoryDevice").firstChildElement("content").attribute("digest"), QString("512 M"));
        // An empty block holds no row: the class is stamped and stays empty.
        const QDomElement sw = root.firstChildElement("Software");
        QCOMPARE(childTags(sw), QStringList());
        QCOMPARE(sw.attribute("lastupdate"), root.attribute("lastupdate"));
        // A class the answer did not name stays empty and unstamped; an unknown class is dropped.
        QVERIFY(!root.firstChildElement("OS").hasAttribute("lastupdate"));
        QVERIFY(root.firstChildElement("Keyboard").isNull());
    }

    // Rows that are empty once filtered give no content element (they have no digest and show
    // nothing); the class is stamped all the same.
    void fillLeavesOutEmptyRows_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QStringList>("cpu");
        QTest::newRow("empty block") << "^CPU:" << QStringList();
        QTest::newRow("separators only") << "^CPU:$$$" << QStringList();
        QTest::newRow("empty rows between") << "^CPU:$Name=A\n$$Name=B\n$" << QStringList({"Name=A\n", "Name=B\n"});
        QTest::newRow("control characters only") << QString("^CPU:\x01\x02$Name=A\x03\n") << QStringList({"Name=A\n"});
        QTest::newRow("rows kept untrimmed") << "^CPU: Name=B $Name=A\n" << QStringList({" Name=B ", "Name=A\n"});
        QTest::newRow("after a second colon") << "^CPU:Name=A\n:$Name=B\n" << QStringList({"Name=A\n"});
        QTest::newRow("two blocks, one empty") << "^CPU:^OS:Caption=O\n^CPU:Name=C\n" << QStringList({"Name=C\n"});
    }
    void fillLeavesOutEmptyRows()
    {
        QFETCH(QString, tail);
        QFETCH(QStringList, cpu);
        fill(tail);
        QCOMPARE(contents("CPU"), cpu);
        const QDomElement root = load().documentElement();
        QVERIFY(isTimeStamp(root.firstChildElement("CPU").attribute("lastupdate")));
        const QDomNodeList all = root.elementsByTagName("content");
        for (int i = 0; i < all.count(); ++i)
            QVERIFY(!all.item(i).toElement().text().isEmpty());
    }

    // The usual template (UTF-8) is filled through the pugixml tree, one the tree does not take
    // (declared Latin-1) through the DOM: both give the same document, and the same file byte for
    // byte where Latin-1 holds every character. The tree writes UTF-8: characters beyond Latin-1
    // stand in its file as themselves, not as references.
    void treeAndDomFillAlike_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QByteArray>("cpu"); // the template's CPU element
        QTest::newRow("plain rows") << "^CPU:Name=A\nManufacturer=M\n$Name=B\n^OS:Caption=O\nVersion=7\n"
                                    << QByteArray("<CPU/>");
        QTest::newRow("markup in rows") << "^Software:Caption=<a> & \"b\" 'c' ]]> d\n$Caption=x]]>y\n^BIOS:Name=<&>\"\n"
                                        << QByteArray("<CPU/>");
        QTest::newRow("line ends and tabs") << "^CPU:Name=A\r\n\tB\r\n$Name=\tC\n^DiskDrive:Caption=D\r\nSize=9\r\n"
                                            << QByteArray("<CPU/>");
        QTest::newRow("blank rows") << "^CPU: $\n$\t\n$  Name=x  " << QByteArray("<CPU/>");
        QTest::newRow("Latin-1 letters") << QString::fromUtf8(
            "^Printer:Caption=Imprimante d\xc3\xa9j\xc3\xa0 l\xc3\xa0\n")
                                         << QByteArray("<CPU/>");
        QTest::newRow("Chinese package names") << QString::fromUtf8(
            "^Software:Caption=\xe5\xbe\xae\xe8\xbd\xaf Office \xe4\xb8\x93\xe4\xb8\x9a\xe7\x89\x88 "
            "2007\nVendor=\xe5\xbe\xae\xe8\xbd\xaf\xe5\x85\xac\xe5\x8f\xb8\n$Caption=\xe9\x87\x91\xe5\xb1"
            "\xb1\xe6\xaf\x92\xe9\x9c\xb8\n") << QByteArray("<CPU/>");
        QTest::newRow("Japanese package names and a name beyond the BMP") << QString::fromUtf8(
            "^Software:Caption=\xe4\xb8\x80\xe5\xa4\xaa\xe9\x83\x8e 2009\nVendor=\xe3\x82\xb8\xe3\x83"
            "\xa3\xe3\x82\xb9\xe3\x83\x88\xe3\x82\xb7\xe3\x82\xb9\xe3\x83\x86\xe3\x83\xa0\n$Caption=\xf0"
            "\xa0\xae\xb7\xe9\x87\x8e\xe5\xae\xb6 <&> \xc3\xa9\n^Printer:Caption=\xe3\x82\xad\xe3\x83"
            "\xa4\xe3\x83\x8e\xe3\x83\xb3\n") << QByteArray("<CPU/>");
        QTest::newRow("repeated and unknown classes") << "^CPU:Name=A\n^Keyboard:Caption=K\n^CPU:Name=A\n$Name=A\n"
                                                      << QByteArray("<CPU/>");
        QTest::newRow("empty key names the first class") << "^:Name=first\n^CPU:Name=second\n" << QByteArray("<CPU/>");
        QTest::newRow("no blocks") << "" << QByteArray("<CPU/>");
        QTest::newRow("a class with children") << "^CPU:Name=A\n$Name=B\n"
                                               << QByteArray("<CPU><old digest=\"o\">kept</old><x/></CPU>");
        QTest::newRow("a class holding text") << "^CPU:Name=A\n$Name=B\n" << QByteArray("<CPU>text</CPU>");
        QTest::newRow("filtered characters") << QString("^CPU:Name=\x01x\x1f\n$\x02") << QByteArray("<CPU/>");
    }
    void treeAndDomFillAlike()
    {
        QFETCH(QString, tail);
        QFETCH(QByteArray, cpu);
        QByteArray shipped = CStoreTestRun::read("configtempl.xml");
        QVERIFY(shipped.contains("<CPU/>"));
        shipped.replace("<CPU/>", cpu);
        const auto stamped
            = [](QString text) { return text.replace(QRegularExpression("\\w+ \\d\\d \\d{4} [\\d:]{8}"), "T"); };
        struct Fill
        {
            QByteArray bytes;
            QString text; // decoded as declared, without the declaration
            QString parsed; // the document as read back
        };
        const auto run = [&](const QByteArray &declaration) {
            QByteArray templ = shipped;
            templ.replace(0, templ.indexOf('\n'), declaration);
            CStoreTestRun::write("configtempl.xml", templ);
            QFile::remove(CStoreTestRun::path(kFile));
            fill(tail);
            Fill out;
            out.bytes = CStoreTestRun::read(kFile);
            out.text = declaration.contains("UTF-8") ? QString::fromUtf8(out.bytes) : QString::fromLatin1(out.bytes);
            out.text = stamped(out.text.remove(0, out.text.indexOf('\n')));
            QDomDocument doc;
            if (CStoreTestRun::parses(kFile, &doc)) {
                QTextStream stream(&out.parsed);
                doc.documentElement().save(stream, 4);
            }
            out.parsed = stamped(out.parsed);
            return out;
        };
        const Fill tree = run("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        const Fill dom = run("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
        QVERIFY(tree.text.size() > 100);
        QVERIFY(!tree.parsed.isEmpty());
        QCOMPARE(tree.parsed, dom.parsed);
        const QRegularExpression beyondLatin1("[^\\x{0}-\\x{ff}]+");
        if (!beyondLatin1.match(tail).hasMatch())
            QCOMPARE(tree.text, dom.text);
        for (auto it = beyondLatin1.globalMatch(tail); it.hasNext();) {
            const QString letters = it.next().captured();
            QVERIFY2(tree.bytes.contains(letters.toUtf8()), qPrintable(letters));
        }
    }

    // Answers that cost the fill most per byte (about 1 MiB each), and the largest real one: the
    // fill's memory does not grow with the rows, blocks or the file it writes.
    void fillOfHostileAnswerStaysSmall_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<int>("software"); // content elements expected in Software
        const int units = 512 * 1024;
        QTest::newRow("one block of $") << "^Software:" + QString(units, '$') << 0;
        QTest::newRow("only ^") << QString(units, '^') << 0;
        QString empty;
        for (int i = 0; i < units / 10; ++i)
            empty += "^Software:";
        QTest::newRow("empty blocks") << empty << 0;
        QTest::newRow("one-letter rows") << "^Software:" + QString("a$").repeated(units / 2) << units / 2;
        // A block per row, cycling through every class: the rows of each class are found again among
        // blocks of all the others.
        const QStringList classes {"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive",
            "MemoryDevice", "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"};
        QString cycling;
        int cycles = 0;
        for (; cycling.size() < units; ++cycles) {
            for (const QString &cls : classes)
                cycling += "^" + cls + ":a";
        }
        QTest::newRow("a block per row, every class") << cycling << cycles;
        const auto real = [](int count) {
            QString rows = "^Software:";
            for (int i = 0; i < count; ++i)
                rows += QString("Caption=Package %1 with a long descriptive name\nVendor=Vendor %1\nVersion=1.%1\n$")
                            .arg(i);
            return rows;
        };
        QTest::newRow("real rows") << real(4500) << 4500;
        // The largest answer a probe takes (16 MiB), of real rows: its file is as large, and its
        // document took 300 MiB above it through the DOM.
        QTest::newRow("real rows, 16 MiB") << real(84000) << 84000;
    }
    void fillOfHostileAnswerStaysSmall()
    {
        QFETCH(QString, tail);
        QFETCH(int, software);
        const QString answer = identity() + tail;
        // The peak resident size from here on: the answer itself is already counted. What earlier
        // rows freed goes back first, or the fill would reuse it unseen.
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
        const bool measured = CTestMemory::resetPeak();
        const qint64 before = CTestMemory::statusKiB("VmRSS");
        QElapsedTimer timer;
        timer.start();
        {
            CPcConfig cfg(kUuid);
            QCOMPARE(cfg.open(), 1);
            QCOMPARE(cfg.createFromTemplate(answer), 0);
        }
        const qint64 ms = timer.elapsed();
        const qint64 grown = CTestMemory::statusKiB("VmHWM") - before;
        qInfo("%lld ms, peak %lld KiB above the resident size before the fill", ms, grown);
        // A fill that slowed with the square of the rows would take minutes; the bound leaves room for a
        // loaded machine, and more for the sanitizers' own cost.
        const qint64 boundMs = CTestMemory::figuresMean ? 5000 : 20000;
        QVERIFY2(ms < boundMs, qPrintable(QString::number(ms)));
        // One block of 512K "$" made a document of as many elements: 1.3 GiB. The file is written as
        // it is made: not even the file is held.
        if (CTestMemory::figuresMean && measured)
            QVERIFY2(grown < 32 * 1024, qPrintable(QString::number(grown)));
        const QDomDocument doc = load();
        QCOMPARE(doc.documentElement().firstChildElement("Software").elementsByTagName("content").count(), software);
        QVERIFY(isTimeStamp(doc.documentElement().attribute("lastupdate")));
    }

    // A file that was never filled (missing, or left empty) is filled; one that holds anything,
    // even what does not parse, is left as it is.
    void fillIfEmpty_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("templateThere");
        QTest::addColumn<int>("result");
        QTest::newRow("missing") << false << QByteArray() << true << 0;
        QTest::newRow("empty") << true << QByteArray() << true << 0;
        QTest::newRow("filled") << true << kDecl + "<pcconfig><CPU/></pcconfig>\n" << true << 1;
        QTest::newRow("broken") << true << kDecl + "<pcconfig><CPU>" << true << 1;
        QTest::newRow("one blank") << true << QByteArray(" ") << true << 1;
        QTest::newRow("empty, no template") << true << QByteArray() << false << -1;
    }
    void fillIfEmpty()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(bool, templateThere);
        QFETCH(int, result);
        if (exists)
            QVERIFY(CStoreTestRun::write(kFile, before));
        if (!templateThere)
            QVERIFY(QFile::remove(CStoreTestRun::path("configtempl.xml")));
        {
            CPcConfig cfg(kUuid);
            QCOMPARE(cfg.open(), 1);
            QCOMPARE(cfg.fillIfEmpty(identity() + "^CPU:Name=N\n"), result);
        }
        if (result == 0)
            QCOMPARE(contents("CPU"), QStringList {"Name=N\n"});
        else
            QCOMPARE(CStoreTestRun::read(kFile), before);
        QCOMPARE(QDir(CStoreTestRun::appDir()).entryList({"*.broken"}, QDir::Files), QStringList());
    }

    void fillWithoutBlocks()
    {
        fill(QString());
        const QDomDocument doc = load();
        QVERIFY(isTimeStamp(doc.documentElement().attribute("lastupdate")));
        for (QDomElement e = doc.documentElement().firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            QVERIFY(!e.hasAttribute("lastupdate"));
            QVERIFY(!e.hasChildNodes());
        }
    }

    void fillSkipsBlockWithoutColon()
    {
        fill("^CPU^BIOS:Name=B\n");
        QCOMPARE(contents("CPU"), QStringList());
        QCOMPARE(contents("BIOS"), QStringList({"Name=B\n"}));
    }

    void fillOverLongerFile()
    {
        QVERIFY(
            CStoreTestRun::write(kFile, kDecl + "<pcconfig><CPU>" + QByteArray(20000, 'x') + "</CPU></pcconfig>\n"));
        fill("^CPU:Name=N\n");
        const QByteArray bytes = CStoreTestRun::read(kFile);
        QVERIFY(!bytes.contains("xxxx"));
        QVERIFY(bytes.endsWith(">\n"));
        QCOMPARE(contents("CPU"), QStringList({"Name=N\n"}));
    }

    void fillWithoutTemplate()
    {
        QFile::remove(CStoreTestRun::path("configtempl.xml"));
        CPcConfig cfg(kUuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.createFromTemplate(identity() + "^CPU:Name=N\n"), -1);
        QCOMPARE(CStoreTestRun::read(kFile), QByteArray());
        QVERIFY(CStoreTestRun::write("configtempl.xml", "<pcconfig><CPU></pcconfig>"));
        QCOMPARE(cfg.createFromTemplate(identity() + "^CPU:Name=N\n"), -1);
        QCOMPARE(CStoreTestRun::read(kFile), QByteArray());
    }

    void fillSetsAnUnparseableFileAside_data()
    {
        QTest::addColumn<bool>("olderForm"); // CSet::createPCFile instead of createFromTemplate
        QTest::addColumn<QByteArray>("asideBefore"); // what "<file>.broken" held; empty: nothing
        QTest::addColumn<QString>("asideName"); // where the broken file goes
        QTest::newRow("fill") << false << QByteArray() << kFile + ".broken";
        QTest::newRow("older fill") << true << QByteArray() << kFile + ".broken";
        QTest::newRow("fill, one set aside before") << false << QByteArray("earlier") << kFile + ".2.broken";
    }
    void fillSetsAnUnparseableFileAside()
    {
        // Removing a client and scanning it again is the repair of a broken file: the fill may
        // replace it, and keeps what it held beside it.
        QFETCH(bool, olderForm);
        QFETCH(QByteArray, asideBefore);
        QFETCH(QString, asideName);
        const QByteArray broken = kDecl + "<pcconfig><CPU>";
        QVERIFY(CStoreTestRun::write(kFile, broken));
        if (!asideBefore.isEmpty())
            QVERIFY(CStoreTestRun::write(kFile + ".broken", asideBefore));
        if (olderForm) {
            CSet set;
            QCOMPARE(set.createPCFile(kUuid, identity() + "^CPU:Name=N\n"), 0);
        } else {
            CPcConfig cfg(kUuid);
            QCOMPARE(cfg.open(), 1);
            QCOMPARE(cfg.createFromTemplate(identity() + "^CPU:Name=N\n"), 0);
        }
        QCOMPARE(CStoreTestRun::read(asideName), broken);
        if (!asideBefore.isEmpty())
            QCOMPARE(CStoreTestRun::read(kFile + ".broken"), asideBefore);
        QVERIFY(CStoreTestRun::parses(kFile));
        QCOMPARE(contents("CPU"), QStringList {"Name=N\n"});
    }

    void fillOverParseableFileSetsNothingAside()
    {
        fill("^CPU:Name=A\n");
        fill("^CPU:Name=B\n");
        QCOMPARE(contents("CPU"), QStringList {"Name=B\n"});
        QCOMPARE(QDir(CStoreTestRun::appDir()).entryList({"*.broken"}, QDir::Files), QStringList());
    }

    void olderFill()
    {
        CSet set;
        QCOMPARE(set.createPCFile(kUuid, identity() + "^CPU:Name=A\n$Name=B\n^OS:"), 0);
        const QDomElement root = load().documentElement();
        const QDomElement cpu = root.firstChildElement("CPU").firstChildElement("content");
        QCOMPARE(cpu.text(), QString("Name=A\n$Name=B\n"));
        QVERIFY(!cpu.hasAttribute("digest"));
        QVERIFY(isTimeStamp(root.firstChildElement("CPU").attribute("lastupdate")));
        QVERIFY(!root.hasAttribute("lastupdate"));
    }

    // applyChange -------------------------------------------------------------------------------

    void applyChange_data()
    {
        QTest::addColumn<QString>("items"); // after the UUID
        QTest::addColumn<QStringList>("cpuRows"); // the CPU rows afterwards
        QTest::addColumn<QStringList>("cpuRecords"); // "type|digest|row" of every CPU record
        QTest::addColumn<QStringList>("cpuChildren"); // the CPU element's children afterwards

        const QStringList start {"content", "content"};
        QTest::newRow("add") << "^CPU$add$Name=C\n"
                             << QStringList({"Name=A\n", "Name=B\n", "Name=C\n"}) << QStringList({"add|C|Name=C\n"})
                             << QStringList({"content", "content", "content", "changelog"});
        QTest::newRow("remove") << "^CPU$remove$Name=A\n"
                                << QStringList({"Name=B\n"}) << QStringList({"remove|A|Name=A\n"})
                                << QStringList({"content", "changelog"});
        QTest::newRow("remove absent row records only")
            << "^CPU$remove$Name=Z\n"
            << QStringList({"Name=A\n", "Name=B\n"}) << QStringList({"remove|Z|Name=Z\n"})
            << QStringList({"content", "content", "changelog"});
        QTest::newRow("two items one changelog")
            << "^CPU$add$Name=C\n^CPU$remove$Name=B\n"
            << QStringList({"Name=A\n", "Name=C\n"}) << QStringList({"add|C|Name=C\n", "remove|B|Name=B\n"})
            << QStringList({"content", "content", "changelog"});
        QTest::newRow("later add after changelog")
            << "^CPU$remove$Name=A\n^CPU$add$Name=D\n"
            << QStringList({"Name=B\n", "Name=D\n"}) << QStringList({"remove|A|Name=A\n", "add|D|Name=D\n"})
            << QStringList({"content", "changelog", "content"});
        QTest::newRow("add of held row duplicates")
            << "^CPU$add$Name=A\n"
            << QStringList({"Name=A\n", "Name=B\n", "Name=A\n"}) << QStringList({"add|A|Name=A\n"})
            << QStringList({"content", "content", "content", "changelog"});
        QTest::newRow("upper-case type does nothing")
            << "^CPU$ADD$Name=C\n^CPU$Remove$Name=A\n"
            << QStringList({"Name=A\n", "Name=B\n"}) << QStringList() << start;
        QTest::newRow("unknown class") << "^Keyboard$add$Name=K\n"
                                       << QStringList({"Name=A\n", "Name=B\n"}) << QStringList() << start;
        QTest::newRow("short items skipped")
            << "^^CPU$add^CPU$add$Name=C\n^" << QStringList({"Name=A\n", "Name=B\n", "Name=C\n"})
            << QStringList({"add|C|Name=C\n"}) << QStringList({"content", "content", "content", "changelog"});
        QTest::newRow("row cut at dollar")
            << "^CPU$add$Name=C\n$tail" << QStringList({"Name=A\n", "Name=B\n", "Name=C\n"})
            << QStringList({"add|C|Name=C\n"}) << QStringList({"content", "content", "content", "changelog"});
    }

    void applyChange()
    {
        QFETCH(QString, items);
        QFETCH(QStringList, cpuRows);
        QFETCH(QStringList, cpuRecords);
        QFETCH(QStringList, cpuChildren);
        fill("^CPU:Name=A\n$Name=B\n");
        const QString filled = load().documentElement().attribute("lastupdate");
        {
            CPcConfig cfg(kUuid);
            QCOMPARE(cfg.open(), 1);
            QCOMPARE(cfg.applyChange(kUuid + items), 0);
        }
        const QByteArray bytes = CStoreTestRun::read(kFile);
        QVERIFY(!bytes.contains('\r'));
        const QDomDocument doc = load();
        const QDomElement root = doc.documentElement();
        const QDomElement cpu = root.firstChildElement("CPU");
        QCOMPARE(contents("CPU"), cpuRows);
        QCOMPARE(childTags(cpu), cpuChildren);
        QStringList records;
        QString time;
        for (QDomElement r = cpu.firstChildElement("changelog").firstChildElement("record"); !r.isNull();
             r = r.nextSiblingElement()) {
            records << r.attribute("type") + "|" + r.attribute("digest") + "|" + r.text();
            QCOMPARE(r.attribute("notice"), QString("no"));
            QVERIFY(isTimeStamp(r.attribute("time")));
            if (!time.isEmpty())
                QCOMPARE(r.attribute("time"), time); // one time per notice
            time = r.attribute("time");
        }
        QCOMPARE(records, cpuRecords);
        QVERIFY(isTimeStamp(root.attribute("lastupdate")));
        if (items.contains("Keyboard")) {
            QCOMPARE(cpu.attribute("lastupdate"), filled);
        } else {
            QVERIFY(isTimeStamp(cpu.attribute("lastupdate")));
            QCOMPARE(cpu.attribute("lastupdate"), root.attribute("lastupdate"));
        }
        // Other classes are untouched.
        QVERIFY(!root.firstChildElement("OS").hasAttribute("lastupdate"));
    }

    // The UTF-8 file (changed through the pugixml tree) and the same file declared Latin-1
    // (changed through the DOM) come out alike, with removals by walk and by index alike.
    void treeAndDomApplyAlike_data()
    {
        QTest::addColumn<QString>("items");
        QString many;
        for (int i = 0; i < 9; ++i)
            many += QStringLiteral("^Software$remove$Caption=r%1\n").arg(i % 4);
        QTest::newRow("few removals") << "^Software$remove$Caption=r1\n^Software$remove$Caption=nested\n";
        QTest::newRow("many removals, duplicates") << many;
        QTest::newRow("adds between removals")
            << many + "^Software$add$Caption=r2\n" + many + "^Software$add$Caption=r9\n^Software$remove$Caption=r9\n";
        QTest::newRow("other classes") << "^CPU$remove$Name=A\n^CPU$remove$Name=A\n^OS$add$Caption=x\n^Bogus$add$y";
    }
    void treeAndDomApplyAlike()
    {
        QFETCH(QString, items);
        QString rows;
        for (int i = 0; i < 12; ++i)
            rows += QStringLiteral("$Caption=r%1\n").arg(i % 5);
        const auto run = [&](const QByteArray &declaration) {
            fill("^CPU:Name=A\n$Name=A\n^Software:Caption=first\n" + rows);
            QByteArray file = CStoreTestRun::read(kFile);
            file.replace(file.left(file.indexOf('\n')), declaration);
            // A row below a child of the class: found first, never removed.
            const qsizetype at = file.indexOf('>', file.indexOf("<Software ")) + 1;
            file.insert(at,
                "<group><content digest=\"n\">Caption=nested\n</content>"
                "<content digest=\"r\">Caption=r1\n</content></group>");
            CStoreTestRun::write(kFile, file);
            CPcConfig cfg(kUuid);
            cfg.open();
            cfg.applyChange(kUuid + items);
            QStringList shape;
            QDomDocument doc = load();
            QList<QDomElement> stack {doc.documentElement()};
            while (!stack.isEmpty()) {
                const QDomElement e = stack.takeFirst();
                QStringList attrs;
                const QDomNamedNodeMap map = e.attributes();
                for (int i = 0; i < map.count(); ++i)
                    attrs << map.item(i).nodeName() + "=" + map.item(i).nodeValue();
                attrs.sort();
                shape << e.tagName() + " " + attrs.join(' ') + " " + (e.firstChildElement().isNull() ? e.text() : "");
                QList<QDomElement> children;
                for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                    children << c;
                stack = children + stack;
            }
            return shape;
        };
        const QStringList tree = run("<?xml version='1.0' encoding='UTF-8'?>");
        const QStringList dom = run("<?xml version='1.0' encoding='ISO-8859-1'?>");
        QVERIFY(tree.size() > 20);
        QCOMPARE(tree.join('\n').replace(QRegularExpression("\\w+ \\d\\d \\d{4} [\\d:]{8}"), "T"),
            dom.join('\n').replace(QRegularExpression("\\w+ \\d\\d \\d{4} [\\d:]{8}"), "T"));
    }

    void removeTakesFirstOfEqualRows()
    {
        fill("^Printer:Caption=P\nName=1\n$Caption=P\nName=1\n$Caption=Q\n");
        CPcConfig cfg(kUuid);
        cfg.open();
        QCOMPARE(cfg.applyChange(kUuid + "^Printer$remove$Caption=P\nName=1\n"), 0);
        QCOMPARE(contents("Printer"), QStringList({"Caption=P\nName=1\n", "Caption=Q\n"}));
    }

    void noticeFlag()
    {
        {
            CSet set;
            set.openList();
            set.addPC(kUuid, "pc1", "10.0.0.7", "2.1", "1");
            set.addPC("{0123}", "pc2", "10.0.0.8", "2.1", "1");
        }
        fill("^CPU:Name=A\n");
        const QByteArray filled = CStoreTestRun::read(kFile);
        {
            // Only the UUID: the flag is set, the client file is not written.
            CPcConfig cfg(kUuid);
            cfg.open();
            QCOMPARE(cfg.applyChange(kUuid), 0);
        }
        QCOMPARE(CStoreTestRun::read(kFile), filled);
        CSet set;
        set.openList();
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.back().at("notice"), std::string("no"));
        QCOMPARE(pcs.front().at("notice"), std::string());
        // Already "no": list.xml is not rewritten by the next notices.
        const quint64 inode = CStoreTestRun::inode("list.xml");
        const QByteArray list = CStoreTestRun::read("list.xml");
        for (int i = 0; i < 3; ++i) {
            CPcConfig cfg(kUuid);
            cfg.open();
            QCOMPARE(cfg.applyChange(kUuid + QString("^CPU$add$Name=%1\n").arg(i)), 0);
        }
        QCOMPARE(CStoreTestRun::inode("list.xml"), inode);
        QCOMPARE(CStoreTestRun::read("list.xml"), list);
        QCOMPARE(contents("CPU").size(), 4);
    }

    void emptyNotice()
    {
        {
            CSet set;
            set.openList();
            set.addPC(kUuid, "pc1", "10.0.0.7", "2.1", "1");
        }
        fill("^CPU:Name=A\n");
        const QByteArray list = CStoreTestRun::read("list.xml");
        const QByteArray file = CStoreTestRun::read(kFile);
        CPcConfig cfg(kUuid);
        cfg.open();
        QCOMPARE(cfg.applyChange(QString()), -1);
        QCOMPARE(CStoreTestRun::read("list.xml"), list);
        QCOMPARE(CStoreTestRun::read(kFile), file);
    }

    void clientWithoutFile()
    {
        {
            CSet set;
            set.openList();
            set.addPC(kUuid, "pc1", "10.0.0.7", "2.1", "1");
        }
        CPcConfig cfg(kUuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.applyChange(kUuid + "^CPU$add$Name=A\n"), 0);
        QCOMPARE(CStoreTestRun::read(kFile), QByteArray());
        QVERIFY(CStoreTestRun::read("list.xml").contains("notice=\"no\""));
    }

    void unreadableFileIsRefused()
    {
        const QByteArray broken = kDecl + "<pcconfig><CPU lastupdate=\"x\"><content>";
        QVERIFY(CStoreTestRun::write(kFile, broken));
        CPcConfig cfg(kUuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.applyChange(kUuid + "^CPU$add$Name=A\n"), -1);
        QCOMPARE(CStoreTestRun::read(kFile), broken);
    }

    void changeMadeToCurrentFile()
    {
        // Two objects opened before either applies: the second applies to what the first wrote.
        fill("^CPU:Name=A\n");
        CPcConfig first(kUuid);
        CPcConfig second(kUuid);
        first.open();
        second.open();
        QCOMPARE(first.applyChange(kUuid + "^CPU$add$Name=B\n"), 0);
        QCOMPARE(second.applyChange(kUuid + "^CPU$add$Name=C\n"), 0);
        QCOMPARE(contents("CPU"), QStringList({"Name=A\n", "Name=B\n", "Name=C\n"}));
    }

    void shorterDocumentLeavesNoTail()
    {
        fill("^Software:Caption=" + QString(5000, 'w') + "\n");
        CPcConfig cfg(kUuid);
        cfg.open();
        cfg.applyChange(kUuid + "^Software$remove$Caption=" + QString(5000, 'w') + "\n");
        const QDomDocument doc = load();
        QVERIFY(!doc.isNull());
        QCOMPARE(contents("Software"), QStringList());
        QVERIFY(CStoreTestRun::read(kFile).endsWith(">\n"));
    }

    // A notice to a file of tens of megabytes (the fill of a hostile answer makes one of 160 MB)
    // holds the file's bytes once, parsed where they lie, and writes the result as it is made: no
    // copy of the file beside them, no copy of what is written; afterwards the memory goes back to
    // the system. The file then reads as before plus the change, byte for byte.
    void noticeToALargeFileHoldsLittleAndGivesItBack()
    {
        const int rows = 1000 * 1000; // 39 MB of "<content digest=\"\">a</content>"
        fill("^Software:" + QString("a$").repeated(rows));
        const QString notice = kUuid + "^Software$add$Caption=New package\nVersion=2\n";
        // The same notice on a small file of the same shape gives what the change adds.
        const QString small = QStringLiteral("{00000000-aaaa-bbbb-cccc-000000000001}");
        {
            CPcConfig cfg(small);
            QCOMPARE(cfg.open(), 1);
            QCOMPARE(cfg.createFromTemplate("UUID:" + small + "|pc2(192.0.2.8)|2.1.20090713-1^Software:a$a"), 0);
        }
        const QByteArray smallBefore = CStoreTestRun::read(small + ".xml");
        {
            CPcConfig cfg(small);
            cfg.open();
            QCOMPARE(cfg.applyChange(small + notice.mid(kUuid.size())), 0);
        }
        const QByteArray smallAfter = CStoreTestRun::read(small + ".xml");
        const QByteArray before = CStoreTestRun::read(kFile);
        QVERIFY(before.size() > 38 * 1000 * 1000);

#if defined(__GLIBC__)
        malloc_trim(0);
#endif
        const bool measured = CTestMemory::resetPeak();
        const qint64 resident = CTestMemory::statusKiB("VmRSS");
        // In a thread of its own, as a server worker applies it: what the thread's heap took stays
        // with the process unless given back.
        int rc = -2;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            CPcConfig cfg(kUuid);
            cfg.open();
            rc = cfg.applyChange(notice);
        }));
        worker->start();
        QVERIFY(worker->wait(120000));
        QCOMPARE(rc, 0);
        const qint64 grown = CTestMemory::statusKiB("VmHWM") - resident;
        const qint64 kept = CTestMemory::statusKiB("VmRSS") - resident;
        qInfo("peak %lld KiB above the resident size before, %.2f bytes per byte of the file; %lld KiB kept", grown,
            grown * 1024.0 / double(before.size()), kept);
        // The bytes once, and the nodes of the tree. The file read, copied for the parse, serialised
        // whole and copied again held 9.3 bytes per byte; nodes for every text, 5.3. Untrimmed, the
        // thread's heap kept 5 bytes per byte.
        if (CTestMemory::figuresMean && measured)
            QVERIFY2(grown < before.size() * 9 / 2 / 1024 + 16 * 1024, qPrintable(QString::number(grown)));
        if (CTestMemory::figuresMean)
            QVERIFY2(kept < 32 * 1024, qPrintable(QString::number(kept)));

        // What the change added to the small file, and its time stamps, are what it added here.
        const QByteArray after = CStoreTestRun::read(kFile);
        const auto stampOf = [](const QByteArray &file) {
            const int at = file.indexOf("lastupdate=\"") + 12;
            return file.mid(at, file.indexOf('"', at) - at);
        };
        const QByteArray end = "    </Software>";
        const qsizetype addedAt = smallBefore.indexOf(end);
        QVERIFY(addedAt > 0 && smallAfter.indexOf(end) > addedAt);
        QByteArray added = smallAfter.mid(addedAt, smallAfter.indexOf(end) - addedAt);
        added.replace(stampOf(smallAfter), stampOf(after));
        QByteArray expected = before;
        expected.replace("lastupdate=\"" + stampOf(before) + "\"", "lastupdate=\"" + stampOf(after) + "\"");
        expected.insert(expected.indexOf(end), added);
        QVERIFY(after == expected);
    }

    // The open reads nothing: a notice reads its file under the lock only, and a worker waiting for
    // the lock holds no copy of it. A client file that is a pipe nobody writes to shows it: a read
    // of it would never end.
    void openReadsNothing()
    {
        QVERIFY(::mkfifo(QFile::encodeName(CStoreTestRun::path(kFile)).constData(), 0600) == 0);
        std::unique_ptr<QThread> opener(QThread::create([] {
            CPcConfig cfg(kUuid);
            cfg.open();
            CPcConfig other(kUuid);
            other.openReadOnly();
        }));
        opener->start();
        const bool ended = opener->wait(20000);
        if (!ended)
            opener.release(); // blocked in a read for good: left to the end of the process
        QVERIFY(ended);
        QFile::remove(CStoreTestRun::path(kFile));
    }

    // After a change, the object's readers see the file as the change left it.
    void readersAfterAChangeSeeIt_data()
    {
        QTest::addColumn<QByteArray>("comment");
        QTest::newRow("file the tree takes") << QByteArray();
        QTest::newRow("file left to the DOM") << QByteArray("<!-- kept -->");
    }
    void readersAfterAChangeSeeIt()
    {
        QFETCH(QByteArray, comment);
        QVERIFY(CStoreTestRun::write(
            kFile, kDecl + "<pcconfig>" + comment + "<CPU><content>Name=A\n</content></CPU></pcconfig>\n"));
        CPcConfig cfg(kUuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.applyChange(kUuid + "^CPU$add$Name=B\n"), 0);
        QStringList rows;
        QCOMPARE(cfg.getContents("CPU", rows), 0);
        QCOMPARE(rows, QStringList({"Name=A\n", "Name=B\n"}));
    }

    // Readers ------------------------------------------------------------------------------------

    void readers()
    {
        QVERIFY(CStoreTestRun::write(kFile, kDecl + R"(<pcconfig lastupdate="July 14 2009 16:05:09">
    <CPU lastupdate="t">
        <content digest="  Intel  ">Name=  Intel  
</content>
        <changelog>
            <record time="T1" type="add" digest="  Intel  " notice="no">Name=  Intel  
</record>
            <record time="T2" type="remove" digest="Old" notice="no">Name=Old
</record>
        </changelog>
    </CPU>
    <Software>
        <content digest="S1">a</content>
        <content digest="">b</content>
        <content digest="   ">c</content>
        <content digest="S3">d</content>
    </Software>
    <OS>
        <content>no digest</content>
        <changelog/>
    </OS>
    <Extra><content digest="E">e</content></Extra>
    <BIOS/>
</pcconfig>
)"));
        CPcConfig cfg(kUuid);
        QCOMPARE(cfg.openReadOnly(), 1);
        QStringList digests, changes;
        QCOMPARE(cfg.getSummary(digests, changes), 0);
        QCOMPARE(digests, QStringList({"CPU=Intel", "Software=S1", "Software=S3", "Extra=E"}));
        QCOMPARE(changes, QStringList({"CPU : T1 add   Intel  ", "CPU : T2 remove Old"}));

        QMap<QString, QStringList> log;
        QCOMPARE(cfg.getChangeLog(log), 0);
        QCOMPARE(log.keys(), QStringList({"BIOS", "CPU", "Extra", "OS", "Software"}));
        QCOMPARE(log.value("CPU"), QStringList({"T1^add^  Intel  ", "T2^remove^Old"}));
        QCOMPARE(log.value("OS"), QStringList());
        QCOMPARE(log.value("BIOS"), QStringList());

        QMap<QString, QString> texts;
        texts.insert("Keep", "k");
        QCOMPARE(cfg.getDigests(texts), 0);
        QCOMPARE(texts.value("Software"), QString("S1\n\n   \nS3\n"));
        QCOMPARE(texts.value("OS"), QString("\n"));
        QCOMPARE(texts.value("BIOS"), QString());
        QCOMPARE(texts.value("Extra"), QString("E\n"));
        QCOMPARE(texts.value("lastupdate"), QString("July 14 2009 16:05:09"));
        QCOMPARE(texts.value("Keep"), QString("k"));

        QStringList rows {"before"};
        QCOMPARE(cfg.getContents("Software", rows), 0);
        QCOMPARE(rows, QStringList({"before", "a", "b", "c", "d"}));
        QStringList none;
        QCOMPARE(cfg.getContents("Printer", none), -1);
        QVERIFY(none.isEmpty());
        QString row = "x";
        QCOMPARE(cfg.getContent("Software", row), 0);
        QCOMPARE(row, QString("a"));
        QCOMPARE(cfg.getContent("BIOS", row), 0);
        QCOMPARE(row, QString());
        QCOMPARE(cfg.getContent("Printer", row), -1);
    }

    void readersWithoutLastUpdate()
    {
        QVERIFY(CStoreTestRun::write(kFile, kDecl + "<pcconfig><CPU/></pcconfig>\n"));
        CPcConfig cfg(kUuid);
        cfg.open();
        QMap<QString, QString> texts;
        cfg.getDigests(texts);
        QCOMPARE(texts.value("lastupdate"), QString());
        QVERIFY(texts.contains("lastupdate"));
        QCOMPARE(texts.value("CPU"), QString());
    }

    void readersSeeTheFileAsOpened()
    {
        fill("^CPU:Name=A\n");
        CPcConfig reader(kUuid);
        reader.openReadOnly();
        {
            CPcConfig writer(kUuid);
            writer.open();
            writer.applyChange(kUuid + "^CPU$add$Name=B\n");
        }
        QStringList rows;
        reader.getContents("CPU", rows);
        QCOMPARE(rows, QStringList({"Name=A\n"}));
    }
};

BRAMIX_STORE_TEST_MAIN(TestPcConfig)
#include "tst_pcconfig.moc"
