#include "cfakedevice.h"
#include "cmessages.h"
#include "crelocatedrun.h"
#include "cset.h"
#include "ctestenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QStringList kClasses {"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive", "MemoryDevice",
    "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"};

const QMap<QString, QString> kWql {{"CPU", "select * from Win32_Processor"},
    {"BaseBoard", "select * from Win32_BaseBoard"}, {"DiskDrive", "select * from Win32_DiskDrive"},
    {"VideoController", "select * from Win32_VideoController"},
    {"NetworkAdapter", "select * from Win32_NetworkAdapter"}, {"BIOS", "select * from Win32_BIOS"},
    {"CDROMDrive", "select * from Win32_CDROMDrive"}, {"DesktopMonitor", "select * from Win32_DesktopMonitor"},
    {"MemoryDevice", "select * from Win32_PhysicalMemory"}, {"Printer", "select * from Win32_Printer"},
    {"SoundDevice", "select * from Win32_SoundDevice"}, {"Software", "select * from Win32_Product"},
    {"OS", "select * from Win32_OperatingSystem"}};

QString setPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/set.xml");
}

QByteArray readSet()
{
    return CTestEnvironment::readFile(setPath());
}

bool writeSet(const QByteArray &data)
{
    return CTestEnvironment::writeFile(setPath(), data);
}

QByteArray setDocument(const QByteArray &children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<set>\n" + children + "</set>\n";
}

QByteArray allClassElements()
{
    QByteArray out;
    for (const QString &c : kClasses)
        out += "  <" + c.toLatin1() + "/>\n";
    return out;
}

QDomElement rootOfFile()
{
    QDomDocument doc;
    doc.setContent(readSet(), true);
    return doc.documentElement();
}

QStringList childTags(const QDomElement &e)
{
    QStringList tags;
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        tags << c.tagName();
    return tags;
}

QStringList contentsOf(const QDomElement &classElement)
{
    QStringList rows;
    for (QDomElement c = classElement.firstChildElement("content"); !c.isNull(); c = c.nextSiblingElement("content"))
        rows << c.text();
    return rows;
}

QList<QDomElement> recordsOf(const QDomElement &classElement)
{
    QList<QDomElement> out;
    const QDomElement log = classElement.firstChildElement("changelog");
    for (QDomElement r = log.firstChildElement("record"); !r.isNull(); r = r.nextSiblingElement("record"))
        out << r;
    return out;
}

ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QString thrown(const std::function<void()> &f)
{
    try {
        f();
    } catch (const char *text) {
        return QString::fromLatin1(text);
    } catch (...) {
        return QStringLiteral("<another exception type>");
    }
    return QString();
}

} // namespace

class TestCSet : public QObject
{
    Q_OBJECT

private:
    CTestEnvironment m_env;
    QString m_answers;

    // Live answers of the fake Device per class key; classes not named find no object.
    bool setLive(const QMap<QString, QJsonValue> &live)
    {
        QJsonObject o;
        for (auto it = live.begin(); it != live.end(); ++it)
            o.insert(kWql.value(it.key()), it.value());
        return CFakeDevice::setAnswers(m_answers, o);
    }

    // The start sequence's inventory step.
    void inventoryPass()
    {
        CSet set;
        set.init();
        set.checkVersion();
        set.setUUID_config();
        set.checkChange();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        m_answers = m_env.filePath("answers.json");
        QVERIFY(CFakeDevice::setAnswers(m_answers, QJsonObject()));
        QVERIFY(CFakeDevice::install(m_answers));
    }

    void init() { QFile::remove(setPath()); }

    // --- file handling -------------------------------------------------------------------------

    void missingFileIsCreatedEmptyAndRefused()
    {
        CSet set;
        QCOMPARE(thrown([&] { set.init(); }), QStringLiteral("Xml file format error in CSet::init"));
        QVERIFY(QFileInfo::exists(setPath()));
        QCOMPARE(QFileInfo(setPath()).size(), 0);
    }

    void malformedFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unclosed") << QByteArray("<set><UUID></set>");
        QTest::newRow("text") << QByteArray("not xml");
    }
    void malformedFileIsRefused()
    {
        QFETCH(QByteArray, content);
        QVERIFY(writeSet(content));
        CSet set;
        QCOMPARE(thrown([&] { set.init(); }), QStringLiteral("Xml file format error in CSet::init"));
        QCOMPARE(readSet(), content);
    }

    void noHandleIsKeptOpen()
    {
        QVERIFY(writeSet(setDocument("  <server>a</server>\n")));
        CSet set;
        set.init();
        const QString target = QFileInfo(setPath()).canonicalFilePath();
        const QFileInfoList fds = QDir("/proc/self/fd").entryInfoList(QDir::AllEntries | QDir::System);
        for (const QFileInfo &fd : fds)
            QVERIFY2(fd.symLinkTarget() != target, "set.xml is still open");
        const ino_t before = inodeOf(setPath());
        QCOMPARE(set.setServer("b"), 0);
        QVERIFY(inodeOf(setPath()) != before); // replaced, not written in place
    }

    void readsCrlfAndWritesLf()
    {
        QByteArray crlf
            = setDocument("  <server>s1</server>\n  <BIOS>\n    <content>A=1\nB=2\n</content>\n  </BIOS>\n");
        crlf.replace("\n", "\r\n");
        QVERIFY(writeSet(crlf));
        CSet set;
        set.init();
        QCOMPARE(set.getServer(), QStringLiteral("s1"));
        QStringList rows;
        QCOMPARE(set.getContents("BIOS", rows), 0);
        QCOMPARE(rows, QStringList {"A=1\nB=2\n"});
        set.setServer("s2");
        QVERIFY(!readSet().contains('\r'));
    }

    void checkVersionLeavesCurrentFileUntouched()
    {
        QByteArray content = setDocument("  <version>2.1.20090713</version>\n  <UUID/>\n");
        content.replace("\n", "\r\n"); // any byte difference would show
        QVERIFY(writeSet(content));
        const ino_t before = inodeOf(setPath());
        CSet set;
        set.init();
        set.checkVersion();
        QCOMPARE(readSet(), content);
        QCOMPARE(inodeOf(setPath()), before);
    }

    void checkVersionRewritesOtherVersion_data()
    {
        QTest::addColumn<QByteArray>("children");
        QTest::newRow("older") << QByteArray("  <version>2.1.20090101</version>\n  <UUID/>\n  <server>x</server>\n");
        QTest::newRow("missing") << QByteArray("  <UUID/>\n  <server>x</server>\n");
        QTest::newRow("empty") << QByteArray("  <version/>\n  <UUID/>\n  <server>x</server>\n");
    }
    void checkVersionRewritesOtherVersion()
    {
        QFETCH(QByteArray, children);
        QVERIFY(writeSet(setDocument(children)));
        CSet set;
        set.init();
        set.checkVersion();
        const QDomElement root = rootOfFile();
        QCOMPARE(childTags(root), (QStringList {"UUID", "server", "version"}));
        QCOMPARE(root.lastChildElement().text(), QStringLiteral("2.1.20090713"));
    }

    void otherRootChangesNothing()
    {
        const QByteArray content = "<settings><UUID>{u}</UUID><server>s</server><BIOS><content>r</content></BIOS>"
                                   "</settings>";
        QVERIFY(writeSet(content));
        CSet set;
        set.init();
        set.checkVersion();
        QCOMPARE(set.getUUID(), QString());
        QCOMPARE(set.getServer(), QString());
        QCOMPARE(set.setServer("10.0.0.1"), -1);
        QStringList rows {"kept"};
        QCOMPARE(set.getContents("BIOS", rows), -1);
        QCOMPARE(rows, QStringList {"kept"});
        QCOMPARE(thrown([&] { set.setUUID_config(); }),
            QStringLiteral("Xml file format error,no set node found in CSet::setUUID_config"));
        QCOMPARE(readSet(), content);
    }

    void setServer_data()
    {
        QTest::addColumn<QByteArray>("children");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("serverAfter");
        QTest::addColumn<QStringList>("tags");
        QTest::newRow("none") << QByteArray("  <UUID/>\n") << "10.0.0.9"
                              << "10.0.0.9" << QStringList {"UUID", "server"};
        QTest::newRow("one") << QByteArray("  <server>old</server>\n  <UUID/>\n") << "10.0.0.9"
                             << "10.0.0.9" << QStringList {"UUID", "server"};
        QTest::newRow("two: second stands first")
            << QByteArray("  <server>a</server>\n  <server>b</server>\n  <UUID/>\n") << "10.0.0.9"
            << "b" << QStringList {"server", "UUID", "server"};
        QTest::newRow("empty address") << QByteArray("  <server>a</server>\n") << ""
                                       << "" << QStringList {"server"};
    }
    void setServer()
    {
        QFETCH(QByteArray, children);
        QFETCH(QString, address);
        QFETCH(QString, serverAfter);
        QFETCH(QStringList, tags);
        QVERIFY(writeSet(setDocument(children)));
        CSet set;
        set.init();
        QCOMPARE(set.setServer(address), 0);
        QCOMPARE(set.getServer(), serverAfter);
        const QDomElement root = rootOfFile();
        QCOMPARE(childTags(root), tags);
        QCOMPARE(root.lastChildElement().text(), address);
        CSet again;
        again.init();
        QCOMPARE(again.getServer(), serverAfter);
    }

    void shorterSaveLeavesNoTail()
    {
        QVERIFY(writeSet(setDocument("  <server>" + QByteArray(5000, 'x') + "</server>\n")));
        CSet set;
        set.init();
        set.setServer("s");
        const QByteArray after = readSet();
        QVERIFY(after.size() < 200);
        QVERIFY(after.trimmed().endsWith("</set>"));
    }

    void getContents()
    {
        QVERIFY(writeSet(setDocument("  <BIOS/>\n  <CPU lastupdate=\"x\">\n    <content></content>\n    "
                                     "<content>a &lt; b &amp; c\nNext=1\n</content>\n    <changelog>\n"
                                     "      <record>not a row</record>\n    </changelog>\n    <content>z</content>\n"
                                     "  </CPU>\n")));
        CSet set;
        set.init();
        QStringList rows {"first"};
        QCOMPARE(set.getContents("CPU", rows), 0);
        QCOMPARE(rows, (QStringList {"first", "", "a < b & c\nNext=1\n", "z"}));
        QStringList none;
        QCOMPARE(set.getContents("Printer", none), 0);
        QVERIFY(none.isEmpty());
        QCOMPARE(set.getContents("BIOS", none), 0);
        QVERIFY(none.isEmpty());
    }

    void getDir_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dir");
        QTest::newRow("slashes") << "/opt/bramix/BramixClient"
                                 << "/opt/bramix";
        QTest::newRow("backslashes") << "C:\\bramix\\BramixClient.exe"
                                     << "C:\\bramix";
        QTest::newRow("mixed") << "C:\\a/b\\c.exe"
                               << "C:\\a";
        QTest::newRow("neither") << "BramixClient"
                                 << "BramixClient";
        QTest::newRow("non-latin") << QString::fromUtf8("/opt/\xe4\xb8\xad/x")
                                   << QString::fromUtf8("/opt/\xe4\xb8\xad");
    }
    void getDir()
    {
        QFETCH(QString, path);
        QFETCH(QString, dir);
        QCOMPARE(CSet().getDir(path), dir);
    }

    void saveWritesTheDeclaredEncoding_data()
    {
        QTest::addColumn<QString>("encoding"); // as declared; empty: no declaration
        QTest::newRow("utf-8") << "UTF-8";
        QTest::newRow("latin-1") << "ISO-8859-1";
        QTest::newRow("utf-16") << "UTF-16";
        QTest::newRow("none") << "";
    }
    void saveWritesTheDeclaredEncoding()
    {
        QFETCH(QString, encoding);
        const QString row = QString::fromUtf8("Name=\xc3\xa9t\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80\n");
        const QString declaration
            = encoding.isEmpty() ? QString() : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n";
        const QString fixture = declaration + "<set><server>a</server><BIOS/></set>\n";
        const auto codec = QStringConverter::encodingForName(encoding.isEmpty() ? "UTF-8" : qPrintable(encoding));
        QVERIFY(codec);
        QStringEncoder toFile(*codec, QStringConverter::Flag::WriteBom);
        QVERIFY(writeSet(toFile.encode(fixture)));
        {
            CSet set;
            QCOMPARE(thrown([&] { set.init(); }), QString());
            set.setServer(row);
        }
        const QByteArray bytes = readSet();
        QStringDecoder fromFile(*codec);
        const QString text = fromFile.decode(bytes);
        QVERIFY(!fromFile.hasError());
        if (*codec == QStringConverter::Latin1)
            QVERIFY(text.contains("&#x4e2d;&#x6587; &#x1f600;")); // what Latin-1 cannot hold, as references
        else
            QVERIFY(text.contains(row));
        if (!encoding.isEmpty())
            QVERIFY(text.contains(encoding));
        CSet back;
        QCOMPARE(thrown([&] { back.init(); }), QString());
        QCOMPARE(back.getServer(), row);
    }

    void otherEncodingsKeepTheirDeclaration_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::newRow("GB2312") << QByteArray("GB2312");
        QTest::newRow("Shift_JIS") << QByteArray("Shift_JIS");
        QTest::newRow("windows-1252") << QByteArray("windows-1252");
    }
    void otherEncodingsKeepTheirDeclaration()
    {
        QFETCH(QByteArray, encoding);
        QVERIFY(writeSet("<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<set><server>a</server></set>\n"));
        CSet set;
        if (!thrown([&] { set.init(); }).isEmpty())
            QSKIP("the parser does not know this encoding");
        const QString text = QString::fromUtf8("\xe4\xb8\xad \xc3\xa9");
        set.setServer(text);
        const QByteArray bytes = readSet();
        // Either the declaration is kept and the text is written in ASCII with references, or the
        // encoding cannot be written and both become UTF-8.
        if (bytes.contains("encoding='" + encoding + "'") || bytes.contains("encoding=\"" + encoding + "\"")) {
            for (char c : bytes)
                QVERIFY(uchar(c) < 0x80);
        } else {
            QVERIFY(bytes.contains("encoding=\"UTF-8\""));
            QVERIFY(bytes.contains(text.toUtf8()));
        }
        CSet back;
        QCOMPARE(thrown([&] { back.init(); }), QString());
        QCOMPARE(back.getServer(), text);
    }

    // --- first run and change detection -----------------------------------------------------------

    void shippedFileFirstRun()
    {
        QVERIFY(QFile::copy(CTestEnvironment::stagedFile("set.xml"), setPath()));
        QVERIFY(setLive({{"CPU", "Name=c0\n^Name=c1\n"}, {"BIOS", "Ver=1\n"}, {"Software", "N=a\n^N=a\n"}}));
        inventoryPass();
        const QDomElement root = rootOfFile();
        const QStringList tags = childTags(root);
        QCOMPARE(tags.mid(tags.size() - 2), (QStringList {"pcname", "ip"}));
        QCOMPARE(tags.count("version"), 1);
        QCOMPARE(root.firstChildElement("version").text(), QStringLiteral("2.1.20090713"));
        QVERIFY(QRegularExpression("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$")
                    .match(root.firstChildElement("UUID").text())
                    .hasMatch());
        QCOMPARE(root.firstChildElement("pcname").text(), QHostInfo::localHostName());
        QCOMPARE(root.firstChildElement("ip").text(), CMessages::clientAddress());
        for (const QString &c : kClasses) {
            const QDomElement e = root.firstChildElement(c);
            QVERIFY2(e.hasAttribute("lastupdate"), qPrintable(c));
            QVERIFY2(e.firstChildElement("changelog").isNull(), qPrintable(c));
        }
        QCOMPARE(contentsOf(root.firstChildElement("CPU")), (QStringList {"Name=c0\n", "Name=c1\n"}));
        QCOMPARE(contentsOf(root.firstChildElement("Software")), (QStringList {"N=a\n", "N=a\n"}));
        QCOMPARE(contentsOf(root.firstChildElement("Printer")), QStringList {""}); // no object: one empty row

        // A second pass records nothing and does not write.
        const QByteArray before = readSet();
        const ino_t inode = inodeOf(setPath());
        inventoryPass();
        QCOMPARE(readSet(), before);
        QCOMPARE(inodeOf(setPath()), inode);
    }

    void missingUuidIsAppendedOnceAndNotRefilled()
    {
        QVERIFY(writeSet(setDocument("  <pcname/>\n  <ip/>\n" + allClassElements() + "  <server/>\n")));
        QVERIFY(setLive({{"BIOS", "V=1\n"}}));
        inventoryPass();
        QDomElement root = rootOfFile();
        QCOMPARE(childTags(root).mid(childTags(root).size() - 4), (QStringList {"version", "UUID", "pcname", "ip"}));
        const QString uuid = root.firstChildElement("UUID").text();
        QCOMPARE(uuid.size(), 38);
        inventoryPass();
        root = rootOfFile();
        QCOMPARE(root.firstChildElement("UUID").text(), uuid);
        QCOMPARE(contentsOf(root.firstChildElement("BIOS")), QStringList {"V=1\n"});
    }

    void changesAreRecorded()
    {
        QVERIFY(writeSet(setDocument("  <UUID/>\n" + allClassElements())));
        QVERIFY(setLive({{"CPU", "c=1\n"}, {"DiskDrive", "d=1\n^d=2\n"}, {"BIOS", "b=1\n"}}));
        inventoryPass();
        // Stamps the pass must not touch are set apart, so a kept stamp shows without waiting for the clock.
        QByteArray stamped = readSet();
        stamped.replace(QByteArray("<BIOS lastupdate=\"")
                + rootOfFile().firstChildElement("BIOS").attribute("lastupdate").toLatin1(),
            "<BIOS lastupdate=\"old stamp");
        QVERIFY(writeSet(stamped));
        const QString biosStamp = QStringLiteral("old stamp");

        // One disk added, one CPU replaced by another; BIOS unchanged.
        QVERIFY(setLive({{"CPU", "c=2\n"}, {"DiskDrive", "d=1\n^d=2\n^d=3\n"}, {"BIOS", "b=1\n"}}));
        inventoryPass();
        const QDomElement root = rootOfFile();
        const QDomElement disk = root.firstChildElement("DiskDrive");
        QCOMPARE(contentsOf(disk), (QStringList {"d=1\n", "d=2\n", "d=3\n"}));
        QList<QDomElement> records = recordsOf(disk);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.at(0).text(), QStringLiteral("d=3\n"));
        QCOMPARE(records.at(0).attribute("type"), QStringLiteral("add"));
        QCOMPARE(records.at(0).attribute("notice"), QStringLiteral("no"));
        QCOMPARE(records.at(0).attribute("ID").size(), 38);
        QCOMPARE(disk.attribute("lastupdate"), records.at(0).attribute("time"));

        const QDomElement cpu = root.firstChildElement("CPU");
        QCOMPARE(contentsOf(cpu), QStringList {"c=2\n"});
        records = recordsOf(cpu);
        QCOMPARE(records.size(), 2); // the addition first, then the removal
        QCOMPARE(records.at(0).attribute("type"), QStringLiteral("add"));
        QCOMPARE(records.at(0).text(), QStringLiteral("c=2\n"));
        QCOMPARE(records.at(1).attribute("type"), QStringLiteral("remove"));
        QCOMPARE(records.at(1).text(), QStringLiteral("c=1\n"));
        QCOMPARE(records.at(1).attribute("time"), recordsOf(disk).at(0).attribute("time"));
        QVERIFY(records.at(0).attribute("ID") != records.at(1).attribute("ID"));

        QCOMPARE(root.firstChildElement("BIOS").attribute("lastupdate"), biosStamp);
        QVERIFY(root.firstChildElement("BIOS").firstChildElement("changelog").isNull());
    }

    void duplicates()
    {
        QVERIFY(writeSet(setDocument("  <UUID>{fixed}</UUID>\n" + allClassElements())));
        // Stored twice, then gone: two removals. Stored once, now seen twice: nothing.
        QVERIFY(setLive({{"MemoryDevice", "m=1\n^m=1\n"}, {"SoundDevice", "s=1\n"}}));
        {
            CSet set;
            set.init();
            set.checkChange();
        }
        QCOMPARE(contentsOf(rootOfFile().firstChildElement("MemoryDevice")), (QStringList {"m=1\n", "m=1\n"}));
        QCOMPARE(recordsOf(rootOfFile().firstChildElement("MemoryDevice")).size(), 2); // one add per live row
        QVERIFY(setLive({{"SoundDevice", "s=1\n^s=1\n"}}));
        {
            CSet set;
            set.init();
            set.checkChange();
        }
        const QDomElement root = rootOfFile();
        const QDomElement mem = root.firstChildElement("MemoryDevice");
        QCOMPARE(contentsOf(mem), QStringList {""});
        QList<QDomElement> records = recordsOf(mem);
        QStringList types;
        for (const QDomElement &r : records)
            types << r.attribute("type") + ":" + r.text();
        QCOMPARE(types, (QStringList {"add:m=1\n", "add:m=1\n", "add:", "remove:m=1\n", "remove:m=1\n"}));
        QCOMPARE(contentsOf(root.firstChildElement("SoundDevice")), QStringList {"s=1\n"});
        QCOMPARE(recordsOf(root.firstChildElement("SoundDevice")).size(), 1);
    }

    void classWithoutObjectsRemovesThenAddsAgain()
    {
        QVERIFY(writeSet(setDocument("  <UUID>{fixed}</UUID>\n" + allClassElements())));
        QVERIFY(setLive({{"Printer", "p=1\n^p=2\n"}}));
        inventoryPass();
        // The printers are gone: the Device finds no object, which is one empty row.
        QVERIFY(setLive({}));
        inventoryPass();
        QDomElement printer = rootOfFile().firstChildElement("Printer");
        QCOMPARE(contentsOf(printer), QStringList {""});
        QCOMPARE(recordsOf(printer).size(), 2 + 1 + 2);
        QVERIFY(setLive({{"Printer", "p=1\n^p=2\n"}}));
        inventoryPass();
        printer = rootOfFile().firstChildElement("Printer");
        QCOMPARE(contentsOf(printer), (QStringList {"p=1\n", "p=2\n"}));
        const QList<QDomElement> records = recordsOf(printer);
        QCOMPARE(records.size(), 5 + 3);
        QCOMPARE(records.at(5).attribute("type"), QStringLiteral("add"));
        QCOMPARE(records.at(6).attribute("type"), QStringLiteral("add"));
        QCOMPARE(records.at(7).attribute("type"), QStringLiteral("remove"));
    }

    void unmadeQueryKeepsStoredRows_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no Device object") << "unregistered";
        QTest::newRow("locator not created") << "CoCreateInstance error";
        QTest::newRow("no connection") << "ConnectServer error";
        QTest::newRow("exception") << "throw";
    }
    void unmadeQueryKeepsStoredRows()
    {
        QFETCH(QString, failure);
        QVERIFY(writeSet(setDocument("  <UUID>{fixed}</UUID>\n" + allClassElements())));
        QVERIFY(setLive({{"Printer", "p=1\n^p=2\n"}, {"CPU", "c=1\n"}}));
        inventoryPass();
        const QByteArray before = readSet();
        const ino_t inode = inodeOf(setPath());
        if (failure == "unregistered") {
            QVERIFY(CFakeDevice::unregister());
        } else if (failure == "throw") {
            QVERIFY(setLive({{"Printer", QJsonObject {{"throw", true}}}, {"CPU", "c=1\n"}}));
        } else {
            QVERIFY(setLive({{"Printer", failure}, {"CPU", "c=1\n"}}));
        }
        inventoryPass();
        const bool reinstalled = failure != "unregistered" || CFakeDevice::install(m_answers);
        QVERIFY(reinstalled);
        // No change recorded and nothing written: the stored rows stand.
        QCOMPARE(readSet(), before);
        QCOMPARE(inodeOf(setPath()), inode);
        QCOMPARE(contentsOf(rootOfFile().firstChildElement("Printer")), (QStringList {"p=1\n", "p=2\n"}));

        // The first run of a client whose Device cannot answer stores nothing for the class either.
        QVERIFY(writeSet(setDocument("  <UUID/>\n" + allClassElements())));
        if (failure == "unregistered")
            QVERIFY(CFakeDevice::unregister());
        inventoryPass();
        QVERIFY(failure != "unregistered" || CFakeDevice::install(m_answers));
        const QDomElement printer = rootOfFile().firstChildElement("Printer");
        QVERIFY(contentsOf(printer).isEmpty());
        QVERIFY(!printer.hasAttribute("lastupdate"));
        QVERIFY(recordsOf(printer).isEmpty());
        if (failure != "unregistered")
            QCOMPARE(contentsOf(rootOfFile().firstChildElement("CPU")), QStringList {"c=1\n"});
    }

    void storedTextsAreFiltered()
    {
        const QString bad = QString("=a") + QChar(0x01) + "b" + QChar(0xFFFF) + "\n";
        QVERIFY(writeSet(setDocument("  <UUID>{fixed}</UUID>\n" + allClassElements() + "  <server>s</server>\n")));
        QVERIFY(setLive({{"CPU", "Name" + bad}}));
        inventoryPass();
        QDomElement cpu = rootOfFile().firstChildElement("CPU");
        QCOMPARE(contentsOf(cpu).last(), QStringLiteral("Name=ab\n"));
        QCOMPARE(recordsOf(cpu).first().text(), QStringLiteral("Name=ab\n"));
        // The next start finds the row it stored: nothing more is recorded.
        const QByteArray afterFirst = readSet();
        inventoryPass();
        QCOMPARE(readSet(), afterFirst);

        CSet set;
        QCOMPARE(thrown([&] { set.init(); }), QString());
        QCOMPARE(set.setServer(QString("127.0.0.5") + QChar(0x1B)), 0);
        QCOMPARE(set.getServer(), QStringLiteral("127.0.0.5"));
        const QByteArray stored = readSet();
        QCOMPARE(set.setServer(QString(QChar(0x01)) + QChar(0)), -1); // nothing of it could be stored
        QCOMPARE(readSet(), stored);
        CSet back;
        QCOMPARE(thrown([&] { back.init(); }), QString());
        QCOMPARE(back.getServer(), QStringLiteral("127.0.0.5"));
    }

    void classWithoutElement()
    {
        QByteArray classes = allClassElements();
        classes.replace("  <OS/>\n", "");
        QVERIFY(writeSet(setDocument("  <UUID/>\n" + classes)));
        QVERIFY(setLive({{"OS", "o=1\n"}}));
        inventoryPass();
        QVERIFY(rootOfFile().firstChildElement("OS").isNull());
        const QByteArray before = readSet();
        const ino_t inode = inodeOf(setPath());
        inventoryPass();
        QDomDocument a, b;
        a.setContent(before);
        b.setContent(readSet());
        QCOMPARE(b.toString(), a.toString()); // nothing stored
        QVERIFY(inodeOf(setPath()) != inode); // but saved at every start
    }

    void uuidEmptiedByHand()
    {
        QVERIFY(writeSet(setDocument("  <UUID/>\n  <pcname/>\n  <ip/>\n" + allClassElements())));
        QVERIFY(setLive({{"BIOS", "b=1\n"}}));
        inventoryPass();
        QDomDocument doc;
        doc.setContent(readSet(), true);
        QDomElement uuid = doc.documentElement().firstChildElement("UUID");
        const QString oldUuid = uuid.text();
        uuid.removeChild(uuid.firstChild());
        QVERIFY(writeSet(doc.toByteArray(2)));

        inventoryPass();
        const QDomElement root = rootOfFile();
        QVERIFY(root.firstChildElement("UUID").text() != oldUuid);
        QCOMPARE(root.firstChildElement("UUID").text().size(), 38);
        QCOMPARE(contentsOf(root.firstChildElement("BIOS")), (QStringList {"b=1\n", "b=1\n"}));
        QCOMPARE(root.firstChildElement("pcname").text(), QHostInfo::localHostName() + QHostInfo::localHostName());
        for (const QString &c : kClasses)
            QVERIFY2(root.firstChildElement(c).firstChildElement("changelog").isNull(), qPrintable(c));
    }
};

int main(int argc, char **argv)
{
    CRelocatedRun::relocate(argc, argv);
    QCoreApplication app(argc, argv);
    TestCSet test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cset.moc"
