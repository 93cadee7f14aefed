#include "ccommandframe.h"
#include "ccommandframereader.h"

#include <QBuffer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestCommandFrame : public QObject
{
    Q_OBJECT

private slots:
    void identityRequestBytes()
    {
        const QString header = QStringLiteral("getUUID:192.168.1.20");
        QCOMPARE(header.size(), 20);
        const QByteArray frame = CCommandFrame::encodeCommand(header);
        QCOMPARE(frame.size(), 26);
        QCOMPARE(frame.left(6),
            QByteArray::fromHex("00000016"
                                "0014"));
        QCOMPARE(frame.mid(6), QByteArray("getUUID:192.168.1.20"));
    }

    void filePushBytes()
    {
        const QByteArray payload("0123456789");
        const QString header = QStringLiteral("SWAPLETFILE:a.exe:");
        QCOMPARE(header.size(), 18);
        const QByteArray frame = CCommandFrame::encode(header, payload);
        QCOMPARE(frame.size(), 34);
        QCOMPARE(frame.left(6),
            QByteArray::fromHex("00000022"
                                "0012"));
        QCOMPARE(frame.mid(6, 18), header.toLatin1());
        QCOMPARE(frame.mid(24), payload);
        // The streamed form: the head alone, then the payload the sender writes itself.
        QCOMPARE(CCommandFrame::encodeHead(header, payload.size()) + payload, frame);
    }

    void emptyPayloadPush()
    {
        const QByteArray frame = CCommandFrame::encodeHead(QStringLiteral("SWAPLETFILE:x:"), 0);
        QCOMPARE(qFromBigEndian<qint32>(frame.constData()), qint32(14 + 6));
        CCommandFrameReader reader;
        QByteArray buffer = frame;
        QCOMPARE(reader.readHeader(buffer), CCommandFrameReader::Complete);
        QByteArray chunk("stale");
        QCOMPARE(reader.readPayload(buffer, &chunk), CCommandFrameReader::Complete);
        QVERIFY(chunk.isEmpty());
    }

    void headerOutsideLatin1BecomesQuestionMark()
    {
        const QString header = QStringLiteral("SWAPLETFILE:") + QString::fromUtf8("\xe4\xb8\xad.bin") + ":";
        const QByteArray frame = CCommandFrame::encodeCommand(header);
        QCOMPARE(qFromBigEndian<quint16>(frame.constData() + 4), quint16(header.size()));
        QCOMPARE(frame.mid(6), QByteArray("SWAPLETFILE:?.bin:"));
    }

    void encodersRefuseWhatDoesNotFit()
    {
        const QString header = QStringLiteral("SWAPLETFILE:a:"); // 14 characters
        QVERIFY(CCommandFrame::encodeCommand(QString(70000, QLatin1Char('a'))).isEmpty());
        QVERIFY(!CCommandFrame::encodeHead(header, 0x7FFFFFFF - 14 - 6).isEmpty());
        QVERIFY(CCommandFrame::encodeHead(header, 0x7FFFFFFF - 14 - 5).isEmpty());
        QVERIFY(CCommandFrame::encodeHead(header, -1).isEmpty());
    }

    void splitHeader_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("push") << QByteArray("SWAPLETFILE:a.bin:") << QStringList {"SWAPLETFILE", "a.bin", ""};
        QTest::newRow("request") << QByteArray("getUUID:10.0.0.1:x") << QStringList {"getUUID", "10.0.0.1", "x"};
        QTest::newRow("trimmed") << QByteArray(" \tgetUUID:1.2.3.4\r\n") << QStringList {"getUUID", "1.2.3.4"};
        QTest::newRow("no colon") << QByteArray("getUUID") << QStringList {"getUUID"};
    }
    void splitHeader()
    {
        QFETCH(QByteArray, header);
        QFETCH(QStringList, fields);
        QCOMPARE(CCommandFrame::splitHeader(header), fields);
    }

    void readerFedOneByteAtATime_data()
    {
        QTest::addColumn<int>("payloadSize");
        QTest::newRow("empty") << 0;
        QTest::newRow("small") << 10;
        QTest::newRow("several pieces") << 20000;
    }
    void readerFedOneByteAtATime()
    {
        QFETCH(int, payloadSize);
        QByteArray payload;
        for (int i = 0; i < payloadSize; ++i)
            payload.append(char(i * 7));
        const QByteArray frame = CCommandFrame::encode(QStringLiteral("SWAPLETFILE:f.bin:"), payload);
        const QByteArray next = CCommandFrame::encodeCommand(QStringLiteral("getUUID:1.1.1.1"));

        CCommandFrameReader reader;
        QByteArray buffer;
        QByteArray received;
        qsizetype fed = 0;
        bool complete = false;
        while (!complete) {
            QVERIFY(fed < frame.size() + next.size());
            buffer.append((frame + next).at(fed++));
            if (!reader.isHeaderRead()) {
                const auto status = reader.readHeader(buffer);
                QVERIFY(status != CCommandFrameReader::Error);
                if (status == CCommandFrameReader::NeedMore)
                    continue;
                QCOMPARE(reader.fields(), (QStringList {"SWAPLETFILE", "f.bin", ""}));
                QCOMPARE(reader.payloadSize(), qint64(payloadSize));
            }
            QByteArray chunk;
            const auto status = reader.readPayload(buffer, &chunk);
            QVERIFY(chunk.size() <= 1);
            received += chunk;
            complete = status == CCommandFrameReader::Complete;
        }
        QCOMPARE(fed, frame.size());
        QCOMPARE(received, payload);
        QVERIFY(reader.isPayloadComplete());
        // The next frame's bytes are not taken.
        buffer = next;
        QByteArray chunk;
        QCOMPARE(reader.readPayload(buffer, &chunk), CCommandFrameReader::Complete);
        QCOMPARE(buffer, next);
    }

    void identityRequestHeaderOnly()
    {
        QByteArray data = CCommandFrame::encodeCommand(QStringLiteral("getUUID:10.1.2.3"));
        QBuffer device(&data);
        QVERIFY(device.open(QIODevice::ReadOnly));
        CCommandFrameReader reader;
        QCOMPARE(reader.readHeader(&device), CCommandFrameReader::Complete);
        QCOMPARE(reader.total(), qint32(16 + 2));
        QCOMPARE(reader.headerLength(), quint16(16));
        QCOMPARE(reader.fields(), (QStringList {"getUUID", "10.1.2.3"}));
        QVERIFY(reader.payloadSize() < 0);
        QByteArray chunk;
        QCOMPARE(reader.readPayload(&device, &chunk), CCommandFrameReader::Error); // nothing to size it by
    }

    void payloadReadInArrivals()
    {
        const QByteArray payload(50000, 'z');
        QByteArray data = CCommandFrame::encode(QStringLiteral("SWAPLETFILE:big:"), payload) + "AFTER";
        CCommandFrameReader reader;
        QByteArray buffer = data.left(10);
        QCOMPARE(reader.readHeader(buffer), CCommandFrameReader::NeedMore);
        buffer.append(data.mid(10, 20000));
        QCOMPARE(reader.readHeader(buffer), CCommandFrameReader::Complete);
        QByteArray chunk;
        QCOMPARE(reader.readPayload(buffer, &chunk), CCommandFrameReader::NeedMore);
        QByteArray got = chunk;
        QCOMPARE(reader.remaining(), qint64(payload.size() - got.size()));
        buffer.append(data.mid(20010));
        QCOMPARE(reader.readPayload(buffer, &chunk), CCommandFrameReader::Complete);
        got += chunk;
        QCOMPARE(got, payload);
        QCOMPARE(buffer, QByteArray("AFTER"));
    }

    void resetStartsANewFrame()
    {
        QByteArray buffer = CCommandFrame::encodeCommand(QStringLiteral("getUUID:a"))
            + CCommandFrame::encodeCommand(QStringLiteral("other:b"));
        CCommandFrameReader reader;
        QCOMPARE(reader.readHeader(buffer), CCommandFrameReader::Complete);
        reader.reset();
        QVERIFY(!reader.isHeaderRead());
        QCOMPARE(reader.readHeader(buffer), CCommandFrameReader::Complete);
        QCOMPARE(reader.fields().first(), QStringLiteral("other"));
        QVERIFY(buffer.isEmpty());
    }
    void eventDrivenReceiverOverSocket()
    {
        // The agent's way: readyRead drives the reader; the push arrives in pieces and is followed by
        // a second frame that must stay unread.
        QByteArray payload;
        for (int i = 0; i < 30000; ++i)
            payload.append(char(i % 251));
        const QByteArray push = CCommandFrame::encode(QStringLiteral("SWAPLETFILE:f.bin:"), payload);
        const QByteArray second = CCommandFrame::encode(QStringLiteral("SWAPLETFILE:g.bin:"), "zz");

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket sender;
        sender.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(sender.waitForConnected(10000));
        QVERIFY(server.waitForNewConnection(10000));
        QTcpSocket *receiver = server.nextPendingConnection();

        CCommandFrameReader reader;
        QStringList fields;
        QByteArray received;
        bool complete = false;
        connect(receiver, &QTcpSocket::readyRead, this, [&] {
            if (complete)
                return;
            if (!reader.isHeaderRead()) {
                if (reader.readHeader(receiver) != CCommandFrameReader::Complete)
                    return;
                fields = reader.fields();
            }
            QByteArray chunk;
            complete = reader.readPayload(receiver, &chunk) == CCommandFrameReader::Complete;
            received += chunk;
        });

        const QByteArray all = push + second;
        const QList<qsizetype> cuts {3, 5, 9, 24, 1000, 8192, 20000, all.size()};
        qsizetype at = 0;
        for (qsizetype cut : cuts) {
            sender.write(all.mid(at, cut - at));
            sender.flush();
            at = cut;
            QVERIFY(sender.waitForBytesWritten(10000) || sender.bytesToWrite() == 0);
            QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(complete, 10000);
        QCOMPARE(fields, (QStringList {"SWAPLETFILE", "f.bin", ""}));
        QCOMPARE(received, payload);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->bytesAvailable(), qint64(second.size()), 10000);
    }
};

QTEST_MAIN(TestCommandFrame)
#include "tst_commandframe.moc"
