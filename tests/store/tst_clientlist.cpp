#include "cset.h"
#include "cstoretestrun.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtTest>

namespace {

const QByteArray kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QByteArray pc(const char *uuid, const char *name = "host", const QByteArray &attrs = QByteArray())
{
    return QByteArray("<pc UUID=\"") + uuid + "\"" + attrs + "><name>" + name
        + "</name><ip>10.0.0.1</ip><version>2.1</version><os>1</os></pc>";
}

QByteArray folder(const char *name, const char *value)
{
    return QByteArray("<folder><name>") + name + "</name><value>" + value + "</value></folder>";
}

QByteArray list(const QByteArray &body, const char *root = "pclist")
{
    return kDecl + "<" + root + ">" + body + "</" + root + ">\n";
}

QStringList uuidsOf(const std::list<PCEntry> &pcs)
{
    QStringList out;
    for (const PCEntry &e : pcs)
        out.append(QString::fromStdString(e.at("UUID")));
    return out;
}

} // namespace

class TestClientList : public QObject
{
    Q_OBJECT
private slots:
    void init() { CStoreTestRun::clear(); }

    void missingListIsCreatedEmpty()
    {
        CSet set;
        QCOMPARE(set.openList(), 0);
        QVERIFY(QFile::exists(CStoreTestRun::path("list.xml")));
        QCOMPARE(CStoreTestRun::read("list.xml"), QByteArray());
        QCOMPARE(set.findPC("{a}"), -1);
        std::list<PCEntry> pcs;
        pcs.push_back(PCEntry {{"UUID", "keep"}});
        QCOMPARE(set.getPCList(pcs), -1);
        QCOMPARE(pcs.size(), size_t(1));
        // Nothing to append to: the add reports success and leaves the empty file as it is.
        QCOMPARE(set.addPC("{a}", "n", "1.2.3.4", "v", "1"), 0);
        QCOMPARE(CStoreTestRun::read("list.xml"), QByteArray());
    }

    void shippedListOpens()
    {
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        CSet set;
        QCOMPARE(set.openList(), 1);
        std::list<PCEntry> pcs;
        QCOMPARE(set.getPCList(pcs), 0);
        QVERIFY(pcs.empty());
    }

    void findPC_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<int>("found");
        QTest::newRow("listed") << list(pc("{A}") + pc("{B}")) << "{B}" << 1;
        QTest::newRow("case-sensitive") << list(pc("{A}")) << "{a}" << 0;
        QTest::newRow("not listed") << list(pc("{A}")) << "{C}" << 0;
        QTest::newRow("after a folder") << list(pc("{A}") + folder("f", "{F}") + pc("{B}")) << "{B}" << 1;
        QTest::newRow("folder before first pc not walked")
            << list(folder("f", "{F}") + "<x UUID=\"{X}\"/>" + pc("{A}")) << "{X}" << 0;
        QTest::newRow("nested in folder")
            << list(pc("{A}") + "<folder><name>f</name>" + pc("{N}") + "</folder>") << "{N}" << 0;
        QTest::newRow("pc without UUID, empty argument") << list("<pc><name>x</name></pc>") << "" << 0;
        QTest::newRow("root is not pclist") << list(pc("{A}"), "list") << "{A}" << -1;
    }

    void findPC()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, uuid);
        QFETCH(int, found);
        QVERIFY(CStoreTestRun::write("list.xml", file));
        CSet set;
        QCOMPARE(set.openList(), 1);
        QCOMPARE(set.findPC(uuid), found);
    }

    void listsArriveLastFirst()
    {
        QVERIFY(CStoreTestRun::write(
            "list.xml", list(pc("{A}") + folder("F1", "{1}") + pc("{B}") + folder("F2", "{2}") + pc("{C}"))));
        CSet set;
        QCOMPARE(set.openList(), 1);
        std::list<PCEntry> pcs;
        QCOMPARE(set.getPCList(pcs), 0);
        QCOMPARE(uuidsOf(pcs), QStringList({"{C}", "{B}", "{A}"}));
        QList<FolderEntry> folders;
        QCOMPARE(set.getFolders(folders), 0);
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders.at(0).value("name"), QString("F2"));
        QCOMPARE(folders.at(1).value("value"), QString("{1}"));
        std::list<std::map<std::string, std::string>> plain;
        QCOMPARE(set.getFolderList(plain), 0);
        QCOMPARE(plain.front().at("name"), std::string("F2"));
        // Entries are added in front of what the caller's list already holds.
        std::list<PCEntry> more {PCEntry {{"UUID", "old"}}};
        set.getPCList(more);
        QCOMPARE(uuidsOf(more), QStringList({"{C}", "{B}", "{A}", "old"}));
    }

    void newClientAfterFolders()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list(folder("F", "{F}"))));
        CSet set;
        set.openList();
        QCOMPARE(set.addPC("{F1}", "pc1", "10.1.1.1", "2.1.20090713", "1"), 0);
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses("list.xml", &doc));
        const QDomElement last = doc.documentElement().lastChildElement();
        QCOMPARE(last.tagName(), QString("pc"));
        QVERIFY(!last.hasAttribute("notice"));
        QVERIFY(!last.hasAttribute("folder"));
        QStringList children;
        for (QDomElement c = last.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            children << c.tagName() + "=" + c.text();
        QCOMPARE(children, QStringList({"name=pc1", "ip=10.1.1.1", "version=2.1.20090713", "os=1"}));
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        const PCEntry &e = pcs.front();
        QCOMPARE(e.size(), size_t(7));
        QCOMPARE(e.at("notice"), std::string());
        QCOMPARE(e.at("folder"), std::string());
        QCOMPARE(e.at("os"), std::string("1"));
    }

    void savedFileFormat()
    {
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        CSet set;
        set.openList();
        set.addFolder("Büro", "{F}");
        const QByteArray bytes = CStoreTestRun::read("list.xml");
        const QByteArray firstLine = bytes.left(bytes.indexOf('\n'));
        QVERIFY(firstLine.startsWith("<?xml version="));
        QVERIFY(firstLine.contains("encoding='UTF-8'") || firstLine.contains("encoding=\"UTF-8\""));
        QVERIFY(!bytes.contains('\r'));
        QVERIFY(bytes.contains("\n    <folder>\n        <name>B\xc3\xbcro</name>"));
    }

    void namesSurviveAsUtf8()
    {
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        const QString name = QString::fromUtf8("\xe7\x94\xb5\xe8\x84\x91-Ωmega");
        {
            CSet set;
            set.openList();
            set.addPC("{E1}", name, "10.0.0.9", "2.1", "1");
        }
        QVERIFY(CStoreTestRun::read("list.xml").contains(name.toUtf8()));
        CSet set;
        set.openList();
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(QString::fromUtf8(pcs.front().at("name").c_str()), name);
    }

    void folderAddDelete()
    {
        QVERIFY(CStoreTestRun::write(
            "list.xml", list(pc("{A}", "a", " folder=\"{1}\"") + folder("F1", "{1}") + folder("F1b", "{1}"))));
        CSet set;
        set.openList();
        QCOMPARE(set.addFolder("F2", "{2}"), 0);
        QCOMPARE(set.deleteFolder("{1}"), 0);
        QList<FolderEntry> folders;
        set.getFolders(folders);
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders.at(0).value("name"), QString("F2"));
        QCOMPARE(folders.at(1).value("name"), QString("F1b"));
        // The client that named the folder keeps its value.
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.front().at("folder"), std::string("{1}"));
        // A second object sees the same file.
        CSet other;
        other.openList();
        QList<FolderEntry> again;
        other.getFolders(again);
        QCOMPARE(again, folders);
    }

    void foreignRoot()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list(pc("{A}"), "list")));
        CSet set;
        QCOMPARE(set.openList(), 1);
        QList<FolderEntry> folders;
        QCOMPARE(set.getFolders(folders), -1);
        const QByteArray before = CStoreTestRun::read("list.xml");
        QCOMPARE(set.removePC("{A}"), -1);
        QCOMPARE(set.setPCFolder("{A}", "{F}"), -1);
        QCOMPARE(set.setNotice("{A}", false), -1);
        QCOMPARE(set.deleteFolder("{F}"), -1);
        QCOMPARE(CStoreTestRun::read("list.xml"), before);
        QCOMPARE(set.addFolder("F", "{F}"), 0);
        QDomDocument doc;
        QVERIFY(CStoreTestRun::parses("list.xml", &doc));
        QCOMPARE(doc.documentElement().tagName(), QString("list"));
        QCOMPARE(doc.documentElement().lastChildElement().tagName(), QString("folder"));
    }

    void duplicatesChangeFirstOnly()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list(pc("{D}", "first") + pc("{D}", "second"))));
        CSet set;
        set.openList();
        QCOMPARE(set.findPC("{D}"), 1);
        QCOMPARE(set.setPCFolder("{D}", "{F}"), 0);
        QCOMPARE(set.setNotice("{D}", false), 0);
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.size(), size_t(2));
        QCOMPARE(pcs.back().at("name"), std::string("first"));
        QCOMPARE(pcs.back().at("folder"), std::string("{F}"));
        QCOMPARE(pcs.back().at("notice"), std::string("no"));
        QCOMPARE(pcs.front().at("folder"), std::string());
        QCOMPARE(pcs.front().at("notice"), std::string());
        QCOMPARE(set.removePC("{D}"), 0);
        pcs.clear();
        set.getPCList(pcs);
        QCOMPARE(pcs.size(), size_t(1));
        QCOMPARE(pcs.front().at("name"), std::string("second"));
    }

    void nestedClient()
    {
        QVERIFY(CStoreTestRun::write(
            "list.xml", list("<folder><name>f</name><value>{F}</value>" + pc("{N}") + "</folder>")));
        CSet set;
        set.openList();
        QCOMPARE(set.setPCFolder("{N}", "{F}"), 0);
        QCOMPARE(set.setNotice("{N}", false), 0);
        QCOMPARE(set.removePC("{N}"), 0);
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.size(), size_t(1));
        QCOMPARE(pcs.front().at("folder"), std::string("{F}"));
        QCOMPARE(pcs.front().at("notice"), std::string());
    }

    void clientWithoutUuid()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list("<pc><name>x</name></pc>" + pc("{A}"))));
        CSet set;
        set.openList();
        QCOMPARE(set.setNotice("", false), 0);
        QCOMPARE(set.setPCFolder("", "{F}"), 0);
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.back().at("folder"), std::string("{F}"));
        QCOMPARE(pcs.back().at("notice"), std::string());
        QCOMPARE(set.removePC(""), 0);
        pcs.clear();
        set.getPCList(pcs);
        QCOMPARE(uuidsOf(pcs), QStringList({"{A}"}));
    }

    void shorterDocumentLeavesNoTail()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list(pc("{A}", "a-very-long-computer-name-indeed") + pc("{B}"))));
        CSet set;
        set.openList();
        set.removePC("{A}");
        const QByteArray bytes = CStoreTestRun::read("list.xml");
        QVERIFY(bytes.endsWith("</pclist>\n"));
        QVERIFY(!bytes.contains("a-very-long"));
        QVERIFY(CStoreTestRun::parses("list.xml"));
    }

    void unchangedNoticeIsNotRewritten()
    {
        QVERIFY(CStoreTestRun::write("list.xml", list(pc("{A}") + pc("{B}"))));
        CSet set;
        set.openList();
        set.setNotice("{A}", false);
        const quint64 first = CStoreTestRun::inode("list.xml");
        const QByteArray bytes = CStoreTestRun::read("list.xml");
        QVERIFY(bytes.contains("notice=\"no\""));
        CSet again;
        again.openList();
        QCOMPARE(again.setNotice("{A}", false), 0);
        QCOMPARE(CStoreTestRun::inode("list.xml"), first);
        QCOMPARE(CStoreTestRun::read("list.xml"), bytes);
        // A real change replaces the file.
        QCOMPARE(again.setNotice("{A}", true), 0);
        QVERIFY(CStoreTestRun::inode("list.xml") != first);
        QVERIFY(CStoreTestRun::read("list.xml").contains("notice=\"yes\""));
    }

    void unreadableListIsNeverReplaced_data()
    {
        QTest::addColumn<int>("operation");
        for (int op = 0; op < 8; ++op)
            QTest::newRow(qPrintable(QString("op%1").arg(op))) << op;
    }

    void unreadableListIsNeverReplaced()
    {
        QFETCH(int, operation);
        const QByteArray broken = list(pc("{A}")).left(60);
        QVERIFY(CStoreTestRun::write("list.xml", broken));
        CSet set;
        QCOMPARE(set.openList(), 0);
        int rc = 0;
        switch (operation) {
        case 0:
            rc = set.addPC("{B}", "b", "1.1.1.1", "v", "1");
            break;
        case 1:
            rc = set.addPC("{B}", "b", "1.1.1.1");
            break;
        case 2:
            rc = set.addFolder("F", "{F}");
            break;
        case 3:
            rc = set.removePC("{A}");
            break;
        case 4:
            rc = set.setPCFolder("{A}", "{F}");
            break;
        case 5:
            rc = set.setNotice("{A}", false);
            break;
        case 6:
            rc = set.deleteFolder("{F}");
            break;
        case 7:
            rc = set.addPCs({{"{B}", "b", "1.1.1.1", "v", "1"}});
            break;
        }
        QCOMPARE(rc, -1);
        QCOMPARE(CStoreTestRun::read("list.xml"), broken);
    }

    void changesApplyToTheCurrentFile()
    {
        // Two objects opened on the same list: each change is made to what the file holds now.
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        CSet a;
        CSet b;
        a.openList();
        b.openList();
        a.addPC("{A}", "a", "1.1.1.1", "v", "1");
        b.addPC("{B}", "b", "1.1.1.2", "v", "1");
        a.addFolder("F", "{F}");
        CSet c;
        c.openList();
        std::list<PCEntry> pcs;
        c.getPCList(pcs);
        QCOMPARE(uuidsOf(pcs), QStringList({"{B}", "{A}"}));
        QList<FolderEntry> folders;
        c.getFolders(folders);
        QCOMPARE(folders.size(), 1);
    }

    void unsafeUuidIsNotAdded_data()
    {
        QTest::addColumn<QString>("uuid");
        QTest::newRow("empty") << "";
        QTest::newRow("path") << "../{A}";
        QTest::newRow("control character") << QString("{A}") + QChar(0x01);
        QTest::newRow("NUL") << QString("{A") + QChar(0) + "}";
        QTest::newRow("not a character") << QString("{A}") + QChar(0xFFFE);
        QTest::newRow("blank") << "{A B}";
    }
    void unsafeUuidIsNotAdded()
    {
        QFETCH(QString, uuid);
        QVERIFY(CStoreTestRun::write("list.xml", list(pc("{A}"))));
        const QByteArray before = CStoreTestRun::read("list.xml");
        const quint64 inode = CStoreTestRun::inode("list.xml");
        CSet set;
        QCOMPARE(set.openList(), 1);
        QCOMPARE(set.addPC(uuid, "n", "10.0.0.2", "2.1", "1"), -1);
        QCOMPARE(set.addPC(uuid, "n", "10.0.0.2"), -1);
        QCOMPARE(CStoreTestRun::read("list.xml"), before);
        QCOMPARE(CStoreTestRun::inode("list.xml"), inode);
    }

    // Clients found by one scan, written together: each new one once, in the order given, as the
    // long form of addPC writes it; the listed, repeated and refused ones left out.
    void severalClientsInOneWrite_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("new ones") << QStringList {"{B}", "{C}"} << QStringList {"{B}", "{C}"};
        QTest::newRow("already listed") << QStringList {"{A}", "{B}"} << QStringList {"{B}"};
        QTest::newRow("given twice") << QStringList {"{B}", "{B}"} << QStringList {"{B}"};
        QTest::newRow("refused uuid") << QStringList {"../{B}", "{C}"} << QStringList {"{C}"};
        QTest::newRow("none new") << QStringList {"{A}"} << QStringList {};
        QTest::newRow("none") << QStringList {} << QStringList {};
    }
    void severalClientsInOneWrite()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, added);
        QVERIFY(CStoreTestRun::write("list.xml", list(folder("F", "{F}") + pc("{A}"))));
        CSet set;
        QCOMPARE(set.openList(), 1);
        QList<CSet::NewPC> clients;
        for (const QString &uuid : given)
            clients.append({uuid, "n" + uuid, "198.51.100.7", "2.1.20090713", "2"});
        QStringList listed {"stale"};
        QCOMPARE(set.addPCs(clients, &listed), int(added.size()));
        QCOMPARE(listed, added);

        CSet check;
        QCOMPARE(check.openList(), 1);
        std::list<PCEntry> pcs;
        check.getPCList(pcs);
        QStringList expected = added;
        std::reverse(expected.begin(), expected.end());
        expected.append("{A}");
        QCOMPARE(uuidsOf(pcs), expected);
        QList<FolderEntry> folders;
        check.getFolders(folders);
        QCOMPARE(folders.size(), 1);
        for (const PCEntry &e : pcs) {
            if (e.at("UUID") == "{A}")
                continue;
            QCOMPARE(QString::fromStdString(e.at("name")), "n" + QString::fromStdString(e.at("UUID")));
            QCOMPARE(e.at("ip"), std::string("198.51.100.7"));
            QCOMPARE(e.at("version"), std::string("2.1.20090713"));
            QCOMPARE(e.at("os"), std::string("2"));
        }
    }

    void peerTextsAreFiltered()
    {
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        const QString bad = QString("a") + QChar(0x01) + "b" + QChar(0xFFFE) + "c" + QChar(0xD800);
        {
            CSet set;
            set.openList();
            QCOMPARE(set.addPC("{A}", bad, bad, bad, bad), 0);
            QCOMPARE(set.addPC("{B}", bad, bad), 0);
            QCOMPARE(set.addFolder(bad, bad), 0);
            QCOMPARE(set.setPCFolder("{A}", bad), 0);
        }
        // What this process wrote counts as read only when its bytes parse.
        QVERIFY(CStoreTestRun::parses("list.xml"));
        CSet set;
        QCOMPARE(set.openList(), 1);
        std::list<PCEntry> pcs;
        QCOMPARE(set.getPCList(pcs), 0);
        QCOMPARE(pcs.size(), size_t(2));
        const PCEntry &a = pcs.back();
        for (const char *key : {"name", "ip", "version", "os", "folder"})
            QCOMPARE(a.at(key), std::string("abc"));
        QCOMPARE(pcs.front().at("name"), std::string("abc"));
        QList<FolderEntry> folders;
        set.getFolders(folders);
        QCOMPARE(folders.value(0).value("value"), QString("abc"));
    }

    void eightBitListKeepsItsEncoding_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("stored"); // how the name stands in the file, decoded
        QTest::newRow("ISO-8859-1") << QByteArray("ISO-8859-1") << QString::fromUtf8("B\xc3\xbcro &#x4e2d; &#x1f600;");
        QTest::newRow("windows-1252") << QByteArray("windows-1252") << QString("B&#xfc;ro &#x4e2d; &#x1f600;");
    }
    void eightBitListKeepsItsEncoding()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, stored);
        const QString name = QString::fromUtf8("B\xc3\xbcro \xe4\xb8\xad \xf0\x9f\x98\x80");
        QStringEncoder toFile(encoding.constData());
        QVERIFY(toFile.isValid());
        const QString decl = "<?xml version=\"1.0\" encoding=\"" + QString::fromLatin1(encoding) + "\"?>\n";
        QVERIFY(CStoreTestRun::write("list.xml",
            toFile.encode(decl
                + QString::fromUtf8("<pclist><folder><name>\xc3\xa9</name><value>{F}</value></folder></pclist>\n"))));
        for (int save = 0; save < 2; ++save) {
            CSet set;
            QCOMPARE(set.openList(), 1);
            QCOMPARE(set.addPC(QString("{%1}").arg(save), name, "10.0.0.3", "2.1", "1"), 0);
        }
        const QByteArray bytes = CStoreTestRun::read("list.xml");
        const QByteArray firstLine = bytes.left(bytes.indexOf('\n'));
        QVERIFY(
            firstLine.contains("encoding='" + encoding + "'") || firstLine.contains("encoding=\"" + encoding + "\""));
        QStringDecoder fromFile(encoding.constData());
        const QString text = fromFile.decode(bytes);
        QVERIFY(!fromFile.hasError());
        QCOMPARE(text.count(stored), 2);
        CSet set;
        QCOMPARE(set.openList(), 1);
        std::list<PCEntry> pcs;
        set.getPCList(pcs);
        QCOMPARE(pcs.size(), size_t(2));
        for (const PCEntry &e : pcs)
            QCOMPARE(QString::fromStdString(e.at("name")), name);
        QList<FolderEntry> folders;
        set.getFolders(folders);
        QCOMPARE(folders.value(0).value("name"), QString::fromUtf8("\xc3\xa9"));
    }

    void appDirIsProgramDir()
    {
        CSet set;
        QCOMPARE(set.getAppDir(), QCoreApplication::applicationDirPath());
    }
};

BRAMIX_STORE_TEST_MAIN(TestClientList)
#include "tst_clientlist.moc"
