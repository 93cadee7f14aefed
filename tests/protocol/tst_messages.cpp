#include "cmessages.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QtTest>

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void constants()
    {
        QCOMPARE(CMessages::ServerPort, quint16(2210));
        QCOMPARE(CMessages::AgentPort, quint16(2211));
        QCOMPARE(CMessages::clientVersion(), QStringLiteral("2.1.20090713"));
#ifdef Q_OS_WIN
        QCOMPARE(CMessages::platformCode(), QStringLiteral("1"));
#else
        QCOMPARE(CMessages::platformCode(), QStringLiteral("2"));
#endif
    }

    void updateCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("label");
        QTest::newRow("normal") << "update:2.1.20090713:2:pc(10.0.0.7)" << true << "2.1.20090713"
                                << "2"
                                << "pc(10.0.0.7)";
        QTest::newRow("ipv6 label cut") << "update:2.1.20090713:2:pc(fe80::1)" << true << "2.1.20090713"
                                        << "2"
                                        << "pc(fe80";
        QTest::newRow("too few fields") << "update:2.1.20090713:2" << false << ""
                                        << ""
                                        << "";
        QTest::newRow("other keyword") << "Update:a:b:c" << false << ""
                                       << ""
                                       << "";
    }
    void updateCheck()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        CMessages::UpdateCheck check;
        QCOMPARE(CMessages::parseUpdateCheck(text, &check), ok);
        if (!ok)
            return;
        QFETCH(QString, version);
        QFETCH(QString, platform);
        QFETCH(QString, label);
        QCOMPARE(check.version, version);
        QCOMPARE(check.platform, platform);
        QCOMPARE(check.hostLabel, label);
    }

    void buildUpdateCheck()
    {
        QCOMPARE(CMessages::buildUpdateCheck("2.1.20090713", "2", "pc(1.2.3.4)"),
            QStringLiteral("update:2.1.20090713:2:pc(1.2.3.4)"));
    }

    void changeNoticeRoundTrip()
    {
        const QStringList items {CMessages::changeItem("BIOS", "add", "Name=x\nVersion=1\n"),
            CMessages::changeItem("CPU", "remove", "Name=y\n")};
        const QString text = CMessages::buildChangeNotice("{u}", items);
        QCOMPARE(text, QStringLiteral("changelog:{u}^BIOS$add$Name=x\nVersion=1\n^CPU$remove$Name=y\n"));
        CMessages::ChangeNotice n;
        QVERIFY(CMessages::parseChangeNotice(text, &n));
        QCOMPARE(n.uuid, QStringLiteral("{u}"));
        QCOMPARE(n.items, items);
        QCOMPARE(n.parsedItems.size(), 2);
        QCOMPARE(n.parsedItems.at(1).classKey, QStringLiteral("CPU"));
        QCOMPARE(n.parsedItems.at(1).type, QStringLiteral("remove"));
        QCOMPARE(n.parsedItems.at(1).row, QStringLiteral("Name=y\n"));
    }

    void changeNoticeEdges()
    {
        CMessages::ChangeNotice n;
        QVERIFY(!CMessages::parseChangeNotice("changelog:", &n));
        QVERIFY(!CMessages::parseChangeNotice("changelog", &n));
        QVERIFY(!CMessages::parseChangeNotice("update:x", &n));
        // Text after a second ":" is not read; a "$" inside a row cuts the row; short items are skipped.
        QVERIFY(CMessages::parseChangeNotice("changelog:{u}^A$add$r1$rest^^B$add^C$remove$r3:tail", &n));
        QCOMPARE(n.notice, QStringLiteral("{u}^A$add$r1$rest^^B$add^C$remove$r3"));
        QCOMPARE(n.items.size(), 4);
        QCOMPARE(n.parsedItems.size(), 2);
        QCOMPARE(n.parsedItems.at(0).row, QStringLiteral("r1"));
        QCOMPARE(n.parsedItems.at(1).classKey, QStringLiteral("C"));
        // An empty UUID: the notice starts with "^".
        QVERIFY(CMessages::parseChangeNotice(CMessages::buildChangeNotice("", {"A$add$r"}), &n));
        QCOMPARE(n.uuid, QString());
        QCOMPARE(n.parsedItems.size(), 1);
    }

    // The UUID found without splitting the notice is the one the full parse gives, and none for
    // another keyword or a first part longer than asked.
    void changeNoticeUuid_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("uuid");
        const QString longest(64, QLatin1Char('u'));
        QTest::newRow("items follow") << "changelog:{u}^A$add$r"
                                      << "{u}";
        QTest::newRow("no items") << "changelog:{u}"
                                  << "{u}";
        QTest::newRow("a further colon") << "changelog:{u}:tail^A$add$r"
                                         << "{u}";
        QTest::newRow("empty") << "changelog:^A$add$r"
                               << "";
        QTest::newRow("as long as asked") << "changelog:" + longest + "^A$add$r" << longest;
        QTest::newRow("longer than asked") << "changelog:" + longest + "u^A$add$r"
                                           << "";
        QTest::newRow("longer than asked, no separator") << "changelog:" + longest + "u"
                                                         << "";
        QTest::newRow("another keyword") << "update:2.1:1:h"
                                         << "";
        QTest::newRow("keyword without colon") << "changelog"
                                               << "";
    }
    void changeNoticeUuid()
    {
        QFETCH(QString, text);
        QFETCH(QString, uuid);
        QCOMPARE(CMessages::changeNoticeUuid(text, 64).toString(), uuid);
        CMessages::ChangeNotice n;
        if (!uuid.isEmpty()) {
            QVERIFY(CMessages::parseChangeNotice(text, &n));
            QCOMPARE(n.uuid, uuid);
        }
    }

    void acknowledgement_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << CMessages::buildAck() << true;
        QTest::newRow("further fields") << "setChange:ok:more" << true;
        QTest::newRow("case") << "setchange:ok" << false;
        QTest::newRow("blank") << "setChange: ok" << false;
        QTest::newRow("single field") << "setChange" << false;
        QTest::newRow("empty") << "" << false;
    }
    void acknowledgement()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(CMessages::isAck(text), accepted);
    }

    void identityRequest()
    {
        QCOMPARE(CMessages::identityRequestHeader("10.0.0.2"), QStringLiteral("getUUID:10.0.0.2"));
        QString address;
        QVERIFY(CMessages::parseIdentityRequest({"getUUID", "10.0.0.2", "extra"}, &address));
        QCOMPARE(address, QStringLiteral("10.0.0.2"));
        QVERIFY(!CMessages::parseIdentityRequest({"getUUID"}, &address));
        QVERIFY(!CMessages::parseIdentityRequest({"SWAPLETFILE", "x"}, &address));
    }

    void identityAnswerRoundTrip()
    {
        const QList<CMessages::ClassBlock> blocks {
            {"BIOS", {"Name=b\n"}}, {"BaseBoard", {""}}, {"CDROMDrive", {}}, {"CPU", {"Name=c1\n", "Name=c2\n"}}};
        const QString text = CMessages::buildIdentityAnswer("{id}", "pc(1.2.3.4)", "2.1.20090713", "2", blocks);
        QCOMPARE(text,
            QStringLiteral("UUID:{id}|pc(1.2.3.4)|2.1.20090713-2^BIOS:Name=b\n^BaseBoard:^CDROMDrive:"
                           "^CPU:Name=c1\n$Name=c2\n"));
        CMessages::IdentityAnswer a;
        QVERIFY(CMessages::parseIdentityAnswer(text, &a));
        QCOMPARE(a.uuid, QStringLiteral("{id}"));
        QCOMPARE(a.hostLabel, QStringLiteral("pc(1.2.3.4)"));
        QCOMPARE(a.version, QStringLiteral("2.1.20090713"));
        QCOMPARE(a.platform, QStringLiteral("2"));
        QCOMPARE(a.classes.size(), 4);
        QCOMPARE(a.classes.at(2).classKey, QStringLiteral("CDROMDrive"));
        QCOMPARE(a.classes.at(2).rows, QStringList {""});
        QCOMPARE(a.classes.at(3).rows, (QStringList {"Name=c1\n", "Name=c2\n"}));
    }

    void identityAnswerEdges()
    {
        CMessages::IdentityAnswer a;
        QVERIFY(!CMessages::parseIdentityAnswer("uuid:{x}|n|v-1", &a));
        QVERIFY(!CMessages::parseIdentityAnswer("UUID", &a));
        QVERIFY(CMessages::parseIdentityAnswer("UUID:|n(1.1.1.1)|2.1-x-y", &a));
        QCOMPARE(a.uuid, QString());
        QCOMPARE(a.version, QStringLiteral("unknown"));
        QCOMPARE(a.platform, QStringLiteral("5"));
        QVERIFY(a.classes.isEmpty());
    }

    // The identity part alone reads as the whole answer's parse does, and counts its fields.
    void identityPart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fields");
        QTest::newRow("answer") << "UUID:{id}|pc(1.2.3.4)|2.1-2^CPU:Name=c\n$x^BIOS:" << 3;
        QTest::newRow("no classes") << "UUID:{id}|pc|2.1-2" << 3;
        QTest::newRow("two fields") << "UUID:{id}|pc^CPU:x" << 2;
        QTest::newRow("more fields") << "UUID:{id}|pc|2.1-2|x|y" << 5;
        QTest::newRow("version of three parts") << "UUID:{id}|pc|2.1-2-3" << 3;
        QTest::newRow("version without platform") << "UUID:{id}|pc|2.1" << 3;
        QTest::newRow("second colon") << "UUID:{id}|pc|2.1-2:tail^CPU:x" << 3;
        QTest::newRow("lower case key") << "uuid:{id}|pc|2.1-2" << -1;
        QTest::newRow("key only") << "UUID" << -1;
        QTest::newRow("key before a caret") << "UUID^CPU:x" << -1;
        QTest::newRow("separators") << "UUID:" + QString(100000, '|') + QString(100000, '^') << 100001;
    }
    void identityPart()
    {
        QFETCH(QString, text);
        QFETCH(int, fields);
        CMessages::IdentityAnswer whole;
        CMessages::IdentityAnswer part;
        int counted = 0;
        QCOMPARE(CMessages::parseIdentity(text, &part, &counted), fields >= 0);
        QCOMPARE(CMessages::parseIdentityAnswer(text, &whole), fields >= 0);
        if (fields < 0)
            return;
        QCOMPARE(counted, fields);
        QCOMPARE(part.uuid, whole.uuid);
        QCOMPARE(part.hostLabel, whole.hostLabel);
        QCOMPARE(part.versionPart, whole.versionPart);
        QCOMPARE(part.version, whole.version);
        QCOMPARE(part.platform, whole.platform);
        QVERIFY(part.classes.isEmpty());
    }

    void filePush_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("name");
        QTest::newRow("normal") << QStringList {"SWAPLETFILE", "BramixClient", ""} << true << "BramixClient";
        QTest::newRow("no name field") << QStringList {"SWAPLETFILE"} << false << "";
        QTest::newRow("empty name") << QStringList {"SWAPLETFILE", "", ""} << false << "";
        QTest::newRow("dot dot") << QStringList {"SWAPLETFILE", "..", ""} << false << "";
        QTest::newRow("slash") << QStringList {"SWAPLETFILE", "../etc/x", ""} << false << "";
        QTest::newRow("backslash") << QStringList {"SWAPLETFILE", "a\\b", ""} << false << "";
        QTest::newRow("other command") << QStringList {"getUUID", "x"} << false << "";
        // The file system reads a name up to a NUL: "set.xml" would be written in its place.
        QTest::newRow("NUL") << QStringList {"SWAPLETFILE", QString("set.xml") + QChar(0) + "x", ""} << false << "";
        QTest::newRow("control character")
            << QStringList {"SWAPLETFILE", QString("a") + QChar(0x1F), ""} << false << "";
        QTest::newRow("delete") << QStringList {"SWAPLETFILE", QString("a") + QChar(0x7F), ""} << false << "";
        QTest::newRow("C1 control") << QStringList {"SWAPLETFILE", QString("a") + QChar(0x9F), ""} << false << "";
        QTest::newRow("Latin-1 letter") << QStringList {"SWAPLETFILE", QString("caf") + QChar(0xE9), ""} << true
                                        << QString("caf") + QChar(0xE9);
    }
    void filePush()
    {
        QFETCH(QStringList, fields);
        QFETCH(bool, ok);
        QFETCH(QString, name);
        QString got;
        QCOMPARE(CMessages::parseFilePush(fields, &got), ok);
        if (ok)
            QCOMPARE(got, name);
    }

    void filePushHeaderAndFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("slashes") << "/opt/bramix/BramixClient"
                                 << "BramixClient";
        QTest::newRow("backslashes") << "C:\\bramix\\BramixClient.exe"
                                     << "BramixClient.exe";
        QTest::newRow("mixed cut at slash") << "C:\\a/b\\c.exe"
                                            << "b\\c.exe";
        QTest::newRow("bare") << "file.bin"
                              << "file.bin";
    }
    void filePushHeaderAndFileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(CMessages::fileNameOf(path), name);
        QCOMPARE(CMessages::filePushHeader(name), QStringLiteral("SWAPLETFILE:") + name + ":");
    }

    void fileList()
    {
        QCOMPARE(CMessages::buildFileList({"a", "b.exe"}), QStringLiteral("SWAPLETLIST:a;b.exe"));
        QCOMPARE(CMessages::buildFileList({}), QStringLiteral("SWAPLETLIST:"));
        QStringList names;
        QVERIFY(CMessages::parseFileList("SWAPLETLIST:a;b.exe", &names));
        QCOMPARE(names, (QStringList {"a", "b.exe"}));
        QVERIFY(CMessages::parseFileList("SWAPLETLIST:", &names));
        QVERIFY(names.isEmpty());
        QVERIFY(!CMessages::parseFileList("SWAPLETFILE:a", &names));
    }

    void clientAddressRule()
    {
        const QList<QHostAddress> all = QNetworkInterface::allAddresses();
        QString expected = QStringLiteral("127.0.0.1");
        for (const QHostAddress &a : all) {
            expected = a.toString();
            if (a.protocol() != QAbstractSocket::IPv6Protocol && expected != QLatin1String("127.0.0.1"))
                break;
        }
        QCOMPARE(CMessages::clientAddress(), expected);
        QVERIFY(CMessages::hostLabel().endsWith(QLatin1Char('(') + expected + QLatin1Char(')')));
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
