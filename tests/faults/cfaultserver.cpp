#include "cfaultserver.h"

#include "cmessages.h"
#include "cshortframe.h"
#include "cshortframereader.h"
#include "ctestmemory.h"
#include "ctestxml.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

namespace {

const QStringList kShipped {QStringLiteral("list.xml"), QStringLiteral("configtempl.xml"), QStringLiteral("uplist.xml"),
    QStringLiteral("updateLog.xml")};

} // namespace

CFaultServer::CFaultServer()
{
    if (!m_env.isValid())
        return;
    const QString dir = m_env.filePath(QStringLiteral("server"));
    QStringList staged {QStringLiteral("BramixServer"), QStringLiteral("libadvapi32.so")};
    staged += kShipped;
    if (CTestEnvironment::copyStaged(staged, dir))
        m_dir = dir;
}

CFaultServer::~CFaultServer()
{
    kill();
}

bool CFaultServer::addClients(const QStringList &uuids)
{
    QByteArray pcs;
    const QByteArray templ = CTestEnvironment::readFile(file(QStringLiteral("configtempl.xml")));
    for (const QString &uuid : uuids) {
        pcs += "    <pc UUID=\"" + uuid.toUtf8()
            + "\" notice=\"yes\" folder=\"0\">\n        <name>host</name>\n        <ip>10.0.0.1</ip>\n"
              "        <version>2.1.20090713</version>\n        <os>1</os>\n    </pc>\n";
        if (!CTestEnvironment::writeFile(file(uuid + QStringLiteral(".xml")), templ))
            return false;
    }
    return CTestEnvironment::writeFile(file(QStringLiteral("list.xml")),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n" + pcs + "</pclist>\n");
}

bool CFaultServer::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRAMIX_PLATFORM_ROOT"), m_env.platformRoot());
    env.insert(m_extraEnv);
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_dir);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(file(QStringLiteral("BramixServer")), {QStringLiteral("-e")});
    if (!m_process.waitForStarted(10000))
        return false;
    return waitForPort(2210);
}

void CFaultServer::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill(); // SIGKILL: no handler runs, nothing is flushed or cleaned up
    m_process.waitForFinished(10000);
}

qint64 CFaultServer::residentKiB(qint64 pid)
{
    return statusKiB(pid, "VmRSS");
}

qint64 CFaultServer::statusKiB(qint64 pid, const QByteArray &field)
{
    return CTestMemory::statusKiB(pid, field.constData());
}

QStringList CFaultServer::unreadableFiles() const
{
    QStringList bad;
    const QStringList names = QDir(m_dir).entryList({QStringLiteral("*.xml")}, QDir::Files);
    for (const QString &name : names) {
        QDomDocument doc;
        if (!doc.setContent(CTestEnvironment::readFile(file(name)), true))
            bad.append(name);
    }
    return bad;
}

QStringList CFaultServer::strayFiles() const
{
    QStringList stray;
    const QStringList names = QDir(m_dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (name == QLatin1String("BramixServer") || name.endsWith(QLatin1String(".so"))
            || name.endsWith(QLatin1String(".xml")) || name.endsWith(QLatin1String(".xml.lock")))
            continue;
        stray.append(name);
    }
    return stray;
}

bool CFaultServer::portOpen(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool open = probe.waitForConnected(1000);
    probe.abort();
    return open;
}

bool CFaultServer::waitForPort(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (portOpen(port))
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool CFaultServer::publishUpdate(const QByteArray &content)
{
    const QString update = file(QStringLiteral("BramixClient"));
    return CTestEnvironment::writeFile(update, content)
        && CTestEnvironment::writeFile(file(QStringLiteral("uplist.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist>\n  <windows>\n    <file>" + update.toUtf8()
                + "</file>\n  </windows>\n  <linux/>\n  <version>2.1.20090715</version>\n</uplist>\n");
}

int CFaultServer::openFiles() const
{
    return CTestMemory::openFiles(pid());
}

QMap<QString, int> CFaultServer::storedRows(const QString &path)
{
    return CTestXml::storedRows(path);
}

qint64 CFaultServer::timedNotice(const QString &uuid, const QString &row, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), CMessages::ServerPort);
    const QString text = CMessages::buildChangeNotice(
        uuid, {CMessages::changeItem(QStringLiteral("Software"), QStringLiteral("add"), row)});
    if (!socket.waitForConnected(timeoutMs) || !CShortFrame::write(&socket, text))
        return -1;
    CShortFrameReader reader;
    if (reader.readBlocking(&socket, timeoutMs) != CShortFrameReader::Complete || !CMessages::isAck(reader.text()))
        return -1;
    return clock.elapsed();
}
