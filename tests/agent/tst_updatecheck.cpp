// The update check in this process, against a test server on the server port: the request's bytes,
// and the server's file push stored as the update file and handed to (a stub) Swaplet.

#include "cagentfixture.h"
#include "ccommandframe.h"
#include "cfakeserver.h"
#include "crelocatedrun.h"
#include "cupdate.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QtTest>

namespace {

QString appDir()
{
    return QCoreApplication::applicationDirPath();
}

QString setPath()
{
    return appDir() + QStringLiteral("/set.xml");
}

QByteArray utf16be(const QString &text)
{
    QByteArray out;
    for (QChar c : text) {
        out.append(char(c.unicode() >> 8));
        out.append(char(c.unicode() & 0xFF));
    }
    return out;
}

QByteArray bigEndian(quint64 value, int width)
{
    QByteArray out;
    for (int i = width - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// The client address as this test works it out: the first non-IPv6 address other than 127.0.0.1,
// else the last one listed.
QString address()
{
    QString a = "127.0.0.1";
    for (const QHostAddress &h : QNetworkInterface::allAddresses()) {
        a = h.toString();
        if (h.protocol() != QAbstractSocket::IPv6Protocol && a != "127.0.0.1")
            break;
    }
    return a;
}

void feed(QTcpSocket *socket, const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        socket->write(piece);
        socket->flush();
        socket->waitForBytesWritten(1000);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
}

QList<QByteArray> cut(const QByteArray &bytes, const QList<int> &at)
{
    QList<QByteArray> out;
    int from = 0;
    for (int p : at) {
        out << bytes.mid(from, p - from);
        from = p;
    }
    out << bytes.mid(from);
    return out;
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private:
    CTestEnvironment m_env;

    bool writeSet(const QString &server)
    {
        return CTestEnvironment::writeFile(setPath(), CAgentFixture::setDocument("{u}", server));
    }

private slots:
    void init()
    {
        QDir dir(appDir());
        for (const QString &name : dir.entryList({"*.temp"}, QDir::Files))
            dir.remove(name);
    }

    void requestBytes()
    {
        QVERIFY(writeSet("127.0.0.1"));
        CFakeServer server;
        QVERIFY(server.listen());
        CUpdate update;
        QCOMPARE(update.checkUpdate(), 0);
        QVERIFY(server.waitForText("update:", 15000));
        const QString text = "update:2.1.20090713:2:" + QHostInfo::localHostName() + "(" + address() + ")";
        const QByteArray expected = bigEndian(4 + 2 * text.size(), 2) + bigEndian(2 * text.size(), 4) + utf16be(text);
        QCOMPARE(server.connectionWith("update:")->bytes, expected);
        // Unanswered, the server closes: nothing more happens.
        server.connectionWith("update:")->socket->disconnectFromHost();
        QVERIFY(!CTestEnvironment::waitFor([&] { return QDir(appDir()).entryList({"*.temp"}).size() > 0; }, 300));
    }

    void emptyServerAddressMakesNoConnection()
    {
        QVERIFY(writeSet(""));
        CFakeServer server;
        QVERIFY(server.listen());
        CUpdate update;
        QCOMPARE(update.checkUpdate(), 0);
        QVERIFY(!CTestEnvironment::waitFor([&] { return server.connectionCount() > 0; }, 500));
    }

    void unreadableSetThrowsBeforeConnecting()
    {
        QVERIFY(CTestEnvironment::writeFile(setPath(), "<set><server>127.0.0.1</server>"));
        CFakeServer server;
        QVERIFY(server.listen());
        CUpdate update;
        QString text;
        try {
            update.checkUpdate();
        } catch (const char *t) {
            text = t;
        }
        QCOMPARE(text, "Xml file format error in CSet::init");
        QVERIFY(!CTestEnvironment::waitFor([&] { return server.connectionCount() > 0; }, 300));
    }

    void pushIsHandedToSwaplet_data()
    {
        QTest::addColumn<QList<int>>("cuts");
        QTest::newRow("one piece") << QList<int>();
        QTest::newRow("inside the total") << QList<int> {2};
        QTest::newRow("inside the header length") << QList<int> {5};
        QTest::newRow("inside the header") << QList<int> {4, 6, 12};
        QTest::newRow("inside the payload") << QList<int> {40, 41, 500, 3000};
        QList<int> every;
        for (int i = 1; i < 3000 + 36; ++i)
            every << i;
        QTest::newRow("byte by byte") << every;
    }

    void pushIsHandedToSwaplet()
    {
        QFETCH(QList<int>, cuts);
        QVERIFY(writeSet("127.0.0.1"));
        CAgentFixture stub(appDir());
        QVERIFY(stub.isValid());
        CFakeServer server;
        server.setHoldUpdate(true);
        QVERIFY(server.listen());
        CUpdate update;
        update.checkUpdate();
        QVERIFY(server.waitForText("update:", 15000));

        QByteArray payload;
        for (int i = 0; i < 3000; ++i)
            payload.append(char(i * 7));
        const QByteArray first = CCommandFrame::encode("SWAPLETFILE:BramixClient:", payload);
        QCOMPARE(first.size(), 3000 + 25 + 6);
        // A second file follows on the same connection: it is never read.
        const QByteArray second = CCommandFrame::encode("SWAPLETFILE:other.bin:", "second");
        feed(server.connectionWith("update:")->socket, cut(first + second, cuts));

        QVERIFY(stub.waitForSwaplet());
        const QString temp = appDir() + "/BramixClient.temp";
        QCOMPARE(stub.swapletArguments(), QStringList {temp});
        QCOMPARE(stub.swapletCopy(), payload);
        QCOMPARE(stub.swapletWorkingDir(), appDir());
        QCOMPARE(CTestEnvironment::readFile(temp), payload);
        QVERIFY(!QFile::exists(appDir() + "/other.bin.temp"));
        stub.releaseSwaplet();
    }

    void framesOtherThanAPushAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("identity request") << CCommandFrame::encodeCommand("getUUID:10.0.0.1");
        QTest::newRow("unknown command") << CCommandFrame::encode("SWAPLETLIST:a:", "xyz");
        QTest::newRow("letter case") << CCommandFrame::encode("swapletfile:a:", "xyz");
    }

    void framesOtherThanAPushAreIgnored()
    {
        QFETCH(QByteArray, frame);
        QVERIFY(writeSet("127.0.0.1"));
        CAgentFixture stub(appDir());
        CFakeServer server;
        server.setHoldUpdate(true);
        QVERIFY(server.listen());
        CUpdate update;
        update.checkUpdate();
        QVERIFY(server.waitForText("update:", 15000));
        // Nothing more is read after an ignored frame, a push behind it included.
        feed(server.connectionWith("update:")->socket, {frame + CCommandFrame::encode("SWAPLETFILE:a:", "x")});
        QVERIFY(!CTestEnvironment::waitFor([&] { return QDir(appDir()).entryList({"*.temp"}).size() > 0; }, 500));
        QVERIFY(!QFile::exists(stub.swapletArgsPath()));
    }

    void refusedPushes_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("no name field") << CCommandFrame::encode("SWAPLETFILE", "xyz");
        QTest::newRow("empty name") << CCommandFrame::encode("SWAPLETFILE::", "xyz");
        QTest::newRow("dot") << CCommandFrame::encode("SWAPLETFILE:.:", "xyz");
        QTest::newRow("dot dot") << CCommandFrame::encode("SWAPLETFILE:..:", "xyz");
        QTest::newRow("slash") << CCommandFrame::encode("SWAPLETFILE:../x:", "xyz");
        QTest::newRow("backslash") << CCommandFrame::encode("SWAPLETFILE:..\\x:", "xyz");
        const QByteArray header = "SWAPLETFILE:a:";
        QTest::newRow("total below the head")
            << bigEndian(header.size() + 2, 4) + bigEndian(header.size(), 2) + header + "xyz";
        QTest::newRow("payload beyond 1 GiB")
            << bigEndian(0x7FFFFFF0, 4) + bigEndian(header.size(), 2) + header + "xyz";
    }

    void refusedPushes()
    {
        QFETCH(QByteArray, frame);
        QVERIFY(writeSet("127.0.0.1"));
        CAgentFixture stub(appDir());
        CFakeServer server;
        server.setHoldUpdate(true);
        QVERIFY(server.listen());
        CUpdate update;
        update.checkUpdate();
        QVERIFY(server.waitForText("update:", 15000));
        QTcpSocket *socket = server.connectionWith("update:")->socket;
        feed(socket, {frame});
        // Refused: the connection is closed, nothing written, no hand-over.
        QVERIFY(CTestEnvironment::waitFor([&] { return socket->state() == QAbstractSocket::UnconnectedState; }));
        QCOMPARE(QDir(appDir()).entryList({"*.temp"}), QStringList());
        QVERIFY(!QFile::exists(stub.swapletArgsPath()));
    }

    void interruptedPushIsDeleted()
    {
        QVERIFY(writeSet("127.0.0.1"));
        CAgentFixture stub(appDir());
        CFakeServer server;
        server.setHoldUpdate(true);
        QVERIFY(server.listen());
        CUpdate update;
        update.checkUpdate();
        QVERIFY(server.waitForText("update:", 15000));
        QTcpSocket *socket = server.connectionWith("update:")->socket;
        const QByteArray frame = CCommandFrame::encode("SWAPLETFILE:BramixClient:", QByteArray(5000, 'p'));
        feed(socket, {frame.left(2000)});
        const QString temp = appDir() + "/BramixClient.temp";
        QVERIFY(CTestEnvironment::waitFor([&] { return QFileInfo(temp).size() > 0; }));
        socket->disconnectFromHost();
        QVERIFY(CTestEnvironment::waitFor([&] { return !QFile::exists(temp); }));
        QVERIFY(!QFile::exists(stub.swapletArgsPath()));
    }

    void emptyFileIsHandedOverAtOnce()
    {
        QVERIFY(writeSet("127.0.0.1"));
        CAgentFixture stub(appDir());
        CFakeServer server;
        server.setUpdateAnswer({CCommandFrame::encode("SWAPLETFILE:Swaplet.new:", QByteArray())});
        QVERIFY(server.listen());
        CUpdate update;
        update.checkUpdate();
        QVERIFY(stub.waitForSwaplet());
        QCOMPARE(stub.swapletArguments(), QStringList {appDir() + "/Swaplet.new.temp"});
        QVERIFY(QFile::exists(appDir() + "/Swaplet.new.temp"));
        QCOMPARE(QFileInfo(appDir() + "/Swaplet.new.temp").size(), 0);
        stub.releaseSwaplet();
    }
};

int main(int argc, char **argv)
{
    CRelocatedRun::relocate(argc, argv);
    QCoreApplication app(argc, argv);
    TestUpdateCheck test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatecheck.moc"
