// The change notice sender in this process, against a test server on the server port: what it
// collects, the bytes it sends, which answers it accepts and how it marks records.

#include "cagentfixture.h"
#include "cchangenotice.h"
#include "cfakeserver.h"
#include "crelocatedrun.h"
#include "cset.h"
#include "cshortframe.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QStringEncoder>
#include <QtTest>

namespace {

const QString kUuid = QStringLiteral("{5b0e8d1c-1111-4000-8000-00000000aaaa}");

QString setPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/set.xml");
}

QByteArray changelog(const QByteArray &records)
{
    return "    <changelog>\n" + records + "    </changelog>\n";
}

QByteArray record(const QByteArray &attributes, const QByteArray &body)
{
    return "      <record time=\"t\" " + attributes + ">" + body + "</record>\n";
}

// The records of several classes; CPU comes first in the document, BIOS and Printer later.
QByteArray mixedDocument(const QString &uuid = kUuid)
{
    QByteArray doc = CAgentFixture::setDocument(uuid, "127.0.0.1",
        {{"CPU",
             changelog(record("type=\"add\" notice=\"no\" ID=\"{c1}\"", "c=1\n")
                 + record("type=\"add\" notice=\"No\" ID=\"{c2}\"", "c=2\n")
                 + record("type=\"add\" notice=\"NO\" ID=\"{c3}\"", "c=3\n")
                 + record("type=\"add\" notice=\"\" ID=\"{c4}\"", "c=4\n") + record("type=\"add\" ID=\"{c5}\"", "c=5\n")
                 + record("type=\"remove\" notice=\"yes\" ID=\"{c6}\"", "c=6\n"))},
            {"BIOS",
                changelog(record("type=\"remove\" notice=\"no\" ID=\"{b1}\"", "b=1 x$y\n")
                    + "      <entry type=\"add\" notice=\"no\" ID=\"{b2}\">b=2\n</entry>\n")},
            {"Printer",
                changelog(record("type=\"modify\" notice=\"no\" ID=\"{p1}\"", "<from>old</from><to>new</to>")
                    + record("notice=\"no\" ID=\"{p2}\"", "<from>f</from>"))}});
    // A class that is not in the class table is never visited.
    doc.replace(
        "</set>", "  <Foo>\n" + changelog(record("type=\"add\" notice=\"no\" ID=\"{f1}\"", "z")) + "  </Foo>\n</set>");
    return doc;
}

const QString kMixedItems
    = QStringLiteral("BIOS$remove$b=1 x$y\n^BIOS$add$b=2\n^CPU$add$c=1\n^Printer$modify$old+new^Printer$$f+");

QDomElement rootOfFile()
{
    QDomDocument doc;
    doc.setContent(CTestEnvironment::readFile(setPath()), true);
    return doc.documentElement();
}

// "<ID>=<notice>" of every record-like element in a class's changelog, in document order.
QStringList notices(const QString &classKey)
{
    QStringList out;
    const QDomElement log = rootOfFile().firstChildElement(classKey).firstChildElement("changelog");
    for (QDomElement e = log.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        out << e.attribute("ID", "-") + "=" + e.attribute("notice", "-");
    return out;
}

QString thrown(const std::function<void()> &f)
{
    try {
        f();
    } catch (const char *text) {
        return QString::fromLatin1(text);
    } catch (...) {
        return QStringLiteral("(other)");
    }
    return QString();
}

} // namespace

class TestChangeNotice : public QObject
{
    Q_OBJECT

private:
    CTestEnvironment m_env;

    // A sender as the start sequence makes it; it lives until the test's end, as in the agent.
    CChangeNotice *startNotice()
    {
        CChangeNotice *notice = new CChangeNotice(this);
        notice->init();
        notice->noticeChange();
        return notice;
    }

private slots:
    void init() { QFile::remove(setPath()); }

    void sendsPendingRecordsOfEveryClassInKeyOrder()
    {
        QVERIFY(CTestEnvironment::writeFile(setPath(), mixedDocument()));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        const QString expected = "changelog:" + kUuid + "^" + kMixedItems;
        QCOMPARE(server.texts(), QStringList {expected});
        QCOMPARE(server.connectionWith("changelog:")->frames.first(), CShortFrame::encode(expected));
        // The normal form: a 16-bit count of the bytes that follow, then the serialised string.
        const QByteArray frame = server.connectionWith("changelog:")->frames.first();
        QCOMPARE(frame.size(), 6 + 2 * expected.size());
        QCOMPARE((uchar(frame.at(0)) << 8) | uchar(frame.at(1)), frame.size() - 2);
    }

    void missingOrEmptyUuid_data()
    {
        QTest::addColumn<QByteArray>("uuidElement");
        QTest::newRow("empty") << QByteArray("<UUID></UUID>");
        QTest::newRow("missing") << QByteArray();
    }

    void missingOrEmptyUuid()
    {
        QFETCH(QByteArray, uuidElement);
        QByteArray doc = CAgentFixture::setDocument(
            "", "127.0.0.1", {{"CPU", changelog(record("type=\"add\" notice=\"no\" ID=\"{c1}\"", "c=1\n"))}});
        doc.replace("<UUID></UUID>", uuidElement);
        QVERIFY(CTestEnvironment::writeFile(setPath(), doc));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        QCOMPARE(server.texts(), QStringList {"changelog:^CPU$add$c=1\n"});
    }

    void nothingPendingMakesNoConnection()
    {
        const QByteArray doc = CAgentFixture::setDocument(kUuid, "127.0.0.1",
            {{"CPU",
                changelog(record("type=\"add\" notice=\"yes\" ID=\"{c1}\"", "c=1\n")
                    + record("type=\"add\" notice=\"No\" ID=\"{c2}\"", "c=2\n"))}});
        QVERIFY(CTestEnvironment::writeFile(setPath(), doc));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        // A connection attempt on loopback would be accepted within this wait.
        QVERIFY(!CTestEnvironment::waitFor([&] { return server.connectionCount() > 0; }, 500));
        QCOMPARE(CTestEnvironment::readFile(setPath()), doc);
    }

    void failuresThrowTheirTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing file") << 0 << "Xml file format error in CChangeNotice::init";
        QTest::newRow("not well-formed") << 1 << "Xml file format error in CChangeNotice::init";
        QTest::newRow("cannot be opened") << 2 << "Open set.xml error in CChangeNotice::init";
        QTest::newRow("root not set") << 3 << "Xml file format error,no set node found in CChangeNotice::noticeChange";
    }

    void failuresThrowTheirTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        if (kind == 1)
            QVERIFY(CTestEnvironment::writeFile(setPath(), "<set><UUID>"));
        if (kind == 2)
            QVERIFY(QDir().mkdir(setPath()));
        if (kind == 3)
            QVERIFY(CTestEnvironment::writeFile(setPath(), "<config><CPU><changelog/></CPU></config>"));
        CFakeServer server;
        QVERIFY(server.listen());
        CChangeNotice notice;
        QCOMPARE(thrown([&] {
            notice.init();
            notice.noticeChange();
        }),
            text);
        if (kind == 2)
            QVERIFY(QDir().rmdir(setPath()));
        QVERIFY(!CTestEnvironment::waitFor([&] { return server.connectionCount() > 0; }, 300));
    }

    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << "setChange:ok" << true;
        QTest::newRow("further fields") << "setChange:ok:more:fields" << true;
        QTest::newRow("letter case of the word") << "SetChange:ok" << false;
        QTest::newRow("letter case of ok") << "setChange:OK" << false;
        QTest::newRow("blank after colon") << "setChange: ok" << false;
        QTest::newRow("blank before colon") << "setChange :ok" << false;
        QTest::newRow("one field") << "setChange" << false;
        QTest::newRow("empty") << "" << false;
    }

    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        const QByteArray doc = mixedDocument();
        QVERIFY(CTestEnvironment::writeFile(setPath(), doc));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        QVERIFY(server.answer("changelog:", answer));
        CFakeServer::Connection *c = server.connectionWith("changelog:");
        if (accepted) {
            QVERIFY(CTestEnvironment::waitFor([&] { return notices("CPU").first() == "{c1}=yes"; }, 15000));
            // The sender ends the connection once it has accepted the answer.
            QVERIFY(CTestEnvironment::waitFor([&] { return c->socket->state() == QAbstractSocket::UnconnectedState; }));
            return;
        }
        // Refused: nothing written, the connection stays open; a later "setChange:ok" on it is still
        // read and accepted.
        QVERIFY(!CTestEnvironment::waitFor([&] { return CTestEnvironment::readFile(setPath()) != doc; }, 500));
        QCOMPARE(c->socket->state(), QAbstractSocket::ConnectedState);
        QVERIFY(server.answer("changelog:", "setChange:ok"));
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("CPU").first() == "{c1}=yes"; }, 15000));
    }

    void acknowledgementMarksExactlyTheCollectedRecords()
    {
        QVERIFY(CTestEnvironment::writeFile(setPath(), mixedDocument()));
        CFakeServer server;
        server.setNoticeAnswers({"setChange:ok"});
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("BIOS").first() == "{b1}=yes"; }, 15000));
        QCOMPARE(notices("CPU"), QStringList({"{c1}=yes", "{c2}=No", "{c3}=NO", "{c4}=", "{c5}=-", "{c6}=yes"}));
        QCOMPARE(notices("BIOS"), QStringList({"{b1}=yes", "{b2}=yes"}));
        QCOMPARE(notices("Printer"), QStringList({"{p1}=yes", "{p2}=yes"}));
        QCOMPARE(notices("Foo"), QStringList({"{f1}=no"}));
        // The file is the whole serialised document, nothing of the old content left behind.
        QDomDocument doc;
        QVERIFY(doc.setContent(CTestEnvironment::readFile(setPath()), true));
        QVERIFY(CTestEnvironment::readFile(setPath()).endsWith("</set>\n"));
        QCOMPARE(rootOfFile().firstChildElement("UUID").text(), kUuid);
    }

    void recordWithoutIdMarksEveryRecordWithoutId()
    {
        const QByteArray doc = CAgentFixture::setDocument(kUuid, "127.0.0.1",
            {{"Printer",
                 changelog(record("type=\"add\" notice=\"no\"", "p=1\n")
                     + record("type=\"add\" notice=\"No\" ID=\"\"", "p=2\n")
                     + record("type=\"add\" notice=\"No\" ID=\"{p3}\"", "p=3\n"))},
                {"CPU", changelog(record("type=\"add\" notice=\"No\"", "c=1\n"))}});
        QVERIFY(CTestEnvironment::writeFile(setPath(), doc));
        CFakeServer server;
        server.setNoticeAnswers({"setChange:ok"});
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        QCOMPARE(server.texts().first(), "changelog:" + kUuid + "^Printer$add$p=1\n");
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("Printer").first() == "-=yes"; }, 15000));
        QCOMPARE(notices("Printer"), QStringList({"-=yes", "=yes", "{p3}=No"}));
        QCOMPARE(notices("CPU"), QStringList({"-=No"})); // another class's walk
    }

    void answerInPiecesIsKeptUntilComplete()
    {
        QVERIFY(CTestEnvironment::writeFile(setPath(), mixedDocument()));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        QTcpSocket *socket = server.connectionWith("changelog:")->socket;
        const QByteArray frame = CShortFrame::encode("setChange:ok");
        QCOMPARE(frame.size(), 30);
        for (char byte : frame) {
            socket->write(&byte, 1);
            socket->flush();
            QCoreApplication::processEvents();
        }
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("CPU").first() == "{c1}=yes"; }, 15000));
    }

    void acknowledgementKeepsWhatOthersSavedMeanwhile()
    {
        QVERIFY(CTestEnvironment::writeFile(setPath(), mixedDocument()));
        CFakeServer server;
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));

        // Meanwhile an identity request stores the console's address, and a record appears.
        {
            CSet set;
            set.init();
            QCOMPARE(set.setServer("10.9.8.7"), 0);
        }
        QDomDocument doc;
        QVERIFY(doc.setContent(CTestEnvironment::readFile(setPath()), true));
        QDomElement added = doc.createElement("record");
        added.setAttribute("type", "add");
        added.setAttribute("notice", "no");
        added.setAttribute("ID", "{late}");
        added.appendChild(doc.createTextNode("c=9\n"));
        doc.documentElement().firstChildElement("CPU").firstChildElement("changelog").appendChild(added);
        QVERIFY(CSet::writeDocument(setPath(), doc));

        QVERIFY(server.answer("changelog:", "setChange:ok"));
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("CPU").first() == "{c1}=yes"; }, 15000));
        QCOMPARE(rootOfFile().firstChildElement("server").text(), "10.9.8.7");
        QCOMPARE(notices("CPU").last(), "{late}=no");
        QCOMPARE(notices("BIOS"), QStringList({"{b1}=yes", "{b2}=yes"}));
        QCOMPARE(server.texts().size(), 1); // the late record is not sent either
    }

    void utf16FileIsReadAsBytes_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::newRow("UTF-16LE") << QByteArray("UTF-16LE");
        QTest::newRow("UTF-16BE") << QByteArray("UTF-16BE");
    }
    void utf16FileIsReadAsBytes()
    {
        // U+4E0D holds the byte 0x0D in either order: a text-mode read drops it and the file no
        // longer decodes, so the notice would never go out.
        QFETCH(QByteArray, encoding);
        const QString row = QString::fromUtf8("Name=\xe4\xb8\x8d\n");
        QString doc = QString::fromUtf8(CAgentFixture::setDocument(
            kUuid, "127.0.0.1", {{"CPU", changelog(record("type=\"add\" notice=\"no\" ID=\"{c1}\"", row.toUtf8()))}}));
        doc.replace("encoding=\"UTF-8\"", "encoding=\"UTF-16\"");
        QVERIFY(doc.contains("UTF-16"));
        QStringEncoder toFile(encoding.constData(), QStringConverter::Flag::WriteBom);
        QVERIFY(CTestEnvironment::writeFile(setPath(), toFile.encode(doc)));
        CFakeServer server;
        server.setNoticeAnswers({"setChange:ok"});
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        QCOMPARE(server.texts().first(), "changelog:" + kUuid + "^CPU$add$" + row);
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("CPU") == QStringList {"{c1}=yes"}; }, 15000));
        QCOMPARE(rootOfFile().firstChildElement("CPU").firstChildElement("changelog").text(), row);
    }

    void largeNoticeUsesTheExtendedFrame()
    {
        QByteArray records;
        QString items;
        const QByteArray value(400, 'v');
        for (int i = 0; i < 200; ++i) {
            const QByteArray row = "Name=pkg" + QByteArray::number(i) + "\nDescription=" + value + "\n";
            records += record("type=\"add\" notice=\"no\" ID=\"{s" + QByteArray::number(i) + "}\"", row);
            items += (items.isEmpty() ? "" : "^") + QStringLiteral("Software$add$") + QString::fromLatin1(row);
        }
        QVERIFY(CTestEnvironment::writeFile(
            setPath(), CAgentFixture::setDocument(kUuid, "127.0.0.1", {{"Software", changelog(records)}})));
        CFakeServer server;
        server.setNoticeAnswers({"setChange:ok"});
        QVERIFY(server.listen());
        startNotice();
        QVERIFY(server.waitForText("changelog:", 15000));
        const QString expected = "changelog:" + kUuid + "^" + items;
        QVERIFY(expected.size() > CShortFrame::MaxShortUnits);
        const QByteArray frame = server.connectionWith("changelog:")->frames.first();
        QCOMPARE(frame.left(2), QByteArray("\xFF\xFF"));
        QCOMPARE(server.texts().first(), expected);
        QVERIFY(CTestEnvironment::waitFor([&] { return notices("Software").last() == "{s199}=yes"; }, 15000));
    }
};

int main(int argc, char **argv)
{
    CRelocatedRun::relocate(argc, argv);
    QCoreApplication app(argc, argv);
    TestChangeNotice test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_changenotice.moc"
