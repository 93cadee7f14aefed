#include "serverfixture.h"

#include "cfileguard.h"
#include "cmessages.h"
#include "crawpeer.h"
#include "ctestmemory.h"
#include "ctestxml.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <ctime>
#include <memory>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
const QString uuidA = QStringLiteral("{6f1c1f0e-2b9a-4c39-9d7e-1a2b3c4d5e6f}");
const QString rowA = QStringLiteral("Name=Intel(R) Core(TM) i7 CPU\nNumberOfCores=4\n");
const QString rowB = QStringLiteral("Name=AMD Ryzen 7\nNumberOfCores=8\n");

QStringList contents(const QString &path, const QString &cls)
{
    QStringList out;
    const QDomDocument doc = CTestXml::load(path);
    const QDomElement c = doc.documentElement().firstChildElement(cls);
    for (QDomElement e = c.firstChildElement(QStringLiteral("content")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("content")))
        out << e.text();
    return out;
}

struct Push
{
    QString header;
    QByteArray payload;
};

// File pushes as they arrive: total (32-bit), header length (16-bit), header, payload.
bool parsePushes(QByteArray bytes, QList<Push> *out)
{
    while (!bytes.isEmpty()) {
        if (bytes.size() < 6)
            return false;
        const qint32 total = qFromBigEndian<qint32>(bytes.constData());
        const quint16 len = qFromBigEndian<quint16>(bytes.constData() + 4);
        if (total < 6 + len || bytes.size() < total)
            return false;
        out->append(Push {QString::fromLatin1(bytes.mid(6, len)), bytes.mid(6 + len, total - 6 - len)});
        bytes.remove(0, total);
    }
    return true;
}

// An inventory file as the console leaves it, with rows Software packages.
QByteArray inventoryWithSoftware(int rows)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig lastupdate=\"May 4 2026 10:00:00\">\n"
                     "    <CPU lastupdate=\"May 4 2026 10:00:00\">\n"
                     "        <content digest=\"Intel(R) Core(TM) i7 CPU\">Name=Intel(R) Core(TM) i7 CPU\n</content>\n"
                     "    </CPU>\n    <Software lastupdate=\"May 4 2026 10:00:00\">\n";
    for (int i = 0; i < rows; ++i) {
        const QByteArray caption = "Package " + QByteArray::number(i) + " with a long descriptive name";
        xml += "        <content digest=\"" + caption + "\">Caption=" + caption + "\nVendor=Vendor "
            + QByteArray::number(i % 37) + "\nVersion=1." + QByteArray::number(i)
            + "\nInstallDate=20090713\n</content>\n";
    }
    xml += "    </Software>\n</pcconfig>\n";
    return xml;
}

// Minor and major page faults of a process so far, from /proc.
qint64 pageFaults(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return f.size() > 9 ? f.at(7).toLongLong() + f.at(9).toLongLong() : -1;
}

// Sends one notice per socket, all at once, and waits for every acknowledgement.
bool noticeRound(const QStringList &uuids, int round)
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < uuids.size(); ++i) {
        sockets.emplace_back(new QTcpSocket);
        sockets.back()->connectToHost("127.0.0.1", 2210);
    }
    for (int i = 0; i < uuids.size(); ++i) {
        if (!sockets[i]->waitForConnected(5000))
            return false;
        sockets[i]->write(ServerFixture::frame(CMessages::buildChangeNotice(uuids[i],
            {QStringLiteral("Software$add$Caption=Round %1 of %2\n").arg(round).arg(i),
                QStringLiteral("Software$add$Caption=Round %1 of %2, second\n").arg(round).arg(i)})));
        sockets[i]->flush();
    }
    for (auto &s : sockets) {
        if (!CTestEnvironment::waitFor([&] {
                s->waitForReadyRead(20);
                return s->bytesAvailable() >= 30;
            }))
            return false;
    }
    return true;
}

// The service's stop lets running work finish for 10 s, then ends what is left within 2 s.
const qint64 stopBoundMs = 12000;

// Stops the installed service ("-t") and waits for its process to end: the milliseconds that took,
// -1 when it still ran a minute later (it is then killed). exitCode receives that of "-t".
qint64 stopService(ServerFixture &f, qint64 pid, int *exitCode)
{
    QElapsedTimer clock;
    clock.start();
    QProcess stop;
    stop.setProcessEnvironment(f.processEnvironment());
    stop.start(f.file("BramixServer"), {"-t"});
    if (!stop.waitForStarted(10000))
        return -1;
    const bool ended = CTestEnvironment::waitFor([&] { return !ServerFixture::processAlive(pid); }, 60000);
    const qint64 ms = clock.elapsed();
    if (!ended)
        ::kill(pid_t(pid), SIGKILL);
    // "-t" may have ended already; it gives up waiting for the stop after 2 s.
    if (stop.state() != QProcess::NotRunning)
        stop.waitForFinished(20000);
    *exitCode = stop.exitCode();
    return ended ? ms : -1;
}

// A one-row "Software" notice sent on a connection of its own, answered (or not) later.
struct Sent
{
    std::unique_ptr<QTcpSocket> socket;
    QString row;
    QByteArray reply;
    int answer = 0; // the rank of its acknowledgement among those seen, 0 while none came
};

Sent sendNotice(const QString &uuid, const QString &row)
{
    Sent s;
    s.socket = std::make_unique<QTcpSocket>();
    s.row = row;
    s.socket->connectToHost("127.0.0.1", 2210);
    if (s.socket->waitForConnected(5000)) {
        s.socket->write(ServerFixture::frame(CMessages::buildChangeNotice(uuid, {"Software$add$" + row})));
        s.socket->waitForBytesWritten(5000);
    }
    return s;
}

// Reads what has come on each connection; acknowledgements are ranked in the order they are seen.
void collect(const std::vector<Sent *> &sent, int *rank)
{
    for (Sent *s : sent) {
        if (s->socket->state() == QAbstractSocket::ConnectedState)
            s->socket->waitForReadyRead(5);
        s->reply += s->socket->readAll();
        if (s->answer == 0 && s->reply.size() >= 30)
            s->answer = ++*rank;
    }
}

// Whether the process has a file of that name open.
bool holdsOpen(qint64 pid, const QString &name)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().endsWith(QLatin1Char('/') + name))
            return true;
    }
    return false;
}
} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    // One "add" item from a listed client: stored with its digest and a record, the flag turns to
    // "no", and the acknowledgement is exactly these 30 bytes.
    void changeNoticeIsStoredAndAcknowledged()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        QVERIFY(f.startConsole());

        bool closed = false;
        const QByteArray reply = ServerFixture::exchange(
            ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {QStringLiteral("CPU$add$") + rowA})), &closed);
        QCOMPARE(reply.toHex(' '),
            QByteArray("00 1c 00 00 00 18 00 73 00 65 00 74 00 43 00 68 00 61 00 6e 00 67 00 65 00 3a 00 6f 00 6b"));
        QVERIFY(closed);

        const QString inventory = f.file(uuidA + ".xml");
        QCOMPARE(contents(inventory, "CPU"), QStringList {rowA});
        const QDomDocument doc = CTestXml::load(inventory);
        const QDomElement cpu = doc.documentElement().firstChildElement("CPU");
        QCOMPARE(cpu.firstChildElement("content").attribute("digest"), QStringLiteral("Intel(R) Core(TM) i7 CPU"));
        const QDomElement record = cpu.firstChildElement("changelog").firstChildElement("record");
        QCOMPARE(record.attribute("type"), QStringLiteral("add"));
        QCOMPARE(record.attribute("notice"), QStringLiteral("no"));
        QCOMPARE(record.text(), rowA);
        QVERIFY(!cpu.attribute("lastupdate").isEmpty());
        QVERIFY(!doc.documentElement().attribute("lastupdate").isEmpty());
        QCOMPARE(CTestXml::noticeOf(f.file("list.xml"), uuidA), QStringLiteral("no"));

        // The event log holds the one start record.
        QCOMPARE(f.eventLog(), QStringList {"success service binding ok!"});
    }

    // Only the text before a second ":" is applied; a removal takes the row out again.
    void secondColonAndRemove()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        QVERIFY(f.startConsole());
        const QString text
            = CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA, "CPU$add$" + rowB}) + ":CPU$add$Name=Ignored\n";
        QCOMPARE(ServerFixture::exchange(ServerFixture::frame(text)).size(), 30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), (QStringList {rowA, rowB}));

        QCOMPARE(
            ServerFixture::exchange(ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$remove$" + rowA})))
                .size(),
            30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList {rowB});
    }

    // Requests that must get no reply and change no file.
    void unansweredRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("listed"); // uuidA in list.xml
        QTest::addColumn<QByteArray>("inventory"); // content of uuidA's file; "-" for none
        const QString item = "CPU$add$" + rowA;
        QTest::newRow("empty notice") << ServerFixture::frame("changelog:") << true << QByteArray("template");
        QTest::newRow("changelog without colon") << ServerFixture::frame("changelog") << true << QByteArray("template");
        QTest::newRow("update with three fields")
            << ServerFixture::frame("update:2.1.1:1") << true << QByteArray("template");
        QTest::newRow("other keyword") << ServerFixture::frame("hello:" + uuidA) << true << QByteArray("template");
        QTest::newRow("empty text") << ServerFixture::frame(QString()) << true << QByteArray("template");
        QTest::newRow("path in uuid") << ServerFixture::frame(CMessages::buildChangeNotice("../" + uuidA, {item}))
                                      << true << QByteArray("template");
        QTest::newRow("uuid with slash") << ServerFixture::frame(CMessages::buildChangeNotice("{a}/x", {item})) << true
                                         << QByteArray("template");
        QTest::newRow("broken inventory file") << ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {item}))
                                               << true << QByteArray("<pcconfig><CPU>");
        // A count that ends before the string does (a text too long for the 16-bit count).
        QByteArray shortCount = ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {item}));
        shortCount[0] = 0;
        shortCount[1] = 8;
        QTest::newRow("count below the string") << shortCount << true << QByteArray("template");
        // A count larger than the frame that follows: the text never arrives.
        QTest::newRow("cut frame") << ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {item})).left(20) << true
                                   << QByteArray("template");
    }
    void unansweredRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, listed);
        QFETCH(QByteArray, inventory);
        ServerFixture f;
        QVERIFY(f.isValid());
        f.setEnv("BRAMIX_TEST_SERVER_WAIT_MS", "300");
        if (listed)
            QVERIFY(f.addClient(uuidA, false));
        if (inventory == "template")
            QVERIFY(QFile::copy(f.file("configtempl.xml"), f.file(uuidA + ".xml")));
        else if (inventory != "-")
            QVERIFY(CTestEnvironment::writeFile(f.file(uuidA + ".xml"), inventory));
        QVERIFY(f.startConsole());

        QMap<QString, QByteArray> before;
        const QStringList names = QDir(f.dir()).entryList(QDir::Files);
        for (const QString &n : names)
            before[n] = CTestEnvironment::readFile(f.file(n));

        bool closed = false;
        QCOMPARE(ServerFixture::exchange(request, &closed), QByteArray());
        QVERIFY(closed);
        // The store's lock files beside the files it locked are no change of content.
        QStringList after = QDir(f.dir()).entryList(QDir::Files);
        after.removeIf([&](const QString &n) { return n.endsWith(".lock") && !names.contains(n); });
        QCOMPARE(after, names);
        for (const QString &n : names)
            QVERIFY2(CTestEnvironment::readFile(f.file(n)) == before[n], qPrintable(n));
        QVERIFY(!QFileInfo::exists(f.dir() + "/../" + uuidA + ".xml"));
    }

    // A client without an inventory file yet (missing or empty): the notice is acknowledged and
    // nothing is stored, since the console's fill from a live identity answer holds the changes.
    void noticeWithoutInventory_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QByteArray>("inventory"); // "-" for no file
        QTest::newRow("listed, no file") << true << QByteArray("-");
        QTest::newRow("unlisted, no file") << false << QByteArray("-");
        QTest::newRow("listed, empty file") << true << QByteArray("");
    }
    void noticeWithoutInventory()
    {
        QFETCH(bool, listed);
        QFETCH(QByteArray, inventory);
        ServerFixture f;
        QVERIFY(f.isValid());
        if (listed)
            QVERIFY(f.addClient(uuidA, false));
        if (inventory != "-")
            QVERIFY(CTestEnvironment::writeFile(f.file(uuidA + ".xml"), inventory));
        const QByteArray listBefore = CTestEnvironment::readFile(f.file("list.xml"));
        QVERIFY(f.startConsole());

        bool closed = false;
        QCOMPARE(ServerFixture::exchange(
                     ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA})), &closed)
                     .size(),
            30);
        QVERIFY(closed);
        QCOMPARE(QFileInfo::exists(f.file(uuidA + ".xml")), inventory != "-");
        if (inventory != "-")
            QCOMPARE(CTestEnvironment::readFile(f.file(uuidA + ".xml")), inventory);
        if (listed)
            QCOMPARE(CTestXml::noticeOf(f.file("list.xml"), uuidA), QStringLiteral("no"));
        else
            QCOMPARE(CTestEnvironment::readFile(f.file("list.xml")), listBefore);
    }

    // A peer that connects and sends nothing, or stops in the middle of a frame: its worker ends
    // after the wait (shortened here) and closes the connection without a reply.
    void idlePeerIsDropped_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("one byte") << QByteArray(1, '\0');
        QTest::newRow("count only")
            << ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA})).left(2);
    }
    void idlePeerIsDropped()
    {
        QFETCH(QByteArray, sent);
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        f.setEnv("BRAMIX_TEST_SERVER_WAIT_MS", "300");
        QVERIFY(f.startConsole());
        bool closed = false;
        QCOMPARE(ServerFixture::exchange(sent, &closed, 20000), QByteArray());
        QVERIFY(closed);
        QCOMPARE(CTestXml::noticeOf(f.file("list.xml"), uuidA), QStringLiteral("yes"));
    }

    // A peer that sends a byte within every wait still loses its worker at the overall deadline.
    void tricklingPeerMeetsDeadline()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        f.setEnv("BRAMIX_TEST_SERVER_WAIT_MS", "2000");
        f.setEnv("BRAMIX_TEST_SERVER_DEADLINE_MS", "1000");
        QVERIFY(f.startConsole());
        const QByteArray request = ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA}));
        QTcpSocket s;
        s.connectToHost("127.0.0.1", 2210);
        QVERIFY(s.waitForConnected(5000));
        int sent = 0;
        while (sent < request.size() && s.state() == QAbstractSocket::ConnectedState) {
            s.write(request.mid(sent, 1));
            s.waitForBytesWritten(1000);
            ++sent;
            s.waitForReadyRead(100); // also notices the server's close
        }
        QVERIFY2(sent < request.size(), "the whole request went through");
        QVERIFY(s.state() != QAbstractSocket::ConnectedState || s.waitForDisconnected(10000));
        QCOMPARE(s.readAll(), QByteArray());
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList());
    }

    // Update checks: the client's version is compared with the published one as plain text; the
    // list of the client's platform is pushed on the same connection after an "auto" record.
    void updateCheck_data()
    {
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("published");
        QTest::addColumn<QStringList>("windows"); // file names in the server directory
        QTest::addColumn<QStringList>("linuxFiles");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QString>("recordIp");
        QTest::addColumn<QStringList>("pushed"); // file names expected on the wire, in order
        const QString label = "host(10.0.0.7)";
        QTest::newRow("newer, windows") << "update:2.1.20090713:1:" + label << "2.1.20090715" << QStringList {"w1.exe"}
                                        << QStringList {"l1"} << true << label << QStringList {"w1.exe"};
        QTest::newRow("two files") << "update:2.1.20090713:1:" + label << "2.1.20090715"
                                   << QStringList {"w1.exe", "w2.dll"} << QStringList() << true << label
                                   << QStringList {"w1.exe", "w2.dll"};
        QTest::newRow("newer, linux") << "update:2.1.20090713:2:" + label << "2.1.20090715" << QStringList {"w1.exe"}
                                      << QStringList {"l1"} << true << label << QStringList {"l1"};
        QTest::newRow("same version") << "update:2.1.20090713:1:" + label << "2.1.20090713" << QStringList {"w1.exe"}
                                      << QStringList() << false << QString() << QStringList();
        QTest::newRow("text order, 9 after 1") << "update:2.1.9:1:" + label << "2.1.10" << QStringList {"w1.exe"}
                                               << QStringList() << false << QString() << QStringList();
        QTest::newRow("prefix sorts first") << "update:2.1:1:" + label << "2.1.0" << QStringList {"w1.exe"}
                                            << QStringList() << true << label << QStringList {"w1.exe"};
        QTest::newRow("no files published") << "update:2.1.20090713:1:" + label << "2.1.20090715" << QStringList()
                                            << QStringList() << false << QString() << QStringList();
        QTest::newRow("windows client, only linux list")
            << "update:2.1.20090713:1:" + label << "2.1.20090715" << QStringList() << QStringList {"l1"} << true
            << label << QStringList();
        QTest::newRow("unknown platform")
            << "update:2.1.20090713:3:" + label << "2.1.20090715" << QStringList {"w1.exe"} << QStringList {"l1"}
            << true << label << QStringList();
        QTest::newRow("ipv6 label") << "update:2.1.20090713:1:host(fe80::1)"
                                    << "2.1.20090715" << QStringList {"w1.exe"} << QStringList() << true << "host(fe80"
                                    << QStringList {"w1.exe"};
        // A listed file that cannot be read never reaches the client, not even as an empty file.
        QTest::newRow("missing file") << "update:2.1.20090713:1:" + label << "2.1.20090715" << QStringList {"gone.exe"}
                                      << QStringList() << true << label << QStringList();
    }
    void updateCheck()
    {
        QFETCH(QString, check);
        QFETCH(QString, published);
        QFETCH(QStringList, windows);
        QFETCH(QStringList, linuxFiles);
        QFETCH(bool, recorded);
        QFETCH(QString, recordIp);
        QFETCH(QStringList, pushed);
        ServerFixture f;
        QVERIFY(f.isValid());
        QMap<QString, QByteArray> data;
        const QString updates = f.env().filePath("updates");
        QDir().mkpath(updates);
        auto fileList = [&](const QStringList &names) {
            QByteArray xml;
            for (const QString &n : names) {
                const QByteArray content = "content of " + n.toUtf8() + QByteArray(9000, char('a' + data.size()));
                data[n] = content;
                if (n != "gone.exe")
                    CTestEnvironment::writeFile(updates + "/" + n, content);
                xml += "    <file>" + (updates + "/" + n).toUtf8() + "</file>\n";
            }
            return xml;
        };
        const QByteArray uplist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist>\n  <windows>\n"
            + fileList(windows) + "  </windows>\n  <linux>\n" + fileList(linuxFiles) + "  </linux>\n  <version>"
            + published.toUtf8() + "</version>\n  <setdate>12 10 2026 09:00:00</setdate>\n</uplist>\n";
        QVERIFY(CTestEnvironment::writeFile(f.file("uplist.xml"), uplist));
        QVERIFY(f.startConsole());

        bool closed = false;
        const QByteArray reply = ServerFixture::exchange(ServerFixture::frame(check), &closed);
        QVERIFY(closed);
        QList<Push> pushes;
        QVERIFY(parsePushes(reply, &pushes));
        QCOMPARE(pushes.size(), pushed.size());
        for (int i = 0; i < pushed.size(); ++i) {
            QCOMPARE(pushes.at(i).header, "SWAPLETFILE:" + pushed.at(i) + ":");
            QCOMPARE(pushes.at(i).payload, data.value(pushed.at(i)));
        }

        const QDomDocument doc = CTestXml::load(f.file("updateLog.xml"));
        const QDomElement root = doc.documentElement();
        QCOMPARE(root.tagName(), QStringLiteral("log"));
        const QDomElement record = root.firstChildElement("record");
        QCOMPARE(!record.isNull(), recorded);
        if (!recorded)
            return;
        QVERIFY(record.nextSiblingElement("record").isNull());
        QCOMPARE(record.firstChildElement("ip").text(), recordIp);
        QCOMPARE(record.firstChildElement("type").text(), QStringLiteral("auto"));
        QCOMPARE(record.firstChildElement("oldVersion").text(), check.section(':', 1, 1));
        QCOMPARE(record.firstChildElement("newVersion").text(), published);
        QStringList files;
        const QStringList chosen = check.section(':', 2, 2) == "1" && !windows.isEmpty() ? windows
            : check.section(':', 2, 2) == "2" && !linuxFiles.isEmpty()                   ? linuxFiles
                                                                                         : QStringList();
        for (QDomElement e = record.firstChildElement("files").firstChildElement("file"); !e.isNull();
             e = e.nextSiblingElement("file"))
            files << e.text();
        QStringList expected;
        for (const QString &n : chosen)
            expected << updates + "/" + n;
        QCOMPARE(files, expected);
    }

    // A client whose version still sorts first gets the files again, with a new record, each time.
    void repeatedUpdateCheck()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        const QString file = f.env().filePath("BramixClient");
        QVERIFY(CTestEnvironment::writeFile(file, "new client"));
        QVERIFY(CTestEnvironment::writeFile(f.file("uplist.xml"),
            "<uplist><windows><file>" + file.toUtf8()
                + "</file></windows><linux/><version>2.1.20090715</version></uplist>"));
        QVERIFY(f.startConsole());
        for (int i = 0; i < 2; ++i) {
            QList<Push> pushes;
            QVERIFY(parsePushes(
                ServerFixture::exchange(ServerFixture::frame("update:2.1.20090713:1:h(1.2.3.4)")), &pushes));
            QCOMPARE(pushes.size(), 1);
            QCOMPARE(pushes.at(0).payload, QByteArray("new client"));
        }
        const QDomDocument doc = CTestXml::load(f.file("updateLog.xml"));
        QDomElement r = doc.documentElement().firstChildElement("record");
        QVERIFY(!r.isNull());
        QVERIFY(!r.nextSiblingElement("record").isNull());
    }

    // Only the first request of a connection is served.
    void twoRequestsInOneConnection()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        QVERIFY(f.startConsole());
        const QByteArray two = ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA}))
            + ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowB}));
        QCOMPARE(ServerFixture::exchange(two).size(), 30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList {rowA});
    }

    // Fifty clients at once: each has a worker of its own at the same moment (the last to connect is
    // served while the other 49 still hold their connections open), and every notice is stored.
    void fiftyClientsAtOnce()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QStringList uuids;
        for (int i = 0; i < 50; ++i) {
            uuids << QStringLiteral("{00000000-0000-0000-0000-%1}").arg(i, 12, 10, QLatin1Char('0'));
            QVERIFY(f.addClient(uuids.last()));
        }
        QVERIFY(f.startConsole());
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 50; ++i) {
            sockets.emplace_back(new QTcpSocket);
            sockets.back()->connectToHost("127.0.0.1", 2210);
        }
        for (auto &s : sockets)
            QVERIFY(s->waitForConnected(5000));
        auto send = [&](int i) {
            sockets[i]->write(ServerFixture::frame(
                CMessages::buildChangeNotice(uuids[i], {"CPU$add$Name=cpu " + QString::number(i) + "\n"})));
            sockets[i]->flush();
        };
        send(49);
        QVERIFY(CTestEnvironment::waitFor([&] {
            sockets[49]->waitForReadyRead(20);
            return sockets[49]->bytesAvailable() >= 30;
        }));
        for (int i = 0; i < 49; ++i)
            send(i);
        for (int i = 0; i < 49; ++i) {
            QVERIFY(CTestEnvironment::waitFor([&] {
                sockets[i]->waitForReadyRead(20);
                return sockets[i]->bytesAvailable() >= 30;
            }));
            QCOMPARE(sockets[i]->readAll().size(), 30);
        }
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(contents(f.file(uuids[i] + ".xml"), "CPU"), QStringList {"Name=cpu " + QString::number(i) + "\n"});
            QCOMPARE(CTestXml::noticeOf(f.file("list.xml"), uuids[i]), QStringLiteral("no"));
        }
    }

    // Notices at real inventory sizes, many at once: the server keeps the memory a notice needs for
    // the next one instead of handing it back to the kernel and faulting it in again. Each notice
    // reads, parses and writes a file of some hundred kilobytes; taking that memory afresh costs
    // hundreds of page faults a notice, reusing it a few.
    void noticesReuseTheirMemory_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("firstNotice");
        QTest::newRow("300 rows") << 300 << false;
        QTest::newRow("1500 rows") << 1500 << false;
        QTest::newRow("1500 rows, first notice of each client") << 1500 << true;
    }

    void noticesReuseTheirMemory()
    {
        QFETCH(int, rows);
        QFETCH(bool, firstNotice);
        ServerFixture f;
        QVERIFY(f.isValid());
        const int clients = 48;
        QStringList uuids;
        for (int i = 0; i < clients; ++i) {
            uuids << QStringLiteral("{00000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0'));
            QVERIFY(f.addClient(uuids.last(), false));
            QVERIFY(CTestEnvironment::writeFile(f.file(uuids.last() + ".xml"), inventoryWithSoftware(rows)));
        }
        if (!firstNotice) {
            QByteArray list = CTestEnvironment::readFile(f.file("list.xml"));
            list.replace("notice=\"yes\"", "notice=\"no\"");
            QVERIFY(CTestEnvironment::writeFile(f.file("list.xml"), list));
        }
        QVERIFY(f.startConsole());
        // A first round settles what every worker needs.
        QVERIFY(noticeRound(uuids, 0));
        const qint64 before = pageFaults(f.process().processId());
        QVERIFY(before >= 0);
        const int rounds = 6;
        for (int r = 1; r <= rounds; ++r)
            QVERIFY(noticeRound(uuids, r));
        const double perNotice = double(pageFaults(f.process().processId()) - before) / (rounds * clients);
        qInfo("%.1f page faults per notice", perNotice);
        // A sanitizer build's server takes its memory from the sanitizer's allocator, not the C
        // library's, so its faults say nothing of ours.
        if (CTestMemory::figuresMean)
            QVERIFY2(perNotice < 40, qPrintable(QStringLiteral("%1 page faults per notice").arg(perNotice)));
        const QStringList stored = contents(f.file(uuids.first() + ".xml"), "Software");
        QCOMPARE(stored.size(), rows + 2 * (rounds + 1));
        QCOMPARE(stored.last(), QStringLiteral("Caption=Round %1 of 0, second\n").arg(rounds));
    }

    // A server killed while it replaced a file leaves the temporary file the replacement was written
    // to ("<file>.XXXXXX", six letters) beside the store's files. The next start removes such files
    // of the application directory once they are older than any replacement still in progress could
    // be; nothing else is touched.
    void staleTemporariesRemovedAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("removed");
        QTest::newRow("old temporary of list.xml") << ".list.xml.QkTbWz3aY9Lm.bramix-new" << 600 << true;
        QTest::newRow("old temporary of a client file")
            << "." + uuidA + ".xml.aZyXwV0123Ab.bramix-new" << 86400 << true;
        QTest::newRow("fresh temporary") << ".list.xml.QkTbWz3aY9Lm.bramix-new" << 5 << false;
        QTest::newRow("temporary younger than five minutes")
            << ".updateLog.xml.MnOpQr456789.bramix-new" << 240 << false;
        QTest::newRow("set-aside client file") << uuidA + ".xml.broken" << 3600 << false;
        QTest::newRow("second set-aside client file") << uuidA + ".xml.2.broken" << 3600 << false;
        QTest::newRow("administrator's backup") << "list.xml.backup" << 3600 << false;
        QTest::newRow("six letters after the name") << "list.xml.QkTbWz" << 600 << false;
        QTest::newRow("digits in the suffix") << "list.xml.Qk1bW2" << 600 << false;
        QTest::newRow("five letters") << "list.xml.QkTbW" << 600 << false;
        QTest::newRow("seven letters") << "list.xml.QkTbWzA" << 600 << false;
        QTest::newRow("not of an XML file") << "notes.txt.QkTbWz" << 600 << false;
        QTest::newRow("no name before the suffix") << ".xml.QkTbWz" << 600 << false;
        QTest::newRow("a store file") << "uplist.xml" << 600 << false;
        QTest::newRow("in a subdirectory") << "backup/list.xml.QkTbWz" << 600 << false;
        QTest::newRow("a directory") << "list.xml.DirDir/" << 600 << false;
    }

    void staleTemporariesRemovedAtStart()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, removed);
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        const bool isDir = name.endsWith(QLatin1Char('/'));
        const QString path = f.file(isDir ? name.chopped(1) : name);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (isDir)
            QVERIFY(QDir().mkpath(path));
        else if (!QFile::exists(path))
            QVERIFY(CTestEnvironment::writeFile(path, "<?xml version=\"1.0\"?>\n<pclist/>\n"));
        const QByteArray before = isDir ? QByteArray() : CTestEnvironment::readFile(path);
        timespec times[2] {};
        times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - ageSeconds;
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
        QVERIFY(f.startConsole());
        QCOMPARE(QFileInfo::exists(path), !removed);
        if (!removed && !isDir)
            QCOMPARE(CTestEnvironment::readFile(path), before);
        // The store's own files are all still there.
        for (const QString &file : {QStringLiteral("list.xml"), uuidA + ".xml", QStringLiteral("uplist.xml"),
                 QStringLiteral("updateLog.xml"), QStringLiteral("configtempl.xml")})
            QVERIFY2(QFileInfo::exists(f.file(file)), qPrintable(file));
    }

    // A client that asks for an update and then reads nothing, or too slowly to take its file in
    // time, loses its push, and so the push pool's only worker (one here): at the no-progress
    // deadline, or at the push deadline (each shortened in its row, the other left far beyond the
    // wait here). The server ends the connection, and the next client gets its update.
    void stalledPushMeetsDeadline_data()
    {
        QTest::addColumn<QString>("stallMs"); // no byte taken for this long ends a push; "" as shipped
        QTest::addColumn<QString>("deadlineMs"); // a push's deadline is five times this; "" as shipped
        QTest::addColumn<int>("readEveryMs"); // the client reads what has come so often; 0: never
        QTest::newRow("no progress") << "1000"
                                     << "" << 0;
        QTest::newRow("slow progress") << ""
                                       << "1000" << 300;
    }
    void stalledPushMeetsDeadline()
    {
        QFETCH(QString, stallMs);
        QFETCH(QString, deadlineMs);
        QFETCH(int, readEveryMs);
        ServerFixture f;
        QVERIFY(f.isValid());
        f.setEnv("BRAMIX_TEST_SERVER_MAX_PUSHES", "1");
        if (!stallMs.isEmpty())
            f.setEnv("BRAMIX_TEST_PUSH_STALL_MS", stallMs);
        if (!deadlineMs.isEmpty())
            f.setEnv("BRAMIX_TEST_SERVER_DEADLINE_MS", deadlineMs);
        // Far more than the socket buffers take for Windows clients; a small file for Linux ones.
        const QString big = f.env().filePath("BramixClient");
        const QString small = f.env().filePath("bramix-client");
        QVERIFY(CTestEnvironment::writeFile(big, QByteArray(64 * 1024 * 1024, 'x')));
        QVERIFY(CTestEnvironment::writeFile(small, "small client"));
        QVERIFY(CTestEnvironment::writeFile(f.file("uplist.xml"),
            "<uplist><windows><file>" + big.toUtf8() + "</file></windows><linux><file>" + small.toUtf8()
                + "</file></linux><version>2.1.20090715</version></uplist>"));
        QVERIFY(f.startConsole());

        CRawPeer stalled(4096);
        QVERIFY(stalled.connectTo(CMessages::ServerPort));
        QVERIFY(stalled.sendAll(ServerFixture::frame("update:2.1.20090713:1:h(192.0.2.9)"), 5000));
        // Well under the deadline this row leaves as shipped (30 s without progress, 10 minutes).
        const QDeadlineTimer giveUp(20000);
        while (!stalled.remoteClosed() && !giveUp.hasExpired()) {
            QThread::msleep(readEveryMs > 0 ? readEveryMs : 50);
            if (readEveryMs > 0)
                stalled.poll(0);
        }
        QVERIFY2(stalled.remoteClosed(), "the stalled push still runs");
        stalled.poll(0);
        QVERIFY(stalled.received() < 64 * 1024 * 1024);

        QList<Push> pushes;
        QVERIFY(
            parsePushes(ServerFixture::exchange(ServerFixture::frame("update:2.1.20090713:2:h(192.0.2.8)")), &pushes));
        QCOMPARE(pushes.size(), 1);
        QCOMPARE(pushes.at(0).payload, QByteArray("small client"));
    }

    // Requests are read by the listener: peers that have sent part of a request hold no worker.
    // With one worker, a notice is answered while three such peers wait, and one of them that
    // completes its request later is served too.
    void partialRequestsHoldNoWorker()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        f.setEnv("BRAMIX_TEST_SERVER_MAX_WORKERS", "1");
        QVERIFY(f.startConsole());
        const QByteArray late = ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowB}));
        std::vector<std::unique_ptr<QTcpSocket>> partial;
        for (int i = 0; i < 3; ++i) {
            partial.emplace_back(new QTcpSocket);
            partial.back()->connectToHost("127.0.0.1", 2210);
            QVERIFY(partial.back()->waitForConnected(5000));
            partial.back()->write(late.left(7));
            QVERIFY(partial.back()->waitForBytesWritten(5000));
        }
        bool closed = false;
        QCOMPARE(ServerFixture::exchange(
                     ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA})), &closed, 10000)
                     .size(),
            30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList {rowA});

        QTcpSocket &rest = *partial.front();
        rest.write(late.mid(7));
        QVERIFY(CTestEnvironment::waitFor([&] {
            rest.waitForReadyRead(20);
            return rest.bytesAvailable() >= 30;
        }));
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), (QStringList {rowA, rowB}));
    }

    // Peers that connect and send nothing hold no worker: with more of them than workers, a notice
    // is still answered at once, and a held connection that sends its request later is served.
    void idleConnectionsHoldNoWorker()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        f.setEnv("BRAMIX_TEST_SERVER_MAX_WORKERS", "2");
        QVERIFY(f.startConsole());
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 20; ++i) {
            idle.emplace_back(new QTcpSocket);
            idle.back()->connectToHost("127.0.0.1", 2210);
            QVERIFY(idle.back()->waitForConnected(5000));
        }

        // Well under the 30 s the server waits for an idle peer's first byte.
        bool closed = false;
        QCOMPARE(ServerFixture::exchange(
                     ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA})), &closed, 10000)
                     .size(),
            30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList {rowA});

        QTcpSocket &late = *idle.front();
        QCOMPARE(late.state(), QAbstractSocket::ConnectedState);
        late.write(ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowB})));
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                late.waitForReadyRead(20);
                return late.bytesAvailable() >= 30;
            },
            10000));
        QCOMPARE(late.readAll().size(), 30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), (QStringList {rowA, rowB}));
    }

    // Under the service manager: one start record; while paused the server still serves; a stop
    // lets a request that has begun to arrive finish and be acknowledged before the program ends.
    void asAService()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QVERIFY(f.addClient(uuidA));
        f.setEnv("BRAMIX_TEST_SERVER_WAIT_MS", "20000");
        QCOMPARE(f.runCommand({"-i"}), 0);
        QCOMPARE(f.runCommand({}), 0); // not started by the service manager: asks it to start us
        QVERIFY(ServerFixture::waitForPort());
        QVERIFY(f.serviceRunning());

        QCOMPARE(f.runCommand({"-p"}), 0);
        QCOMPARE(ServerFixture::exchange(ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowA})))
                     .size(),
            30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), QStringList {rowA});
        QCOMPARE(f.runCommand({"-r"}), 0);

        // Half a request, then the stop.
        const QByteArray request = ServerFixture::frame(CMessages::buildChangeNotice(uuidA, {"CPU$add$" + rowB}));
        QTcpSocket s;
        s.connectToHost("127.0.0.1", 2210);
        QVERIFY(s.waitForConnected(5000));
        s.write(request.left(10));
        QVERIFY(s.waitForBytesWritten(5000));
        QProcess stop;
        stop.setProcessEnvironment(f.processEnvironment());
        stop.start(f.file("BramixServer"), {"-t"});
        QVERIFY(stop.waitForStarted(10000));
        QVERIFY(CTestEnvironment::waitFor([] { return !ServerFixture::portOpen(); }, 15000)); // stopping
        s.write(request.mid(10));
        QVERIFY(CTestEnvironment::waitFor([&] {
            s.waitForReadyRead(20);
            return s.bytesAvailable() >= 30;
        }));
        QCOMPARE(s.readAll().size(), 30);
        QCOMPARE(contents(f.file(uuidA + ".xml"), "CPU"), (QStringList {rowA, rowB}));
        QVERIFY(stop.state() == QProcess::NotRunning || stop.waitForFinished(20000)); // may have ended already
        QVERIFY(CTestEnvironment::waitFor([&] { return !f.serviceRunning(); }, 20000));

        QCOMPARE(f.eventLog(), QStringList {"success service binding ok!"});
        QCOMPARE(f.runCommand({"-u"}), 0);
    }

    // A stop while a push is stuck on a client that reads nothing: the stop waits a while (the
    // drain, 10 s) for the push, then interrupts it, and the service ends. The push would run on
    // for minutes by itself (its deadlines are far off here), and the process never ends under a
    // running push: the service ends in time only if the stop ended the push.
    void stopEndsStalledPush()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        f.setEnv("BRAMIX_TEST_PUSH_STALL_MS", "300000");
        const QString big = f.env().filePath("BramixClient");
        QVERIFY(CTestEnvironment::writeFile(big, QByteArray(64 * 1024 * 1024, 'x')));
        QVERIFY(CTestEnvironment::writeFile(f.file("uplist.xml"),
            "<uplist><windows><file>" + big.toUtf8()
                + "</file></windows><linux/><version>2.1.20090715</version></uplist>"));
        QCOMPARE(f.runCommand({"-i"}), 0);
        QCOMPARE(f.runCommand({}), 0);
        QVERIFY(ServerFixture::waitForPort());
        const qint64 pid = f.serverPid();
        QVERIFY(pid > 0);

        CRawPeer stalled(4096);
        QVERIFY(stalled.connectTo(CMessages::ServerPort));
        QVERIFY(stalled.sendAll(ServerFixture::frame("update:2.1.20090713:1:h(192.0.2.9)"), 5000));
        QVERIFY(CTestEnvironment::waitFor([&] {
            return !CTestXml::load(f.file("updateLog.xml")).documentElement().firstChildElement("record").isNull();
        }));

        int exitCode = -1;
        const qint64 ms = stopService(f, pid, &exitCode);
        QVERIFY2(ms >= 0, "the service still runs a minute after the stop");
        QVERIFY2(ms < stopBoundMs, qPrintable(QStringLiteral("the service took %1 ms to stop").arg(ms)));
        QCOMPARE(exitCode, 0);
        QVERIFY(stalled.remoteClosed());
        QCOMPARE(f.runCommand({"-u"}), 0);
    }

    // A stop while every worker of the pool waits for a lock held here (each notice's client file,
    // or the client list its flag goes to): the waits end, and the service stops within the drain
    // (10 s) and 2 s more. Nothing is lost: a notice acknowledged before is stored; notices that
    // waited for their file get no reply and leave it untouched; those that waited for the list had
    // their file changed and are acknowledged; a notice still waiting for a worker gets no reply.
    void stopEndsLockWaits_data()
    {
        QTest::addColumn<bool>("listLocked"); // else each notice's client file
        QTest::newRow("client files locked") << false;
        QTest::newRow("client list locked") << true;
    }
    void stopEndsLockWaits()
    {
        QFETCH(bool, listLocked);
        const int workers = 32; // the server's pool
        ServerFixture f;
        QVERIFY(f.isValid());
        QStringList blocked;
        for (int i = 0; i < workers; ++i) {
            blocked << QStringLiteral("{00000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0'));
            QVERIFY(f.addClient(blocked.last()));
        }
        const QString done = QStringLiteral("{00000000-0000-4000-9000-000000000001}");
        const QString queued = QStringLiteral("{00000000-0000-4000-9000-000000000002}");
        QVERIFY(f.addClient(done));
        QVERIFY(f.addClient(queued));
        QCOMPARE(f.runCommand({"-i"}), 0);
        QCOMPARE(f.runCommand({}), 0);
        QVERIFY(ServerFixture::waitForPort());
        const qint64 pid = f.serverPid();
        QVERIFY(pid > 0);

        QCOMPARE(ServerFixture::exchange(
                     ServerFixture::frame(CMessages::buildChangeNotice(done, {"Software$add$Caption=acknowledged\n"})))
                     .size(),
            30);
        const QByteArray listBefore = CTestEnvironment::readFile(f.file("list.xml"));
        const QByteArray fileBefore = CTestEnvironment::readFile(f.file(queued + ".xml"));

        std::vector<std::unique_ptr<CFileGuard>> locks;
        const QStringList lockedFiles = listLocked ? QStringList {f.file("list.xml")} : [&] {
            QStringList files;
            for (const QString &uuid : std::as_const(blocked))
                files << f.file(uuid + ".xml");
            return files;
        }();
        for (const QString &file : lockedFiles) {
            locks.push_back(std::make_unique<CFileGuard>(file));
            QVERIFY(locks.back()->isLocked());
        }
        std::vector<Sent> sent;
        for (const QString &uuid : std::as_const(blocked))
            sent.push_back(sendNotice(uuid, "Caption=blocked " + uuid + "\n"));
        // Every worker waits: for its file's lock (its lock file open), or for the list's with its
        // file changed.
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                int waiting = 0;
                for (const QString &uuid : std::as_const(blocked)) {
                    waiting += listLocked
                        ? contents(f.file(uuid + ".xml"), "Software").contains("Caption=blocked " + uuid + "\n")
                        : holdsOpen(pid, uuid + ".xml.lock");
                }
                return waiting == workers;
            },
            30000));
        Sent waiting = sendNotice(queued, "Caption=queued\n");

        int exitCode = -1;
        const qint64 ms = stopService(f, pid, &exitCode);
        QVERIFY2(ms >= 0, "the service still runs a minute after the stop");
        QVERIFY2(ms < stopBoundMs, qPrintable(QStringLiteral("the service took %1 ms to stop").arg(ms)));
        QCOMPARE(exitCode, 0);
        qInfo("stopped in %lld ms with %d workers waiting for a lock", ms, workers);

        std::vector<Sent *> all {&waiting};
        for (Sent &s : sent)
            all.push_back(&s);
        int rank = 0;
        collect(all, &rank);
        for (int i = 0; i < workers; ++i) {
            const QString path = f.file(blocked[i] + ".xml");
            const QStringList stored = contents(path, "Software");
            QCOMPARE(stored.count(sent[size_t(i)].row), listLocked ? 1 : 0);
            QCOMPARE(sent[size_t(i)].reply.size(), listLocked ? 30 : 0);
            if (!listLocked)
                QCOMPARE(CTestEnvironment::readFile(path), CTestEnvironment::readFile(f.file("configtempl.xml")));
        }
        QCOMPARE(waiting.reply, QByteArray());
        QCOMPARE(CTestEnvironment::readFile(f.file(queued + ".xml")), fileBefore);
        QCOMPARE(contents(f.file(done + ".xml"), "Software"), QStringList {"Caption=acknowledged\n"});
        if (listLocked)
            QCOMPARE(CTestEnvironment::readFile(f.file("list.xml")), listBefore);
        locks.clear();
        QCOMPARE(f.runCommand({"-u"}), 0);
    }

    // A client is served by one worker at a time, and large requests (a notice with its client
    // file) by a share of their own. While a notice waits for its client file's lock (held here),
    // further notices of that client, or another large client's notice, wait in the queue, not in
    // workers, and a small client's notice is served at once. Once the lock is free the blocked
    // notice is served first, then those that waited, each stored once.
    void waitingNoticesLeaveThePool_data()
    {
        QTest::addColumn<int>("workers"); // 0: as many as the server has
        QTest::addColumn<int>("largeRows"); // Software rows in the blocked and waiting clients' files
        QTest::addColumn<bool>("sameClient"); // the waiting notices are the blocked client's own
        QTest::newRow("further notices of the blocked client") << 2 << 0 << true;
        // Two files above 16 MiB are more than the large requests' share (32 MiB).
        QTest::newRow("another client with a large file") << 0 << 110000 << false;
    }
    void waitingNoticesLeaveThePool()
    {
        QFETCH(int, workers);
        QFETCH(int, largeRows);
        QFETCH(bool, sameClient);
        ServerFixture f;
        QVERIFY(f.isValid());
        if (workers > 0)
            f.setEnv("BRAMIX_TEST_SERVER_MAX_WORKERS", QString::number(workers));
        const QString first = QStringLiteral("{00000000-0000-4000-8000-000000000001}");
        const QString other = sameClient ? first : QStringLiteral("{00000000-0000-4000-8000-000000000002}");
        const QString small = QStringLiteral("{00000000-0000-4000-8000-000000000003}");
        QVERIFY(f.addClient(first));
        QVERIFY(f.addClient(small));
        if (!sameClient)
            QVERIFY(f.addClient(other));
        if (largeRows > 0) {
            const QByteArray large = inventoryWithSoftware(largeRows);
            QVERIFY(large.size() > 16 * 1024 * 1024);
            QVERIFY(CTestEnvironment::writeFile(f.file(first + ".xml"), large));
            QVERIFY(CTestEnvironment::writeFile(f.file(other + ".xml"), large));
        }
        QVERIFY(f.startConsole());
        const qint64 pid = f.process().processId();

        auto lock = std::make_unique<CFileGuard>(f.file(first + ".xml"));
        QVERIFY(lock->isLocked());
        Sent blockedNotice = sendNotice(first, "Caption=first\n");
        QVERIFY(CTestEnvironment::waitFor([&] { return holdsOpen(pid, first + ".xml.lock"); }, 20000));
        std::vector<Sent> waiting;
        for (int i = 0; i < (sameClient ? 2 : 1); ++i)
            waiting.push_back(sendNotice(other, QStringLiteral("Caption=waiting %1\n").arg(i)));
        Sent smallNotice = sendNotice(small, "Caption=small\n");

        std::vector<Sent *> all {&blockedNotice, &smallNotice};
        for (Sent &w : waiting)
            all.push_back(&w);
        int rank = 0;
        QVERIFY2(CTestEnvironment::waitFor(
                     [&] {
                         collect(all, &rank);
                         return smallNotice.answer > 0;
                     },
                     20000),
            "a small client's notice waited behind the blocked one");
        // A waiting notice served beside the blocked one would be answered by now.
        QTest::qWait(1000);
        collect(all, &rank);
        for (const Sent &w : waiting)
            QVERIFY2(w.answer == 0, qPrintable(w.row + " was served while the blocked notice waited"));
        QCOMPARE(blockedNotice.answer, 0);

        lock.reset();
        QVERIFY(CTestEnvironment::waitFor(
            [&] {
                collect(all, &rank);
                for (const Sent *s : all) {
                    if (s->answer == 0)
                        return false;
                }
                return true;
            },
            60000));
        if (sameClient) {
            // Small files are served within moments of each other: their order is the file's.
            const QStringList stored = contents(f.file(first + ".xml"), "Software");
            for (const Sent &w : waiting)
                QVERIFY2(stored.indexOf(w.row) > stored.indexOf(blockedNotice.row),
                    qPrintable(w.row + " was stored before the blocked one"));
        } else {
            for (const Sent &w : waiting)
                QVERIFY2(w.answer > blockedNotice.answer, qPrintable(w.row + " was answered before the blocked one"));
        }
        QCOMPARE(CTestXml::storedRows(f.file(first + ".xml")).value(blockedNotice.row), 1);
        for (const Sent &w : waiting)
            QCOMPARE(CTestXml::storedRows(f.file(other + ".xml")).value(w.row), 1);
        QCOMPARE(CTestXml::storedRows(f.file(small + ".xml")).value(smallNotice.row), 1);
    }

    // The port is taken: "listen error:" and the reason in the event log, and the server ends.
    void portInUse()
    {
        ServerFixture f;
        QVERIFY(f.isValid());
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 2210));
        QCOMPARE(f.runCommand({"-e"}), 0);
        const QStringList log = f.eventLog();
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.first().startsWith("success listen error:") && log.first().size() > 21, qPrintable(log.first()));
    }
};

QTEST_GUILESS_MAIN(TestServer)
#include "tst_server.moc"
