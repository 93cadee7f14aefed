#include "cshortframe.h"
#include "cshortframereader.h"

#include <QBuffer>
#include <QDataStream>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// Frame bytes built the way the peers' original writers build them: a 16-bit placeholder, the
// data-stream string (version 7), then the buffer size minus 2 written over the placeholder.
static QByteArray legacyFrame(const QString &text)
{
    QByteArray block;
    QDataStream out(&block, QIODevice::WriteOnly);
    out.setVersion(7);
    out << quint16(0) << text;
    out.device()->seek(0);
    out << quint16(block.size() - 2);
    return block;
}

static QString textOfUnits(int units)
{
    QString s;
    s.reserve(units);
    for (int i = 0; i < units; ++i)
        s.append(QChar(u'a' + i % 26));
    return s;
}

class TestShortFrame : public QObject
{
    Q_OBJECT

private slots:
    void acknowledgementBytes()
    {
        const QByteArray bytes = QByteArray::fromHex("001C"
                                                     "00000018"
                                                     "0073"
                                                     "0065"
                                                     "0074"
                                                     "0043"
                                                     "0068"
                                                     "0061"
                                                     "006E"
                                                     "0067"
                                                     "0065"
                                                     "003A"
                                                     "006F"
                                                     "006B");
        QCOMPARE(bytes.size(), 30);
        QCOMPARE(CShortFrame::encode(QStringLiteral("setChange:ok")), bytes);
        QString text;
        QVERIFY(CShortFrame::decode(bytes, &text));
        QCOMPARE(text, QStringLiteral("setChange:ok"));
    }

    void matchesLegacyWriter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString("");
        QTest::newRow("ascii") << QStringLiteral("update:2.1.20090713:2:host(10.0.0.1)");
        QTest::newRow("non-latin") << QString::fromUtf8("UUID:{x}|\xe4\xb8\xad\xe6\x96\x87(1.2.3.4)|v-2");
        QTest::newRow("surrogates") << QString::fromUtf8("\xf0\x9f\x98\x80 row");
        QTest::newRow("boundary 32765") << textOfUnits(32765);
    }
    void matchesLegacyWriter()
    {
        QFETCH(QString, text);
        QCOMPARE(CShortFrame::encode(text), legacyFrame(text));
    }

    void boundaryCountIsFFFE()
    {
        const QByteArray frame = CShortFrame::encode(textOfUnits(32765));
        QCOMPARE(frame.size(), 6 + 2 * 32765);
        QCOMPARE(frame.left(2), QByteArray::fromHex("FFFE"));
        QString text;
        QVERIFY(CShortFrame::decode(frame, &text));
        QCOMPARE(text, textOfUnits(32765));
    }

    void extendedFormAboveBoundary_data()
    {
        QTest::addColumn<int>("units");
        QTest::newRow("32766") << 32766;
        QTest::newRow("40000") << 40000;
        QTest::newRow("1M") << 1000000;
    }
    void extendedFormAboveBoundary()
    {
        QFETCH(int, units);
        const QString text = textOfUnits(units);
        const QByteArray frame = CShortFrame::encode(text);
        QCOMPARE(frame.size(), 2 + 4 + 4 + 2 * units);
        QCOMPARE(frame.left(2), QByteArray::fromHex("FFFF"));
        QCOMPARE(qFromBigEndian<quint32>(frame.constData() + 2), quint32(4 + 2 * units));
        QCOMPARE(qFromBigEndian<quint32>(frame.constData() + 6), quint32(2 * units));
        QString back;
        qsizetype consumed = 0;
        QVERIFY(CShortFrame::decode(frame + "tail", &back, &consumed));
        QCOMPARE(consumed, frame.size());
        QCOMPARE(back, text);
    }

    void readerFedOneByteAtATime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ack") << QStringLiteral("setChange:ok");
        QTest::newRow("empty") << QString("");
        QTest::newRow("boundary") << textOfUnits(32765);
        QTest::newRow("extended") << textOfUnits(32766);
    }
    void readerFedOneByteAtATime()
    {
        QFETCH(QString, text);
        const QByteArray frame = CShortFrame::encode(text) + QByteArray("\x01\x02", 2);
        CShortFrameReader reader;
        QByteArray buffer;
        qsizetype fed = 0;
        CShortFrameReader::Status status = CShortFrameReader::NeedMore;
        while (status == CShortFrameReader::NeedMore && fed < frame.size()) {
            buffer.append(frame.at(fed++));
            status = reader.readFrom(buffer);
            QVERIFY(buffer.isEmpty()); // every byte of the frame is taken as it comes
        }
        QCOMPARE(status, CShortFrameReader::Complete);
        QCOMPARE(fed, frame.size() - 2); // done exactly at the frame's last byte
        QCOMPARE(reader.text(), text);
        // Complete is sticky; bytes after the frame stay where they are.
        buffer = "\x01\x02";
        QCOMPARE(reader.readFrom(buffer), CShortFrameReader::Complete);
        QCOMPARE(buffer.size(), 2);
    }

    void readerOnDeviceLeavesFollowingBytes()
    {
        QByteArray data = legacyFrame(QStringLiteral("first")) + legacyFrame(QStringLiteral("second"));
        QBuffer device(&data);
        QVERIFY(device.open(QIODevice::ReadOnly));
        CShortFrameReader reader;
        QCOMPARE(reader.readFrom(&device), CShortFrameReader::Complete);
        QCOMPARE(reader.text(), QStringLiteral("first"));
        QCOMPARE(device.pos(), legacyFrame(QStringLiteral("first")).size());
        reader.reset();
        QCOMPARE(reader.readFrom(&device), CShortFrameReader::Complete);
        QCOMPARE(reader.text(), QStringLiteral("second"));
    }

    void refusedFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("extended count over the limit") << QByteArray::fromHex("FFFF04000001");
        QTest::newRow("count too short for a string") << QByteArray::fromHex("0002ABCD");
        QTest::newRow("string longer than its frame") << QByteArray::fromHex("000600000004AAAA");
        QTest::newRow("odd string length") << QByteArray::fromHex("000700000003AAAAAA");
        QTest::newRow("zero count") << QByteArray::fromHex("0000");
    }
    void refusedFrames()
    {
        QFETCH(QByteArray, bytes);
        CShortFrameReader reader;
        QCOMPARE(reader.readFrom(bytes), CShortFrameReader::Error);
        QVERIFY(!reader.errorString().isEmpty());
    }

    void nullStringReadsEmpty()
    {
        QByteArray bytes = QByteArray::fromHex("0004FFFFFFFF");
        CShortFrameReader reader;
        QCOMPARE(reader.readFrom(bytes), CShortFrameReader::Complete);
        QCOMPARE(reader.text(), QString());
    }

    void blockingReadOverSocket_data()
    {
        QTest::addColumn<int>("units");
        QTest::newRow("short") << 12;
        QTest::newRow("extended") << 200000;
    }
    void blockingReadOverSocket()
    {
        QFETCH(int, units);
        const QString text = textOfUnits(units);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(client.waitForConnected(10000));
        QVERIFY(server.waitForNewConnection(10000));
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(CShortFrame::write(&client, text));
        CShortFrameReader reader;
        QCOMPARE(reader.readBlocking(peer, 10000), CShortFrameReader::Complete);
        QCOMPARE(reader.text(), text);
    }

    void blockingReadEndsWhenPeerCloses()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(client.waitForConnected(10000));
        QVERIFY(server.waitForNewConnection(10000));
        QTcpSocket *peer = server.nextPendingConnection();
        client.write(CShortFrame::encode(QStringLiteral("cut short")).left(7));
        client.flush();
        client.disconnectFromHost();
        CShortFrameReader reader;
        QCOMPARE(reader.readBlocking(peer, 10000), CShortFrameReader::NeedMore);
    }
};

QTEST_MAIN(TestShortFrame)
#include "tst_shortframe.moc"
